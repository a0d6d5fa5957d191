// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/Cp1252.h"

#include <gtest/gtest.h>

#include <array>
#include <string>

using namespace tramazel::text;

namespace {

// The standard Windows-1252 mapping of 0x80..0x9F; every other byte is its own code
// point. The five bytes the code page leaves undefined keep their own value.
constexpr std::array<char32_t, 32> kStandardHigh = {
    0x20AC, 0x0081, 0x201A, 0x0192, 0x201E, 0x2026, 0x2020, 0x2021, //
    0x02C6, 0x2030, 0x0160, 0x2039, 0x0152, 0x008D, 0x017D, 0x008F, //
    0x0090, 0x2018, 0x2019, 0x201C, 0x201D, 0x2022, 0x2013, 0x2014, //
    0x02DC, 0x2122, 0x0161, 0x203A, 0x0153, 0x009D, 0x017E, 0x0178, //
};

char32_t standardCodePoint(int byte)
{
    return byte >= 0x80 && byte < 0xA0 ? kStandardHigh[static_cast<std::size_t>(byte - 0x80)]
                                       : static_cast<char32_t>(byte);
}

// Encoder written independently of the one under test, from the UTF-8 bit layout.
std::string encodeUtf8(char32_t cp)
{
    std::string s;
    if (cp < 0x80) {
        s += static_cast<char>(cp);
    } else if (cp < 0x800) {
        s += static_cast<char>(0xC0 | (cp >> 6));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        s += static_cast<char>(0xE0 | (cp >> 12));
        s += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        s += static_cast<char>(0x80 | (cp & 0x3F));
    }
    return s;
}

} // namespace

TEST(Cp1252, EveryByteMapsToTheStandardCodePointAndBack)
{
    for (int b = 0; b < 256; ++b) {
        SCOPED_TRACE(b);
        const auto byte = static_cast<unsigned char>(b);
        const std::string one(1, static_cast<char>(byte));
        EXPECT_EQ(standardCodePoint(b), cp1252ToCodePoint(byte));
        EXPECT_EQ(b, codePointToCp1252(standardCodePoint(b)));
        EXPECT_EQ(encodeUtf8(standardCodePoint(b)), cp1252ToUtf8(one));
        std::size_t replaced = 0;
        EXPECT_EQ(one, utf8ToCp1252(cp1252ToUtf8(one), &replaced));
        EXPECT_EQ(0u, replaced);
    }
}

TEST(Cp1252, NoOtherCodePointHasAByte)
{
    int mapped = 0;
    for (char32_t cp = 0; cp <= 0x10FFFF; ++cp) {
        if (codePointToCp1252(cp) >= 0)
            ++mapped;
    }
    EXPECT_EQ(256, mapped);
}

TEST(Cp1252, Utf8BecomesCp1252WithQuestionMarksForWhatItLacks)
{
    struct Case {
        const char* name;
        std::string utf8;
        std::string cp1252;
        std::size_t replaced;
    };
    const Case cases[] = {
        { "ascii", "Aula 12", "Aula 12", 0 },
        { "catalan middle dot", "Col\xC2\xB7legi l\xC2\xB7l", "Col\xB7legi l\xB7l", 0 },
        { "accents", "Educaci\xC3\xB3 f\xC3\xADsica \xC3\xA0\xC3\xA8\xC3\xA7\xC3\xB1",
            "Educaci\xF3 f\xEDsica \xE0\xE8\xE7\xF1", 0 },
        { "euro and quotes", "\xE2\x82\xAC \xE2\x80\x99x\xE2\x80\x9D", "\x80 \x92x\x94", 0 },
        { "letter cp1252 lacks",
            "A\xC4\x80"
            "B",
            "A?B", 1 },
        { "astral character", "\xF0\x9F\x98\x80!", "?!", 1 },
        { "truncated sequence at end", "ab\xC3", "ab?", 1 },
        { "truncated sequence inside",
            "a\xE2\x82"
            "b",
            "a?b", 1 },
        { "stray continuation bytes", "\x80\xBF", "??", 2 },
        { "overlong slash", "\xC0\xAF", "??", 2 },
        { "encoded surrogate", "\xED\xA0\x80", "???", 3 },
        { "beyond U+10FFFF", "\xF4\x90\x80\x80", "????", 4 },
        { "invalid lead byte", "x\xFFy", "x?y", 1 },
        { "embedded nul kept", std::string("a\0b", 3), std::string("a\0b", 3), 0 },
    };
    std::string reused;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::size_t replaced = 7; // counts add to what the caller holds
        EXPECT_EQ(c.cp1252, utf8ToCp1252(c.utf8, &replaced));
        EXPECT_EQ(7 + c.replaced, replaced);
        EXPECT_EQ(c.cp1252, utf8ToCp1252(c.utf8)); // the count is optional

        // Written into a string that still holds a longer earlier text: none of it stays.
        reused.assign(64, '#');
        replaced = 7;
        utf8ToCp1252(c.utf8, reused, &replaced);
        EXPECT_EQ(c.cp1252, reused);
        EXPECT_EQ(7 + c.replaced, replaced);
    }
}

TEST(Cp1252, TrimControlsRemovesEverythingUpToSpaceAtBothEnds)
{
    struct Case {
        std::string in;
        std::string out;
    };
    const Case cases[] = {
        { "  a b  ", "a b" },
        { "\t\r\nMAT\r\n", "MAT" },
        { std::string("\0\x01x\x1F", 4), "x" },
        { "", "" },
        { " \t \n ", "" },
        { "a", "a" },
        { "\xA0"
          "a\xA0",
            "\xA0"
            "a\xA0" }, // no-break space is above U+0020: kept
        { "\xC2\xA0x", "\xC2\xA0x" }, // the same in UTF-8
        { "\x7F", "\x7F" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.out, trimControls(c.in)) << "input of " << c.in.size() << " bytes";
}
