// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// The scanner behind scanWellFormed, shared by the files that implement it: the
// document's content in WellFormedScan.cpp, its DOCTYPE in DoctypeScan.cpp.

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

// The Char production of XML 1.0.
inline bool isXmlChar(char32_t cp) noexcept
{
    return cp == 0x9 || cp == 0xA || cp == 0xD || (cp >= 0x20 && cp <= 0xD7FF)
        || (cp >= 0xE000 && cp <= 0xFFFD) || (cp >= 0x10000 && cp <= 0x10FFFF);
}

inline std::string quoted(std::string_view text)
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
inline constexpr StopTable kContentStops = makeStops("<&]");
inline constexpr StopTable kValueStops = makeStops("<&\"'");
inline constexpr StopTable kOtherStops = makeStops("");
inline constexpr StopTable kTagStops = makeStops("\"'>/<");

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
    std::optional<ScanFault> m_fault;
    std::optional<std::string> m_expanded;
    std::vector<ScanResult::Replacement> m_replacements;
};

} // namespace tramazel::xml::detail
