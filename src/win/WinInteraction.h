// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "shell/Interaction.h"

#include <windows.h>

namespace tramazel::win {

/// The shell's dialogs as native Windows dialogs, modal over the main window and
/// captioned "Tramazel". The hourglass shows exactly when the core says so.
class WinInteraction : public shell::Interaction {
public:
    /// The check box of the subject-lines question.
    static constexpr const wchar_t* namedGroupsOnlyCaption
        = L"Solo para los grupos indicados en el nombre de la materia";
    /// Where its last state is kept: under HKEY_CURRENT_USER, a DWORD 0 or 1.
    static constexpr const wchar_t* settingsKey = L"Software\\Tramazel\\SubjectLines";
    static constexpr const wchar_t* namedGroupsOnlyValue = L"NamedGroupsOnly";

    WinInteraction() = default;
    ~WinInteraction() override;
    WinInteraction(const WinInteraction&) = delete;
    WinInteraction& operator=(const WinInteraction&) = delete;

    /// The main window: the owner of every dialog. Null once it is gone; the prompts
    /// then answer at once (cancel, no line) without showing anything.
    void setMainWindow(HWND window) noexcept { m_mainWindow = window; }

    std::optional<std::filesystem::path> chooseFile(const shell::FileDialogOptions& options) override;
    void showInformation(std::string_view text) override;
    void showError(std::string_view text) override;
    /// A question before something that cannot be undone: warning icon, OK / Cancel,
    /// Cancel the default; true when the user answers OK.
    bool confirmDestructive(std::string_view text) override;
    void closeMainWindow() override;
    void editCourseLevels(dbf::DbfTable& cursost) override;
    bool askQuestion(std::string_view caption, std::string_view text) override;
    /// The question box with a check box for lines only for the groups a subject's
    /// name designates; its last state is kept in the registry.
    centre_import::SubjectLines askSubjectLines(std::string_view caption, std::string_view text) override;
    void setBusy(bool busy) override;

    /// True while the hourglass is shown.
    bool busy() const noexcept { return m_busy; }

private:
    bool windowGone() const noexcept { return m_mainWindow == nullptr || !IsWindow(m_mainWindow); }

    HWND m_mainWindow = nullptr;
    bool m_busy = false;
};

} // namespace tramazel::win
