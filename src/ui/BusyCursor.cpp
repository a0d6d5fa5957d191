// SPDX-License-Identifier: GPL-3.0-or-later
#include "BusyCursor.h"

#include <QApplication>
#include <QCursor>

namespace tramazel::ui {

BusyCursor::~BusyCursor()
{
    release();
}

void BusyCursor::acquire()
{
    if (m_active)
        return;
    QApplication::setOverrideCursor(QCursor(Qt::WaitCursor));
    m_active = true;
}

void BusyCursor::release()
{
    // Override cursors form a stack: popping more than was pushed would remove
    // someone else's cursor.
    if (!m_active)
        return;
    QApplication::restoreOverrideCursor();
    m_active = false;
}

} // namespace tramazel::ui
