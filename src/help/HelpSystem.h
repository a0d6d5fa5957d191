// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <functional>

class QRect;
class QString;
class QWidget;

/// The application's help system as the main window sees it: the help file and the
/// two requests the window makes. Behind it stand the help manager and the viewer.
namespace tramazel::help {

/// Registers the viewer with the help manager; call once at start-up, before the
/// main window is created.
void registerViewer();

/// Sets the application's help file ("IB.chm"; a bare name is resolved against the
/// executable's directory).
void setHelpFile(const QString& file);

/// The contents command (the main window's help button): shows the table of contents.
/// Returns what kept the help from showing (its file missing or unreadable: the text
/// for the user's error box), or nothing.
QString showContents(QWidget* parent = nullptr);

/// Help context `context` of the help file (shell::help_context: F1 on a window);
/// returns as showContents() does.
QString showContext(int context, QWidget* parent = nullptr);

/// Closes every help window opened; call at exit.
void shutDown();

/// The application's help file as last set.
QString helpFile();

/// The index of the help file opened at `keyword`; returns as showContents() does.
QString showKeyword(const QString& keyword, QWidget* parent = nullptr);

/// How the help finds the frame on the screen of the window that asks for it, for
/// placing the help beside it (host mode: the main window lives inside another
/// program's window, where only the X server knows its place). Null: the window's
/// frame geometry.
void setOwnerFrameLocator(std::function<QRect(const QWidget&)> locator);

class OpenHelpWindows;
/// The help windows open now; null before registerViewer() and after shutDown().
OpenHelpWindows* openHelpWindows();

} // namespace tramazel::help
