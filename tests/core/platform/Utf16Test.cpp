// SPDX-License-Identifier: GPL-3.0-or-later
#include "platform/Utf16.h"

#include <gtest/gtest.h>

using tramazel::platform::utf16ToUtf8;
using tramazel::platform::utf8ToUtf16;

TEST(Utf16, WellFormedTextRoundTrips)
{
    struct Case {
        const char* utf8;
        std::u16string utf16;
    };
    const Case cases[] = {
        { "", u"" }, { "QTEMP", u"QTEMP" }, { "Año Àñ çÜ", u"Año Àñ çÜ" },
        { "«€»", u"«€»" }, // three-byte sequences
        { "\xF0\x9F\x93\x81 carpeta", u"\U0001F4C1 carpeta" }, // a surrogate pair
        { "\xF4\x8F\xBF\xBF", u"\U0010FFFF" }, // the last code point
    };
    for (const Case& c : cases) {
        EXPECT_EQ(utf8ToUtf16(c.utf8), c.utf16) << c.utf8;
        EXPECT_EQ(utf16ToUtf8(c.utf16), c.utf8) << c.utf8;
    }
}

TEST(Utf16, MalformedUtf8BecomesReplacementCharactersWithoutLosingTheRest)
{
    struct Case {
        const char* utf8;
        std::u16string utf16;
    };
    const Case cases[] = {
        { "a\xF1"
          "b",
            u"a\uFFFDb" }, // a CP-1252 "ñ" byte
        { "\xC3", u"\uFFFD" }, // cut at the end
        { "\xE2\x82z", u"\uFFFD\uFFFDz" }, // cut before an ASCII letter
        { "\xC0\xAF", u"\uFFFD\uFFFD" }, // overlong "/"
        { "\xED\xA0\x80", u"\uFFFD\uFFFD\uFFFD" }, // a surrogate spelt in UTF-8
        { "\xF4\x90\x80\x80", u"\uFFFD\uFFFD\uFFFD\uFFFD" }, // beyond U+10FFFF
        { "\x80x", u"\uFFFDx" }, // a stray continuation byte
    };
    for (const Case& c : cases)
        EXPECT_EQ(utf8ToUtf16(c.utf8), c.utf16) << c.utf8;
}

TEST(Utf16, UnpairedSurrogatesBecomeReplacementCharacters)
{
    struct Case {
        const char* name;
        std::u16string utf16;
        const char* utf8;
    };
    const Case cases[] = {
        { "high surrogate between letters", { u'a', char16_t(0xD800), u'b' },
            "a\xEF\xBF\xBD"
            "b" },
        { "lone low surrogate", { char16_t(0xDC00) }, "\xEF\xBF\xBD" },
        { "high surrogate at the end", { char16_t(0xD83D) }, "\xEF\xBF\xBD" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(utf16ToUtf8(c.utf16), c.utf8) << c.name;
}
