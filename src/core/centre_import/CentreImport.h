// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Warnings.h"
#include "centre_import/Builders.h"
#include "centre_import/ImportContext.h"

#include <array>
#include <cstdint>
#include <exception>
#include <filesystem>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tramazel::xml {
class XmlDocument;
}

namespace tramazel::centre_import {

/// Working folders and marker files of a run, inside the timetable directory. Their
/// names start with a dot and end in no table extension, so no table lookup ever
/// takes them for tables.
inline constexpr std::string_view kStagingDirName = ".tramazel-staging"; ///< builders write here
inline constexpr std::string_view kBackupDirName = ".tramazel-backup"; ///< old tables during the swap
inline constexpr std::string_view kJournalFileName = ".tramazel-journal"; ///< swap in progress
inline constexpr std::string_view kCommittedFileName = ".tramazel-committed"; ///< swap complete
inline constexpr std::string_view kRunLockFileName
    = "run.lock"; ///< in the staging folder, held while a run lives

/// The tables the centre import writes, in the order the builders write them.
inline constexpr std::array<std::string_view, 8> kImportTables
    = { "ASIGNOMT", "PROFT", "AULAT", "CURSOST", "GRUPOST", "MATIB", "ASIGT", "DIASHORAST" };

/// One table the run put in place.
struct TableWritten {
    std::string name; ///< upper-case table name, e.g. "ASIGNOMT"
    std::uint32_t records = 0;
};

/// What a fault hook asks for at a step of the run.
enum class FaultAction {
    Proceed,
    Fail, ///< the step fails with ErrorCode::Interrupted; the run rolls back
    Crash, ///< the run stops dead (SimulatedCrash), leaving its files as a killed process would
};

/// Called before every step that changes a file ("builder:TransformarAulas",
/// "backup:ASIGNOMT.DBF", "install:ASIGNOMT.DBF", "commit", …). Tests use it to make
/// each step fail in turn.
using FaultHook = std::function<FaultAction(std::string_view step)>;

/// Thrown through run() when a fault hook answers Crash.
class SimulatedCrash : public std::exception {
public:
    const char* what() const noexcept override { return "simulated crash"; }
};

/// What recover() found in the timetable directory.
enum class Recovery {
    Nothing, ///< no leftovers
    CleanedUp, ///< a run had stopped before replacing anything: its staging folder was removed
    RolledBack, ///< a run had stopped while replacing tables: the old tables were put back
    Completed, ///< a run had stopped after replacing every table: its leftovers were removed
    Busy, ///< another run is alive: nothing was touched
};

/// The centre import as one all-or-nothing run: the builders write into a staging
/// folder inside the timetable directory; only when all of them completed are the
/// new table files moved into place, the old ones (every letter-case variant) kept
/// aside until every move has succeeded and put back if one fails. A journal file
/// makes a swap that a kill or power cut interrupted finish or roll back
/// deterministically at the next recover().
class CentreImport {
public:
    explicit CentreImport(std::filesystem::path qtempDir);

    /// The builders to run (default: builderSequence()).
    void setBuilders(std::span<const BuilderStep> builders);
    void setFaultHook(FaultHook hook);
    /// Whether the course-level grid starts from the levels the timetable directory's
    /// CURSOST has (default: no, it starts blank).
    void setKeepLevels(bool keep);
    /// A dry run builds and checks every table in the staging folder as a real run
    /// does, then throws the staging folder away: the timetable directory is left
    /// byte for byte as it was. It finishes no interrupted run either: leftovers of
    /// one stop it with ErrorCode::TableLocked.
    void setDryRun(bool dryRun);

    /// Runs the builders over `doc` and replaces the tables. Returns the tables put in
    /// place, in the order they were written. Throws Error; afterwards the timetable
    /// directory is exactly as it was. ErrorCode::TableLocked when a table to replace
    /// is held by another program, or another run is in progress.
    std::vector<TableWritten> run(const xml::XmlDocument& doc, ImportPrompts& prompts, Warnings& warnings);

    /// Finishes or rolls back what an interrupted run left in `qtempDir`. Safe to call
    /// at any time: leaves a live run alone. Throws Error when a leftover cannot be
    /// dealt with (the timetable directory is then left for the next attempt).
    static Recovery recover(const std::filesystem::path& qtempDir);

    /// What the builders of the last run() reported besides tables and warnings.
    const ImportNotes& notes() const noexcept { return m_notes; }

private:
    void fault(std::string_view step) const;

    std::filesystem::path m_qtempDir;
    std::span<const BuilderStep> m_builders;
    FaultHook m_faultHook;
    bool m_keepLevels = false;
    bool m_dryRun = false;
    ImportNotes m_notes;
};

} // namespace tramazel::centre_import
