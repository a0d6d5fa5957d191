// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "HelpViewer.h"

#include <QPointer>
#include <QString>
#include <QWidget>

#include <memory>
#include <vector>

namespace tramazel::help {

/// The application's help manager: keeps the registered viewers, hands each help
/// request to the ones that can serve it, and asks the selector when several can.
/// A request nobody can serve does nothing.
class HelpManager {
public:
    HelpManager() = default;
    ~HelpManager();
    HelpManager(const HelpManager&) = delete;
    HelpManager& operator=(const HelpManager&) = delete;

    /// Adds `viewer`, tells it its number and this manager; returns the number.
    int registerViewer(std::shared_ptr<HelpViewer> viewer);
    /// Forgets the viewer with number `viewerId`.
    void release(int viewerId);
    void setSelector(std::shared_ptr<HelpSelector> selector) { m_selector = std::move(selector); }
    std::size_t viewerCount() const { return m_viewers.size(); }

    /// The help file of the request being served (may be empty).
    const QString& helpFile() const { return m_helpFile; }
    void setHelpFile(const QString& file) { m_helpFile = file; }
    /// The window help windows belong to (may be null).
    QWidget* owner() const { return m_owner; }
    void setOwner(QWidget* owner) { m_owner = owner; }

    void showTableOfContents();
    void showKeyword(const QString& keyword);
    void showContext(int context, const QString& helpFile);
    void showTopic(const QString& topic, const QString& helpFile);
    /// Tells every viewer to close its windows.
    void softShutDownAll();

private:
    struct Registered {
        int id;
        std::shared_ptr<HelpViewer> viewer;
    };
    std::vector<Registered> m_viewers;
    std::shared_ptr<HelpSelector> m_selector;
    QString m_helpFile;
    QPointer<QWidget> m_owner;
    int m_nextId = 1;
};

} // namespace tramazel::help
