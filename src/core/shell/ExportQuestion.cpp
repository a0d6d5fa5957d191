// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/ExportQuestion.h"

#include "WarningTexts.h"
#include "solution_export/SolutionExport.h"

#include <algorithm>
#include <string>

namespace tramazel::shell {

namespace {

std::string sessionsText(std::size_t n)
{
    return std::to_string(n) + (n == 1 ? " sesión" : " sesiones");
}

} // namespace

std::optional<Choice> exportQuestion(const solution_export::ExportSummary& planned)
{
    const auto incomplete = planned.incompleteSessions();
    if (incomplete.empty())
        return std::nullopt;

    const std::size_t withoutSlot = planned.sessionsWithoutSlot();
    const bool noSlotAtAll = withoutSlot > 0 && withoutSlot >= planned.sessions;
    std::string text;
    if (noSlotAtAll)
        text = "Ninguna de las " + sessionsText(planned.sessions)
            + " tendría día ni hora: sus franjas no están en DIASHORAST.";
    else if (withoutSlot > 0)
        text = sessionsText(withoutSlot) + " de " + std::to_string(planned.sessions)
            + (withoutSlot == 1 ? " quedaría" : " quedarían")
            + " sin día ni hora: sus franjas no están en DIASHORAST.";
    const bool codesMissing = std::any_of(incomplete.begin(), incomplete.end(),
        [](const Warnings::Kind* kind) { return kind->description != warning::kSlotNotFound; });
    if (codesMissing) {
        if (!text.empty())
            text += "\n";
        text += "Hay códigos de SOLUC sin correspondencia: sus sesiones quedarían sin esos datos.";
    }
    text += "\n";
    for (const Warnings::Kind* kind : incomplete)
        text += "\n• " + Warnings::line(*kind);
    text += "\n\n¿Guardar de todos modos?";

    // The other warnings of the run (tables read with an unknown code page, records
    // beyond a table's count) belong to the whole account, not the question.
    std::string details;
    for (const Warnings::Kind& kind : planned.lookupsNotFound.kinds()) {
        if (std::find(incomplete.begin(), incomplete.end(), &kind) != incomplete.end())
            continue;
        if (!details.empty())
            details += "\n";
        details += Warnings::line(kind);
    }

    Choice choice;
    choice.text = std::move(text);
    choice.details = std::move(details);
    choice.acceptCaption = "Guardar";
    choice.rejectCaption = "Cancelar";
    // Writing a timetable with no day and hour at all is almost never what was meant.
    choice.acceptIsDefault = !noSlotAtAll;
    return choice;
}

} // namespace tramazel::shell
