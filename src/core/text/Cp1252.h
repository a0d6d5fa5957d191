// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

/// Windows-1252, the code page of the tables' "ANSI" text. Strings holding cp1252
/// bytes are plain std::string; UTF-8 strings likewise. Names say which is which.
namespace tramazel::text {

/// The length of the leading run of ASCII bytes of `s` (all of it when `s` is plain
/// ASCII, which reads the same in UTF-8 and cp1252).
inline std::size_t asciiPrefixLength(std::string_view s) noexcept
{
    // Eight bytes at a time while none has its top bit set.
    constexpr std::uint64_t kTopBits = 0x8080808080808080u;
    std::size_t i = 0;
    for (std::uint64_t word = 0; i + 8 <= s.size(); i += 8) {
        std::memcpy(&word, s.data() + i, 8);
        if (word & kTopBits)
            break;
    }
    while (i < s.size() && static_cast<unsigned char>(s[i]) < 0x80)
        ++i;
    return i;
}

/// cp1252 bytes to UTF-8. The five bytes cp1252 leaves undefined (0x81, 0x8D, 0x8F,
/// 0x90, 0x9D) map to the C1 controls of the same value, as Windows does.
std::string cp1252ToUtf8(std::string_view cp1252);

/// UTF-8 to cp1252. A character cp1252 lacks, or a malformed UTF-8 sequence, becomes
/// "?"; `replaced` (when given) is increased by the number of such characters.
std::string utf8ToCp1252(std::string_view utf8, std::size_t* replaced = nullptr);
/// The same conversion into `out` (replacing what it held, reusing its storage);
/// `out` must not hold `utf8`.
void utf8ToCp1252(std::string_view utf8, std::string& out, std::size_t* replaced = nullptr);

/// The Unicode code point of one cp1252 byte.
char32_t cp1252ToCodePoint(unsigned char byte) noexcept;

/// The cp1252 byte of a code point, or -1 when cp1252 lacks it.
int codePointToCp1252(char32_t cp) noexcept;

/// Removes leading and trailing characters up to and including the space (U+0020):
/// blanks, tabs, line breaks and other control characters. Works on cp1252 and UTF-8.
std::string_view trimControls(std::string_view s) noexcept;

} // namespace tramazel::text
