// SPDX-License-Identifier: GPL-3.0-or-later
#include "Sitemap.h"

#include <QHash>

#include <array>

namespace tramazel::help {

namespace {

// The Latin-1 entity names, from U+00A0 onwards, in code point order.
constexpr std::array<const char*, 96> latin1Entities = { "nbsp", "iexcl", "cent", "pound", "curren", "yen",
    "brvbar", "sect", "uml", "copy", "ordf", "laquo", "not", "shy", "reg", "macr", "deg", "plusmn", "sup2",
    "sup3", "acute", "micro", "para", "middot", "cedil", "sup1", "ordm", "raquo", "frac14", "frac12",
    "frac34", "iquest", "Agrave", "Aacute", "Acirc", "Atilde", "Auml", "Aring", "AElig", "Ccedil", "Egrave",
    "Eacute", "Ecirc", "Euml", "Igrave", "Iacute", "Icirc", "Iuml", "ETH", "Ntilde", "Ograve", "Oacute",
    "Ocirc", "Otilde", "Ouml", "times", "Oslash", "Ugrave", "Uacute", "Ucirc", "Uuml", "Yacute", "THORN",
    "szlig", "agrave", "aacute", "acirc", "atilde", "auml", "aring", "aelig", "ccedil", "egrave", "eacute",
    "ecirc", "euml", "igrave", "iacute", "icirc", "iuml", "eth", "ntilde", "ograve", "oacute", "ocirc",
    "otilde", "ouml", "divide", "oslash", "ugrave", "uacute", "ucirc", "uuml", "yacute", "thorn", "yuml" };

const QHash<QString, char32_t>& namedEntities()
{
    static const QHash<QString, char32_t> table = [] {
        QHash<QString, char32_t> t;
        for (std::size_t i = 0; i < latin1Entities.size(); ++i)
            t.insert(QString::fromLatin1(latin1Entities[i]), char32_t(0xa0 + i));
        t.insert(QStringLiteral("amp"), U'&');
        t.insert(QStringLiteral("lt"), U'<');
        t.insert(QStringLiteral("gt"), U'>');
        t.insert(QStringLiteral("quot"), U'"');
        t.insert(QStringLiteral("apos"), U'\'');
        t.insert(QStringLiteral("euro"), U'\u20ac');
        t.insert(QStringLiteral("ndash"), U'\u2013');
        t.insert(QStringLiteral("mdash"), U'\u2014');
        t.insert(QStringLiteral("lsquo"), U'\u2018');
        t.insert(QStringLiteral("rsquo"), U'\u2019');
        t.insert(QStringLiteral("ldquo"), U'\u201c');
        t.insert(QStringLiteral("rdquo"), U'\u201d');
        t.insert(QStringLiteral("hellip"), U'\u2026');
        t.insert(QStringLiteral("bull"), U'\u2022');
        return t;
    }();
    return table;
}

struct Tag {
    QString name; // lower case, with a leading "/" for an end tag
    QHash<QString, QString> attributes; // names in lower case, values decoded
};

bool isSpace(QChar c)
{
    return c.isSpace();
}

// Reads the tag that starts at `text[at]` == '<'; moves `at` past it.
Tag readTag(const QString& text, qsizetype& at)
{
    Tag tag;
    qsizetype i = at + 1;
    const qsizetype n = text.size();
    qsizetype start = i;
    while (i < n && !isSpace(text[i]) && text[i] != QLatin1Char('>'))
        ++i;
    tag.name = text.mid(start, i - start).toLower();
    if (tag.name.endsWith(QLatin1Char('/')))
        tag.name.chop(1);
    while (i < n && text[i] != QLatin1Char('>')) {
        while (i < n && (isSpace(text[i]) || text[i] == QLatin1Char('/')))
            ++i;
        if (i >= n || text[i] == QLatin1Char('>'))
            break;
        start = i;
        while (i < n && !isSpace(text[i]) && text[i] != QLatin1Char('=') && text[i] != QLatin1Char('>'))
            ++i;
        const QString name = text.mid(start, i - start).toLower();
        while (i < n && isSpace(text[i]))
            ++i;
        QString value;
        if (i < n && text[i] == QLatin1Char('=')) {
            ++i;
            while (i < n && isSpace(text[i]))
                ++i;
            if (i < n && (text[i] == QLatin1Char('"') || text[i] == QLatin1Char('\''))) {
                const QChar quote = text[i++];
                start = i;
                while (i < n && text[i] != quote)
                    ++i;
                value = text.mid(start, i - start);
                if (i < n)
                    ++i;
            } else {
                start = i;
                while (i < n && !isSpace(text[i]) && text[i] != QLatin1Char('>'))
                    ++i;
                value = text.mid(start, i - start);
            }
        }
        if (!name.isEmpty() && !tag.attributes.contains(name))
            tag.attributes.insert(name, Sitemap::decodeEntities(value));
    }
    at = i < n ? i + 1 : n;
    return tag;
}

} // namespace

QString Sitemap::decodeEntities(const QString& text)
{
    if (!text.contains(QLatin1Char('&')))
        return text;
    QString out;
    out.reserve(text.size());
    const qsizetype n = text.size();
    for (qsizetype i = 0; i < n; ++i) {
        if (text[i] != QLatin1Char('&')) {
            out += text[i];
            continue;
        }
        const qsizetype semicolon = text.indexOf(QLatin1Char(';'), i + 1);
        if (semicolon < 0 || semicolon - i > 12) {
            out += text[i];
            continue;
        }
        const QString ref = text.mid(i + 1, semicolon - i - 1);
        char32_t code = 0;
        bool ok = false;
        if (ref.startsWith(QLatin1Char('#'))) {
            const bool hex = ref.size() > 1 && (ref[1] == QLatin1Char('x') || ref[1] == QLatin1Char('X'));
            const uint value = ref.mid(hex ? 2 : 1).toUInt(&ok, hex ? 16 : 10);
            ok = ok && value > 0 && value <= 0x10ffff && !(value >= 0xd800 && value <= 0xdfff);
            code = char32_t(value);
        } else {
            const auto it = namedEntities().constFind(ref);
            ok = it != namedEntities().constEnd();
            if (ok)
                code = *it;
        }
        if (!ok) {
            out += text[i];
            continue;
        }
        out += QString::fromUcs4(&code, 1);
        i = semicolon;
    }
    return out;
}

std::vector<SitemapEntry> Sitemap::parse(const QString& html)
{
    std::vector<SitemapEntry> root;
    // The lists being filled, innermost last. A <UL> after an entry holds that
    // entry's children; a stray <UL> with no entry before it adds no level.
    std::vector<std::vector<SitemapEntry>*> lists { &root };
    bool inObject = false;
    SitemapEntry current;
    bool hasName = false;
    bool hasLocal = false;

    auto finishObject = [&] {
        if (!inObject)
            return;
        inObject = false;
        if (hasName || hasLocal)
            lists.back()->push_back(std::move(current));
        current = SitemapEntry();
        hasName = hasLocal = false;
    };

    const qsizetype n = html.size();
    qsizetype at = 0;
    while (at < n) {
        const qsizetype open = html.indexOf(QLatin1Char('<'), at);
        if (open < 0)
            break;
        if (html.mid(open, 4) == QLatin1String("<!--")) {
            const qsizetype close = html.indexOf(QLatin1String("-->"), open + 4);
            at = close < 0 ? n : close + 3;
            continue;
        }
        at = open;
        const Tag tag = readTag(html, at);
        if (tag.name == QLatin1String("object")) {
            finishObject();
            if (tag.attributes.value(QStringLiteral("type"))
                    .compare(QLatin1String("text/sitemap"), Qt::CaseInsensitive)
                == 0)
                inObject = true;
        } else if (tag.name == QLatin1String("/object")) {
            finishObject();
        } else if (tag.name == QLatin1String("param")) {
            if (!inObject)
                continue;
            const QString name = tag.attributes.value(QStringLiteral("name")).toLower();
            const QString value = tag.attributes.value(QStringLiteral("value"));
            if (name == QLatin1String("name") && !hasName) {
                current.name = value.trimmed();
                hasName = true;
            } else if (name == QLatin1String("local") && !hasLocal) {
                current.local = value.trimmed();
                hasLocal = true;
            }
        } else if (tag.name == QLatin1String("ul")) {
            finishObject();
            std::vector<SitemapEntry>* list = lists.back();
            lists.push_back(list->empty() ? list : &list->back().children);
        } else if (tag.name == QLatin1String("/ul")) {
            finishObject();
            if (lists.size() > 1)
                lists.pop_back();
        } else if (tag.name == QLatin1String("li")) {
            finishObject();
        }
    }
    finishObject();
    return root;
}

} // namespace tramazel::help
