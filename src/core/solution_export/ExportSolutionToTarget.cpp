// SPDX-License-Identifier: GPL-3.0-or-later
#include "solution_export/SolutionExport.h"

#include "Error.h"
#include "centre_import/TableTransaction.h"
#include "platform/Platform.h"
#include "text/Ascii.h"
#include "text/PathText.h"

#include <system_error>

namespace tramazel::solution_export {

namespace fs = std::filesystem;

std::vector<std::string> TargetExport::summary() const
{
    std::vector<std::string> lines;
    lines.push_back(std::string(kSolutionFileName) + ": " + std::to_string(counts.sessions) + " sesiones ("
        + text::pathToUtf8(outputFile) + ")");
    if (counts.rowsWithoutDay > 0)
        lines.push_back("Filas de SOLUC sin día: " + std::to_string(counts.rowsWithoutDay));
    for (std::string& line : counts.lookupsNotFound.summaryLines())
        lines.push_back(std::move(line));
    return lines;
}

std::optional<fs::path> solutionFileForTarget(const fs::path& target)
{
    std::error_code ec;
    if (target.empty())
        return std::nullopt;
    // The command line names a folder; the window's file dialog a file in one.
    if (fs::is_directory(target, ec))
        return target / kSolutionFileName;
    // A new file name typed in the dialog (an XML file's, as the dialog's filter asks)
    // names its folder as well as an existing file does.
    const bool newXmlName = text::equalsIgnoringAsciiCase(text::pathToUtf8(target.extension()), ".xml")
        && fs::is_directory(target.parent_path(), ec);
    if (!fs::exists(target, ec) && !newXmlName)
        return std::nullopt;
    return solutionFileFor(target);
}

std::optional<TargetExport> exportSolutionToTarget(const fs::path& qtempDir, const fs::path& target,
    const platform::IoHooks* io, const WriteConfirmation& confirm)
{
    auto outputFile = solutionFileForTarget(target);
    if (!outputFile)
        return std::nullopt;
    // The tables are read while no import changes them, and never half way through
    // an interrupted one: that is finished or rolled back first. While an import runs
    // the export is refused.
    const auto hold = centre_import::TableTransaction::lockForReading(qtempDir, io);
    TargetExport result;
    result.outputFile = std::move(*outputFile);
    // What an export killed while writing left beside the file goes first.
    platform::removeStaleTemporaryFiles(result.outputFile, io);
    if (!confirm) {
        result.counts = exportSolution(qtempDir, result.outputFile, io);
        return result;
    }
    // The tables stay held while the person answers, so that what is written is what
    // they were asked about.
    PreparedExport prepared(qtempDir, io);
    if (!confirm(prepared.check()))
        throw Error(ErrorCode::Cancelled, "No se ha guardado la solución.");
    result.counts = prepared.write(result.outputFile);
    return result;
}

} // namespace tramazel::solution_export
