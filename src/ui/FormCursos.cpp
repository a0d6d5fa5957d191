// SPDX-License-Identifier: GPL-3.0-or-later
#include "FormCursos.h"

#include "dbf/DbfTable.h"

namespace tramazel::ui {

FormCursos::FormCursos(dbf::DbfTable&, QWidget* parent)
    : QDialog(parent)
{
}

} // namespace tramazel::ui
