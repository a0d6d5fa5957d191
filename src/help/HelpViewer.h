// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>
#include <QStringList>

namespace tramazel::help {

class HelpManager;

/// What every help viewer offers the help manager: keyword look-ups and the table of
/// contents.
class HelpViewer {
public:
    virtual ~HelpViewer() = default;
    virtual QString viewerName() const = 0;
    /// How many topics the viewer has for `keyword`.
    virtual int understandsKeyword(const QString& keyword) const = 0;
    /// One entry per topic the viewer has for `keyword`, each starting with the viewer's name.
    virtual QStringList helpStrings(const QString& keyword) const = 0;
    virtual bool canShowTableOfContents() const = 0;
    virtual void showTableOfContents() = 0;
    /// Shows the topic of one entry that helpStrings() gave.
    virtual void showHelp(const QString& helpString) = 0;
    /// The number the help manager gave the viewer on registration.
    virtual void notifyId(int viewerId) = 0;
    /// The manager the viewer was registered with; null after shutDown().
    virtual void setHelpManager(HelpManager* manager) = 0;
    /// Closes what the viewer has opened.
    virtual void softShutDown() = 0;
    /// Closes what the viewer has opened and forgets the manager.
    virtual void shutDown() = 0;
};

/// The further requests a viewer may serve besides HelpViewer's: a named topic and a
/// numbered help context. The manager asks a viewer for them only when it has this too.
class ContextHelpViewer {
public:
    virtual ~ContextHelpViewer() = default;
    virtual bool understandsTopic(const QString& topic) const = 0;
    virtual void displayTopic(const QString& topic) = 0;
    virtual bool understandsContext(int context, const QString& helpFile) const = 0;
    virtual void displayHelpByContext(int context, const QString& helpFile) = 0;
};

/// Chooses among viewers when more than one can serve a request.
class HelpSelector {
public:
    virtual ~HelpSelector() = default;
    /// The index in `helpStrings` of the entry to show.
    virtual int selectKeyword(const QStringList& helpStrings) = 0;
    /// The index in `viewerNames` (sorted) of the viewer to show its table of contents; -1 for none.
    virtual int tableOfContents(const QStringList& viewerNames) = 0;
};

} // namespace tramazel::help
