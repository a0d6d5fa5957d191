// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "shell/WindowLayouts.h"

#include <windows.h>

#include <string>
#include <string_view>

/// Small helpers of the Win32 window: text conversion, pixel scaling, fonts and the
/// glyphs of the buttons.
namespace tramazel::win {

/// UTF-8 as a wide string for the Windows API.
std::wstring wide(std::string_view utf8);
/// UTF-8 with every "\n" made the Windows line break "\r\n", for message boxes.
std::wstring wideLines(std::string_view utf8);
/// The text of a window.
std::wstring windowText(HWND window);

/// Pixels of the original 96-dpi layout at the screen's resolution.
int scaled(int pixels);

/// A font owned by the caller (DeleteObject). `height` in pixels at 96 dpi, as a
/// character height (negative LOGFONT height).
HFONT createPixelFont(const wchar_t* face, int height, bool bold);
/// A font of `points` at the screen's resolution.
HFONT createPointFont(const wchar_t* face, int points, bool bold);
/// The layout's font `spec`, in points or in pixels as it is given (DeleteObject).
HFONT createFont(const shell::FontSpec& spec);

/// A colour of the layout as GDI takes it.
COLORREF colourOf(const shell::Rgb& rgb);
/// A place of the layout (left, top, width, height at 96 dpi) moved by `origin`
/// (the place it is relative to, e.g. its panel), at the screen's resolution.
RECT scaledRect(const shell::Rect& place, POINT origin = {});
/// A child window of `parent` at the layout's `place` (relative to `origin`), with
/// `text` (UTF-8), control id `id` and `font`.
HWND createChild(HWND parent, const wchar_t* windowClass, std::string_view text, DWORD style,
    const shell::Rect& place, int id, HFONT font, POINT origin = {}, DWORD exStyle = 0);

/// The check mark of the OK-kind buttons and the cross of the close-kind button,
/// as 16×16 icons (DestroyIcon).
HICON createCheckMarkIcon();
HICON createCloseIcon();

/// A rectangle filled with a vertical three-colour gradient: `top` at the top,
/// `middle` halfway down, `bottom` at the bottom.
void fillGradient(HDC dc, const RECT& rect, COLORREF top, COLORREF middle, COLORREF bottom);

/// The window centred on the work area of the monitor it is on (or the nearest).
void centreOnScreen(HWND window);
/// The window centred over `anchor`, kept inside the work area of anchor's monitor.
void centreOver(HWND window, HWND anchor);

/// From now on every dialog box this thread opens (message boxes, the file dialog,
/// the task dialogs and whatever box comes later) first appears centred over
/// `anchor` while that window is visible, instead of where the system puts it (the
/// middle of the screen). Null stops it. A thread CBT hook: nothing that opens a box
/// needs to know.
void centreDialogsOver(HWND anchor);

/// True when the program runs under Wine, which does not draw a window that belongs
/// to another process inside that process's window.
bool runningUnderWine();

/// The outer size of a window of `style`/`exStyle` whose client area is
/// `clientWidth` × `clientHeight`.
SIZE windowSizeForClient(DWORD style, DWORD exStyle, int clientWidth, int clientHeight);

/// Resizes `window` so that its client area is exactly `width` × `height` (the frame
/// the system draws may differ from what AdjustWindowRectEx predicts).
void setClientSize(HWND window, int width, int height);

} // namespace tramazel::win
