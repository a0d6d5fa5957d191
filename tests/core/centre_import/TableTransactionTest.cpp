// SPDX-License-Identifier: GPL-3.0-or-later
// The transaction that replaces the tables: its swap, the order in which the swap
// reaches the disk, and what the next start makes of a run stopped at any of its
// operations. The new "tables" are plain files: the transaction only moves them.
#include "centre_import/TableTransaction.h"
#include "Error.h"
#include "LockingProgram.h"
#include "TestIo.h"
#include "TestSupport.h"
#include "platform/IoHooks.h"
#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <functional>
#include <limits>
#include <map>
#include <optional>

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

constexpr std::array<std::string_view, 4> kTables = { "ASIGNOMT", "PROFT", "CURSOST", "ASIGT" };

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

// Four new tables, one with an index, and a file that is no table.
void stageNewTables(const fs::path& staging)
{
    for (const char* name : { "ASIGNOMT.DBF", "PROFT.DBF", "PROFT.MDX", "CURSOST.DBF", "ASIGT.DBF" })
        writeFile(staging / name, std::string("new ") + name);
    writeFile(staging / "notes.txt", "not a table");
}

// A whole transaction as the import runs one: begin, stage, commit, or roll back.
void runTransaction(const fs::path& qtemp, const platform::IoHooks* io = nullptr)
{
    TableTransaction transaction(qtemp, io);
    transaction.begin(kTables, TableTransaction::Leftovers::Resolve);
    try {
        stageNewTables(transaction.stagingDir());
        transaction.commit();
    } catch (...) {
        transaction.rollBackAndRethrow();
    }
}

// What a hook does at the operation it stops.
enum class Stop {
    None,
    CrashBefore, ///< killed before the operation
    CrashAfter, ///< killed right after it
    Fail, ///< the operation fails (a step: Interrupted; a file operation: FileIo)
};

// Hooks that name every operation of a run in order, paths relative to the timetable
// directory ("step commit", "open .tramazel-journal.new", "write .tramazel-journal.new",
// "sync .tramazel-staging/PROFT.DBF .tramazel-journal.new | .tramazel-staging",
// "rename .tramazel-journal > .tramazel-committed", "remove .tramazel-backup"), and
// stop the run at the k-th (from 0). A stream is closed before the kill, as the
// system closes a killed process's files; a kill before a write leaves it empty.
class Operations {
public:
    explicit Operations(
        fs::path base, std::size_t k = std::numeric_limits<std::size_t>::max(), Stop stop = Stop::None)
        : m_base(std::move(base))
        , m_k(k)
        , m_stop(stop)
    {
        const platform::IoHooks& system = platform::systemIo();
        m_hooks.step = [this](std::string_view step) {
            if (next("step " + std::string(step)) != Stop::None)
                stopRun(); // a step does nothing of its own: before and after are alike
        };
        m_hooks.open = [this, &system](const fs::path& file, const char* mode) -> std::FILE* {
            const Stop here = next("open " + relative(file));
            if (here == Stop::CrashBefore)
                throw platform::SimulatedCrash();
            if (here == Stop::Fail)
                return nullptr;
            std::FILE* stream = system.open(file, mode);
            m_streams[stream] = file.filename().generic_string();
            if (here == Stop::CrashAfter) {
                system.close(stream);
                throw platform::SimulatedCrash();
            }
            return stream;
        };
        m_hooks.write = [this, &system](std::FILE* stream, const void* data, std::size_t size) {
            const Stop here = next("write " + m_streams[stream]);
            if (here == Stop::Fail)
                return std::size_t { 0 };
            const std::size_t written = here == Stop::CrashBefore ? 0 : system.write(stream, data, size);
            if (here != Stop::None) {
                system.close(stream);
                throw platform::SimulatedCrash();
            }
            return written;
        };
        m_hooks.close = [this, &system](std::FILE* stream) {
            const Stop here = next("close " + m_streams[stream]);
            const int closed = system.close(stream);
            if (here == Stop::CrashBefore || here == Stop::CrashAfter)
                throw platform::SimulatedCrash();
            return here == Stop::Fail ? EOF : closed;
        };
        m_hooks.sync
            = [this, &system](const std::vector<fs::path>& files, const std::vector<fs::path>& folders) {
                  std::string name = "sync";
                  for (const fs::path& file : files)
                      name += " " + relative(file);
                  name += " |";
                  for (const fs::path& folder : folders)
                      name += " " + relative(folder);
                  around(next(name), [&] { system.sync(files, folders); });
              };
        m_hooks.rename = [this, &system](const fs::path& from, const fs::path& to, const std::string& what) {
            around(next("rename " + relative(from) + " > " + relative(to)),
                [&] { system.rename(from, to, what); });
        };
        m_hooks.remove = [this, &system](const fs::path& path, const std::string& what) {
            around(next("remove " + relative(path)), [&] { system.remove(path, what); });
        };
    }
    Operations(const Operations&) = delete;
    Operations& operator=(const Operations&) = delete;

    const platform::IoHooks* hooks() const noexcept { return &m_hooks; }
    const std::vector<std::string>& names() const noexcept { return m_names; }

private:
    Stop next(std::string name)
    {
        m_names.push_back(std::move(name));
        return m_names.size() - 1 == m_k ? m_stop : Stop::None;
    }

    [[noreturn]] void stopRun() const
    {
        if (m_stop == Stop::Fail)
            throw Error(ErrorCode::Interrupted, "Interrumpido en " + m_names.back());
        throw platform::SimulatedCrash();
    }

    void around(Stop stop, const std::function<void()>& operation) const
    {
        if (stop == Stop::CrashBefore)
            throw platform::SimulatedCrash();
        if (stop == Stop::Fail)
            throw Error(ErrorCode::FileIo, "Fallo de prueba en " + m_names.back());
        operation();
        if (stop == Stop::CrashAfter)
            throw platform::SimulatedCrash();
    }

    std::string relative(const fs::path& p) const { return p.lexically_relative(m_base).generic_string(); }

    platform::IoHooks m_hooks;
    fs::path m_base;
    std::size_t m_k;
    Stop m_stop;
    std::vector<std::string> m_names;
    std::map<std::FILE*, std::string> m_streams;
};

std::size_t indexOf(const std::vector<std::string>& names, std::string_view name)
{
    return static_cast<std::size_t>(std::find(names.begin(), names.end(), name) - names.begin());
}

bool startsWith(const std::string& s, std::string_view prefix)
{
    return s.compare(0, prefix.size(), prefix) == 0;
}

// Hooks that kill the run at the n-th step (from 0) whose name starts with `prefix`.
platform::IoHooks killAtStep(std::string prefix, std::size_t n)
{
    platform::IoHooks hooks;
    hooks.step = [prefix = std::move(prefix), n, seen = std::size_t { 0 }](std::string_view step) mutable {
        if (step.starts_with(prefix) && seen++ == n)
            throw platform::SimulatedCrash();
    };
    return hooks;
}

class TableTransactionRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        fillTimetableDirectory(qtemp);
        before = snapshot(qtemp);
        TempDir scratch;
        fillTimetableDirectory(scratch / "qtemp");
        Operations good(scratch / "qtemp");
        runTransaction(scratch / "qtemp", good.hooks());
        operations = good.names();
        after = snapshot(scratch / "qtemp");
    }

    // Back to the starting point.
    void refill()
    {
        fs::remove_all(qtemp);
        fillTimetableDirectory(qtemp);
    }

    TempDir dir;
    fs::path qtemp = dir / "qtemp";
    Snapshot before;
    Snapshot after; // what a whole run leaves
    std::vector<std::string> operations; // of a whole run, in order
};

} // namespace

TEST_F(TableTransactionRun, ReplacesEveryVariantOfTheStagedTablesAndLeavesNoTrace)
{
    runTransaction(qtemp);
    std::vector<std::string> names;
    for (const auto& [name, bytes] : snapshot(qtemp))
        names.push_back(name);
    const std::vector<std::string> expected = { "ASIGNOMT.DBF", "ASIGT.DBF", "CURSOST.DBF", "PROFT.DBF",
        "PROFT.MDX", "SOLUC.DBF", "saga/", "saga/centre.xml" };
    EXPECT_EQ(names, expected);
    EXPECT_EQ(readFile(qtemp / "ASIGNOMT.DBF"), "new ASIGNOMT.DBF");
    EXPECT_EQ(readFile(qtemp / "SOLUC.DBF"), "Zelvano's solution");
    EXPECT_EQ(snapshot(qtemp), after);
    EXPECT_EQ(TableTransaction::recover(qtemp), Recovery::Nothing);
}

// A kill before or after any operation of the run: the next start finds the old
// tables or the new ones, whole, and nothing of the run.
TEST_F(TableTransactionRun, AKillAtAnyOperationIsRolledBackOrFinishedAtTheNextStart)
{
    const std::size_t commit = indexOf(operations, "rename .tramazel-journal > .tramazel-committed");
    ASSERT_LT(commit, operations.size()) << ::testing::PrintToString(operations);
    for (Stop stop : { Stop::CrashBefore, Stop::CrashAfter }) {
        for (std::size_t k = 0; k < operations.size(); ++k) {
            const std::string where
                = std::string(stop == Stop::CrashBefore ? "killed before " : "killed after ") + operations[k];
            SCOPED_TRACE(where);
            {
                Operations killing(qtemp, k, stop);
                EXPECT_THROW(runTransaction(qtemp, killing.hooks()), platform::SimulatedCrash);
            }
            const bool committed = k > commit || (k == commit && stop == Stop::CrashAfter);
            const Recovery outcome = TableTransaction::recover(qtemp);
            if (committed)
                EXPECT_TRUE(outcome == Recovery::Completed || outcome == Recovery::Nothing);
            else
                EXPECT_TRUE(outcome == Recovery::CleanedUp || outcome == Recovery::RolledBack);
            EXPECT_EQ(snapshot(qtemp), committed ? after : before);
            refill();
        }
    }
}

// A failure of any operation before the commit is on disk rolls the run back at once;
// one while tidying up after it leaves the new tables, and the rest for the next start.
TEST_F(TableTransactionRun, AFailureAtAnyOperationLeavesTheOldTablesOrTheNewOnes)
{
    const std::size_t tidying = indexOf(operations, "step cleanup");
    ASSERT_LT(tidying, operations.size()) << ::testing::PrintToString(operations);
    for (std::size_t k = 0; k < operations.size(); ++k) {
        SCOPED_TRACE("failing " + operations[k]);
        Operations failing(qtemp, k, Stop::Fail);
        if (k >= tidying) {
            runTransaction(qtemp, failing.hooks());
            TableTransaction::recover(qtemp);
            EXPECT_EQ(snapshot(qtemp), after);
            refill();
            continue;
        }
        const ErrorCode code
            = startsWith(operations[k], "step ") ? ErrorCode::Interrupted : ErrorCode::FileIo;
        const auto error = expectError(code, [&] { runTransaction(qtemp, failing.hooks()); });
        if (error) {
            EXPECT_TRUE(
                error->message().ends_with(" Las tablas del directorio de horarios no se han modificado"))
                << error->message();
        }
        EXPECT_EQ(snapshot(qtemp), before);
    }
}

// After a power cut at any moment the next start must find the old tables or the new
// ones, whole: each step of the swap reaches the disk before the next relies on it.
TEST_F(TableTransactionRun, EachStepOfTheSwapIsOnDiskBeforeTheNextReliesOnIt)
{
    test::DurableSteps durable(qtemp);
    runTransaction(qtemp, durable.hooks());
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
TEST_F(TableTransactionRun, ARollbackIsOnDiskBeforeTheJournalGoes)
{
    // Killed after the first new table came in; the next start rolls back.
    const platform::IoHooks killing = killAtStep("install:", 1);
    EXPECT_THROW(runTransaction(qtemp, &killing), platform::SimulatedCrash);
    test::DurableSteps durable(qtemp);
    EXPECT_EQ(TableTransaction::recover(qtemp, durable.hooks()), Recovery::RolledBack);
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
TEST_F(TableTransactionRun, ACommitOnDiskWithoutSomeOfItsMovesIsFinishedAtTheNextStart)
{
    const platform::IoHooks killing = killAtStep("install:", 2);
    EXPECT_THROW(runTransaction(qtemp, &killing), platform::SimulatedCrash);
    fs::rename(qtemp / ".tramazel-journal", qtemp / ".tramazel-committed");

    test::DurableSteps durable(qtemp);
    EXPECT_EQ(TableTransaction::recover(qtemp, durable.hooks()), Recovery::Completed);
    EXPECT_EQ(snapshot(qtemp), after);
    const auto& steps = durable.steps();
    const auto lastMoveIn = std::find_if(steps.rbegin(), steps.rend(),
        [](const std::string& s) { return startsWith(s, "rename .tramazel-staging/"); });
    ASSERT_NE(lastMoveIn, steps.rend()) << ::testing::PrintToString(steps);
    EXPECT_NE(std::find(steps.rbegin(), lastMoveIn, "sync-folder ."), lastMoveIn)
        << ::testing::PrintToString(steps);
}

// Another program that has the old tables open (Zelvano under Wine, a dBASE tool)
// asks for a lock before it writes. From the last check until the new tables are in
// place it gets none on any file the swap replaces, index included, so no edit of its
// is thrown away with the old table; it gets them again once the run is over.
TEST_F(TableTransactionRun, TheReplacedFilesStayLockedFromTheLastCheckUntilTheNewOnesAreInPlace)
{
#ifdef _WIN32
    GTEST_SKIP() << "the other program is a python3 process taking POSIX locks";
#else
    const std::vector<std::string> replaced
        = { "ASIGNOMT.DBF", "asignomt.mdx", "PROFT.DBF", "Proft.dbf", "CURSOST.DBF" };
    std::vector<fs::path> files;
    for (const std::string& name : replaced)
        files.push_back(qtemp / name);
    files.push_back(qtemp / "SOLUC.DBF"); // not replaced: never held
    test::LockingProgram other(files);
    std::vector<std::string> names = replaced;
    names.push_back("SOLUC.DBF");
    const std::vector<std::string> everyLock = test::LockingProgram::allKinds(names);
    const std::vector<std::string> solucOnly = test::LockingProgram::allKinds({ "SOLUC.DBF" });
    ASSERT_EQ(other.lockable(), everyLock);

    platform::IoHooks watching;
    bool checked = false;
    std::vector<std::string> watched;
    watching.step = [&](std::string_view step) {
        if (step == "check-tables-again") {
            checked = true;
            return;
        }
        if (!checked || !(step == "journal" || step.starts_with("backup:") || step.starts_with("install:")))
            return;
        watched.emplace_back(step);
        EXPECT_EQ(other.lockable(), solucOnly) << "at " << step;
    };
    runTransaction(qtemp, &watching);
    EXPECT_EQ(watched.size(), 1u + replaced.size() + 5u) << ::testing::PrintToString(watched);
    EXPECT_EQ(snapshot(qtemp), after);
    EXPECT_EQ(other.lockable(), everyLock);
#endif
}

// Whoever holds the directory (another run changing it or reading it, or a run of an
// older version, which held a lock file in its staging folder), its files are left
// alone: a recovery is busy, a second transaction and a reader that would have to
// recover are refused. Once it is gone, its leftovers are cleaned up.
TEST_F(TableTransactionRun, ALiveRunIsLeftAloneAndRefusesASecondOne)
{
    struct Holder {
        const char* name;
        std::function<std::unique_ptr<platform::FileLock>(const fs::path& qtemp)> hold;
    };
    const Holder holders[] = {
        { "a run changing the directory",
            [](const fs::path& q) {
                return platform::FileLock::tryLock(q / ".tramazel-lock", platform::FileLock::Mode::Exclusive,
                    platform::FileLock::Missing::Create);
            } },
        { "a run reading the tables",
            [](const fs::path& q) {
                return platform::FileLock::tryLock(q / ".tramazel-lock", platform::FileLock::Mode::Shared,
                    platform::FileLock::Missing::Create);
            } },
        { "a run of an older version",
            [](const fs::path& q) {
                writeFile(q / ".tramazel-staging" / "run.lock", "");
                return platform::FileLock::tryLock(
                    q / ".tramazel-staging" / "run.lock", platform::FileLock::Mode::Exclusive);
            } },
    };
    for (const Holder& holder : holders) {
        SCOPED_TRACE(holder.name);
        fs::create_directories(qtemp / ".tramazel-staging");
        writeFile(qtemp / ".tramazel-staging" / "ASIGNOMT.DBF", "being written");
        auto lock = holder.hold(qtemp);
        ASSERT_TRUE(lock);
        const Snapshot live = snapshot(qtemp);

        EXPECT_EQ(TableTransaction::recover(qtemp), Recovery::Busy);
        expectError(ErrorCode::TableLocked, [&] { runTransaction(qtemp); });
        expectError(ErrorCode::TableLocked, [&] { TableTransaction::lockForReading(qtemp); });
        EXPECT_EQ(snapshot(qtemp), live);

        lock.reset(); // the other run ended, or died
        EXPECT_EQ(TableTransaction::recover(qtemp), Recovery::CleanedUp);
        EXPECT_EQ(snapshot(qtemp), before);
    }
}

// The check a window makes before it asks anything creates nothing, not even the lock
// file, and refuses as the run would, saying what stops it and where: another program
// holding a table, another run holding the directory, a folder this user may not
// change (the run itself refuses that one before it makes its lock file too).
TEST_F(TableTransactionRun, TheCheckBeforeARunCreatesNothingAndSaysWhatWouldStopIt)
{
    TableTransaction::checkCanBegin(qtemp, kTables);
    EXPECT_EQ(snapshot(qtemp), before);
    expectError(ErrorCode::FileNotFound, [&] { TableTransaction::checkCanBegin(dir / "nowhere", kTables); });
    EXPECT_FALSE(fs::exists(dir / "nowhere"));

    platform::IoHooks readOnly;
    readOnly.folderWriteError = [](const fs::path&) { return EROFS; };
    for (const auto& refused :
        { std::function<void()>([&] { TableTransaction::checkCanBegin(qtemp, kTables, &readOnly); }),
            std::function<void()>([&] { runTransaction(qtemp, &readOnly); }) }) {
        const auto error = expectError(ErrorCode::FileIo, refused);
        ASSERT_TRUE(error);
        EXPECT_NE(error->message().find(qtemp.string() + ": el disco es de solo lectura"), std::string::npos)
            << error->message();
        EXPECT_EQ(snapshot(qtemp), before);
    }

#ifndef _WIN32
    {
        test::LockingProgram other({ qtemp / "Proft.dbf" });
        other.hold("head"); // how Zelvano's lock under Wine looks from here
        const auto error
            = expectError(ErrorCode::TableLocked, [&] { TableTransaction::checkCanBegin(qtemp, kTables); });
        ASSERT_TRUE(error);
        for (const std::string& part :
            { std::string("PROFT"), std::string("Zelvano"), (qtemp / "Proft.dbf").string() })
            EXPECT_NE(error->message().find(part), std::string::npos) << part << " in " << error->message();
        other.release();
        TableTransaction::checkCanBegin(qtemp, kTables);
    }
#endif
    {
        const auto otherRun = DirectoryLock::take(qtemp, DirectoryLock::Use::Read);
        expectError(ErrorCode::TableLocked, [&] { TableTransaction::checkCanBegin(qtemp, kTables); });
    }
    TableTransaction::checkCanBegin(qtemp, kTables);
}

// The lock file stays, empty, and is made only by a run that needs it.
TEST_F(TableTransactionRun, TheLockFileIsMadeOnlyWhenNeededAndStays)
{
    EXPECT_EQ(TableTransaction::recover(qtemp), Recovery::Nothing);
    EXPECT_FALSE(fs::exists(qtemp / ".tramazel-lock")) << "nothing to recover, nothing made";
    runTransaction(qtemp);
    ASSERT_TRUE(fs::is_regular_file(qtemp / ".tramazel-lock"));
    EXPECT_EQ(fs::file_size(qtemp / ".tramazel-lock"), 0u);
    runTransaction(qtemp);
    EXPECT_EQ(fs::file_size(qtemp / ".tramazel-lock"), 0u);
    {
        const auto reading = TableTransaction::lockForReading(qtemp);
        EXPECT_TRUE(reading && reading->use() == DirectoryLock::Use::Read);
        const auto alongside = TableTransaction::lockForReading(qtemp);
        EXPECT_TRUE(alongside) << "readers go together";
    }
    EXPECT_FALSE(TableTransaction::lockForReading(dir / "nowhere")) << "no folder, nothing held";
    EXPECT_FALSE(fs::exists(dir / "nowhere"));
}

// A dry run promises to change nothing: whatever an interrupted run left stops it.
TEST_F(TableTransactionRun, RefusedLeftoversStayAsTheyWere)
{
    struct Leftover {
        const char* name;
        void (*make)(const fs::path& qtemp);
    };
    const Leftover leftovers[] = {
        { "staging folder", [](const fs::path& q) { fs::create_directory(q / ".tramazel-staging"); } },
        { "backup folder", [](const fs::path& q) { fs::create_directory(q / ".tramazel-backup"); } },
        { "journal", [](const fs::path& q) { writeFile(q / ".tramazel-journal", "end\n"); } },
        { "journal being written", [](const fs::path& q) { writeFile(q / ".tramazel-journal.new", ""); } },
        { "commit mark", [](const fs::path& q) { writeFile(q / ".tramazel-committed", "end\n"); } },
    };
    for (const Leftover& leftover : leftovers) {
        SCOPED_TRACE(leftover.name);
        leftover.make(qtemp);
        const Snapshot left = snapshot(qtemp);
        TableTransaction transaction(qtemp);
        expectError(
            ErrorCode::TableLocked, [&] { transaction.begin(kTables, TableTransaction::Leftovers::Refuse); });
        EXPECT_EQ(snapshot(qtemp), left);
        refill();
    }

    // Without leftovers, a transaction discarded leaves the directory as it was.
    TableTransaction transaction(qtemp);
    transaction.begin(kTables, TableTransaction::Leftovers::Refuse);
    stageNewTables(transaction.stagingDir());
    transaction.discard();
    EXPECT_EQ(snapshot(qtemp), before);
}

TEST_F(TableTransactionRun, ADamagedJournalIsNeverFollowed)
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
        const Snapshot damaged = snapshot(qtemp);
        SCOPED_TRACE(journal);
        expectError(ErrorCode::TableCorrupt, [&] { TableTransaction::recover(qtemp); });
        EXPECT_EQ(snapshot(qtemp), damaged) << journal;
    }
}

TEST_F(TableTransactionRun, OldTablesLeftInTheBackupFolderAreNeverThrownAway)
{
    // No run leaves the backup folder without a journal; should it happen, the old
    // tables go back, and one that cannot (its place is taken) stays for a person.
    fs::create_directories(qtemp / ".tramazel-backup");
    writeFile(qtemp / ".tramazel-backup" / "MATIB.DBF", "old catalogue");
    writeFile(qtemp / ".tramazel-backup" / "ASIGNOMT.DBF", "older subjects");
    expectError(ErrorCode::TableCorrupt, [&] { TableTransaction::recover(qtemp); });
    EXPECT_EQ(readFile(qtemp / "MATIB.DBF"), "old catalogue");
    EXPECT_EQ(readFile(qtemp / ".tramazel-backup" / "ASIGNOMT.DBF"), "older subjects");
    EXPECT_EQ(readFile(qtemp / "ASIGNOMT.DBF"), "old subjects");

    fs::remove(qtemp / ".tramazel-backup" / "ASIGNOMT.DBF");
    EXPECT_EQ(TableTransaction::recover(qtemp), Recovery::CleanedUp);
    EXPECT_FALSE(fs::exists(qtemp / ".tramazel-backup"));
}

TEST_F(TableTransactionRun, AMissingTimetableDirectoryIsAnError)
{
    TableTransaction transaction(dir / "nowhere");
    expectError(
        ErrorCode::FileNotFound, [&] { transaction.begin(kTables, TableTransaction::Leftovers::Resolve); });
    EXPECT_FALSE(fs::exists(dir / "nowhere"));
}
