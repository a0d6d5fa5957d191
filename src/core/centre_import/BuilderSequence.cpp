// SPDX-License-Identifier: GPL-3.0-or-later
#include "centre_import/Builders.h"

namespace tramazel::centre_import {

std::span<const BuilderStep> builderSequence()
{
    // Later builders read what earlier ones wrote: TransformarCursos reads ASIGNOMT,
    // TransformarLineas reads GRUPOST and ASIGNOMT and opens PROFT and AULAT.
    static const BuilderStep steps[] = {
        { "TransformarAsignaturas", &TransformarAsignaturas },
        { "TransformarProfesores", &TransformarProfesores },
        { "TransformarAulas", &TransformarAulas },
        { "TransformarCursos", &TransformarCursos },
        { "TransformarLineas", &TransformarLineas },
        { "TransformarDiasHoras", &TransformarDiasHoras },
    };
    return steps;
}

} // namespace tramazel::centre_import
