// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "HtmlHelp.h"
#include "shell/Interaction.h"

#include <windows.h>

namespace tramazel::win {

/// The shell's dialogs as native Windows dialogs, modal over the main window and
/// captioned "Tramazel". The hourglass shows exactly when the core says so.
class WinInteraction : public shell::Interaction {
public:
    WinInteraction() = default;
    ~WinInteraction() override;
    WinInteraction(const WinInteraction&) = delete;
    WinInteraction& operator=(const WinInteraction&) = delete;

    /// The main window: the owner of every dialog.
    void setMainWindow(HWND window) noexcept { m_mainWindow = window; }
    /// The main window has been destroyed (in host mode: the host's window went,
    /// taking it along). Every dialog still open on this thread closes as cancelled,
    /// and every prompt, open or to come, throws Error(ErrorCode::Cancelled): a run
    /// must stop and change nothing, never carry on with answers nobody gave.
    void mainWindowGone();
    /// What F1 in the course-level window and in the import's question asks for:
    /// their help contexts (shell/WindowLayouts.h), owned by the window itself.
    void setContextHelp(ContextHelp help) { m_contextHelp = std::move(help); }

    // The import's prompts.
    void editCourseLevels(centre_import::CourseLevelGrid& grid) override;
    /// The import's question box: warning icon, OK / Cancel, OK the default. It asks
    /// only about the subject lines, so F1 there shows their help.
    bool askQuestion(std::string_view caption, std::string_view text) override;
    /// The question box with a check box for lines only for the groups a subject's
    /// name designates. The check box's last state is kept for the user in the
    /// registry: a DWORD 0 or 1 named by the question's settings key, under
    /// HKEY_CURRENT_USER\Software\Tramazel\ and its settings group
    /// (shell::subject_lines_question).
    centre_import::SubjectLines askSubjectLines(std::string_view caption, std::string_view text) override;
    void setBusy(bool busy) override;

    // The main window's boxes.
    std::optional<std::filesystem::path> chooseFile(const shell::FileDialogOptions& options) override;
    /// A question before something that cannot be undone: warning icon, OK / Cancel,
    /// Cancel the default; true when the user answers OK.
    bool confirmDestructive(std::string_view text) override;
    void showError(std::string_view text) override;
    void showInformation(std::string_view text) override;
    /// A task dialog: information icon, OK, the details behind its expando button.
    void showReport(const shell::Report& report) override;
    /// A task dialog: warning icon, the choice's two buttons (Escape and the close box
    /// decline), its details behind the expando button, its check box at the foot.
    shell::ChoiceAnswer choose(const shell::Choice& choice) override;
    /// A DWORD 0 or 1 named `key` under HKEY_CURRENT_USER\Software\Tramazel\`group`.
    bool userFlag(std::string_view group, std::string_view key) override;
    void setUserFlag(std::string_view group, std::string_view key, bool value) override;
    void closeMainWindow() override;

    /// True while the hourglass is shown.
    bool busy() const noexcept { return m_busy; }

private:
    bool windowGone() const noexcept { return m_mainWindow == nullptr || !IsWindow(m_mainWindow); }
    /// Throws Error(ErrorCode::Cancelled) when the main window is gone.
    void stopWhenWindowGone() const;

    HWND m_mainWindow = nullptr;
    ContextHelp m_contextHelp;
    bool m_busy = false;
};

} // namespace tramazel::win
