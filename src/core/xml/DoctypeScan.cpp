// SPDX-License-Identifier: GPL-3.0-or-later
// The DOCTYPE of a document: its external identifier is never read; of its internal
// subset, the general entities are kept for expansion and the rest is skipped.
#include "WellFormedScanner.h"

#include <algorithm>

namespace tramazel::xml::detail {

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

} // namespace tramazel::xml::detail
