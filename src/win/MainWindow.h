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
/// as a borderless child of the host's window and ends when that window is destroyed.
class MainWindow {
public:
    static constexpr const wchar_t* windowClass = L"TramazelMainWindow";

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
    void paint();
    /// Keys the window answers wherever the focus is inside it: Enter on a button
    /// and the dialog keys (Tab, Alt+letter). F1 comes as WM_HELP.
    bool preTranslate(MSG& message);
    bool isOwnWindow(HWND window) const;
    void close();
    void destroyed();
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
    bool m_embedded = false;
    bool m_closed = false;
};

} // namespace tramazel::win
