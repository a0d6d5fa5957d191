// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "shell/Interaction.h"

#include <QPointer>
#include <QString>

#include <functional>

class QDialog;
class QMessageBox;
class QWidget;

namespace tramazel::ui {

/// The shell's dialogs as real Qt dialogs, all modal over the main window only (an
/// open help window stays usable) and captioned with the application title. The hourglass is shown exactly
/// when the core says so (the core lifts it before any dialog).
class QtInteraction : public shell::Interaction {
public:
    /// The caption of the information, error and file boxes.
    static const QString applicationTitle;

    explicit QtInteraction(QWidget* mainWindow);
    ~QtInteraction() override;

    std::optional<std::filesystem::path> chooseFile(const shell::FileDialogOptions& options) override;
    void showInformation(std::string_view text) override;
    void showError(std::string_view text) override;
    bool confirmDestructive(std::string_view text) override;
    /// The information box with the details behind its "Show Details…" button, in a
    /// scrolling area.
    void showReport(const shell::Report& report) override;
    /// The warning box with the choice's two buttons, its details behind "Show
    /// Details…" and its check box under the text.
    shell::ChoiceAnswer choose(const shell::Choice& choice) override;
    /// Kept in the user's settings as "group/key".
    bool userFlag(std::string_view group, std::string_view key) override;
    void setUserFlag(std::string_view group, std::string_view key, bool value) override;
    void setBusy(bool busy) override;
    void closeMainWindow() override;
    void editCourseLevels(centre_import::CourseLevelGrid& grid) override;
    bool askQuestion(std::string_view caption, std::string_view text) override;
    /// The question box with a check box for lines only for the groups a subject's
    /// name designates; its last state is kept in the user's settings.
    centre_import::SubjectLines askSubjectLines(std::string_view caption, std::string_view text) override;

    /// Where the subject-lines check box's state is kept in the user's settings:
    /// shell::subject_lines_question's group and key, as a QSettings key.
    static const QString namedGroupsOnlySetting;

    /// When the main window lives inside a foreign window, dialogs cannot be its
    /// children: they are then created without a parent and `placer` gives each one
    /// its transient parent and position before it is shown.
    void setDialogPlacer(std::function<void(QWidget&)> placer);

    /// What F1 asks of the help system while the course grid or the subject-lines
    /// question is open: the help context and the dialog.
    void setContextHelp(std::function<void(int context, QWidget* dialog)> help);

    /// True while this object's hourglass is shown.
    bool busy() const noexcept { return m_busy; }

    /// Nobody is left to answer (the host window is gone): the dialog open now
    /// closes, and that prompt and every later one throw Error(ErrorCode::Cancelled),
    /// so the run stops and changes nothing; boxes that only inform are not shown.
    /// True when a dialog was open.
    bool cancelPrompts();
    /// True once cancelPrompts() was called.
    bool cancelled() const noexcept { return m_cancelled; }

private:
    /// What a modal dialog is to the run: a prompt's answer decides whether the run
    /// goes on; a notice only tells.
    enum class Modal { Prompt, Notice };

    QWidget* dialogParent() const;
    int runModal(QDialog& dialog, Modal kind = Modal::Prompt);
    void addContextHelp(QDialog& dialog, int context);
    void prepareQuestion(QMessageBox& box);

    QPointer<QWidget> m_mainWindow;
    bool m_busy = false;
    std::function<void(QWidget&)> m_placer;
    std::function<void(int, QWidget*)> m_contextHelp;
    QPointer<QDialog> m_openDialog;
    bool m_cancelled = false;
};

} // namespace tramazel::ui
