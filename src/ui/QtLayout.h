// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "shell/WindowLayouts.h"

#include <QColor>
#include <QFont>
#include <QRect>
#include <QSize>
#include <QString>

#include <string_view>

/// The windows' descriptions (shell/WindowLayouts.h) in Qt's types.
namespace tramazel::ui {

QString toQString(std::string_view utf8);

inline QRect toQRect(const shell::Rect& r)
{
    return QRect(r.left, r.top, r.width, r.height);
}

inline QSize toQSize(const shell::Size& s)
{
    return QSize(s.width, s.height);
}

inline QColor toQColor(const shell::Rgb& c)
{
    return QColor(c.red, c.green, c.blue);
}

/// The font of `role`: the family the layout was drawn with, then families of about
/// the same metrics for a system that lacks it.
QFont toQFont(shell::FontRole role);

} // namespace tramazel::ui
