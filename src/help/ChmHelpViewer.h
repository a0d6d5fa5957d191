// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "HelpViewer.h"
#include "HtmlHelp.h"

#include <functional>
#include <memory>

namespace tramazel::help {

/// The viewer of compiled HTML help files (".chm") that registers with the help
/// manager, and the manager's selector. It decides which file and command a request
/// means and passes them to one HtmlHelp object (the open help windows); without one,
/// requests do nothing.
class ChmHelpViewer : public HelpViewer, public ContextHelpViewer, public HelpSelector {
public:
    /// `applicationHelpFile` gives the application's help file, used when the
    /// manager has none; `executableDir` the directory a bare file name is taken from
    /// (both default to the running application's).
    explicit ChmHelpViewer(std::shared_ptr<HtmlHelp> htmlHelp,
        std::function<QString()> applicationHelpFile = {}, std::function<QString()> executableDir = {});

    /// The name the viewer registers under; its help strings start with it and the
    /// selector knows its own entries by it.
    static QString name() { return QStringLiteral("QelHtmlHelp"); }

    QString viewerName() const override { return name(); }
    int understandsKeyword(const QString& keyword) const override;
    QStringList helpStrings(const QString& keyword) const override;
    bool canShowTableOfContents() const override { return true; }
    void showTableOfContents() override;
    void showHelp(const QString& helpString) override;
    void notifyId(int viewerId) override { m_viewerId = viewerId; }
    void setHelpManager(HelpManager* manager) override { m_manager = manager; }
    void softShutDown() override;
    void shutDown() override;

    bool understandsTopic(const QString& topic) const override;
    void displayTopic(const QString& topic) override;
    bool understandsContext(int context, const QString& helpFile) const override;
    void displayHelpByContext(int context, const QString& helpFile) override;

    int selectKeyword(const QStringList& helpStrings) override;
    int tableOfContents(const QStringList& viewerNames) override;

    int viewerId() const { return m_viewerId; }
    HelpManager* helpManager() const { return m_manager; }

    /// The help file requests are about: the manager's, else the application's; a
    /// name without a directory gets the executable's directory, or the installed
    /// "../share/tramazel" beside it when the file is only there.
    QString resolvedHelpFile() const;
    /// True when `name` ends in ".chm" in any letter case (a "." in a directory
    /// part does not count).
    static bool isHelpFile(const QString& name);
    /// Where the help file is looked for, in order: for a bare name the executable's
    /// directory, then the installed "../share/tramazel"; else the file as given.
    QStringList placesLookedIn() const;

    /// What kept the last request from being shown (the help file missing or
    /// unreadable), as the text for the user; empty when nothing did. Cleared by
    /// the call.
    QString takeProblem();

    static QString defaultTopicExtension() { return QStringLiteral(".htm"); }

private:
    void htmlHelp(const QString& file, HtmlHelpCommand command, const HtmlHelpData& data = {});
    /// True when `file` can be opened; else records why not for takeProblem().
    bool reachable(const QString& file);

    int m_viewerId = 0;
    std::shared_ptr<HtmlHelp> m_htmlHelp;
    HelpManager* m_manager = nullptr;
    std::function<QString()> m_applicationHelpFile;
    std::function<QString()> m_executableDir;
    QString m_problem;
};

} // namespace tramazel::help
