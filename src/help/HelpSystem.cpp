// SPDX-License-Identifier: GPL-3.0-or-later
#include "HelpSystem.h"

#include "ChmHelpViewer.h"
#include "HelpManager.h"
#include "OpenHelpWindows.h"

#include <QCoreApplication>
#include <QString>

namespace tramazel::help {

namespace {

struct System {
    HelpManager manager;
    std::shared_ptr<OpenHelpWindows> windows;
    std::shared_ptr<ChmHelpViewer> viewer;
    int viewerId = 0;
    QString applicationHelpFile;
    std::function<QRect(const QWidget&)> locator;
};

System& system()
{
    static System s;
    return s;
}

} // namespace

void registerViewer()
{
    System& s = system();
    if (s.viewer)
        return;
    s.windows = std::make_shared<OpenHelpWindows>();
    s.windows->setOwnerFrameLocator(s.locator);
    s.viewer = std::make_shared<ChmHelpViewer>(s.windows, [] { return system().applicationHelpFile; });
    s.viewerId = s.manager.registerViewer(s.viewer);
    s.manager.setSelector(s.viewer);
    // Help windows must not outlive the application object, whoever forgets shutDown().
    if (QCoreApplication* app = QCoreApplication::instance())
        QObject::connect(app, &QCoreApplication::aboutToQuit, app, [] { shutDown(); });
}

void setOwnerFrameLocator(std::function<QRect(const QWidget&)> locator)
{
    System& s = system();
    s.locator = std::move(locator);
    if (s.windows)
        s.windows->setOwnerFrameLocator(s.locator);
}

void setHelpFile(const QString& file)
{
    system().applicationHelpFile = file;
}

QString helpFile()
{
    return system().applicationHelpFile;
}

QString showContents(QWidget* parent)
{
    System& s = system();
    s.manager.setOwner(parent);
    s.manager.setHelpFile(s.applicationHelpFile);
    s.manager.showTableOfContents();
    return s.viewer ? s.viewer->takeProblem() : QString();
}

QString showContext(int context, QWidget* parent)
{
    System& s = system();
    s.manager.setOwner(parent);
    s.manager.showContext(context, s.applicationHelpFile);
    return s.viewer ? s.viewer->takeProblem() : QString();
}

QString showKeyword(const QString& keyword, QWidget* parent)
{
    System& s = system();
    s.manager.setOwner(parent);
    s.manager.setHelpFile(s.applicationHelpFile);
    s.manager.showKeyword(keyword);
    return s.viewer ? s.viewer->takeProblem() : QString();
}

OpenHelpWindows* openHelpWindows()
{
    return system().windows.get();
}

void shutDown()
{
    System& s = system();
    if (!s.viewer)
        return;
    s.viewer->shutDown();
    s.manager.release(s.viewerId);
    s.manager.setSelector(nullptr);
    s.viewer.reset();
    s.windows.reset();
    s.viewerId = 0;
}

} // namespace tramazel::help
