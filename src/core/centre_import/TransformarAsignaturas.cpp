// SPDX-License-Identifier: GPL-3.0-or-later
#include "centre_import/Builders.h"

namespace tramazel::centre_import {

void TransformarAsignaturas(ImportContext&)
{
    // Not built yet.
}

} // namespace tramazel::centre_import
