// SPDX-License-Identifier: GPL-3.0-or-later
#include "OpenHelpWindows.h"

#include "HelpWindow.h"

#include <QFileInfo>
#include <QWindow>

namespace tramazel::help {

OpenHelpWindows::~OpenHelpWindows()
{
    closeAll();
}

QList<HelpWindow*> OpenHelpWindows::windows() const
{
    QList<HelpWindow*> open;
    for (const QPointer<HelpWindow>& window : m_windows) {
        if (window)
            open << window.data();
    }
    return open;
}

void OpenHelpWindows::closeAll()
{
    const QList<QPointer<HelpWindow>> windows = std::exchange(m_windows, {});
    for (const QPointer<HelpWindow>& window : windows)
        delete window.data();
}

HelpWindow* OpenHelpWindows::windowFor(const QString& chmPath, QWidget* owner)
{
    const QString key = QFileInfo(chmPath).absoluteFilePath();
    m_windows.removeAll(nullptr);
    for (const QPointer<HelpWindow>& window : std::as_const(m_windows)) {
        if (QFileInfo(window->chmPath()).absoluteFilePath() == key)
            return window.data();
    }
    auto* window = new HelpWindow(chmPath);
    window->setAttribute(Qt::WA_DeleteOnClose);
    // Closing the main window ends the program even while help is open.
    window->setAttribute(Qt::WA_QuitOnClose, false);
    m_windows << window;
    // Kept over the owner's window, unless that one is embedded in a foreign window
    // (host mode): then the help stays an independent top-level window.
    if (owner) {
        QWidget* top = owner->window();
        window->winId();
        QWindow* ownerWindow = top->windowHandle();
        if (ownerWindow && !ownerWindow->parent() && window->windowHandle())
            window->windowHandle()->setTransientParent(ownerWindow);
    }
    return window;
}

void OpenHelpWindows::call(
    QWidget* owner, const QString& file, HtmlHelpCommand command, const HtmlHelpData& data)
{
    if (command == HtmlHelpCommand::CloseAll) {
        closeAll();
        return;
    }
    QString chmPath = file;
    QString topic;
    if (command == HtmlHelpCommand::DisplayTopic) {
        const qsizetype separator = file.indexOf(QLatin1String("::"));
        if (separator >= 0) {
            chmPath = file.left(separator);
            topic = file.mid(separator + 2);
            while (topic.startsWith(QLatin1Char('/')))
                topic.remove(0, 1);
        }
    }
    if (chmPath.isEmpty() || !QFileInfo(chmPath).isFile())
        return;
    HelpWindow* window = windowFor(chmPath, owner);
    switch (command) {
    case HtmlHelpCommand::DisplayToc:
        window->showContents();
        break;
    case HtmlHelpCommand::DisplayIndex:
        window->showIndex(data.text);
        break;
    case HtmlHelpCommand::DisplayTopic:
        window->showTopic(topic);
        break;
    case HtmlHelpCommand::HelpContext:
        window->showContext(data.number);
        break;
    case HtmlHelpCommand::CloseAll:
        break;
    }
    window->show();
    window->raise();
    window->activateWindow();
}

} // namespace tramazel::help
