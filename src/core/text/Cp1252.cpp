// SPDX-License-Identifier: GPL-3.0-or-later
#include "Cp1252.h"
#include "Utf8.h"

#include <array>
#include <cstring>

namespace tramazel::text {

namespace {

// Code points of bytes 0x80..0x9F. The five bytes Windows leaves undefined keep their
// own value (the C1 control of the same number), which is what the system conversion
// functions produce, so they survive a round trip.
constexpr std::array<char16_t, 32> kHighControls = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, // 0x80
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, // 0x88
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, // 0x90
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, // 0x98
};

} // namespace

char32_t cp1252ToCodePoint(unsigned char byte) noexcept
{
    if (byte >= 0x80 && byte < 0xA0)
        return kHighControls[byte - 0x80];
    return byte;
}

int codePointToCp1252(char32_t cp) noexcept
{
    if (cp < 0x80 || (cp >= 0xA0 && cp <= 0xFF))
        return static_cast<int>(cp);
    for (std::size_t i = 0; i < kHighControls.size(); ++i) {
        if (kHighControls[i] == cp)
            return static_cast<int>(0x80 + i);
    }
    return -1;
}

std::string cp1252ToUtf8(std::string_view cp1252)
{
    std::string out;
    out.reserve(cp1252.size());
    for (char c : cp1252) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x80)
            out.push_back(c);
        else
            appendUtf8(out, cp1252ToCodePoint(byte));
    }
    return out;
}

std::string utf8ToCp1252(std::string_view utf8, std::size_t* replaced)
{
    std::string out;
    utf8ToCp1252(utf8, out, replaced);
    return out;
}

void utf8ToCp1252(std::string_view utf8, std::string& out, std::size_t* replaced)
{
    // A character never takes more bytes in cp1252 than in UTF-8, so the text is
    // written in place and cut to its length at the end. Most texts are plain ASCII,
    // which stays as it is: the leading run is copied in one go.
    const std::size_t n = utf8.size();
    std::size_t i = asciiPrefixLength(utf8);
    out.resize(n);
    std::memcpy(out.data(), utf8.data(), i);
    char* o = out.data() + i;
    std::size_t bad = 0;
    while (i < n) {
        const auto lead = static_cast<unsigned char>(utf8[i]);
        if (lead < 0x80) {
            const std::size_t run = asciiPrefixLength(utf8.substr(i));
            std::memcpy(o, utf8.data() + i, run);
            o += run;
            i += run;
            continue;
        }
        // Decode one sequence strictly (no overlong forms, no surrogates, nothing past
        // U+10FFFF). A malformed sequence is replaced by one "?" covering its lead
        // byte and the continuation bytes that were still acceptable.
        std::size_t length = 0;
        char32_t cp = 0;
        unsigned char lo = 0x80, hi = 0xBF; // valid range of the second byte
        if (lead >= 0xC2 && lead <= 0xDF) {
            length = 2;
            cp = lead & 0x1F;
        } else if (lead >= 0xE0 && lead <= 0xEF) {
            length = 3;
            cp = lead & 0x0F;
            if (lead == 0xE0)
                lo = 0xA0;
            else if (lead == 0xED)
                hi = 0x9F;
        } else if (lead >= 0xF0 && lead <= 0xF4) {
            length = 4;
            cp = lead & 0x07;
            if (lead == 0xF0)
                lo = 0x90;
            else if (lead == 0xF4)
                hi = 0x8F;
        }
        std::size_t used = 1;
        bool ok = length != 0;
        while (ok && used < length) {
            if (i + used >= n) {
                ok = false;
                break;
            }
            const auto next = static_cast<unsigned char>(utf8[i + used]);
            const unsigned char min = used == 1 ? lo : 0x80;
            const unsigned char max = used == 1 ? hi : 0xBF;
            if (next < min || next > max) {
                ok = false;
                break;
            }
            cp = (cp << 6) | (next & 0x3F);
            ++used;
        }
        i += used;
        const int byte = ok ? codePointToCp1252(cp) : -1;
        if (byte < 0) {
            *o++ = '?';
            ++bad;
        } else {
            *o++ = static_cast<char>(byte);
        }
    }
    out.resize(static_cast<std::size_t>(o - out.data()));
    if (replaced)
        *replaced += bad;
}

std::string_view trimControls(std::string_view s) noexcept
{
    std::size_t begin = 0;
    std::size_t end = s.size();
    while (begin < end && static_cast<unsigned char>(s[begin]) <= 0x20)
        ++begin;
    while (end > begin && static_cast<unsigned char>(s[end - 1]) <= 0x20)
        --end;
    return s.substr(begin, end - begin);
}

} // namespace tramazel::text
