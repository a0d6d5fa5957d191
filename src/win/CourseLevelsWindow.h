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
/// `help` for the window's help context. When the window is destroyed from outside
/// (with its owner) or the program is asked to end while it is open, throws
/// Error(ErrorCode::Cancelled): the values typed must not be kept.
void runCourseLevelsWindow(HWND owner, centre_import::CourseLevelGrid& grid, const ContextHelp& help);

/// Destroys `window` when it is a course-level window (which then ends as cancelled);
/// any other window is left alone.
void cancelCourseLevelsWindow(HWND window);

} // namespace tramazel::win
