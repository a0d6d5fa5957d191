// SPDX-License-Identifier: GPL-3.0-or-later
#include "centre_import/CentreImport.h"
#include "Error.h"
#include "FakeBuilders.h"
#include "TestSupport.h"
#include "platform/Platform.h"
#include "xml/XmlDocument.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace tramazel;
using namespace tramazel::centre_import;
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
        CentreImport import(qtemp);
        import.setBuilders(test::fake::builders());
        import.setFaultHook(std::move(hook));
        Warnings warnings;
        Prompts prompts;
        return import.run(doc, prompts, warnings);
    }

    // Every step the run takes, from a successful run in a scratch directory; also
    // the directory that run leaves.
    std::vector<std::string> stepsOfASuccessfulRun(Snapshot* after = nullptr)
    {
        TempDir scratch;
        fillTimetableDirectory(scratch / "qtemp");
        std::vector<std::string> steps;
        CentreImport import(scratch / "qtemp");
        import.setBuilders(test::fake::builders());
        import.setFaultHook([&](std::string_view step) {
            steps.emplace_back(step);
        return FaultAction::Proceed;
    });
    Warnings warnings;
    Prompts prompts;
    import.run(doc, prompts, warnings);
    if (after)
        *after = snapshot(scratch / "qtemp");
    return steps;
}

TempDir dir;
fs::path qtemp;
xml::XmlDocument doc = xml::XmlDocument::parse("<CENTRE/>", "centre.xml");
}; // namespace

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

TEST_F(CentreImportRun, AFailureAtAnyStepLeavesTheDirectoryByteIdentical)
{
    const auto steps = stepsOfASuccessfulRun();
    const auto cleanup = std::find(steps.begin(), steps.end(), "cleanup");
    ASSERT_NE(cleanup, steps.end());
    // Every builder, table move and the commit are among the steps.
    for (const char* step : { "builder:FakeCursos", "backup:Proft.dbf", "backup:asignomt.mdx",
             "install:PROFT.MDX", "install:ASIGT.DBF", "commit" })
        EXPECT_NE(std::find(steps.begin(), cleanup, step), cleanup) << step;

    const Snapshot before = snapshot(qtemp);
    for (std::size_t k = 0; steps.begin() + static_cast<std::ptrdiff_t>(k) != cleanup; ++k) {
        std::size_t call = 0;
        try {
            runImport(
                [&](std::string_view) { return call++ == k ? FaultAction::Fail : FaultAction::Proceed; });
            ADD_FAILURE() << "no failure at " << steps[k];
        } catch (const Error& e) {
            EXPECT_EQ(e.code(), ErrorCode::Interrupted) << steps[k];
        }
        EXPECT_EQ(snapshot(qtemp), before) << "failure at " << steps[k];
    }
}

TEST_F(CentreImportRun, AKillAtAnyStepIsRolledBackOrFinishedAtTheNextStart)
{
    Snapshot after;
    const auto steps = stepsOfASuccessfulRun(&after);
    const Snapshot before = snapshot(qtemp);
    const auto commit = std::find(steps.begin(), steps.end(), "commit");
    ASSERT_NE(commit, steps.end());

    for (std::size_t k = 0; k < steps.size(); ++k) {
        std::size_t call = 0;
        EXPECT_THROW(runImport([&](std::string_view) {
            return call++ == k ? FaultAction::Crash : FaultAction::Proceed;
        }),
            SimulatedCrash)
            << steps[k];
        const bool committed = steps.begin() + static_cast<std::ptrdiff_t>(k) > commit;
        const Recovery outcome = CentreImport::recover(qtemp);
        EXPECT_NE(outcome, Recovery::Nothing) << steps[k];
        EXPECT_EQ(outcome == Recovery::Completed, committed) << steps[k];
        EXPECT_EQ(snapshot(qtemp), committed ? after : before) << "killed at " << steps[k];
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
    try {
        runImport();
        ADD_FAILURE() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), ErrorCode::TableCorrupt);
        EXPECT_EQ(e.message(),
            "Fallo de prueba en FakeCursos. Las tablas del directorio de horarios no se han modificado");
    }
    EXPECT_EQ(snapshot(qtemp), before);
}

TEST_F(CentreImportRun, ATableHeldByAnotherProgramRefusesTheRun)
{
    const Snapshot before = snapshot(qtemp);
    for (const char* held : { "ASIGNOMT.DBF", "Proft.dbf" }) {
        auto lock = platform::FileLock::tryLock(qtemp / held, platform::FileLock::Mode::Shared);
        ASSERT_TRUE(lock);
        try {
            runImport();
            ADD_FAILURE() << "no error with " << held << " held";
        } catch (const Error& e) {
            EXPECT_EQ(e.code(), ErrorCode::TableLocked) << held;
        }
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
    try {
        runImport();
        ADD_FAILURE() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), ErrorCode::TableLocked);
    }
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
        try {
            CentreImport::recover(qtemp);
            ADD_FAILURE() << "no error for '" << journal << "'";
        } catch (const Error& e) {
            EXPECT_EQ(e.code(), ErrorCode::TableCorrupt);
        }
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
    CentreImport import(dir / "nowhere");
    import.setBuilders(test::fake::builders());
    Warnings warnings;
    Prompts prompts;
    try {
        import.run(doc, prompts, warnings);
        ADD_FAILURE() << "no error";
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), ErrorCode::FileNotFound);
    }
    EXPECT_FALSE(fs::exists(dir / "nowhere"));
}

TEST_F(CentreImportRun, TheRealBuildersUnderAFailureAtEveryStep)
{
    const fs::path sample = fs::path(TRAMAZEL_SAMPLES_DIR) / "centre.xml";
    if (!fs::exists(sample))
        GTEST_SKIP() << "no sample centre file";
    const xml::XmlDocument centre = xml::XmlDocument::load(sample);
    auto runReal = [&](FaultHook hook) {
        CentreImport import(qtemp);
        import.setFaultHook(std::move(hook));
        Warnings warnings;
        Prompts prompts;
        return import.run(centre, prompts, warnings);
    };

    std::vector<std::string> steps;
    {
        TempDir scratch;
        fillTimetableDirectory(scratch / "qtemp");
        CentreImport import(scratch / "qtemp");
        import.setFaultHook([&](std::string_view step) {
            steps.emplace_back(step);
        return FaultAction::Proceed;
    });
    Warnings warnings;
    Prompts prompts;
    const auto tables = import.run(centre, prompts, warnings);
    std::vector<std::string> names;
    for (const auto& t : tables)
        names.push_back(t.name);
    EXPECT_EQ(names, std::vector<std::string>(kImportTables.begin(), kImportTables.end()));
}

const Snapshot before = snapshot(qtemp);
for (std::size_t k = 0; k < steps.size() && steps[k] != "cleanup"; ++k) {
    std::size_t call = 0;
    EXPECT_THROW(
        runReal([&](std::string_view) { return call++ == k ? FaultAction::Fail : FaultAction::Proceed; }),
        Error)
        << steps[k];
    EXPECT_EQ(snapshot(qtemp), before) << "failure at " << steps[k];
}
}
