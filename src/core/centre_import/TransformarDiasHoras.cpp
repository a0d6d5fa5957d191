// SPDX-License-Identifier: GPL-3.0-or-later
#include "centre_import/Builders.h"

#include "ZelvanoTables.h"
#include "dbf/DbfTable.h"

namespace tramazel::centre_import {

void TransformarDiasHoras(ImportContext& ctx)
{
    namespace t = zelvano::diashorast;

    // Zelvano fills the slots again after every import; the converter writes none.
    dbf::DbfTable table = dbf::DbfTable::create(ctx.dir, t::kTable, t::fields());
    table.close();
}

} // namespace tramazel::centre_import
