// SPDX-License-Identifier: GPL-3.0-or-later
#include "WellFormedScan.h"

#include <algorithm>
#include <array>
#include <string>
#include <unordered_map>

namespace tramazel::xml {

namespace {

bool isSpace(unsigned char c) noexcept
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool isNameStart(unsigned char c) noexcept
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' || c >= 0x80;
}

bool isNameByte(unsigned char c) noexcept
{
    return isNameStart(c) || (c >= '0' && c <= '9') || c == '.' || c == '-';
}

// The Char production of XML 1.0.
bool isXmlChar(char32_t cp) noexcept
{
    return cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp <= 0xD7FF)
        || (cp >= 0xE000 && cp <= 0xFFFD) || (cp >= 0x10000 && cp <= 0x10FFFF);
}

void appendUtf8(std::string& out, char32_t cp)
{
    if (cp < 0x80) {
        out.push_back(static_cast<char>(cp));
    } else if (cp < 0x800) {
        out.push_back(static_cast<char>(0xC0 | (cp >> 6)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else if (cp < 0x10000) {
        out.push_back(static_cast<char>(0xE0 | (cp >> 12)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    } else {
        out.push_back(static_cast<char>(0xF0 | (cp >> 18)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 12) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | ((cp >> 6) & 0x3F)));
        out.push_back(static_cast<char>(0x80 | (cp & 0x3F)));
    }
}

std::string quoted(std::string_view text)
{
    return "«" + std::string(text) + "»";
}

// Bytes that end a run of plain text in element content, and in an attribute value:
// markup, references, the controls XML excludes, and 0xEF, which leads U+FFFE and
// U+FFFF.
using StopTable = std::array<bool, 256>;
constexpr StopTable makeStops(std::string_view stops)
{
    StopTable table {};
    for (int c = 0; c < 0x20; ++c)
        table[static_cast<std::size_t>(c)] = c != '\t' && c != '\n' && c != '\r';
    table[0xEF] = true;
    for (char c : stops)
        table[static_cast<unsigned char>(c)] = true;
    return table;
}
constexpr StopTable kContentStops = makeStops("<&]");
constexpr StopTable kValueStops = makeStops("<&\"'");
constexpr StopTable kOtherStops = makeStops("");
constexpr StopTable kTagStops = makeStops("\"'>/<");

enum class Context { Content, Attribute };

constexpr std::string_view kReasonBareAmpersand
    = "hay un «&» que no inicia ninguna referencia (escríbase «&amp;»)";
constexpr std::string_view kReasonBadCharRef = "hay una referencia de carácter incorrecta";
constexpr std::string_view kReasonForbiddenCharRef
    = "una referencia de carácter designa un carácter que XML no admite";
constexpr std::string_view kReasonForbiddenChar = "contiene un carácter que XML no admite";
constexpr std::string_view kReasonLessThanInValue = "hay un «<» dentro del valor de un atributo";
constexpr std::string_view kReasonBadDoctype = "hay una declaración de tipo de documento incorrecta";
constexpr std::string_view kReasonParameterEntity = "usa entidades de parámetro, que no se admiten";

struct Entity {
    std::string replacement; // char references already expanded, as XML says
    bool external = false;
    bool expanding = false;
};

class Scanner {
public:
    Scanner(std::string_view text, const EntityLimits& limits)
        : m_s(text)
        , m_limits(limits)
    {
    }

    void run();
    std::optional<ScanFault> m_fault;
    std::optional<std::string> m_expanded;
    std::vector<std::pair<std::size_t, std::size_t>> m_scannedRanges;
    std::vector<std::pair<std::size_t, std::size_t>> m_expandedRanges;

private:
    bool fail(std::size_t offset, std::string reason)
    {
        m_fault = ScanFault { offset, std::move(reason) };
        return false;
    }
    unsigned char at(std::size_t i) const noexcept
    {
        return i < m_s.size() ? static_cast<unsigned char>(m_s[i]) : 0;
    }
    bool startsWith(std::size_t i, std::string_view what) const noexcept
    {
        return m_s.substr(std::min(i, m_s.size()), what.size()) == what;
    }
    std::size_t nameEnd(std::size_t i) const noexcept
    {
        if (!isNameStart(at(i)) || i >= m_s.size())
            return i;
        while (i < m_s.size() && isNameByte(at(i)))
            ++i;
        return i;
    }
    // True when byte i is a character XML excludes (given it is a stop byte).
    bool forbiddenAt(std::size_t i) const noexcept
    {
        const unsigned char c = at(i);
        if (c == 0xEF)
            return at(i + 1) == 0xBF && (at(i + 2) == 0xBE || at(i + 2) == 0xBF);
        return c < 0x20 && !isSpace(c);
    }
    // Checks [from, to) for excluded characters.
    bool checkChars(std::size_t from, std::size_t to)
    {
        for (std::size_t i = from; i < to; ++i) {
            if (kOtherStops[static_cast<unsigned char>(m_s[i])] && forbiddenAt(i))
                return fail(i, std::string(kReasonForbiddenChar));
        }
        return true;
    }

    // Each step returns false on a fault, or sets m_stop at a construct left
    // unterminated or malformed in a way the parser reports.
    bool content();
    bool markup();
    bool startTag();
    bool comment(std::size_t& p);
    bool processingInstruction(std::size_t& p);
    bool doctype();
    bool entityDeclaration(std::size_t& p);
    bool reference(Context context);
    bool charReference(std::string_view s, std::size_t& p, char32_t& cp) const noexcept;
    bool expand(Entity& entity, std::string_view name, Context context, std::size_t depth, std::size_t at,
        std::string& out);
    void replace(std::size_t from, std::size_t to, std::string_view value, Context context);

    std::string_view m_s;
    EntityLimits m_limits;
    std::size_t m_pos = 0;
    bool m_stop = false;
    std::size_t m_depth = 0;
    bool m_seenRoot = false;
    bool m_seenDoctype = false;
    std::unordered_map<std::string, Entity> m_entities;
    std::size_t m_expandedBytes = 0;
    std::size_t m_copiedUpTo = 0;
};

void Scanner::run()
{
    while (m_pos < m_s.size() && !m_stop) {
        if (!content())
            return;
    }
    if (m_expanded)
        m_expanded->append(m_s.substr(m_copiedUpTo));
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
        } else {
            ++p;
        }
    }
    m_stop = true;
    return true;
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

bool Scanner::doctype()
{
    if (m_seenRoot)
        return fail(m_pos, "la declaración de tipo de documento va después del elemento raíz");
    if (m_seenDoctype)
        return fail(m_pos, "hay más de una declaración de tipo de documento");
    m_seenDoctype = true;
    const std::size_t n = m_s.size();
    std::size_t p = m_pos + 9;
    // Name and external identifier, which is never read.
    while (p < n && m_s[p] != '[' && m_s[p] != '>') {
        if (m_s[p] == '"' || m_s[p] == '\'') {
            const auto close = m_s.find(m_s[p], p + 1);
            if (close == std::string_view::npos)
                break;
            if (!checkChars(p, close))
                return false;
            p = close;
        } else if (forbiddenAt(p)) {
            return fail(p, std::string(kReasonForbiddenChar));
        }
        ++p;
    }
    if (p >= n) {
        m_stop = true;
        return true;
    }
    if (m_s[p] == '[') {
        ++p;
        while (true) {
            while (p < n && isSpace(at(p)))
                ++p;
            if (p >= n) {
                m_stop = true;
                return true;
            }
            if (m_s[p] == ']') {
                ++p;
                while (p < n && isSpace(at(p)))
                    ++p;
                if (at(p) != '>')
                    return fail(p, std::string(kReasonBadDoctype));
                break;
            }
            if (m_s[p] == '%')
                return fail(p, std::string(kReasonParameterEntity));
            bool ok = true;
            if (startsWith(p, "<!--"))
                ok = comment(p);
            else if (startsWith(p, "<?"))
                ok = processingInstruction(p);
            else if (startsWith(p, "<!ENTITY"))
                ok = entityDeclaration(p);
            else if (startsWith(p, "<!")) {
                // Element, attribute-list and notation declarations: skipped whole.
                ++p;
                while (p < n && m_s[p] != '>') {
                    if (m_s[p] == '"' || m_s[p] == '\'') {
                        const auto close = m_s.find(m_s[p], p + 1);
                        if (close == std::string_view::npos)
                            break;
                        p = close;
                    } else if (m_s[p] == '%') {
                        return fail(p, std::string(kReasonParameterEntity));
                    }
                    ++p;
                }
                if (p >= n) {
                    m_stop = true;
                    return true;
                }
                ++p;
            } else {
                return fail(p, std::string(kReasonBadDoctype));
            }
            if (!ok)
                return false;
            if (m_stop)
                return true;
        }
    }
    m_pos = p + 1;
    return true;
}

bool Scanner::entityDeclaration(std::size_t& p)
{
    const std::size_t start = p;
    const std::size_t n = m_s.size();
    p += 8; // "<!ENTITY"
    const auto skipSpaces = [&] {
        const std::size_t from = p;
        while (p < n && isSpace(at(p)))
            ++p;
        return p > from;
    };
    if (!skipSpaces())
        return fail(start, std::string(kReasonBadDoctype));
    bool parameter = false;
    if (at(p) == '%') {
        parameter = true;
        ++p;
        skipSpaces();
    }
    const std::size_t nameStart = p;
    p = nameEnd(p);
    if (p == nameStart)
        return fail(start, std::string(kReasonBadDoctype));
    const std::string name(m_s.substr(nameStart, p - nameStart));
    skipSpaces();
    Entity entity;
    if (at(p) == '"' || at(p) == '\'') {
        const auto close = m_s.find(m_s[p], p + 1);
        if (close == std::string_view::npos) {
            m_stop = true;
            return true;
        }
        // The literal: character references are replaced now, entity references
        // are kept to be expanded where the entity is used.
        for (std::size_t i = p + 1; i < close;) {
            const unsigned char c = at(i);
            if (c == '%')
                return fail(i, std::string(kReasonParameterEntity));
            if (kOtherStops[c] && forbiddenAt(i))
                return fail(i, std::string(kReasonForbiddenChar));
            if (c != '&') {
                entity.replacement.push_back(static_cast<char>(c));
                ++i;
                continue;
            }
            if (at(i + 1) == '#') {
                std::size_t q = i;
                char32_t cp = 0;
                if (!charReference(m_s, q, cp))
                    return fail(i, std::string(kReasonBadCharRef));
                if (!isXmlChar(cp))
                    return fail(i, std::string(kReasonForbiddenCharRef));
                appendUtf8(entity.replacement, cp);
                i = q;
                continue;
            }
            const std::size_t refEnd = nameEnd(i + 1);
            if (refEnd == i + 1)
                return fail(i, std::string(kReasonBareAmpersand));
            if (at(refEnd) != ';')
                return fail(refEnd, "falta el «;» de la referencia " + quoted(m_s.substr(i, refEnd - i)));
            entity.replacement.append(m_s.substr(i, refEnd + 1 - i));
            i = refEnd + 1;
        }
        p = close + 1;
    } else if (startsWith(p, "SYSTEM") || startsWith(p, "PUBLIC")) {
        entity.external = true;
    } else {
        return fail(p, std::string(kReasonBadDoctype));
    }
    // The rest (an external identifier, NDATA) up to the closing '>'.
    while (p < n && m_s[p] != '>') {
        if (m_s[p] == '"' || m_s[p] == '\'') {
            const auto close = m_s.find(m_s[p], p + 1);
            if (close == std::string_view::npos)
                break;
            p = close;
        }
        ++p;
    }
    if (p >= n) {
        m_stop = true;
        return true;
    }
    ++p;
    // The first declaration of a name binds; the five predefined ones stay as they are.
    static constexpr std::array<std::string_view, 5> kPredefined = { "lt", "gt", "amp", "apos", "quot" };
    if (!parameter && std::find(kPredefined.begin(), kPredefined.end(), name) == kPredefined.end())
        m_entities.try_emplace(name, std::move(entity));
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
                appendUtf8(out, cp);
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
    m_scannedRanges.emplace_back(from, to);
    m_expandedRanges.emplace_back(expandedStart, out.size());
    m_copiedUpTo = to;
}

} // namespace

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
    Scanner scanner(utf8, limits);
    scanner.run();
    ScanResult result;
    result.m_fault = std::move(scanner.m_fault);
    if (result.m_fault)
        return result;
    result.m_expanded = std::move(scanner.m_expanded);
    for (std::size_t i = 0; i < scanner.m_scannedRanges.size(); ++i)
        result.m_replacements.push_back({ scanner.m_scannedRanges[i].first, scanner.m_scannedRanges[i].second,
            scanner.m_expandedRanges[i].first, scanner.m_expandedRanges[i].second });
    return result;
}

} // namespace tramazel::xml
