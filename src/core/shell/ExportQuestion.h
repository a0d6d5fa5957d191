// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "shell/Interaction.h"

#include <optional>

namespace tramazel::solution_export {
struct ExportSummary;
}

namespace tramazel::shell {

/// The question before the window's export writes sessions it could not complete:
/// how many lost their day and hour (slot not in DIASHORAST) and which codes found no
/// match, with a few examples of each, then "¿Guardar de todos modos?". Nothing when
/// every session is complete. When no session has a day and hour, Cancel is the
/// default button.
std::optional<Choice> exportQuestion(const solution_export::ExportSummary& planned);

} // namespace tramazel::shell
