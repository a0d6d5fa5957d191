// SPDX-License-Identifier: GPL-3.0-or-later
#include "centre_import/CentreImport.h"
#include "../dbf/OtherProcessLock.h"
#include "Error.h"
#include "FakeBuilders.h"
#include "TestSupport.h"
#include "platform/Platform.h"
#include "xml/XmlDocument.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <functional>
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
    void editCourseLevels(centre_import::CourseLevelGrid&) override { }
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

namespace {

// The syncs and renames of a run, in order, with paths relative to the timetable
// directory: "sync .tramazel-staging/PROFT.DBF", "sync-folder .",
// "rename .tramazel-journal.new > .tramazel-journal".
class DurableSteps {
public:
    explicit DurableSteps(const fs::path& qtemp)
    {
        platform::setDurabilityObserver(
            [this, qtemp](platform::DurableStep step, const fs::path& first, const fs::path& second) {
                auto rel = [&](const fs::path& p) { return p.lexically_relative(qtemp).generic_string(); };
                switch (step) {
                case platform::DurableStep::FileSynced:
                    m_steps.push_back("sync " + rel(first));
                    break;
                case platform::DurableStep::FolderSynced:
                    m_steps.push_back("sync-folder " + rel(first));
                    break;
                case platform::DurableStep::Renamed:
                    m_steps.push_back("rename " + rel(first) + " > " + rel(second));
                    break;
                }
            });
    }
    ~DurableSteps() { platform::setDurabilityObserver({}); }
    DurableSteps(const DurableSteps&) = delete;
    DurableSteps& operator=(const DurableSteps&) = delete;

    const std::vector<std::string>& steps() const { return m_steps; }

private:
    std::vector<std::string> m_steps;
};

bool startsWith(const std::string& s, std::string_view prefix)
{
    return s.compare(0, prefix.size(), prefix) == 0;
}

} // namespace

// After a power cut at any moment the next start must find the old tables or the new
// ones, whole: each step of the swap reaches the disk before the next relies on it.
TEST_F(CentreImportRun, EachStepOfTheSwapIsOnDiskBeforeTheNextReliesOnIt)
{
    DurableSteps durable(qtemp);
    runImport();
    const std::vector<std::string>& steps = durable.steps();

    using Match = std::function<bool(const std::string&)>;
    auto is = [](std::string exact) { return Match([exact](const std::string& s) { return s == exact; }); };
    auto prefixed = [](std::string prefix) {
        return Match([prefix](const std::string& s) { return startsWith(s, prefix); });
    };
    const Match stagedSync = prefixed("sync .tramazel-staging/");
    const Match backupMove = [](const std::string& s) {
        return startsWith(s, "rename ") && s.find(" > .tramazel-backup/") != std::string::npos;
    };
    const Match installMove = prefixed("rename .tramazel-staging/");
    const Match journalSync = is("sync .tramazel-journal.new");
    const Match journalInPlace = is("rename .tramazel-journal.new > .tramazel-journal");
    const Match commit = is("rename .tramazel-journal > .tramazel-committed");
    const Match directorySync = is("sync-folder .");
    const Match backupFolderSync = is("sync-folder .tramazel-backup");
    const Match stagingFolderSync = is("sync-folder .tramazel-staging");
    const Match never = [](const std::string&) { return false; };

    auto indices = [&](const Match& m) {
        std::vector<std::size_t> found;
        for (std::size_t i = 0; i < steps.size(); ++i) {
            if (m(steps[i]))
                found.push_back(i);
        }
        return found;
    };
    // The first step matching `m` after position `from`.
    auto firstAfter = [&](const Match& m, std::size_t from) -> std::optional<std::size_t> {
        for (std::size_t i = from + 1; i < steps.size(); ++i) {
            if (m(steps[i]))
                return i;
        }
        return std::nullopt;
    };

    // Each rule: every step matching `done` happens, and `synced` follows the last of
    // them before the first step matching `next`.
    struct Rule {
        const char* name;
        Match done;
        Match synced;
        Match next;
    };
    const Rule rules[] = {
        // The journal's contents may share the tables' batch of syncs: it counts only
        // once it has its name.
        { "staged tables on disk before the journal is put in place", stagedSync, stagingFolderSync,
            journalInPlace },
        { "journal contents on disk before it is put in place", journalSync, journalInPlace, backupMove },
        // The journal goes in place and the old tables go aside in one batch: until a
        // new table comes in, a lost journal leaves nothing the next start cannot put back.
        { "journal in place on disk before the first new table comes in", journalInPlace, directorySync,
            installMove },
        { "old tables aside (backup folder) before the first new one comes in", backupMove, backupFolderSync,
            installMove },
        { "old tables aside (timetable directory) before the first new one comes in", backupMove,
            directorySync, installMove },
        // The new tables go in place and the commit is marked in one batch: a mark that
        // reaches the disk before some of the moves is finished from the staging folder.
        { "new tables in place and the commit on disk", commit, directorySync, never },
        { "new tables gone from the staging folder on disk", commit, stagingFolderSync, never },
    };
    EXPECT_EQ(indices(stagedSync).size(), 5u) << "four tables and PROFT's index";
    for (const Rule& r : rules) {
        SCOPED_TRACE(r.name);
        const auto done = indices(r.done);
        ASSERT_FALSE(done.empty()) << ::testing::PrintToString(steps);
        const auto synced = firstAfter(r.synced, done.back());
        ASSERT_TRUE(synced) << ::testing::PrintToString(steps);
        const auto next = indices(r.next);
        if (!next.empty()) {
            EXPECT_LT(*synced, next.front()) << ::testing::PrintToString(steps);
        }
    }
}

// A rollback puts the old tables back for good before it drops the journal.
TEST_F(CentreImportRun, ARollbackIsOnDiskBeforeTheJournalGoes)
{
    const Snapshot before = snapshot(qtemp);
    // Crash after the first new table came in; the next start rolls back.
    std::size_t step = 0;
    EXPECT_THROW(runImport([&](std::string_view name) {
        return startsWith(std::string(name), "install:") && step++ == 1 ? FaultAction::Crash
                                                                        : FaultAction::Proceed;
    }),
        SimulatedCrash);
    DurableSteps durable(qtemp);
    EXPECT_EQ(CentreImport::recover(qtemp), Recovery::RolledBack);
    const auto& steps = durable.steps();
    const auto lastMoveBack = std::find_if(steps.rbegin(), steps.rend(),
        [](const std::string& s) { return startsWith(s, "rename .tramazel-backup/"); });
    ASSERT_NE(lastMoveBack, steps.rend()) << ::testing::PrintToString(steps);
    EXPECT_NE(std::find(steps.rbegin(), lastMoveBack, "sync-folder ."), lastMoveBack)
        << ::testing::PrintToString(steps);
    EXPECT_EQ(snapshot(qtemp), before);
}

// After a power cut the disk may hold the mark of the commit without some of the
// moves made before it. The next start finishes the swap from the staging folder, and
// the new tables are in place for good before the old ones are thrown away.
TEST_F(CentreImportRun, ACommitOnDiskWithoutSomeOfItsMovesIsFinishedAtTheNextStart)
{
    const SuccessfulRun good = successfulRun(doc, test::fake::builders());
    std::size_t step = 0;
    EXPECT_THROW(runImport([&](std::string_view name) {
        return startsWith(std::string(name), "install:") && step++ == 2 ? FaultAction::Crash
                                                                        : FaultAction::Proceed;
    }),
        SimulatedCrash);
    fs::rename(qtemp / ".tramazel-journal", qtemp / ".tramazel-committed");

    DurableSteps durable(qtemp);
    EXPECT_EQ(CentreImport::recover(qtemp), Recovery::Completed);
    EXPECT_EQ(snapshot(qtemp), good.after);
    const auto& steps = durable.steps();
    const auto lastMoveIn = std::find_if(steps.rbegin(), steps.rend(),
        [](const std::string& s) { return startsWith(s, "rename .tramazel-staging/"); });
    ASSERT_NE(lastMoveIn, steps.rend()) << ::testing::PrintToString(steps);
    EXPECT_NE(std::find(steps.rbegin(), lastMoveIn, "sync-folder ."), lastMoveIn)
        << ::testing::PrintToString(steps);
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
    TRAMAZEL_SKIP_ON_WINDOWS("the other program is a python3 process holding POSIX locks; on Windows the "
                             "Windows programs' test holds LockFileEx from a second process");
    const Snapshot before = snapshot(qtemp);
    for (const char* held : { "ASIGNOMT.DBF", "Proft.dbf" }) {
        auto lock = platform::FileLock::tryLock(qtemp / held, platform::FileLock::Mode::Shared);
        ASSERT_TRUE(lock);
        SCOPED_TRACE(held);
        expectError(ErrorCode::TableLocked, [&] { runImport(); });
        EXPECT_EQ(snapshot(qtemp), before) << held;
    }
    // The locks of programs that lock ranges of a table (Zelvano under Wine among them).
    using test::ForeignLock;
    for (ForeignLock kind : { ForeignLock::FlockShared, ForeignLock::RangeWriteHead,
             ForeignLock::RangeReadHead, ForeignLock::RangeWriteFar, ForeignLock::OfdWriteWhole }) {
        SCOPED_TRACE(test::OtherProcessLock::kindName(kind));
        test::OtherProcessLock other(qtemp / "Proft.dbf", kind);
        expectError(ErrorCode::TableLocked, [&] { runImport(); });
        EXPECT_EQ(snapshot(qtemp), before);
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
