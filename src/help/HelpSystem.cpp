// SPDX-License-Identifier: GPL-3.0-or-later
#include "HelpSystem.h"

#include <QString>

// Placeholder until the viewer lands: every request does nothing.
namespace tramazel::help {
void registerViewer() { }
void setHelpFile(const QString&) { }
void showContents(QWidget*) { }
void showContext(int, QWidget*) { }
void shutDown() { }
} // namespace tramazel::help
