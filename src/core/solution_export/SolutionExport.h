// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Warnings.h"

#include <cstddef>
#include <filesystem>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tramazel::platform {
struct IoHooks;
}

namespace tramazel::solution_export {

inline constexpr const char* kSolutionFileName = "SolucioHorari.xml";

struct ExportSummary {
    std::size_t sessions = 0; ///< SESSIO elements written
    std::size_t rowsWithoutDay = 0; ///< SOLUC rows whose DIA reads as 0
    /// by kind: teacher, group, slot, room, subject; and tables whose language driver
    /// is unknown (read as ANSI)
    Warnings lookupsNotFound;

    /// Sessions written without day, hour and length: their slot is not in DIASHORAST
    /// (or their HORA is no number).
    std::size_t sessionsWithoutSlot() const;
    /// The kinds of lookupsNotFound that leave sessions incomplete, in the order met: a
    /// slot, or a teacher, group, room or subject code SOLUC names, not found.
    std::vector<const Warnings::Kind*> incompleteSessions() const;
};

/// Where the solution file of a run goes: the folder of the file the user chose (the
/// chosen file itself is never opened) followed by kSolutionFileName.
std::filesystem::path solutionFileFor(const std::filesystem::path& chosenFile);

/// An export whose tables are open and whose lookups are read, not yet written: for
/// a front end that looks at what it will write before writing anything. The tables
/// stay held for exclusive reading until write() or destruction, so that what is
/// written is what check() counted.
class PreparedExport {
public:
    /// Opens the tables of `qtempDir` (SOLUC, PROFT, AULAT, ASIGNOMT, GRUPOST,
    /// DIASHORAST, in this order) and reads the lookups, through `io` when given (it
    /// must outlive the object). Throws what exportSolution() throws for them.
    PreparedExport(const std::filesystem::path& qtempDir, const platform::IoHooks* io = nullptr);
    ~PreparedExport();
    PreparedExport(const PreparedExport&) = delete;
    PreparedExport& operator=(const PreparedExport&) = delete;

    /// Looks every session up as write() will, writing nothing: the summary write()
    /// gives. May run any number of times before write().
    ExportSummary check();
    /// Writes `outputFile` as exportSolution() does and closes the tables; once.
    ExportSummary write(const std::filesystem::path& outputFile);

private:
    struct Impl;
    std::unique_ptr<Impl> m_impl;
};

/// Writes the solution file from SOLUC and the lookup tables of `qtempDir` as
/// `outputFile`, one session as each row is read, through a temporary file renamed
/// over it when complete. On any error nothing is written, an existing solution file
/// stays as it was, and the tables opened so far are closed. The tables are read and
/// the file written through `io` when given.
ExportSummary exportSolution(const std::filesystem::path& qtempDir, const std::filesystem::path& outputFile,
    const platform::IoHooks* io = nullptr);

/// What a completed export into a target did.
struct TargetExport {
    std::filesystem::path outputFile; ///< the solution file written
    ExportSummary counts;

    /// The lines both front ends print after the run (UTF-8): "SolucioHorari.xml: N
    /// sesiones (<path>)", "Filas de SOLUC sin día: N" when there are any, then
    /// "Aviso: …" per kind of lookup that found nothing.
    std::vector<std::string> summary() const;
};

/// The solution file an export into `target` writes: `target`/kSolutionFileName when
/// `target` is a folder; kSolutionFileName in the folder of `target` when that is a
/// file (never opened itself), an existing one or a new name ending in ".xml" in an
/// existing folder. Nothing when `target` is empty or none of these.
std::optional<std::filesystem::path> solutionFileForTarget(const std::filesystem::path& target);

/// Asked before an export writes, with the summary the export will give (counted by a
/// pass that wrote nothing): false leaves everything as it was.
using WriteConfirmation = std::function<bool(const ExportSummary&)>;

/// Exports the solution of `qtempDir` into `target`, to the file
/// solutionFileForTarget() names. Returns nothing, having touched nothing, when it
/// names none. Otherwise holds the timetable
/// directory for reading while it runs (centre_import::TableTransaction::lockForReading,
/// which finishes or rolls back an interrupted centre import first; while an import
/// runs: TableLocked), removes the temporary files an export killed while writing left
/// beside the solution file (platform::removeStaleTemporaryFiles), then runs
/// exportSolution(), whose errors it throws. With `confirm`, the export is prepared and
/// checked first (PreparedExport) and written only when `confirm` answers true; false
/// throws ErrorCode::Cancelled, nothing written.
std::optional<TargetExport> exportSolutionToTarget(const std::filesystem::path& qtempDir,
    const std::filesystem::path& target, const platform::IoHooks* io = nullptr,
    const WriteConfirmation& confirm = {});

} // namespace tramazel::solution_export
