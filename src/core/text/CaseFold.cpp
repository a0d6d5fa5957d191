// SPDX-License-Identifier: GPL-3.0-or-later
#include "CaseFold.h"

#include <array>

namespace tramazel::text {

namespace {

// The upper case of the Windows Western locale, restricted to what cp1252 can hold:
// ß and µ have no upper case inside the code page and stay as they are; ÷ is no letter.
constexpr std::array<unsigned char, 256> makeFoldTable()
{
    std::array<unsigned char, 256> table {};
    for (int b = 0; b < 256; ++b)
        table[static_cast<std::size_t>(b)] = static_cast<unsigned char>(b);
    for (int b = 'a'; b <= 'z'; ++b)
        table[static_cast<std::size_t>(b)] = static_cast<unsigned char>(b - 0x20);
    for (int b = 0xE0; b <= 0xFE; ++b) {
        if (b != 0xF7)
            table[static_cast<std::size_t>(b)] = static_cast<unsigned char>(b - 0x20);
    }
    table[0x9A] = 0x8A; // š -> Š
    table[0x9C] = 0x8C; // œ -> Œ
    table[0x9E] = 0x8E; // ž -> Ž
    table[0xFF] = 0x9F; // ÿ -> Ÿ
    return table;
}

constexpr std::array<unsigned char, 256> kFold = makeFoldTable();

} // namespace

unsigned char foldCp1252(unsigned char byte) noexcept
{
    return kFold[byte];
}

std::string foldCase(std::string_view s)
{
    std::string out(s.size(), '\0');
    for (std::size_t i = 0; i < s.size(); ++i)
        out[i] = static_cast<char>(kFold[static_cast<unsigned char>(s[i])]);
    return out;
}

bool equalsIgnoreCase(std::string_view a, std::string_view b) noexcept
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        if (kFold[static_cast<unsigned char>(a[i])] != kFold[static_cast<unsigned char>(b[i])])
            return false;
    }
    return true;
}

} // namespace tramazel::text
