// SPDX-License-Identifier: GPL-3.0-or-later
// Two runs on one timetable directory at the same moment. One run (an import, a dry
// run, an export, a show) is held at each point of its work in turn: each step it
// announces and each file operation it makes. Meanwhile another run starts beside it,
// on this process's other thread with handles of its own, or as another process (the
// command-line program). The other run either reads beside a reader or is refused
// with TableLocked, and either way leaves the directory byte for byte as it was; the
// held run then finishes as if it had been alone.
#include "Error.h"
#include "FakeBuilders.h"
#include "TablePrinter.h"
#include "TestSupport.h"
#include "ZelvanoTables.h"
#include "centre_import/ImportCentreFile.h"
#include "centre_import/TableTransaction.h"
#include "dbf/DbfTable.h"
#include "platform/IoHooks.h"
#include "solution_export/SolutionExport.h"
#include "xml/XmlDocument.h"

#include <gtest/gtest.h>

#include <condition_variable>
#include <limits>
#include <mutex>
#include <optional>
#include <sstream>
#include <thread>

using namespace tramazel;
using namespace tramazel::centre_import;
using tramazel::test::snapshot;
using tramazel::test::TempDir;
using tramazel::test::writeFile;
namespace fs = std::filesystem;

namespace {

using Snapshot = std::vector<std::pair<std::string, std::string>>;

enum class RunKind { Import, DryRun, Export, Show, StartUpRecovery };

const char* nameOf(RunKind run)
{
    switch (run) {
    case RunKind::Import:
        return "import";
    case RunKind::DryRun:
        return "dry run";
    case RunKind::Export:
        return "export";
    case RunKind::Show:
        return "show";
    case RunKind::StartUpRecovery:
        return "window start-up recovery";
    }
    return "";
}

bool onlyReads(RunKind run)
{
    return run == RunKind::Export || run == RunKind::Show;
}

struct Prompts : ImportPrompts {
    void editCourseLevels(CourseLevelGrid&) override { }
    bool askQuestion(std::string_view, std::string_view) override { return true; }
};

// How a run ended.
struct Outcome {
    bool done = false; ///< it did its work
    std::optional<ErrorCode> code; ///< it failed with this error
    std::optional<Recovery> recovery; ///< what the start-up recovery found
    std::string what; ///< the message, for failure output
};

std::string describe(const Outcome& outcome)
{
    if (outcome.recovery)
        return outcome.recovery == Recovery::Busy ? "recovery: busy" : "recovery: acted or found nothing";
    if (outcome.done)
        return "done";
    return outcome.code ? ::testing::PrintToString(*outcome.code) + ": " + outcome.what : outcome.what;
}

// What changed from `before` to `after`, by name: "+NAME", "-NAME", "~NAME".
std::vector<std::string> changes(const Snapshot& before, const Snapshot& after)
{
    std::vector<std::string> changed;
    auto b = before.begin();
    auto a = after.begin();
    while (b != before.end() || a != after.end()) {
        if (a == after.end() || (b != before.end() && b->first < a->first)) {
            changed.push_back("-" + (b++)->first);
        } else if (b == before.end() || a->first < b->first) {
            changed.push_back("+" + (a++)->first);
        } else {
            if (a->second != b->second)
                changed.push_back("~" + a->first);
            ++a;
            ++b;
        }
    }
    return changed;
}

// A timetable directory with the tables the export reads (empty, in the layouts the
// import writes), a centre file and the export's target folder.
class Workspace {
public:
    Workspace()
    {
        fs::create_directories(qtemp);
        fs::create_directories(target);
        namespace z = zelvano;
        dbf::DbfTable::create(qtemp, z::soluc::kTable, z::soluc::fields()).close();
        dbf::DbfTable::create(qtemp, z::proft::kTable, z::proft::fields()).close();
        dbf::DbfTable::create(qtemp, z::aulat::kTable, z::aulat::fields()).close();
        dbf::DbfTable::create(qtemp, z::asignomt::kTable, z::asignomt::fields()).close();
        dbf::DbfTable::create(qtemp, z::grupost::kTable, z::grupost::fields()).close();
        dbf::DbfTable::create(qtemp, z::diashorast::kTable, z::diashorast::fields()).close();
        writeFile(centre, "<CENTRE/>");
    }

    // One run of `run`, its file operations through `io`.
    Outcome perform(RunKind run, const platform::IoHooks* io) const
    {
        Outcome outcome;
        try {
            switch (run) {
            case RunKind::Import:
            case RunKind::DryRun: {
                xml::XmlDocument doc;
                Prompts prompts;
                CentreFileImportOptions options;
                options.builders = test::fake::builders();
                options.io = io;
                options.dryRun = run == RunKind::DryRun;
                outcome.done = importCentreFile(centre, qtemp, doc, prompts, options).has_value();
                break;
            }
            case RunKind::Export:
                outcome.done = solution_export::exportSolutionToTarget(qtemp, target, io).has_value();
                break;
            case RunKind::Show: {
                std::ostringstream out;
                cli::showTable(qtemp, zelvano::aulat::kTable, out, false, io);
                outcome.done = !out.str().empty();
                break;
            }
            case RunKind::StartUpRecovery:
                outcome.recovery = TableTransaction::recover(qtemp, io);
                outcome.done = outcome.recovery != Recovery::Busy;
                break;
            }
        } catch (const Error& e) {
            outcome.code = e.code();
            outcome.what = e.message();
        } catch (const std::exception& e) {
            outcome.what = e.what();
        }
        return outcome;
    }

    TempDir dir;
    fs::path qtemp = dir / "qtemp";
    fs::path target = dir / "out";
    fs::path centre = dir / "centre.xml";
};

// Hooks that hold their run at its k-th point (from 0), until released: each step
// announced and each open, close, sync, rename and removal, before the operation is
// made. Reads and writes go on (a held run is stopped between them).
class Holding {
public:
    explicit Holding(fs::path base, std::size_t k = std::numeric_limits<std::size_t>::max())
        : m_base(std::move(base))
        , m_k(k)
    {
        const platform::IoHooks& system = platform::systemIo();
        m_hooks.step = [this](std::string_view step) { point("step " + std::string(step)); };
        m_hooks.open = [this, &system](const fs::path& file, const char* mode) {
            point("open " + relative(file));
            return system.open(file, mode);
        };
        m_hooks.close = [this, &system](std::FILE* stream) {
            point("close");
            return system.close(stream);
        };
        m_hooks.sync
            = [this, &system](const std::vector<fs::path>& files, const std::vector<fs::path>& folders) {
                  point("sync");
                  system.sync(files, folders);
              };
        m_hooks.rename = [this, &system](const fs::path& from, const fs::path& to, const std::string& what) {
            point("rename " + relative(from) + " > " + relative(to));
            system.rename(from, to, what);
        };
        m_hooks.remove = [this, &system](const fs::path& path, const std::string& what) {
            point("remove " + relative(path));
            system.remove(path, what);
        };
    }
    Holding(const Holding&) = delete;
    Holding& operator=(const Holding&) = delete;

    const platform::IoHooks* hooks() const noexcept { return &m_hooks; }

    std::vector<std::string> points() const
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        return m_points;
    }

    // Waits until the run is held at its point, or has ended without reaching it.
    // Returns the point's name, or nothing when the run ended.
    std::optional<std::string> waitUntilHeld()
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_changed.wait(lock, [this] { return m_held || m_ended; });
        if (!m_held)
            return std::nullopt;
        return m_points[m_k];
    }

    void release()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_released = true;
        m_changed.notify_all();
    }

    void ended()
    {
        const std::lock_guard<std::mutex> lock(m_mutex);
        m_ended = true;
        m_changed.notify_all();
    }

private:
    void point(std::string name)
    {
        std::unique_lock<std::mutex> lock(m_mutex);
        m_points.push_back(std::move(name));
        if (m_points.size() - 1 != m_k)
            return;
        m_held = true;
        m_changed.notify_all();
        m_changed.wait(lock, [this] { return m_released; });
    }

    std::string relative(const fs::path& p) const { return p.lexically_relative(m_base).generic_string(); }

    platform::IoHooks m_hooks;
    fs::path m_base;
    std::size_t m_k;
    mutable std::mutex m_mutex;
    std::condition_variable m_changed;
    std::vector<std::string> m_points;
    bool m_held = false;
    bool m_released = false;
    bool m_ended = false;
};

// `run` in a thread of its own through `holding`'s hooks; joined (after releasing it)
// whatever happens.
class HeldRun {
public:
    HeldRun(const Workspace& ws, RunKind run, Holding& holding)
        : m_holding(holding)
        , m_thread([this, &ws, run] {
            m_outcome = ws.perform(run, m_holding.hooks());
            m_holding.ended();
        })
    {
    }
    ~HeldRun() { finish(); }
    HeldRun(const HeldRun&) = delete;
    HeldRun& operator=(const HeldRun&) = delete;

    const Outcome& finish()
    {
        if (m_thread.joinable()) {
            m_holding.release();
            m_thread.join();
        }
        return m_outcome;
    }

private:
    Holding& m_holding;
    Outcome m_outcome;
    std::thread m_thread;
};

// The points at which `run` can be held, from a run alone in a fresh workspace; also
// the timetable directory that run leaves.
std::vector<std::string> pointsOf(RunKind run, Snapshot* leaves = nullptr)
{
    Workspace ws;
    Holding counting(ws.dir.path());
    const Outcome outcome = ws.perform(run, counting.hooks());
    EXPECT_TRUE(outcome.done) << nameOf(run) << " alone: " << describe(outcome);
    if (leaves)
        *leaves = snapshot(ws.qtemp);
    return counting.points();
}

// What the held run must have left once it finished.
void expectFinishedAsAlone(RunKind run, const Outcome& outcome, const Workspace& ws,
    const Snapshot& importAfter, const Snapshot& fresh)
{
    EXPECT_TRUE(outcome.done) << "the held " << nameOf(run) << ": " << describe(outcome);
    EXPECT_EQ(changes(run == RunKind::Import ? importAfter : fresh, snapshot(ws.qtemp)),
        std::vector<std::string> {});
    if (run == RunKind::Export) {
        EXPECT_TRUE(fs::exists(ws.target / solution_export::kSolutionFileName));
    }
}

} // namespace

TEST(ConcurrentRuns, ARunBesideAnotherThatIsHeldAtAnyPointReadsBesideItOrIsRefusedTouchingNothing)
{
    Snapshot importAfter;
    pointsOf(RunKind::Import, &importAfter);
    const Snapshot fresh = snapshot(Workspace().qtemp);
    for (RunKind held : { RunKind::Import, RunKind::DryRun, RunKind::Export, RunKind::Show }) {
        const std::vector<std::string> points = pointsOf(held);
        ASSERT_FALSE(points.empty()) << nameOf(held);
        for (std::size_t k = 0; k < points.size(); ++k) {
            SCOPED_TRACE(std::string(nameOf(held)) + " held at " + points[k]);
            Workspace ws;
            Holding holding(ws.dir.path(), k);
            HeldRun heldRun(ws, held, holding);
            if (!holding.waitUntilHeld()) {
                ADD_FAILURE() << "the run ended before the point";
                continue;
            }
            for (RunKind other : { RunKind::Import, RunKind::DryRun, RunKind::Export, RunKind::Show,
                     RunKind::StartUpRecovery }) {
                SCOPED_TRACE(std::string("then ") + nameOf(other));
                const Snapshot before = snapshot(ws.qtemp);
                const Outcome outcome = ws.perform(other, nullptr);
                if (other == RunKind::StartUpRecovery) {
                    // A live run's files are left alone: nothing to do, or busy.
                    EXPECT_TRUE(outcome.recovery == Recovery::Nothing || outcome.recovery == Recovery::Busy)
                        << describe(outcome);
                } else if (onlyReads(held) && onlyReads(other)) {
                    // Readers go together, unless one holds a table the other wants.
                    EXPECT_TRUE(outcome.done || outcome.code == ErrorCode::TableLocked) << describe(outcome);
                } else {
                    EXPECT_EQ(outcome.code, ErrorCode::TableLocked) << describe(outcome);
                }
                EXPECT_EQ(changes(before, snapshot(ws.qtemp)), std::vector<std::string> {});
            }
            expectFinishedAsAlone(held, heldRun.finish(), ws, importAfter, fresh);
        }
    }
}

// The same with the other run in another process: the command-line program, refused
// while an import or an export is held at each of its points (an export beside an
// import only).
TEST(ConcurrentRuns, AnotherProcessIsRefusedWhileAnImportOrAnExportIsHeldAtAnyPoint)
{
    TRAMAZEL_SKIP_ON_WINDOWS("the other process is started through a POSIX shell");
    const std::string cli = test::shellQuote((fs::path(TRAMAZEL_BIN_DIR) / "tramazel-cli").string());
    Snapshot importAfter;
    pointsOf(RunKind::Import, &importAfter);
    const Snapshot fresh = snapshot(Workspace().qtemp);
    for (RunKind held : { RunKind::Import, RunKind::Export }) {
        const std::vector<std::string> points = pointsOf(held);
        for (std::size_t k = 0; k < points.size(); ++k) {
            SCOPED_TRACE(std::string(nameOf(held)) + " held at " + points[k]);
            Workspace ws;
            Holding holding(ws.dir.path(), k);
            HeldRun heldRun(ws, held, holding);
            if (!holding.waitUntilHeld()) {
                ADD_FAILURE() << "the run ended before the point";
                continue;
            }
            const std::string qtemp = cli + " --qtemp " + test::shellQuote(ws.qtemp.string());
            std::vector<std::string> commands = { qtemp + " import " + test::shellQuote(ws.centre.string()),
                qtemp + " import " + test::shellQuote(ws.centre.string()) + " --dry-run" };
            // Beside an export another export may read once the tables are free again.
            if (held == RunKind::Import)
                commands.push_back(qtemp + " export " + test::shellQuote((ws.dir / "other-out").string()));
            for (const std::string& command : commands) {
                SCOPED_TRACE(command);
                fs::create_directories(ws.dir / "other-out");
                const Snapshot before = snapshot(ws.qtemp);
                const test::ProcessResult result = test::run(command);
                EXPECT_EQ(result.exitCode, 1) << result.output;
                EXPECT_EQ(changes(before, snapshot(ws.qtemp)), std::vector<std::string> {});
            }
            expectFinishedAsAlone(held, heldRun.finish(), ws, importAfter, fresh);
        }
    }
}
