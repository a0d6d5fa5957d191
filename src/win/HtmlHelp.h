// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <windows.h>

#include <filesystem>
#include <functional>

namespace tramazel::win {

/// What a window asks of the help when F1 is pressed in it: the topic of help
/// context `context`, in a help window owned by `owner`.
using ContextHelp = std::function<void(HWND owner, int context)>;

/// The compiled help file through the system's HTML Help, loaded at run time from
/// "hhctrl.ocx": where it is missing the program still runs and help does nothing.
class HtmlHelp {
public:
    /// `helpFile`: the help file beside the executable.
    explicit HtmlHelp(std::filesystem::path helpFile);
    /// Closes every help window the program opened and unloads the library.
    ~HtmlHelp();
    HtmlHelp(const HtmlHelp&) = delete;
    HtmlHelp& operator=(const HtmlHelp&) = delete;

    /// The help window with the table of contents. A help file missing or unreadable
    /// is said in an error box naming it.
    void showContents(HWND owner);
    /// The topic of help context `context` (a missing file is said as above).
    void showContext(HWND owner, int context);
    /// Closes every help window the program opened.
    void closeAll();

    /// True when the library and its entry were found.
    bool available() const noexcept { return m_entry != nullptr; }

private:
    /// True when the help file can be opened; else says why in an error box over `owner`.
    bool reachable(HWND owner) const;

    using Entry = HWND(WINAPI*)(HWND, LPCWSTR, UINT, DWORD_PTR);

    std::filesystem::path m_file;
    HMODULE m_library = nullptr;
    Entry m_entry = nullptr;
};

} // namespace tramazel::win
