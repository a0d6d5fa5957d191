// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "HtmlHelp.h"

#include <QList>

#include <QPointer>
#include <QRect>
#include <functional>

namespace tramazel::help {

class HelpWindow;

/// Where a new help window goes: beside its owner's window (`owner`, its frame on the
/// screen) on the side with more room when the help fits there at a readable width,
/// else over it, offset; always inside `available` (the screen's free area) and no
/// bigger than it. With `keepOwnerVisible` (the owner is a dialog waiting for an
/// answer) it never goes over the owner while the screen has room beside, above or
/// below it, however narrow. An empty `owner` centres the window on the screen.
QRect helpWindowPlace(const QRect& owner, const QRect& available, bool keepOwnerVisible = false);

/// The frame on the screen of a window that asks for help; the window's own frame
/// geometry unless a locator knows better (a window inside another program's window).
using OwnerFrameLocator = std::function<QRect(const QWidget& window)>;

/// The help windows open at a time, one per help file, and the HtmlHelp calls that
/// open, reuse and close them: a call for a file with a window open reuses it. The
/// windows are top-level windows of their own, placed beside their owner; they are
/// nobody's transient, so a dialog modal to the main window leaves them usable, and
/// they never keep the program running.
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

    /// Replaces how an owner's frame is found (null: its frame geometry).
    void setOwnerFrameLocator(OwnerFrameLocator locator) { m_locator = std::move(locator); }

private:
    HelpWindow* windowFor(const QString& chmPath, QWidget* owner);

    QList<QPointer<HelpWindow>> m_windows;
    OwnerFrameLocator m_locator;
};

} // namespace tramazel::help
