// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "HtmlHelp.h"

#include <QList>
#include <QPointer>

namespace tramazel::help {

class HelpWindow;

/// Serves the viewer's calls with help windows of our own, one per help file,
/// reused while open. The windows are top-level windows of their own, over their
/// owner when it is a top-level window; they never keep the program running.
class HelpWindows : public HtmlHelp {
public:
    HelpWindows() = default;
    ~HelpWindows() override;
    HelpWindows(const HelpWindows&) = delete;
    HelpWindows& operator=(const HelpWindows&) = delete;

    /// A call for a file that does not exist does nothing; one whose file cannot be
    /// read opens a window that says so.
    void call(
        QWidget* owner, const QString& file, HtmlHelpCommand command, const HtmlHelpData& data) override;

    /// The open windows.
    QList<HelpWindow*> windows() const;
    void closeAll();

private:
    HelpWindow* windowFor(const QString& chmPath, QWidget* owner);

    QList<QPointer<HelpWindow>> m_windows;
};

} // namespace tramazel::help
