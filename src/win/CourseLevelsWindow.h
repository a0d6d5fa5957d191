// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "HtmlHelp.h"

#include <windows.h>

namespace tramazel::centre_import {
class CourseLevelGrid;
}

namespace tramazel::win {

/// The course-level window "Cursos" (shell::course_levels_window): draws `grid`,
/// where the user fills the level and course number of every line, and
/// "Continuar". Modal over `owner`; returns when the user presses "Continuar" or
/// closes the window. Every value typed is set in the grid (and so posted to
/// CURSOST) as its cell is left, also one still being typed when the window closes.
/// An error of the table is thrown once the window has closed. F1 in the window asks
/// `help` for the window's help context.
void runCourseLevelsWindow(HWND owner, centre_import::CourseLevelGrid& grid, const ContextHelp& help);

} // namespace tramazel::win
