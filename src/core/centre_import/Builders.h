// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "centre_import/ImportContext.h"

#include <span>

/// The six table builders of the centre import, one source file each. Each deletes
/// its tables, creates them afresh in ctx.dir, fills them and closes them; each
/// either completes or throws tramazel::Error.
namespace tramazel::centre_import {

void TransformarAsignaturas(ImportContext& ctx); ///< ASIGNOMT
void TransformarProfesores(ImportContext& ctx); ///< PROFT
void TransformarAulas(ImportContext& ctx); ///< AULAT
void TransformarCursos(ImportContext& ctx); ///< CURSOST, GRUPOST, MATIB (+ course levels)
void TransformarLineas(ImportContext& ctx); ///< ASIGT (after the question box)
void TransformarDiasHoras(ImportContext& ctx); ///< DIASHORAST

struct BuilderStep {
    const char* name;
    void (*run)(ImportContext&);
};

/// The builders in the order the import runs them.
std::span<const BuilderStep> builderSequence();

} // namespace tramazel::centre_import
