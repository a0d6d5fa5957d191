// SPDX-License-Identifier: GPL-3.0-or-later
#include "WellFormedScan.h"

#include "WellFormedScanner.h"

#include <algorithm>
#include <array>
#include <charconv>

namespace tramazel::xml {

namespace detail {

ScanResult Scanner::run()
{
    while (m_pos < m_s.size() && !m_stop) {
        if (!content())
            break;
    }
    ScanResult result;
    result.m_fault = std::move(m_fault);
    if (result.m_fault)
        return result;
    if (m_expanded)
        m_expanded->append(m_s.substr(m_copiedUpTo));
    result.m_expanded = std::move(m_expanded);
    result.m_replacements = std::move(m_replacements);
    return result;
}

bool Scanner::content()
{
    const std::size_t n = m_s.size();
    while (m_pos < n && !kContentStops[static_cast<unsigned char>(m_s[m_pos])])
        ++m_pos;
    if (m_pos >= n)
        return true;
    switch (m_s[m_pos]) {
    case '<':
        return markup();
    case '&':
        return reference(Context::Content);
    case ']':
        if (startsWith(m_pos, "]]>"))
            return fail(m_pos, "el texto contiene «]]>»");
        ++m_pos;
        return true;
    default:
        if (forbiddenAt(m_pos))
            return fail(m_pos, std::string(kReasonForbiddenChar));
        ++m_pos;
        return true;
    }
}

bool Scanner::markup()
{
    const std::size_t start = m_pos;
    // Start tags are by far the most frequent: tell them by the byte after '<'.
    if (isNameStart(at(start + 1)))
        return startTag();
    if (startsWith(start, "<!--")) {
        std::size_t p = start;
        return comment(p) && ((m_pos = p), true);
    }
    if (startsWith(start, "<?")) {
        std::size_t p = start;
        return processingInstruction(p) && ((m_pos = p), true);
    }
    if (startsWith(start, "<![CDATA[")) {
        if (m_depth == 0)
            return fail(start, "hay una sección CDATA fuera del elemento raíz");
        const auto end = m_s.find("]]>", start + 9);
        if (end == std::string_view::npos) {
            m_stop = true;
            return true;
        }
        if (!checkChars(start + 9, end))
            return false;
        m_pos = end + 3;
        return true;
    }
    if (startsWith(start, "<!DOCTYPE"))
        return doctype();
    if (startsWith(start, "</")) {
        const auto end = m_s.find('>', start);
        if (end == std::string_view::npos) {
            m_stop = true;
            return true;
        }
        if (!checkChars(start, end))
            return false;
        if (m_depth > 0)
            --m_depth;
        m_pos = end + 1;
        return true;
    }
    m_stop = true; // not markup XML knows: the parser says where
    return true;
}

bool Scanner::startTag()
{
    const std::size_t n = m_s.size();
    std::size_t p = m_pos + 1;
    while (p < n) {
        // Names, blanks and '=' between the values need no look.
        while (p < n && !kTagStops[static_cast<unsigned char>(m_s[p])])
            ++p;
        if (p >= n)
            break;
        const unsigned char c = at(p);
        if (c == '"' || c == '\'') {
            m_pos = p + 1;
            while (true) {
                while (m_pos < n && !kValueStops[static_cast<unsigned char>(m_s[m_pos])])
                    ++m_pos;
                if (m_pos >= n) {
                    m_stop = true;
                    return true;
                }
                const char stop = m_s[m_pos];
                if (stop == static_cast<char>(c))
                    break;
                if (stop == '<')
                    return fail(m_pos, std::string(kReasonLessThanInValue));
                if (stop == '&') {
                    if (!reference(Context::Attribute))
                        return false;
                    continue;
                }
                if (forbiddenAt(m_pos))
                    return fail(m_pos, std::string(kReasonForbiddenChar));
                ++m_pos;
            }
            p = m_pos + 1;
        } else if (c == '>') {
            ++m_depth;
            m_seenRoot = true;
            m_pos = p + 1;
            return true;
        } else if (c == '/' && at(p + 1) == '>') {
            m_seenRoot = true;
            m_pos = p + 2;
            return true;
        } else if (c == '<') {
            m_stop = true;
            return true;
        } else if (kOtherStops[c] && forbiddenAt(p)) {
            return fail(p, std::string(kReasonForbiddenChar));
        } else if (c >= 0x80) [[unlikely]] {
            // A name's character; first in its name unless a name's byte comes before.
            const std::size_t length = nameCharacter(p, !isNameByte(at(p - 1)));
            if (length == 0)
                return false;
            p += length;
        } else {
            ++p;
        }
    }
    m_stop = true;
    return true;
}

std::size_t Scanner::nameCharacter(std::size_t p, bool first)
{
    char32_t cp = 0;
    const std::size_t length = decodeUtf8(m_s, p, cp);
    if (length == 0) {
        fail(p, std::string(kReasonInvalidUtf8));
        return 0;
    }
    if (first ? !isNameStartBeyondAscii(cp) : !isNameBeyondAscii(cp)) {
        failNameCharacter(p, cp, first);
        return 0;
    }
    return length;
}

bool Scanner::failNameCharacter(std::size_t p, char32_t cp, bool first)
{
    std::array<char, 8> digits {};
    const auto end
        = std::to_chars(digits.data(), digits.data() + digits.size(), static_cast<unsigned>(cp), 16).ptr;
    std::string code(digits.data(), end);
    std::transform(code.begin(), code.end(), code.begin(),
        [](char c) { return c >= 'a' ? static_cast<char>(c - 'a' + 'A') : c; });
    code = "U+" + std::string(code.size() < 4 ? 4 - code.size() : 0, '0') + code;
    if (first)
        return fail(
            p, "un nombre empieza por el carácter " + code + ", que XML no admite al principio de un nombre");
    std::size_t from = p;
    while (from > 0 && isNameByte(at(from - 1)))
        --from;
    return fail(p,
        "el nombre " + quoted(m_s.substr(from, p - from)) + " sigue con el carácter " + code
            + ", que XML no admite en un nombre");
}

bool Scanner::comment(std::size_t& p)
{
    const auto dashes = m_s.find("--", p + 4);
    if (dashes == std::string_view::npos) {
        m_stop = true;
        p = m_s.size();
        return true;
    }
    if (at(dashes + 2) != '>')
        return fail(dashes, "un comentario contiene «--»");
    if (!checkChars(p + 4, dashes))
        return false;
    p = dashes + 3;
    return true;
}

bool Scanner::processingInstruction(std::size_t& p)
{
    const std::size_t targetEnd = nameEnd(p + 2);
    const std::string_view target = m_s.substr(p + 2, targetEnd - (p + 2));
    const bool isXml = target.size() == 3 && (target[0] | 0x20) == 'x' && (target[1] | 0x20) == 'm'
        && (target[2] | 0x20) == 'l';
    if (isXml && p != 0)
        return fail(p, "la declaración XML solo puede ir al principio del archivo");
    if (!checkName(p + 2, targetEnd))
        return false;
    const auto end = m_s.find("?>", p + 2);
    if (end == std::string_view::npos) {
        m_stop = true;
        p = m_s.size();
        return true;
    }
    if (!checkChars(p + 2, end))
        return false;
    p = end + 2;
    return true;
}

// "&#…;" or "&#x…;" at p: its code point (capped above U+10FFFF), p moved past it.
bool Scanner::charReference(std::string_view s, std::size_t& p, char32_t& cp) const noexcept
{
    std::size_t i = p + 2;
    const bool hex = i < s.size() && s[i] == 'x';
    if (hex)
        ++i;
    const std::size_t digitsStart = i;
    cp = 0;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        unsigned digit = 0;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (hex && c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (hex && c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            break;
        cp = std::min<char32_t>(cp * (hex ? 16 : 10) + digit, 0x110000);
    }
    if (i == digitsStart || i >= s.size() || s[i] != ';')
        return false;
    p = i + 1;
    return true;
}

bool Scanner::reference(Context context)
{
    const std::size_t start = m_pos;
    if (at(start + 1) == '#') {
        std::size_t p = start;
        char32_t cp = 0;
        if (!charReference(m_s, p, cp))
            return fail(start, std::string(kReasonBadCharRef));
        if (!isXmlChar(cp))
            return fail(start, std::string(kReasonForbiddenCharRef));
        m_pos = p;
        return true;
    }
    const std::size_t end = nameEnd(start + 1);
    if (end == start + 1)
        return fail(start, std::string(kReasonBareAmpersand));
    if (at(end) != ';')
        return fail(end, "falta el «;» de la referencia " + quoted(m_s.substr(start, end - start)));
    const std::string_view name = m_s.substr(start + 1, end - start - 1);
    m_pos = end + 1;
    if (name == "lt" || name == "gt" || name == "amp" || name == "apos" || name == "quot")
        return true;
    const auto found = m_entities.find(std::string(name));
    if (found == m_entities.end())
        return fail(start, "la entidad " + quoted(name) + " no está declarada");
    std::string value;
    if (!expand(found->second, name, context, 1, start, value))
        return false;
    replace(start, end + 1, value, context);
    return true;
}

bool Scanner::expand(Entity& entity, std::string_view name, Context context, std::size_t depth,
    std::size_t at, std::string& out)
{
    if (entity.external)
        return fail(at, "la entidad " + quoted(name) + " es externa y no se lee");
    if (entity.expanding)
        return fail(at, "la entidad " + quoted(name) + " se refiere a sí misma");
    if (depth > m_limits.maxDepth)
        return fail(at, "las entidades se anidan a más de " + std::to_string(m_limits.maxDepth) + " niveles");
    m_expandedBytes += entity.replacement.size() + 1;
    if (m_expandedBytes > m_limits.maxExpandedBytes)
        return fail(at,
            "la expansión de las entidades pasa de " + std::to_string(m_limits.maxExpandedBytes) + " bytes");
    entity.expanding = true;
    const std::string_view r = entity.replacement;
    for (std::size_t i = 0; i < r.size();) {
        const char c = r[i];
        if (c == '<') {
            entity.expanding = false;
            return fail(at,
                context == Context::Attribute
                    ? std::string(kReasonLessThanInValue) + " (en la entidad " + quoted(name) + ")"
                    : "la entidad " + quoted(name) + " contiene marcas, que no se admiten");
        }
        if (c != '&') {
            out.push_back(c);
            ++i;
            continue;
        }
        bool ok = true;
        if (i + 1 < r.size() && r[i + 1] == '#') {
            char32_t cp = 0;
            ok = charReference(r, i, cp);
            if (ok && !isXmlChar(cp)) {
                entity.expanding = false;
                return fail(
                    at, std::string(kReasonForbiddenCharRef) + " (en la entidad " + quoted(name) + ")");
            }
            if (ok)
                text::appendUtf8(out, cp);
        } else {
            const auto semicolon = r.find(';', i);
            ok = semicolon != std::string_view::npos && semicolon > i + 1;
            if (ok) {
                const std::string_view inner = r.substr(i + 1, semicolon - i - 1);
                i = semicolon + 1;
                if (inner == "lt")
                    out.push_back('<');
                else if (inner == "gt")
                    out.push_back('>');
                else if (inner == "amp")
                    out.push_back('&');
                else if (inner == "apos")
                    out.push_back('\'');
                else if (inner == "quot")
                    out.push_back('"');
                else {
                    const auto found = m_entities.find(std::string(inner));
                    if (found == m_entities.end()) {
                        entity.expanding = false;
                        return fail(at, "la entidad " + quoted(inner) + " no está declarada");
                    }
                    if (!expand(found->second, inner, context, depth + 1, at, out)) {
                        entity.expanding = false;
                        return false;
                    }
                }
            }
        }
        if (!ok) {
            entity.expanding = false;
            return fail(at, std::string(kReasonBareAmpersand) + " (en la entidad " + quoted(name) + ")");
        }
    }
    entity.expanding = false;
    return true;
}

void Scanner::replace(std::size_t from, std::size_t to, std::string_view value, Context context)
{
    if (!m_expanded) {
        m_expanded.emplace();
        m_expanded->reserve(m_s.size() + value.size());
    }
    std::string& out = *m_expanded;
    out.append(m_s.substr(m_copiedUpTo, from - m_copiedUpTo));
    const std::size_t expandedStart = out.size();
    for (char c : value) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        case '\'':
            out += "&apos;";
            break;
        case '\r':
            // The parser would turn a bare carriage return of text into a line feed.
            if (context == Context::Content) {
                out += "&#13;";
                break;
            }
            [[fallthrough]];
        default:
            out.push_back(c);
        }
    }
    m_replacements.push_back({ from, to, expandedStart, out.size() });
    m_copiedUpTo = to;
}

} // namespace detail

std::size_t ScanResult::scannedOffset(std::size_t offset) const noexcept
{
    // The last replacement that starts at or before the offset.
    const auto after = std::upper_bound(m_replacements.begin(), m_replacements.end(), offset,
        [](std::size_t value, const Replacement& r) { return value < r.expandedStart; });
    if (after == m_replacements.begin())
        return offset;
    const Replacement& r = *(after - 1);
    if (offset < r.expandedEnd)
        return r.scannedStart;
    return r.scannedEnd + (offset - r.expandedEnd);
}

ScanResult scanWellFormed(std::string_view utf8, const EntityLimits& limits)
{
    return detail::Scanner(utf8, limits).run();
}

} // namespace tramazel::xml
