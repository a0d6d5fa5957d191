// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "HtmlHelp.h"
#include "WinInteraction.h"
#include "shell/MainForm.h"
#include "shell/WindowLayouts.h"

#include <windows.h>

#include <map>
#include <memory>
#include <string>
#include <vector>

namespace tramazel::win {

/// The converter's main window in native Win32, laid out from shell::main_window:
/// three gradient panels, the two "Aceptar" buttons of the directions, "&Salir",
/// "F1 AYUDA" and the version label, over the core's MainForm. In host mode it lives
/// as a borderless child of the host's window, or where a window of another process
/// is never drawn inside the host's (Wine) as a borderless pop-up the host's window
/// owns, kept over its client area; either way it ends when that window is destroyed.
/// The environment variable TRAMAZEL_HOST_WINDOW set to "child" or "popup" overrides
/// the choice.
class MainWindow {
public:
    static constexpr const wchar_t* windowClass = L"TramazelMainWindow";

    /// How host mode places the window in the host's.
    enum class HostPlacement {
        None, ///< not in host mode: a top-level window of its own
        Child, ///< a child window of the host's window
        Popup, ///< a pop-up owned by the host's top-level window, following its client area
    };

    MainWindow(shell::MainForm::Settings settings, std::filesystem::path helpFile);
    ~MainWindow();
    MainWindow(const MainWindow&) = delete;
    MainWindow& operator=(const MainWindow&) = delete;

    /// Creates the window, decides host mode from `params` (the command-line
    /// parameters after the program name), shows it, runs the mode word and the
    /// message loop until the window is gone. Returns the process exit code.
    int run(const std::vector<std::string>& params);

private:
    struct Controls {
        HWND importTitle = nullptr;
        HWND exportTitle = nullptr;
        HWND versionLabel = nullptr;
        HWND importButton = nullptr;
        HWND exportButton = nullptr;
        HWND closeButton = nullptr;
        HWND helpButton = nullptr;
    };

    static LRESULT CALLBACK windowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    LRESULT handle(UINT message, WPARAM wParam, LPARAM lParam);

    void create();
    void createControls();
    void embedIn(HWND host);
    void floatOver(HWND host);
    /// Keeps the pop-up over the host's client area, hidden while the host is; ends
    /// the window when the host's window is gone.
    void followHost();
    /// Runs a handler that may open prompts; a window destroyed meanwhile finishes
    /// only once the handler is back (its run has stopped and set the result code).
    template <typename Action> void runAction(Action&& action);
    void paint();
    /// Keys the window answers wherever the focus is inside it: Enter on a button
    /// and the dialog keys (Tab, Alt+letter). F1 comes as WM_HELP.
    bool preTranslate(MSG& message);
    bool isOwnWindow(HWND window) const;
    void close();
    void destroyed();
    void finish();
    HWND helpOwner() const;
    void showHelpContents();
    void showContextHelp();
    HFONT font(shell::FontRole role);

    WinInteraction m_ui;
    std::unique_ptr<shell::MainForm> m_form;
    HtmlHelp m_help;
    HWND m_window = nullptr;
    Controls m_controls;
    std::map<shell::FontRole, HFONT> m_fonts; // made when first used
    HICON m_checkMark = nullptr;
    HICON m_cross = nullptr;
    HostPlacement m_placement = HostPlacement::None;
    HWND m_host = nullptr;
    POINT m_hostOrigin { -32000, -32000 }; // where the pop-up was last put
    SIZE m_hostClip {}; // the part of the pop-up the host's client area shows
    int m_actionDepth = 0;
    bool m_finishPending = false;
    bool m_closed = false;
};

} // namespace tramazel::win
