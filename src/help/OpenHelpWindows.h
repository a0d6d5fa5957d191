// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "HtmlHelp.h"

#include <QList>
#include <QPointer>

namespace tramazel::help {

class HelpWindow;

/// The help windows open at a time, one per help file, and the HtmlHelp calls that
/// open, reuse and close them: a call for a file with a window open reuses it. The
/// windows are top-level windows of their own, over their owner when it is a
/// top-level window; they never keep the program running.
class OpenHelpWindows : public HtmlHelp {
public:
    OpenHelpWindows() = default;
    ~OpenHelpWindows() override;
    OpenHelpWindows(const OpenHelpWindows&) = delete;
    OpenHelpWindows& operator=(const OpenHelpWindows&) = delete;

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
