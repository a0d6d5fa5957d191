// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <windows.h>

namespace tramazel::dbf {
class DbfTable;
}

namespace tramazel::win {

/// The course-level grid "Cursos": the lines of the open CURSOST table with their
/// description (read only), level (at most 5 characters) and course number (at most
/// 3), and "Continuar". Modal over `owner`; returns when the user presses
/// "Continuar" or closes the window. Every value typed is posted to the table,
/// also one still being typed when the window closes. An error of the table is
/// thrown once the window has closed.
void runCourseLevelsWindow(HWND owner, dbf::DbfTable& cursost);

} // namespace tramazel::win
