// SPDX-License-Identifier: GPL-3.0-or-later
// The DOCTYPE of a document: its external identifier is never read; of its internal
// subset, the general entities are kept for expansion, attribute-list declarations
// are checked for default values (which the reading does not apply) and the other
// declarations are skipped.
#include "WellFormedScanner.h"

#include <algorithm>
#include <array>

namespace tramazel::xml::detail {

namespace {
constexpr std::string_view kReasonUnknownDeclaration
    = ", que no es ninguna de las declaraciones que admite (ELEMENT, ATTLIST, ENTITY, NOTATION)";
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
    while (p < n && isSpace(at(p)))
        ++p;
    if (!checkName(p, nameEnd(p)))
        return false;
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
            else if (startsWith(p, "<!")) {
                // Which declaration: its keyword, up to a blank ("<![" and a keyword
                // opens a conditional section, which only an external subset may hold).
                const std::size_t keywordEnd = nameEnd(at(p + 2) == '[' ? p + 3 : p + 2);
                const std::string_view keyword = m_s.substr(p + 2, keywordEnd - (p + 2));
                if (keyword == "ENTITY")
                    ok = entityDeclaration(p);
                else if (keyword == "ATTLIST")
                    ok = attributeListDeclaration(p);
                else if (keyword == "ELEMENT" || keyword == "NOTATION")
                    ok = skipMarkupDeclaration(p);
                else
                    return fail(p,
                        "la declaración de tipo de documento contiene "
                            + quoted(m_s.substr(p, keywordEnd - p)) + std::string(kReasonUnknownDeclaration));
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
    if (!skipSpaces(p))
        return fail(start, std::string(kReasonBadDoctype));
    bool parameter = false;
    if (at(p) == '%') {
        parameter = true;
        ++p;
        skipSpaces(p);
    }
    const std::size_t nameStart = p;
    p = nameEnd(p);
    if (p == nameStart)
        return fail(start, std::string(kReasonBadDoctype));
    if (!checkName(nameStart, p))
        return false;
    const std::string name(m_s.substr(nameStart, p - nameStart));
    skipSpaces(p);
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
                text::appendUtf8(entity.replacement, cp);
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

// An element or notation declaration at p: skipped whole, as nothing of it changes
// what the document reads.
bool Scanner::skipMarkupDeclaration(std::size_t& p)
{
    const std::size_t n = m_s.size();
    p += 2;
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
    return true;
}

// An attribute-list declaration at p. A default value (a literal, #FIXED or not) would
// give an element an attribute it does not carry in the file, which a validating
// reader reads and this one would not: a document that declares one is refused.
// #REQUIRED and #IMPLIED change nothing the builders read.
bool Scanner::attributeListDeclaration(std::size_t& p)
{
    const std::size_t start = p;
    const std::size_t n = m_s.size();
    p += 9; // "<!ATTLIST"
    // The end of the text inside the declaration is left to the parser to report.
    const auto unterminated = [&] {
        m_stop = true;
        p = n;
        return true;
    };
    // A name at p, checked; its end, or p itself when there is none.
    const auto name = [&](std::size_t& end) {
        end = nameEnd(p);
        return checkName(p, end);
    };
    if (!skipSpaces(p))
        return p >= n ? unterminated() : fail(start, std::string(kReasonBadDoctype));
    std::size_t elementEnd = p;
    if (!name(elementEnd))
        return false;
    if (elementEnd == p)
        return fail(start, std::string(kReasonBadDoctype));
    const std::string_view element = m_s.substr(p, elementEnd - p);
    p = elementEnd;
    while (true) {
        const bool blank = skipSpaces(p);
        if (p >= n)
            return unterminated();
        if (at(p) == '>') {
            ++p;
            return true;
        }
        if (at(p) == '%')
            return fail(p, std::string(kReasonParameterEntity));
        std::size_t attributeEnd = p;
        if (!name(attributeEnd))
            return false;
        if (!blank || attributeEnd == p)
            return fail(p, std::string(kReasonBadDoctype));
        const std::string_view attribute = m_s.substr(p, attributeEnd - p);
        p = attributeEnd;
        if (!skipSpaces(p))
            return p >= n ? unterminated() : fail(p, std::string(kReasonBadDoctype));
        // The type: a keyword, NOTATION and its list, or a list of names.
        const std::size_t typeEnd = nameEnd(p);
        const std::string_view type = m_s.substr(p, typeEnd - p);
        p = typeEnd;
        if (type == "NOTATION") {
            skipSpaces(p);
            if (at(p) != '(')
                return p >= n ? unterminated() : fail(p, std::string(kReasonBadDoctype));
        } else if (!type.empty()) {
            static constexpr std::array<std::string_view, 8> kTypes
                = { "CDATA", "ID", "IDREF", "IDREFS", "ENTITY", "ENTITIES", "NMTOKEN", "NMTOKENS" };
            if (std::find(kTypes.begin(), kTypes.end(), type) == kTypes.end())
                return fail(p - type.size(), std::string(kReasonBadDoctype));
        } else if (at(p) != '(') {
            return p >= n ? unterminated() : fail(p, std::string(kReasonBadDoctype));
        }
        if (at(p) == '(') {
            const auto close = m_s.find(')', p);
            if (close == std::string_view::npos)
                return unterminated();
            for (std::size_t i = p + 1; i < close; ++i) {
                const unsigned char c = at(i);
                if (c == '%')
                    return fail(i, std::string(kReasonParameterEntity));
                if (c != '|' && !isSpace(c) && !isNameByte(c))
                    return fail(i, std::string(kReasonBadDoctype));
            }
            p = close + 1;
        }
        if (!skipSpaces(p))
            return p >= n ? unterminated() : fail(p, std::string(kReasonBadDoctype));
        if (startsWith(p, "#REQUIRED") || startsWith(p, "#IMPLIED")) {
            p += at(p + 1) == 'R' ? 9u : 8u;
            continue;
        }
        if (startsWith(p, "#FIXED") || at(p) == '"' || at(p) == '\'')
            return fail(p,
                "la declaración de tipo de documento da un valor por omisión al atributo " + quoted(attribute)
                    + " del elemento " + quoted(element)
                    + ", y los valores por omisión de atributos no se admiten");
        return p >= n ? unterminated() : fail(p, std::string(kReasonBadDoctype));
    }
}

} // namespace tramazel::xml::detail
