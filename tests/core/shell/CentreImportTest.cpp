// SPDX-License-Identifier: GPL-3.0-or-later
#include "centre_import/CentreImport.h"
#include "Error.h"
#include "FakeBuilders.h"
#include "TestSupport.h"
#include "platform/Platform.h"
#include "xml/XmlDocument.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <iostream>
#include <optional>
#include <span>

using namespace tramazel;
using namespace tramazel::centre_import;
using tramazel::test::expectError;
using tramazel::test::readFile;
using tramazel::test::snapshot;
using tramazel::test::TempDir;
using tramazel::test::writeFile;
namespace fs = std::filesystem;

namespace {

using Snapshot = std::vector<std::pair<std::string, std::string>>;

struct Prompts : ImportPrompts {
    void editCourseLevels(dbf::DbfTable&) override { }
    bool askQuestion(std::string_view, std::string_view) override { return true; }
};

// A timetable directory as a user has it: old tables (one in lower case, one in two
// spellings, an index the new table will not have), Zelvano's own SOLUC, and the
// GestIB folder.
void fillTimetableDirectory(const fs::path& qtemp)
{
    fs::create_directories(qtemp / "saga");
    writeFile(qtemp / "ASIGNOMT.DBF", "old subjects");
    writeFile(qtemp / "asignomt.mdx", "old subjects index");
    writeFile(qtemp / "PROFT.DBF", "old teachers");
    writeFile(qtemp / "Proft.dbf", "old teachers, Wine spelling");
    writeFile(qtemp / "CURSOST.DBF", "old courses");
    writeFile(qtemp / "SOLUC.DBF", "Zelvano's solution");
    writeFile(qtemp / "saga" / "centre.xml", "<CENTRE/>");
}

// One run of the import over `doc` into `qtemp`; empty `builders` runs the real ones.
std::vector<TableWritten> runImport(const fs::path& qtemp, const xml::XmlDocument& doc,
    std::span<const BuilderStep> builders, FaultHook hook = {})
{
    CentreImport import(qtemp);
    if (!builders.empty())
        import.setBuilders(builders);
    import.setFaultHook(std::move(hook));
    Warnings warnings;
    Prompts prompts;
    return import.run(doc, prompts, warnings);
}

// Every step a successful run takes, from a run in a scratch directory; also the
// tables it wrote and the directory it leaves.
struct SuccessfulRun {
    std::vector<std::string> steps;
    std::vector<std::string> tables;
    Snapshot after;
};
SuccessfulRun successfulRun(const xml::XmlDocument& doc, std::span<const BuilderStep> builders)
{
    TempDir scratch;
    fillTimetableDirectory(scratch / "qtemp");
    SuccessfulRun run;
    const auto tables = runImport(scratch / "qtemp", doc, builders, [&](std::string_view step) {
        run.steps.emplace_back(step);
        return FaultAction::Proceed;
    });
    for (const TableWritten& t : tables)
        run.tables.push_back(t.name);
    run.after = snapshot(scratch / "qtemp");
    return run;
}

// A fault hook that answers `action` at the k-th step and lets every other one proceed.
FaultHook faultAt(std::size_t k, FaultAction action)
{
    return [k, action, call = std::size_t { 0 }](
               std::string_view) mutable { return call++ == k ? action : FaultAction::Proceed; };
}

class CentreImportRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::fake::failingBuilder.clear();
        qtemp = dir / "qtemp";
        fillTimetableDirectory(qtemp);
    }

    std::vector<TableWritten> runImport(FaultHook hook = {})
    {
        return ::runImport(qtemp, doc, test::fake::builders(), std::move(hook));
    }

    TempDir dir;
    fs::path qtemp;
    xml::XmlDocument doc = xml::XmlDocument::parse("<CENTRE/>", "centre.xml");
};

} // namespace

TEST_F(CentreImportRun, ReplacesEveryVariantOfTheOldTablesAndLeavesNoTrace)
{
    const auto tables = runImport();

    ASSERT_EQ(tables.size(), 4u);
    EXPECT_EQ(tables[0].name, "ASIGNOMT");
    EXPECT_EQ(tables[0].records, 3u);
    EXPECT_EQ(tables[1].name, "PROFT");
    EXPECT_EQ(tables[2].name, "CURSOST");
    EXPECT_EQ(tables[2].records, 3u); // read the staged ASIGNOMT, not the old file
    EXPECT_EQ(tables[3].name, "ASIGT");

    std::vector<std::string> names;
    for (const auto& [name, bytes] : snapshot(qtemp))
        names.push_back(name);
    const std::vector<std::string> expected = { "ASIGNOMT.DBF", "ASIGT.DBF", "CURSOST.DBF", "PROFT.DBF",
        "PROFT.MDX", "SOLUC.DBF", "saga/", "saga/centre.xml" };
    EXPECT_EQ(names, expected);
    EXPECT_EQ(readFile(qtemp / "SOLUC.DBF"), "Zelvano's solution");
    EXPECT_NE(readFile(qtemp / "ASIGNOMT.DBF"), "old subjects");
    EXPECT_EQ(CentreImport::recover(qtemp), Recovery::Nothing);
}

// The same loop over the fake builders (small, with every kind of table move) and the
// real ones over the sample centre (every real step).
TEST_F(CentreImportRun, AFailureAtAnyStepLeavesTheDirectoryByteIdentical)
{
    const fs::path sample = fs::path(TRAMAZEL_SAMPLES_DIR) / "centre.xml";
    struct Row {
        const char* name;
        std::span<const BuilderStep> builders; // empty: the real sequence
        std::optional<xml::XmlDocument> centre; // nothing: the row cannot run here
        std::vector<std::string> tables;
        std::vector<std::string> someSteps;
    };
    Row rows[] = {
        { "fake builders", test::fake::builders(), xml::XmlDocument::parse("<CENTRE/>", "centre.xml"),
            { "ASIGNOMT", "PROFT", "CURSOST", "ASIGT" },
            { "builder:FakeCursos", "backup:Proft.dbf", "backup:asignomt.mdx", "install:PROFT.MDX",
                "install:ASIGT.DBF", "commit" } },
        { "real builders, sample centre", {},
            fs::exists(sample) ? std::optional(xml::XmlDocument::load(sample)) : std::nullopt,
            std::vector<std::string>(kImportTables.begin(), kImportTables.end()),
            { "builder:TransformarLineas", "install:MATIB.MDX", "commit" } },
    };
    for (const Row& row : rows) {
        SCOPED_TRACE(row.name);
        if (!row.centre) {
            std::cout << "Row not run here (" << row.name << "): no sample centre file\n";
            continue;
        }
        const SuccessfulRun good = successfulRun(*row.centre, row.builders);
        EXPECT_EQ(good.tables, row.tables);
        const auto cleanup = std::find(good.steps.begin(), good.steps.end(), "cleanup");
        ASSERT_NE(cleanup, good.steps.end());
        for (const std::string& step : row.someSteps)
            EXPECT_NE(std::find_if(good.steps.begin(), cleanup,
                          [&](const std::string& s) { return test::sameFileText(s, step); }),
                cleanup)
                << step;

        const Snapshot before = snapshot(qtemp);
        for (std::size_t k = 0; good.steps.begin() + static_cast<std::ptrdiff_t>(k) != cleanup; ++k) {
            expectError(ErrorCode::Interrupted,
                [&] { ::runImport(qtemp, *row.centre, row.builders, faultAt(k, FaultAction::Fail)); });
            EXPECT_EQ(snapshot(qtemp), before) << "failure at " << good.steps[k];
        }
    }
}

TEST_F(CentreImportRun, AKillAtAnyStepIsRolledBackOrFinishedAtTheNextStart)
{
    const SuccessfulRun good = successfulRun(doc, test::fake::builders());
    const auto& steps = good.steps;
    const Snapshot before = snapshot(qtemp);
    const auto commit = std::find(steps.begin(), steps.end(), "commit");
    ASSERT_NE(commit, steps.end());

    for (std::size_t k = 0; k < steps.size(); ++k) {
        EXPECT_THROW(runImport(faultAt(k, FaultAction::Crash)), SimulatedCrash) << steps[k];
        const bool committed = steps.begin() + static_cast<std::ptrdiff_t>(k) > commit;
        const Recovery outcome = CentreImport::recover(qtemp);
        EXPECT_NE(outcome, Recovery::Nothing) << steps[k];
        EXPECT_EQ(outcome == Recovery::Completed, committed) << steps[k];
        EXPECT_EQ(snapshot(qtemp), committed ? good.after : before) << "killed at " << steps[k];
        if (committed) { // back to the starting point for the next kill
            fs::remove_all(qtemp);
            fillTimetableDirectory(qtemp);
        }
    }
}

TEST_F(CentreImportRun, AFailingBuilderNamesWhatFailed)
{
    const Snapshot before = snapshot(qtemp);
    test::fake::failingBuilder = "FakeCursos";
    const auto error = expectError(ErrorCode::TableCorrupt, [&] { runImport(); });
    ASSERT_TRUE(error);
    EXPECT_EQ(error->message(),
        "Fallo de prueba en FakeCursos. Las tablas del directorio de horarios no se han modificado");
    EXPECT_EQ(snapshot(qtemp), before);
}

TEST_F(CentreImportRun, ATableHeldByAnotherProgramRefusesTheRun)
{
    const Snapshot before = snapshot(qtemp);
    for (const char* held : { "ASIGNOMT.DBF", "Proft.dbf" }) {
        auto lock = platform::FileLock::tryLock(qtemp / held, platform::FileLock::Mode::Shared);
        ASSERT_TRUE(lock);
        SCOPED_TRACE(held);
        expectError(ErrorCode::TableLocked, [&] { runImport(); });
        EXPECT_EQ(snapshot(qtemp), before) << held;
    }
}

TEST_F(CentreImportRun, ALiveRunIsLeftAloneAndRefusesASecondOne)
{
    fs::create_directories(qtemp / ".tramazel-staging");
    writeFile(qtemp / ".tramazel-staging" / "run.lock", "");
    writeFile(qtemp / ".tramazel-staging" / "ASIGNOMT.DBF", "being written");
    auto lock = platform::FileLock::tryLock(
        qtemp / ".tramazel-staging" / "run.lock", platform::FileLock::Mode::Exclusive);
    ASSERT_TRUE(lock);
    const Snapshot before = snapshot(qtemp);

    EXPECT_EQ(CentreImport::recover(qtemp), Recovery::Busy);
    expectError(ErrorCode::TableLocked, [&] { runImport(); });
    EXPECT_EQ(snapshot(qtemp), before);

    lock.reset(); // the other run died
    EXPECT_EQ(CentreImport::recover(qtemp), Recovery::CleanedUp);
    EXPECT_FALSE(fs::exists(qtemp / ".tramazel-staging"));
}

TEST_F(CentreImportRun, ADamagedJournalIsNeverFollowed)
{
    fs::create_directories(qtemp / ".tramazel-backup");
    writeFile(qtemp / ".tramazel-backup" / "ASIGNOT.DBF", "an old table waiting to go back");
    for (const char* journal : {
             "backup ../../outside\nend\n", // reaches outside the timetable directory
             "", // created, but its bytes never reached the disk
             "backup ASIGNOT.DBF\n", // cut short
             "backup ASIGNOT.DBF\nend\ninstall ASIGNOT.DBF\n", // lines after the end
             "move ASIGNOT.DBF\nend\n",
         }) {
        writeFile(qtemp / ".tramazel-journal", journal);
        const Snapshot before = snapshot(qtemp);
        SCOPED_TRACE(journal);
        expectError(ErrorCode::TableCorrupt, [&] { CentreImport::recover(qtemp); });
        EXPECT_EQ(snapshot(qtemp), before) << journal;
    }
}

TEST_F(CentreImportRun, OldTablesLeftInTheBackupFolderAreNeverThrownAway)
{
    // No run leaves the backup folder without a journal; should it happen, the old
    // tables go back, and one that cannot (its place is taken) stays for a person.
    fs::create_directories(qtemp / ".tramazel-backup");
    writeFile(qtemp / ".tramazel-backup" / "MATIB.DBF", "old catalogue");
    writeFile(qtemp / ".tramazel-backup" / "ASIGNOMT.DBF", "older subjects");
    EXPECT_THROW(CentreImport::recover(qtemp), Error);
    EXPECT_EQ(readFile(qtemp / "MATIB.DBF"), "old catalogue");
    EXPECT_EQ(readFile(qtemp / ".tramazel-backup" / "ASIGNOMT.DBF"), "older subjects");
    EXPECT_EQ(readFile(qtemp / "ASIGNOMT.DBF"), "old subjects");

    fs::remove(qtemp / ".tramazel-backup" / "ASIGNOMT.DBF");
    EXPECT_EQ(CentreImport::recover(qtemp), Recovery::CleanedUp);
    EXPECT_FALSE(fs::exists(qtemp / ".tramazel-backup"));
}

TEST_F(CentreImportRun, AMissingTimetableDirectoryIsAnError)
{
    expectError(ErrorCode::FileNotFound, [&] { ::runImport(dir / "nowhere", doc, test::fake::builders()); });
    EXPECT_FALSE(fs::exists(dir / "nowhere"));
}
