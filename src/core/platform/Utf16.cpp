// SPDX-License-Identifier: GPL-3.0-or-later
#include "Utf16.h"
#include "text/Utf8.h"

namespace tramazel::platform {

namespace {

constexpr char32_t kReplacement = 0xFFFD;

// Decodes the sequence at `pos` and moves past it; a malformed sequence yields
// U+FFFD and moves past its first byte only, so the next character is not lost.
char32_t decodeUtf8(std::string_view s, std::size_t& pos) noexcept
{
    char32_t cp = 0;
    const std::size_t length = text::decodeUtf8(s, pos, cp);
    if (length == 0) {
        ++pos;
        return kReplacement;
    }
    pos += length;
    return cp;
}

} // namespace

std::u16string utf8ToUtf16(std::string_view utf8)
{
    std::u16string out;
    out.reserve(utf8.size());
    std::size_t pos = 0;
    while (pos < utf8.size()) {
        const char32_t cp = decodeUtf8(utf8, pos);
        if (cp >= 0x10000) {
            out += static_cast<char16_t>(0xD800 + ((cp - 0x10000) >> 10));
            out += static_cast<char16_t>(0xDC00 + ((cp - 0x10000) & 0x3FF));
        } else {
            out += static_cast<char16_t>(cp);
        }
    }
    return out;
}

std::string utf16ToUtf8(std::u16string_view utf16)
{
    std::string out;
    out.reserve(utf16.size());
    for (std::size_t i = 0; i < utf16.size(); ++i) {
        const char32_t unit = utf16[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < utf16.size() && utf16[i + 1] >= 0xDC00
            && utf16[i + 1] <= 0xDFFF) {
            text::appendUtf8(out, 0x10000 + ((unit - 0xD800) << 10) + (utf16[i + 1] - 0xDC00u));
            ++i;
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            text::appendUtf8(out, kReplacement);
        } else {
            text::appendUtf8(out, unit);
        }
    }
    return out;
}

#ifdef _WIN32
std::wstring utf8ToWide(std::string_view utf8)
{
    const std::u16string units = utf8ToUtf16(utf8);
    return std::wstring(units.begin(), units.end());
}

std::string wideToUtf8(std::wstring_view wide)
{
    const std::u16string units(wide.begin(), wide.end());
    return utf16ToUtf8(units);
}
#endif

} // namespace tramazel::platform
