// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "shell/Interaction.h"
#include "shell/WindowLayouts.h"

#include <QColor>
#include <QObject>
#include <QPointer>
#include <QRect>
#include <QSize>
#include <QString>
#include <QTimer>

#include <deque>
#include <functional>
#include <optional>
#include <string>
#include <vector>

class QApplication;
class QWidget;

namespace tramazel::test {

/// The one QApplication of a widget test program (GoogleTest owns main()).
QApplication& guiApp();

/// The windows' descriptions in Qt's types, for comparing a window with its
/// description (converted here, not by the code under test).
inline QString qtString(std::string_view utf8)
{
    return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
}
inline QRect qtRect(const shell::Rect& r)
{
    return QRect(QPoint(r.left, r.top), QPoint(r.right() - 1, r.bottom() - 1));
}
inline QSize qtSize(const shell::Size& s)
{
    return QSize(s.width, s.height);
}
inline QColor qtColor(const shell::Rgb& c)
{
    return QColor(c.red, c.green, c.blue);
}

/// Answers real modal dialogs: a short timer polls for the next modal widget that
/// is shown, runs the next scripted action on it, and repeats. A watchdog rejects a
/// dialog nobody scripted (so that the test ends instead of hanging) and records it.
class ModalDriver : public QObject {
public:
    using Action = std::function<void(QWidget& dialog)>;

    explicit ModalDriver(int watchdogMs = 5000);
    ~ModalDriver() override;

    void then(Action action) { m_actions.push_back(std::move(action)); }
    /// Actions still waiting for their dialog.
    std::size_t pending() const { return m_actions.size(); }
    /// Dialogs that came with no action left (rejected by the watchdog), by title.
    const std::vector<std::string>& unexpected() const { return m_unexpected; }

private:
    void poll();

    std::deque<Action> m_actions;
    std::vector<std::string> m_unexpected;
    QTimer m_timer;
    QPointer<QWidget> m_last;
    int m_idleTicks = 0;
    int m_watchdogTicks;
};

/// An Interaction that answers from a script and records what the shell asked.
class ScriptedInteraction : public shell::Interaction {
public:
    std::deque<std::optional<std::filesystem::path>> fileAnswers; ///< nothing left: cancel
    std::vector<shell::FileDialogOptions> fileRequests;
    std::vector<std::string> informations;
    std::vector<shell::Report> reports; ///< the reports after runs, whole
    std::vector<shell::Choice> choices; ///< accepted, without the check box
    std::vector<std::string> errors;
    std::vector<std::string> confirmations;
    bool confirmAnswer = true;
    std::vector<bool> busyCalls;
    int closeRequests = 0;
    QWidget* window = nullptr; ///< closed by closeMainWindow when set

    std::optional<std::filesystem::path> chooseFile(const shell::FileDialogOptions& options) override;
    void showInformation(std::string_view text) override { informations.emplace_back(text); }
    void showError(std::string_view text) override { errors.emplace_back(text); }
    void showReport(const shell::Report& report) override { reports.push_back(report); }
    shell::ChoiceAnswer choose(const shell::Choice& choice) override
    {
        choices.push_back(choice);
        return { true, false };
    }
    bool confirmDestructive(std::string_view text) override
    {
        confirmations.emplace_back(text);
        return confirmAnswer;
    }
    void setBusy(bool busy) override { busyCalls.push_back(busy); }
    void closeMainWindow() override;
    void editCourseLevels(centre_import::CourseLevelGrid&) override { }
    bool askQuestion(std::string_view, std::string_view) override { return true; }
};

} // namespace tramazel::test
