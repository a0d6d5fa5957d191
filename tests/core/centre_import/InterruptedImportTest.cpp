// SPDX-License-Identifier: GPL-3.0-or-later
// Both directions finish or roll back an import that a kill interrupted before they
// touch a table, whichever front end runs them.
#include "Error.h"
#include "FakeBuilders.h"
#include "TestSupport.h"
#include "ZelvanoTables.h"
#include "centre_import/ImportCentreFile.h"
#include "centre_import/TableTransaction.h"
#include "dbf/DbfTable.h"
#include "platform/IoHooks.h"
#include "solution_export/SolutionExport.h"
#include "xml/XmlDocument.h"

#include <gtest/gtest.h>

#include <functional>
#include <optional>

using namespace tramazel;
using namespace tramazel::centre_import;
using tramazel::test::expectError;
using tramazel::test::snapshot;
using tramazel::test::TempDir;
using tramazel::test::writeFile;
namespace fs = std::filesystem;

namespace {

struct Prompts : ImportPrompts {
    void editCourseLevels(CourseLevelGrid&) override { }
    bool askQuestion(std::string_view, std::string_view) override { return true; }
};

class InterruptedImport : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::fake::failingBuilder.clear();
        fs::create_directories(qtemp);
        fs::create_directories(target);
        // The tables the export reads, empty, in the layouts the import creates.
        dbf::DbfTable::create(qtemp, zelvano::soluc::kTable, zelvano::soluc::fields()).close();
        dbf::DbfTable::create(qtemp, zelvano::proft::kTable, zelvano::proft::fields()).close();
        dbf::DbfTable::create(qtemp, zelvano::aulat::kTable, zelvano::aulat::fields()).close();
        dbf::DbfTable::create(qtemp, zelvano::asignomt::kTable, zelvano::asignomt::fields()).close();
        dbf::DbfTable::create(qtemp, zelvano::grupost::kTable, zelvano::grupost::fields()).close();
        dbf::DbfTable::create(qtemp, zelvano::diashorast::kTable, zelvano::diashorast::fields()).close();
        writeFile(centre, "<CENTRE/>");
        before = snapshot(qtemp);
    }

    std::optional<CentreFileImport> import(const platform::IoHooks* io = nullptr)
    {
        CentreFileImportOptions options;
        options.builders = test::fake::builders();
        options.io = io;
        return importCentreFile(centre, qtemp, doc, prompts, options);
    }

    // An import killed after its first new tables came in: ASIGNOMT in the fake
    // builders' layout stands where the export expects Zelvano's.
    void killImportHalfWay()
    {
        platform::IoHooks killing;
        killing.step = [](std::string_view step) {
            if (step == "install:CURSOST.DBF")
                throw platform::SimulatedCrash();
        };
        EXPECT_THROW(import(&killing), platform::SimulatedCrash);
        ASSERT_NE(snapshot(qtemp), before);
    }

    TempDir dir;
    fs::path qtemp = dir / "qtemp";
    fs::path target = dir / "out";
    fs::path centre = dir / "centre.xml";
    xml::XmlDocument doc;
    Prompts prompts;
    std::vector<std::pair<std::string, std::string>> before;
};

} // namespace

TEST_F(InterruptedImport, TheExportRollsItBackBeforeReadingTheTables)
{
    killImportHalfWay();
    const auto result = solution_export::exportSolutionToTarget(qtemp, target);
    ASSERT_TRUE(result);
    EXPECT_EQ(result->counts.sessions, 0u);
    EXPECT_TRUE(fs::exists(target / solution_export::kSolutionFileName));
    EXPECT_EQ(snapshot(qtemp), before);
}

TEST_F(InterruptedImport, TheNextImportRollsItBackThenReplacesTheTables)
{
    killImportHalfWay();
    const auto result = import();
    ASSERT_TRUE(result);
    ASSERT_EQ(result->tables.size(), 4u);
    EXPECT_EQ(TableTransaction::recover(qtemp), Recovery::Nothing);
    auto subjects = dbf::DbfTable::open(qtemp, "ASIGNOMT", dbf::Access::Shared);
    EXPECT_EQ(subjects.recordCount(), 3u);
}

// Leftovers the export cannot deal with stop it before it writes anything.
TEST_F(InterruptedImport, AnExportStopsWhenTheLeftoversCannotBeDealtWith)
{
    writeFile(qtemp / ".tramazel-journal", "backup ../outside\nend\n");
    const auto left = snapshot(qtemp);
    expectError(ErrorCode::TableCorrupt, [&] { solution_export::exportSolutionToTarget(qtemp, target); });
    EXPECT_EQ(snapshot(qtemp), left);
    EXPECT_TRUE(snapshot(target).empty());
}
