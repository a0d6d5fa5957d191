// SPDX-License-Identifier: GPL-3.0-or-later
#include "centre_import/ImportCentreFile.h"
#include "Error.h"
#include "FakeBuilders.h"
#include "TestSupport.h"
#include "WarningTexts.h"
#include "xml/XmlDocument.h"

#include <gtest/gtest.h>

using namespace tramazel;
using namespace tramazel::centre_import;
using tramazel::test::expectError;
using tramazel::test::snapshot;
using tramazel::test::TempDir;
using tramazel::test::writeFile;
namespace fs = std::filesystem;

namespace {

// Records what the import asked of the person, in order.
struct RecordingPrompts : ImportPrompts {
    std::vector<std::string> events;
    void editCourseLevels(centre_import::CourseLevelGrid&) override { events.emplace_back("levels"); }
    bool askQuestion(std::string_view, std::string_view) override
    {
        events.emplace_back("question");
        return true;
    }
    bool confirmReplacement(const ImportReview&) override
    {
        events.emplace_back("review");
        return true;
    }
    void setBusy(bool busy) override { events.emplace_back(busy ? "busy:on" : "busy:off"); }
};

class ImportCentreFileTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::fake::failingBuilder.clear();
        fs::create_directories(qtemp);
        writeFile(qtemp / "ASIGNOMT.DBF", "old subjects");
    }

    std::optional<CentreFileImport> importFile(const fs::path& file)
    {
        return importCentreFile(
            file, qtemp, doc, prompts, CentreFileImportOptions { test::fake::builders() });
    }

    TempDir dir;
    fs::path qtemp = dir / "qtemp";
    xml::XmlDocument doc;
    RecordingPrompts prompts;
};

} // namespace

TEST_F(ImportCentreFileTest, AFileThatIsNotACentreFileStopsBeforeAnyTableAtItsPosition)
{
    struct Case {
        const char* name;
        std::string content;
        ErrorCode code;
        TextPosition position;
    };
    const Case cases[] = {
        { "not well-formed", "<CENTRE>\n<CURSOS>\n</CENTRE>\n", ErrorCode::XmlMalformed, { 3, 3 } },
        { "another root after a comment",
            "<?xml version=\"1.0\"?>\n<!-- solution -->\n<HORARI><SESSIONS/></HORARI>\n",
            ErrorCode::XmlWrongRoot, { 3, 1 } },
        { "another root on the declaration's line", "<?xml version=\"1.0\"?><HORARI/>",
            ErrorCode::XmlWrongRoot, { 1, 22 } },
        { "the root's name in another letter case", "\n  <centre/>", ErrorCode::XmlWrongRoot, { 2, 3 } },
    };
    const auto before = snapshot(qtemp);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const fs::path bad = dir / "bad.xml";
        writeFile(bad, c.content);
        const auto error = expectError(c.code, [&] { importFile(bad); });
        ASSERT_TRUE(error);
        EXPECT_EQ(error->position(), c.position);
        EXPECT_NE(error->message().find("bad.xml"), std::string::npos) << error->message();
        EXPECT_EQ(snapshot(qtemp), before);
        EXPECT_TRUE(prompts.events.empty()) << "no prompt, no hourglass";
    }
}

TEST_F(ImportCentreFileTest, NoFileMeansNothingToDo)
{
    const auto before = snapshot(qtemp);
    for (const fs::path& file : { fs::path(), dir / "missing.xml", qtemp }) {
        EXPECT_EQ(importFile(file), std::nullopt) << file;
        EXPECT_EQ(snapshot(qtemp), before) << file;
    }
    EXPECT_TRUE(prompts.events.empty());
}

TEST_F(ImportCentreFileTest, TheHourglassShowsWhileTheBuildersWorkAndNeverDuringAPrompt)
{
    const fs::path centre = dir / "centre.xml";
    writeFile(centre, "<CENTRE/>");
    ASSERT_TRUE(importFile(centre));
    const std::vector<std::string> expected = { "busy:on", "busy:off", "levels", "busy:on", "busy:off",
        "question", "busy:on", "busy:off", "review", "busy:on", "busy:off" };
    EXPECT_EQ(prompts.events, expected);
    EXPECT_EQ(doc.root().name(), "CENTRE");

    // A builder that fails still leaves the hourglass off.
    prompts.events.clear();
    test::fake::failingBuilder = "FakeProfesores";
    expectError(ErrorCode::TableCorrupt, [&] { importFile(centre); });
    ASSERT_FALSE(prompts.events.empty());
    EXPECT_EQ(prompts.events.back(), "busy:off");
}

TEST(CentreFileImportSummary, TablesThenWarningsInTheWordsBothFrontEndsPrint)
{
    CentreFileImport result;
    result.tables = { { "ASIGNOMT", 302 }, { "DIASHORAST", 0 } };
    result.warnings.add("PROFT: abreviaturas repetidas", "ANA");
    result.warnings.add("PROFT: abreviaturas repetidas", "PEP");
    result.warnings.add("AULAT: sin nombre");
    const std::vector<std::string> expected = {
        "Tabla ASIGNOMT: 302 registros",
        "Tabla DIASHORAST: 0 registros",
        "Aviso: PROFT: abreviaturas repetidas: 2 (p. ej. ANA, PEP)",
        "Aviso: AULAT: sin nombre: 1",
    };
    EXPECT_EQ(result.summary(), expected);
}

// A centre file that brings none of a kind empties tables that held a school's data:
// the run says which, with what they held.
TEST(ImportCentreFileWarnings, TablesLeftEmptyByTheCentreFileAreReported)
{
    TempDir dir;
    xml::XmlDocument doc;
    RecordingPrompts prompts;
    ASSERT_TRUE(importCentreFile(test::fixture("centre/one-line.xml"), dir.path(), doc, prompts));

    const fs::path empty = dir / "empty.xml";
    writeFile(empty, "<CENTRE/>");
    const auto emptied = importCentreFile(empty, dir.path(), doc, prompts);
    ASSERT_TRUE(emptied);
    // The tables made from the file's elements; ASIGT and DIASHORAST are not among them.
    EXPECT_EQ(emptied->warnings.count(warning::kEmptiedTable), 6u);

    // The second import of an empty file finds nothing left to empty.
    const auto again = importCentreFile(empty, dir.path(), doc, prompts);
    ASSERT_TRUE(again);
    EXPECT_EQ(again->warnings.count(warning::kEmptiedTable), 0u);
}
