// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "shell/MainForm.h"

#include <QWidget>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

class QLabel;
class QPushButton;

namespace tramazel::ui {

class GradientPanel;
class QtInteraction;

/// The converter's one window: three gradient panels, the buttons of the two
/// directions, the close button and the help button, laid out as
/// shell::main_window describes them. Layout and wiring only; every action is the
/// shell's (shell::MainForm).
class MainWindow : public QWidget {
    Q_OBJECT
public:
    /// What the help button and F1 ask of the help system.
    struct HelpActions {
        std::function<void(QWidget*)> showContents;
        std::function<void(int, QWidget*)> showContext;
    };

    /// With no `interaction` the window answers the shell with real Qt dialogs;
    /// tests pass a scripted one, which must outlive the window.
    explicit MainWindow(shell::MainForm::Settings settings, shell::Interaction* interaction = nullptr,
        QWidget* parent = nullptr);
    ~MainWindow() override;

    /// The window's components; their object names are the layout's names.
    struct Widgets {
        GradientPanel* importPanel = nullptr; ///< left, warm
        GradientPanel* exportPanel = nullptr; ///< right, warm
        GradientPanel* footerPanel = nullptr; ///< bottom, cool
        QLabel* importTitle = nullptr;
        QLabel* exportTitle = nullptr;
        QLabel* versionLabel = nullptr;
        QPushButton* importButton = nullptr; ///< the centre import
        QPushButton* exportButton = nullptr; ///< the solution export
        QPushButton* closeButton = nullptr;
        QPushButton* helpButton = nullptr; ///< the help file's contents
    };

    /// Window creation with the command-line parameters after the program name: the
    /// host window handle in host mode, else nothing.
    std::optional<std::uint32_t> start(const std::vector<std::string>& params);

    shell::MainForm& form() noexcept { return *m_form; }
    /// The Qt dialogs, or null when a caller's interaction answers.
    QtInteraction* qtInteraction() noexcept { return m_qtInteraction.get(); }
    bool hostMode() const noexcept;

    /// Replaces the help system (tests).
    void setHelpActions(HelpActions actions);

    /// Places the window in the middle of its screen.
    void centreOnScreen();

    /// The host window is gone: close, writing the result code; the process ends
    /// even when the result cannot be written, as there is nothing left to show.
    void hostWindowDestroyed();

    /// The help button: the help file's contents.
    void showHelpContents();

    const Widgets& widgets() const noexcept { return m_widgets; }

signals:
    /// The window has closed for good: the application ends.
    void closed();

protected:
    void showEvent(QShowEvent* event) override;
    void closeEvent(QCloseEvent* event) override;

private:
    void buildWidgets();
    void requestContextHelp();
    QWidget* helpParent();
    void reportHelpProblem(const QString& problem);
    /// Runs one of the form's actions; a host gone meanwhile closes the window after it.
    void runAction(const std::function<void()>& action);

    std::unique_ptr<QtInteraction> m_qtInteraction;
    shell::Interaction* m_interaction = nullptr;
    std::unique_ptr<shell::MainForm> m_form;
    HelpActions m_help;
    bool m_shownOnce = false;
    bool m_hostGone = false;
    bool m_closed = false;
    int m_runDepth = 0;
    Widgets m_widgets;
};

} // namespace tramazel::ui
