// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <string>
#include <string_view>

/// ASCII-only letter case, for names that are ASCII by definition (file extensions,
/// dBASE field names, the host's mode words, INI sections and keys), and the blanks
/// around hand-written entries. Bytes outside A–Z / a–z are never changed: use
/// CaseFold.h for the users' cp1252 texts.
namespace tramazel::text {

constexpr char asciiUpper(char c) noexcept
{
    return c >= 'a' && c <= 'z' ? static_cast<char>(c - 'a' + 'A') : c;
}

constexpr char asciiLower(char c) noexcept
{
    return c >= 'A' && c <= 'Z' ? static_cast<char>(c - 'A' + 'a') : c;
}

inline std::string toAsciiUpper(std::string_view s)
{
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), asciiUpper);
    return out;
}

inline std::string toAsciiLower(std::string_view s)
{
    std::string out(s);
    std::transform(out.begin(), out.end(), out.begin(), asciiLower);
    return out;
}

constexpr bool equalsIgnoringAsciiCase(std::string_view a, std::string_view b) noexcept
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (asciiUpper(a[i]) != asciiUpper(b[i]))
            return false;
    }
    return true;
}

/// `s` without the blanks (spaces and tabs) at either end, as INI and list files
/// written by hand are read.
constexpr std::string_view trimBlanks(std::string_view s) noexcept
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

} // namespace tramazel::text
