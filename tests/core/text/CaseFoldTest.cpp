// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/CaseFold.h"
#include "text/CodeSet.h"
#include "text/FirstMatchIndex.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using namespace tramazel::text;

TEST(CaseFold, LettersFoldTogetherAndNothingElse)
{
    struct Case {
        const char* name;
        std::string a;
        std::string b;
        bool equal;
    };
    const Case cases[] = {
        { "words", "matem\xE0tiques", "MATEM\xC0TIQUES", true },
        { "a grave", "\xE0", "\xC0", true },
        { "c cedilla", "\xE7", "\xC7", true },
        { "n tilde", "\xF1", "\xD1", true },
        { "o slash", "\xF8", "\xD8", true },
        { "thorn", "\xFE", "\xDE", true },
        { "s caron", "\x9A", "\x8A", true },
        { "oe ligature", "\x9C", "\x8C", true },
        { "z caron", "\x9E", "\x8E", true },
        { "y diaeresis", "\xFF", "\x9F", true },
        { "sharp s has no capital", "\xDF", "SS", false },
        { "sharp s is not Y diaeresis", "\xDF", "\xFF", false },
        { "micro sign has no capital", "\xB5", "M", false },
        { "times is not divide", "\xD7", "\xF7", false },
        { "digits and punctuation", "1", "!", false },
        { "at sign and backtick", "@", "`", false },
        { "brackets and braces", "[", "{", false },
        { "ordinal indicators", "\xAA", "\xBA", false },
        { "accent is not ignored", "A", "\xC0", false },
        { "blanks are not ignored", "MAT ", "MAT", false },
        { "different length", "AB", "ABC", false },
        { "empty", "", "", true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(c.equal, equalsIgnoreCase(c.a, c.b));
        EXPECT_EQ(c.equal, foldCase(c.a) == foldCase(c.b));
    }
}

TEST(CaseFold, FoldsExactlyTheLowerCaseLettersToUpperCase)
{
    int changed = 0;
    for (int b = 0; b < 256; ++b) {
        const auto byte = static_cast<unsigned char>(b);
        const unsigned char folded = foldCp1252(byte);
        EXPECT_EQ(folded, foldCp1252(folded)) << b; // upper case is a fixed point
        if (folded != byte)
            ++changed;
    }
    // 26 ASCII letters, 30 accented letters at 0xE0-0xFE (not ÷), š œ ž ÿ.
    EXPECT_EQ(60, changed);
    EXPECT_EQ(0xC0, foldCp1252(0xE0));
    EXPECT_EQ(0xF7, foldCp1252(0xF7));
}

TEST(CodeSet, LooksCodesUpWithoutRegardToLetterCase)
{
    CodeSet set;
    set.add("MAT");
    set.add("Cat\xE0"); // Catà
    set.add("mat"); // already there after folding
    EXPECT_EQ(2u, set.size());

    struct Case {
        std::string code;
        bool present;
    };
    const Case cases[] = {
        { "mat", true },
        { "Mat", true },
        { "CAT\xC0", true },
        { "CATA", false },
        { "MAT ", false },
        { "MA", false },
        { "", false },
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.present, set.contains(c.code)) << c.code;

    const std::string longCode(100, 'x'); // beyond any short-code buffer
    set.add(longCode);
    EXPECT_TRUE(set.contains(std::string(100, 'X')));
    EXPECT_FALSE(set.contains(std::string(99, 'X')));

    set.clear();
    EXPECT_FALSE(set.contains("MAT"));
    EXPECT_EQ(0u, set.size());
}

TEST(CodeSet, AddTellsNewCodesFromPresentOnesAtEveryLength)
{
    // Lengths around the seven bytes kept in one word, the empty code, and codes that
    // differ only in a NUL byte or in a trailing blank.
    struct Case {
        std::string code;
        bool newIgnoringCase;
        bool newByteForByte;
    };
    const std::vector<Case> cases = {
        { "", true, true }, { std::string(1, '\0'), true, true }, { "a", true, true }, { "A", false, true },
        { "A ", true, true }, { std::string("A\0", 2), true, true }, { "abcdefg", true, true },
        { "ABCDEFG", false, true }, { "abcdefgh", true, true }, { "ABCDEFGH", false, true },
        { "abcdefg", false, false }, { "\xE0\xE7\xF1", true, true }, // àçñ
        { "\xC0\xC7\xD1", false, true }, // ÀÇÑ
    };
    for (const auto letterCase : { CodeSet::LetterCase::Ignored, CodeSet::LetterCase::Significant }) {
        const bool ignoring = letterCase == CodeSet::LetterCase::Ignored;
        SCOPED_TRACE(ignoring ? "ignoring case" : "byte for byte");
        CodeSet set(letterCase);
        std::size_t added = 0;
        for (const Case& c : cases) {
            const bool expected = ignoring ? c.newIgnoringCase : c.newByteForByte;
            EXPECT_EQ(expected, set.add(c.code)) << c.code;
            EXPECT_TRUE(set.contains(c.code)) << c.code;
            added += expected ? 1 : 0;
        }
        EXPECT_EQ(added, set.size());
        EXPECT_EQ(ignoring,
            set.contains("ABCDEFGH") && set.contains("abcdefgh")
                && set.contains("aBc"
                                "DEFG"));
        EXPECT_FALSE(set.contains("abcdef"));
        EXPECT_FALSE(set.contains("abcdefghi"));

        // Enough codes to grow the table many times; every one stays found.
        for (int i = 0; i < 20000; ++i)
            ASSERT_TRUE(set.add("Z" + std::to_string(i))) << i;
        for (int i = 0; i < 20000; ++i)
            ASSERT_EQ(ignoring, set.contains("z" + std::to_string(i))) << i;
        EXPECT_EQ(added + 20000, set.size());
    }
}

TEST(FirstMatchIndex, FirstRowWinsAndCaseMatters)
{
    FirstMatchIndex<int> index;
    index.add("A1", 1);
    index.add("a1", 2);
    index.add("A1", 3);
    index.add("", 4);
    index.add("A1 ", 5);

    struct Case {
        std::string key;
        int expected; // 0: no match
    };
    const Case cases[] = { { "A1", 1 }, { "a1", 2 }, { "", 4 }, { "A1 ", 5 }, { "A", 0 }, { "B1", 0 } };
    for (const Case& c : cases) {
        const int* found = index.find(c.key);
        if (c.expected == 0)
            EXPECT_EQ(nullptr, found) << c.key;
        else
            EXPECT_TRUE(found && *found == c.expected) << c.key;
    }
    EXPECT_EQ(4u, index.size());
}

TEST(FirstMatchIndex, KeepsEveryRowAndItsAddressWhileItGrows)
{
    // Enough rows to rebuild the table several times; a value found early must stay
    // where it was, and a repeated key must keep its first row however full it is.
    FirstMatchIndex<std::string> index;
    index.add("K0", "first");
    const std::string* early = index.find("K0");
    for (int i = 0; i < 5000; ++i)
        index.add("K" + std::to_string(i), "row " + std::to_string(i));
    ASSERT_EQ(early, index.find("K0"));
    EXPECT_EQ("first", *early);
    for (int i = 1; i < 5000; ++i) {
        const std::string* found = index.find("K" + std::to_string(i));
        ASSERT_TRUE(found) << i;
        EXPECT_EQ("row " + std::to_string(i), *found);
    }
    EXPECT_EQ(nullptr, index.find("K5000"));
    EXPECT_EQ(5000u, index.size());
}
