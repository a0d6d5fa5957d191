// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Warnings.h"

#include <cstddef>
#include <filesystem>
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
};

/// Where the solution file of a run goes: the folder of the file the user chose (the
/// chosen file itself is never opened) followed by kSolutionFileName.
std::filesystem::path solutionFileFor(const std::filesystem::path& chosenFile);

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

/// Exports the solution of `qtempDir` into `target`: a folder, or a file whose folder
/// receives kSolutionFileName (the file itself is never opened): an existing file, or
/// a new name ending in ".xml" in an existing folder. Returns nothing, having touched
/// nothing, when `target` is empty or none of these. Otherwise holds the timetable
/// directory for reading while it runs (centre_import::TableTransaction::lockForReading,
/// which finishes or rolls back an interrupted centre import first; while an import
/// runs: TableLocked), removes the temporary files an export killed while writing left
/// beside the solution file (platform::removeStaleTemporaryFiles), then runs
/// exportSolution(), whose errors it throws.
std::optional<TargetExport> exportSolutionToTarget(const std::filesystem::path& qtempDir,
    const std::filesystem::path& target, const platform::IoHooks* io = nullptr);

} // namespace tramazel::solution_export
