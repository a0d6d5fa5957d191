// SPDX-License-Identifier: GPL-3.0-or-later
#include "UiTestSupport.h"

#include <QApplication>
#include <QDialog>
#include <QWidget>

namespace tramazel::test {

namespace {
constexpr int tickMs = 10;
}

QApplication& guiApp()
{
    static int argc = 1;
    static char name[] = "tramazel-ui-test";
    static char* argv[] = { name, nullptr };
    static QApplication* app = new QApplication(argc, argv);
    return *app;
}

ModalDriver::ModalDriver(int watchdogMs)
    : m_watchdogTicks(watchdogMs / tickMs)
{
    connect(&m_timer, &QTimer::timeout, this, &ModalDriver::poll);
    m_timer.start(tickMs);
}

ModalDriver::~ModalDriver()
{
    m_timer.stop();
}

void ModalDriver::poll()
{
    QWidget* modal = QApplication::activeModalWidget();
    if (!modal || !modal->isVisible() || modal == m_last) {
        // A dialog left open by a failed action would block the test for good.
        if (modal && modal == m_last && ++m_idleTicks > m_watchdogTicks) {
            if (auto* dialog = qobject_cast<QDialog*>(modal))
                dialog->reject();
            m_idleTicks = 0;
        }
        return;
    }
    m_last = modal;
    m_idleTicks = 0;
    if (m_actions.empty()) {
        m_unexpected.push_back(modal->windowTitle().toStdString());
        if (auto* dialog = qobject_cast<QDialog*>(modal))
            dialog->reject();
        return;
    }
    Action action = std::move(m_actions.front());
    m_actions.pop_front();
    action(*modal);
}

std::optional<std::filesystem::path> ScriptedInteraction::chooseFile(const shell::FileDialogOptions& options)
{
    fileRequests.push_back(options);
    if (fileAnswers.empty())
        return std::nullopt;
    auto answer = fileAnswers.front();
    fileAnswers.pop_front();
    return answer;
}

void ScriptedInteraction::closeMainWindow()
{
    ++closeRequests;
    if (window)
        window->close();
}

} // namespace tramazel::test
