// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "shell/Interaction.h"

namespace tramazel::centre_import {
struct CentreFileImport;
class ImportReview;
} // namespace tramazel::centre_import

namespace tramazel::solution_export {
struct TargetExport;
}

/// What both windows show after a run and before the tables are replaced, put
/// together once: the windows only draw it. Texts are UTF-8.
namespace tramazel::shell {

/// Kinds of warning listed by name at a glance; more are counted, and all are in
/// the details.
inline constexpr std::size_t kWarningKindsAtAGlance = 6;

/// The box after a completed import: "Proceso finalizado", the tables written with
/// their records, the subject lines and the warnings by kind with their counts; the
/// details hold every line the command line prints (changes and examples too).
Report importReport(const centre_import::CentreFileImport& run);

/// The box after a completed export: "Proceso finalizado", the sessions written and
/// where, then the warnings; the details hold their examples.
Report exportReport(const solution_export::TargetExport& run);

/// The question before an import's tables replace the directory's: the changes
/// table by table (counts only on a first import), a warning first when a table that
/// holds records would be left empty; the names and the warnings in the details.
/// "Reemplazar las tablas" is the default; the check box skips the question from then on.
Choice replacementChoice(const centre_import::ImportReview& review);

} // namespace tramazel::shell
