// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/RunReport.h"

#include "Warnings.h"
#include "ZelvanoTables.h"
#include "centre_import/ImportCentreFile.h"
#include "centre_import/ImportReview.h"
#include "shell/ProgramTexts.h"
#include "shell/WindowLayouts.h"
#include "solution_export/SolutionExport.h"
#include "text/PathText.h"

#include <string>
#include <vector>

namespace tramazel::shell {

namespace {

std::string joined(const std::vector<std::string>& lines)
{
    std::string out;
    for (const std::string& line : lines) {
        if (!out.empty())
            out.push_back('\n');
        out += line;
    }
    return out;
}

// The warnings read at a glance: each kind with its count; the examples wait in the
// details.
void appendWarningsAtAGlance(std::vector<std::string>& lines, const Warnings& warnings)
{
    if (warnings.empty())
        return;
    std::size_t total = 0;
    for (const Warnings::Kind& kind : warnings.kinds())
        total += kind.count;
    lines.push_back("Avisos (" + std::to_string(total) + "; los ejemplos, en los detalles):");
    std::size_t shown = 0;
    for (const Warnings::Kind& kind : warnings.kinds()) {
        if (shown++ == kWarningKindsAtAGlance) {
            lines.push_back(
                "• y " + std::to_string(warnings.kinds().size() - kWarningKindsAtAGlance) + " clases más");
            break;
        }
        lines.push_back("• " + kind.description + ": " + std::to_string(kind.count));
    }
}

} // namespace

Report importReport(const centre_import::CentreFileImport& run)
{
    std::vector<std::string> lines { std::string(kDoneMessage) };
    std::string tables;
    std::uint32_t subjectLines = 0;
    bool wroteLines = false;
    for (const centre_import::TableWritten& table : run.tables) {
        tables += (tables.empty() ? "" : ", ") + table.name + " " + std::to_string(table.records);
        if (table.name == zelvano::asigt::kTable) {
            subjectLines = table.records;
            wroteLines = true;
        }
    }
    if (!tables.empty())
        lines.push_back("Tablas importadas (registros): " + tables);
    // The line of lines limited to the groups a name designates, or the plain count.
    const std::vector<std::string> notes = run.notes.summaryLines();
    if (!notes.empty())
        lines.insert(lines.end(), notes.begin(), notes.end());
    else if (wroteLines)
        lines.push_back("Líneas de asignaturas: " + std::to_string(subjectLines));
    appendWarningsAtAGlance(lines, run.warnings);
    return Report { joined(lines), joined(run.summary()) };
}

Report exportReport(const solution_export::TargetExport& run)
{
    std::vector<std::string> lines { std::string(kDoneMessage) };
    lines.push_back(std::string(solution_export::kSolutionFileName) + ": "
        + std::to_string(run.counts.sessions) + " sesiones");
    lines.push_back(text::pathToUtf8(run.outputFile));
    if (run.counts.rowsWithoutDay > 0)
        lines.push_back("Filas de SOLUC sin día: " + std::to_string(run.counts.rowsWithoutDay));
    appendWarningsAtAGlance(lines, run.counts.lookupsNotFound);
    // Nothing more to open when there is no warning to give examples of.
    const std::string details = run.counts.lookupsNotFound.empty() ? std::string() : joined(run.summary());
    return Report { joined(lines), details };
}

Choice replacementChoice(const centre_import::ImportReview& review)
{
    namespace question = replace_tables_question;
    std::vector<std::string> lines;
    const std::vector<std::string> emptied = review.emptiedTables();
    if (!emptied.empty()) {
        std::string names;
        for (const std::string& table : emptied)
            names += (names.empty() ? "" : ", ") + table;
        lines.push_back("Atención: el archivo no trae ningún registro para tablas que los tienen, y quedarán "
                        "vacías: "
            + names + ".");
        lines.emplace_back();
    }
    lines.emplace_back(review.firstImport() ? "Se van a crear las tablas de Zelvano:"
                                            : "Se van a reemplazar las tablas de Zelvano:");
    for (const std::string& line : review.lines())
        lines.push_back(line);
    if (!review.warnings().empty()) {
        lines.emplace_back();
        lines.push_back("La importación ha dado " + std::to_string(review.warnings().kinds().size())
            + (review.warnings().kinds().size() == 1 ? " clase de avisos" : " clases de avisos")
            + "; véanse los detalles.");
    }

    std::vector<std::string> details;
    if (!review.firstImport())
        details = review.detailedLines();
    for (std::string& line : review.warnings().summaryLines())
        details.push_back(std::move(line));

    Choice choice;
    choice.text = joined(lines);
    choice.details = joined(details);
    choice.acceptCaption = question::kAcceptCaption;
    choice.rejectCaption = question::kRejectCaption;
    choice.acceptIsDefault = true;
    choice.dontAskAgainCaption = question::kDontAskAgainCaption;
    return choice;
}

} // namespace tramazel::shell
