// SPDX-License-Identifier: GPL-3.0-or-later
#include "QtLayout.h"

#include <QStringList>

namespace tramazel::ui {

QString toQString(std::string_view utf8)
{
    return QString::fromUtf8(utf8.data(), qsizetype(utf8.size()));
}

QFont toQFont(shell::FontRole role)
{
    const shell::FontSpec spec = shell::fontFor(role);
    // The classic bitmap face is rarely installed outside Windows: its outline
    // successor, then Arial and Arial's metric twin stand in for it. Where none is
    // there either, the style hint lets the font system pick a plain sans.
    QStringList families { toQString(spec.family) };
    if (spec.family == "MS Sans Serif")
        families << QStringLiteral("Microsoft Sans Serif");
    if (spec.family != "Arial")
        families << QStringLiteral("Arial");
    families << QStringLiteral("Liberation Sans");

    QFont font;
    font.setFamilies(families);
    font.setStyleHint(QFont::SansSerif);
    if (spec.pixels > 0)
        font.setPixelSize(spec.pixels);
    else
        font.setPointSize(spec.points);
    font.setBold(spec.bold);
    return font;
}

} // namespace tramazel::ui
