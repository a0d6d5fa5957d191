// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

#include <vector>

namespace tramazel::help {

/// One entry of a help sitemap: a contents heading or page, or an index keyword.
struct SitemapEntry {
    QString name; ///< the "Name" parameter, entities decoded
    QString local; ///< the "Local" parameter: internal topic, maybe with "#fragment"; may be empty
    std::vector<SitemapEntry> children;
};

/// The contents (.hhc) and index (.hhk) files of a compiled help file: HTML with
/// nested <UL> lists of <OBJECT type="text/sitemap"> elements carrying <param> tags.
/// These files are written by hand as often as by tools, so the parser is lenient:
/// any letter case, unquoted attributes, comments, missing end tags.
namespace Sitemap {

/// The entry tree of the decoded sitemap text.
std::vector<SitemapEntry> parse(const QString& html);

/// Replaces the character references in `text` (named, decimal and hexadecimal);
/// unknown references stay as written.
QString decodeEntities(const QString& text);

} // namespace Sitemap

} // namespace tramazel::help
