// SPDX-License-Identifier: GPL-3.0-or-later
// The import as a run of builders inside a TableTransaction: what the builders write
// replaces the old tables only when every builder completed, and a failure or a kill
// at any step leaves the old tables or the new ones. The transaction's own steps,
// syncs and recovery are tested in TableTransactionTest.
#include "centre_import/CentreImport.h"
#include "../dbf/OtherProcessLock.h"
#include "Error.h"
#include "FakeBuilders.h"
#include "TestSupport.h"
#include "platform/IoHooks.h"
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
    void editCourseLevels(CourseLevelGrid&) override { }
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

// Hooks whose step hook is `onStep`; every file operation is the system's.
platform::IoHooks stepHooks(std::function<void(std::string_view)> onStep)
{
    platform::IoHooks hooks;
    hooks.step = std::move(onStep);
    return hooks;
}

// How a hook stops the run at a step: as a failure there would, or dead, as a kill.
enum class Stop { Fail, Crash };

[[noreturn]] void stopAt(Stop how, std::string_view step)
{
    if (how == Stop::Crash)
        throw platform::SimulatedCrash();
    throw Error(ErrorCode::Interrupted, "Interrumpido en el paso " + std::string(step));
}

// Hooks that stop the run at its k-th step (from 0) and let every other one proceed.
platform::IoHooks stopAtStep(std::size_t k, Stop how)
{
    return stepHooks([k, how, call = std::size_t { 0 }](std::string_view step) mutable {
        if (call++ == k)
            stopAt(how, step);
    });
}

// Hooks that stop the run at the n-th step (from 0) whose name starts with `prefix`.
platform::IoHooks stopAtNth(std::string_view prefix, std::size_t n, Stop how)
{
    return stepHooks(
        [prefix = std::string(prefix), n, how, seen = std::size_t { 0 }](std::string_view step) mutable {
            if (step.starts_with(prefix) && seen++ == n)
                stopAt(how, step);
        });
}

// One run of the import over `doc` into `qtemp`; empty `builders` runs the real ones.
std::vector<TableWritten> runImport(const fs::path& qtemp, const xml::XmlDocument& doc,
    std::span<const BuilderStep> builders, const platform::IoHooks* io = nullptr, bool dryRun = false)
{
    CentreImport import(qtemp);
    if (!builders.empty())
        import.setBuilders(builders);
    import.setIo(io);
    import.setDryRun(dryRun);
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
    const platform::IoHooks hooks = stepHooks([&](std::string_view step) { run.steps.emplace_back(step); });
    for (const TableWritten& t : runImport(scratch / "qtemp", doc, builders, &hooks))
        run.tables.push_back(t.name);
    run.after = snapshot(scratch / "qtemp");
    return run;
}

class CentreImportRun : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::fake::failingBuilder.clear();
        qtemp = dir / "qtemp";
        fillTimetableDirectory(qtemp);
    }

    std::vector<TableWritten> runImport(const platform::IoHooks* io = nullptr, bool dryRun = false)
    {
        return ::runImport(qtemp, doc, test::fake::builders(), io, dryRun);
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
    EXPECT_EQ(TableTransaction::recover(qtemp), Recovery::Nothing);
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
            const platform::IoHooks failing = stopAtStep(k, Stop::Fail);
            expectError(
                ErrorCode::Interrupted, [&] { ::runImport(qtemp, *row.centre, row.builders, &failing); });
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
        const platform::IoHooks killing = stopAtStep(k, Stop::Crash);
        EXPECT_THROW(runImport(&killing), platform::SimulatedCrash) << steps[k];
        const bool committed = steps.begin() + static_cast<std::ptrdiff_t>(k) > commit;
        const Recovery outcome = TableTransaction::recover(qtemp);
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
    TRAMAZEL_SKIP_ON_WINDOWS("the other program is a python3 process holding POSIX locks; on Windows the "
                             "Windows programs' test holds LockFileEx from a second process");
    const Snapshot before = snapshot(qtemp);
    // An index counts as its table: the swap replaces it too.
    for (const char* held : { "ASIGNOMT.DBF", "Proft.dbf", "asignomt.mdx" }) {
        auto lock = platform::FileLock::tryLock(qtemp / held, platform::FileLock::Mode::Shared);
        ASSERT_TRUE(lock);
        SCOPED_TRACE(held);
        expectError(ErrorCode::TableLocked, [&] { runImport(); });
        EXPECT_EQ(snapshot(qtemp), before) << held;
    }
    // The locks of programs that lock ranges of a table (Zelvano under Wine among them).
    using test::ForeignLock;
    for (const char* held : { "Proft.dbf", "asignomt.mdx" }) {
        for (ForeignLock kind : { ForeignLock::FlockShared, ForeignLock::RangeWriteHead,
                 ForeignLock::RangeReadHead, ForeignLock::RangeWriteFar, ForeignLock::OfdWriteWhole }) {
            SCOPED_TRACE(std::string(held) + ": " + test::OtherProcessLock::kindName(kind));
            test::OtherProcessLock other(qtemp / held, kind);
            expectError(ErrorCode::TableLocked, [&] { runImport(); });
            EXPECT_EQ(snapshot(qtemp), before);
        }
    }
}

// Leftovers of an interrupted run (a kill after the first new table came in) are
// rolled back by the next run before its builders start; a dry run refuses them and
// changes nothing, and otherwise leaves the directory byte for byte as it was.
TEST_F(CentreImportRun, TheNextRunResolvesAnInterruptedOneAndADryRunRefusesIt)
{
    const SuccessfulRun good = successfulRun(doc, test::fake::builders());
    const Snapshot before = snapshot(qtemp);
    const platform::IoHooks killing = stopAtNth("install:", 1, Stop::Crash);
    EXPECT_THROW(runImport(&killing), platform::SimulatedCrash);
    const Snapshot interrupted = snapshot(qtemp);
    ASSERT_NE(interrupted, before);

    expectError(ErrorCode::TableLocked, [&] { runImport(nullptr, true); });
    EXPECT_EQ(snapshot(qtemp), interrupted);

    const platform::IoHooks failing = stopAtNth("builder:", 0, Stop::Fail);
    expectError(ErrorCode::Interrupted, [&] { runImport(&failing); });
    EXPECT_EQ(snapshot(qtemp), before) << "rolled back first, then the failed run left it so";

    runImport(nullptr, true);
    EXPECT_EQ(snapshot(qtemp), before);
    runImport();
    EXPECT_EQ(snapshot(qtemp), good.after);
}

TEST_F(CentreImportRun, AMissingTimetableDirectoryIsAnError)
{
    expectError(ErrorCode::FileNotFound, [&] { ::runImport(dir / "nowhere", doc, test::fake::builders()); });
    EXPECT_FALSE(fs::exists(dir / "nowhere"));
}
