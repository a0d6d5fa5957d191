// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The scanner behind scanWellFormed, shared by the files that implement it: the
// document's content in WellFormedScan.cpp, its DOCTYPE in DoctypeScan.cpp.

#include "MessageQuote.h"
#include "WellFormedScan.h"
#include "text/Utf8.h"

#include <algorithm>
#include <array>
#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>
#include <utility>
#include <vector>

namespace tramazel::xml::detail {

inline bool isSpace(unsigned char c) noexcept
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

inline bool isNameStart(unsigned char c) noexcept
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':' || c >= 0x80;
}

inline bool isNameByte(unsigned char c) noexcept
{
    return isNameStart(c) || (c >= '0' && c <= '9') || c == '.' || c == '-';
}

// The characters beyond ASCII that may start a name (NameStartChar of XML 1.0, fifth
// edition), and those that may follow (NameChar).
inline bool isNameStartBeyondAscii(char32_t cp) noexcept
{
    return (cp >= 0xC0 && cp <= 0xD6) || (cp >= 0xD8 && cp <= 0xF6) || (cp >= 0xF8 && cp <= 0x2FF)
        || (cp >= 0x370 && cp <= 0x37D) || (cp >= 0x37F && cp <= 0x1FFF) || (cp >= 0x200C && cp <= 0x200D)
        || (cp >= 0x2070 && cp <= 0x218F) || (cp >= 0x2C00 && cp <= 0x2FEF) || (cp >= 0x3001 && cp <= 0xD7FF)
        || (cp >= 0xF900 && cp <= 0xFDCF) || (cp >= 0xFDF0 && cp <= 0xFFFD)
        || (cp >= 0x10000 && cp <= 0xEFFFF);
}

inline bool isNameBeyondAscii(char32_t cp) noexcept
{
    return isNameStartBeyondAscii(cp) || cp == 0xB7 || (cp >= 0x300 && cp <= 0x36F)
        || (cp >= 0x203F && cp <= 0x2040);
}

using text::decodeUtf8;

// The Char production of XML 1.0.
inline bool isXmlChar(char32_t cp) noexcept
{
    return cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp <= 0xD7FF)
        || (cp >= 0xE000 && cp <= 0xFFFD) || (cp >= 0x10000 && cp <= 0x10FFFF);
}

// Bytes that end a run of plain text in element content, and in an attribute value:
// markup, references, the controls XML excludes, and 0xEF, which leads U+FFFE and
// U+FFFF.
using StopTable = std::array<bool, 256>;
constexpr StopTable makeStops(std::string_view stops, bool beyondAscii = false)
{
    StopTable table {};
    for (int c = 0; c < 0x20; ++c)
        table[static_cast<std::size_t>(c)] = c != '\t' && c != '\n' && c != '\r';
    table[0xEF] = true;
    for (int c = 0x80; beyondAscii && c < 0x100; ++c)
        table[static_cast<std::size_t>(c)] = true;
    for (char c : stops)
        table[static_cast<unsigned char>(c)] = true;
    return table;
}
inline constexpr StopTable kContentStops = makeStops("<&]");
inline constexpr StopTable kValueStops = makeStops("<&\"'");
inline constexpr StopTable kOtherStops = makeStops("");
// Between a tag's values, a byte beyond ASCII belongs to a name: it is looked at,
// the ASCII of names is not (the parser knows ASCII names).
inline constexpr StopTable kTagStops = makeStops("\"'>/<", true);

enum class Context { Content, Attribute };

inline constexpr std::string_view kReasonBareAmpersand
    = "hay un «&» que no inicia ninguna referencia (escríbase «&amp;»)";
inline constexpr std::string_view kReasonBadCharRef = "hay una referencia de carácter incorrecta";
inline constexpr std::string_view kReasonForbiddenCharRef
    = "una referencia de carácter designa un carácter que XML no admite";
inline constexpr std::string_view kReasonForbiddenChar = "contiene un carácter que XML no admite";
inline constexpr std::string_view kReasonLessThanInValue = "hay un «<» dentro del valor de un atributo";
inline constexpr std::string_view kReasonBadDoctype = "hay una declaración de tipo de documento incorrecta";
inline constexpr std::string_view kReasonParameterEntity = "usa entidades de parámetro, que no se admiten";
inline constexpr std::string_view kReasonInvalidUtf8 = "contiene bytes que no son UTF-8 válido";

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

    /// Scans the whole text; the result holds the first fault or the text to parse.
    ScanResult run();

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
    // Moves p past the white space there; true when there was some.
    bool skipSpaces(std::size_t& p) const noexcept
    {
        const std::size_t from = p;
        while (p < m_s.size() && isSpace(at(p)))
            ++p;
        return p > from;
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
    // Checks the name in [from, to), as nameEnd takes it, against the characters XML
    // allows in names; a name all ASCII needs no look.
    bool checkName(std::size_t from, std::size_t to)
    {
        for (std::size_t i = from; i < to;) {
            if (at(i) < 0x80) {
                ++i;
                continue;
            }
            const std::size_t length = nameCharacter(i, i == from);
            if (length == 0)
                return false;
            i += length;
        }
        return true;
    }
    // The length of the character beyond ASCII at p in a name, first in it when
    // `first`, or 0 (a fault) when XML does not allow it there. Out of line, and p
    // taken by value, so that the scan of tags, where names are almost always ASCII,
    // keeps its position in a register.
    [[gnu::noinline]] std::size_t nameCharacter(std::size_t p, bool first);
    bool failNameCharacter(std::size_t p, char32_t cp, bool first);
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
    bool attributeListDeclaration(std::size_t& p);
    bool skipMarkupDeclaration(std::size_t& p);
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
    std::optional<ScanFault> m_fault;
    std::optional<std::string> m_expanded;
    std::vector<ScanResult::Replacement> m_replacements;
};

} // namespace tramazel::xml::detail
