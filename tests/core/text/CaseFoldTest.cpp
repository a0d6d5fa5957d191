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

TEST(FirstMatchIndex, KeysOfEveryLengthAreTold)
{
    // Keys up to fifteen bytes are compared in their head alone, longer ones in full:
    // keys that share a head, or differ only past it, in a NUL byte or in length,
    // must each keep their own row.
    const std::string prefix15 = "ABCDEFGHIJKLMNO";
    const std::vector<std::string> keys = {
        "",
        std::string(1, '\0'),
        std::string(2, '\0'),
        "A",
        std::string("A\0", 2),
        prefix15.substr(0, 14),
        prefix15,
        prefix15 + "P",
        prefix15 + "Q",
        prefix15 + "PQ",
        prefix15 + std::string(1, '\0'),
        std::string(300, 'x'),
        std::string(301, 'x'),
        "\xE0\xFF\x80",
    };
    FirstMatchIndex<std::size_t> index;
    for (std::size_t i = 0; i < keys.size(); ++i)
        EXPECT_TRUE(index.add(keys[i], i)) << i;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        EXPECT_FALSE(index.add(keys[i], 1000 + i)) << "a repeated key keeps its first row: " << i;
        const std::size_t* found = index.find(keys[i]);
        ASSERT_TRUE(found) << i;
        EXPECT_EQ(i, *found);
    }
    for (const std::string& absent : { std::string("a"), prefix15 + "R", prefix15.substr(0, 13),
             std::string(299, 'x'), std::string(3, '\0'), prefix15 + "PQR" })
        EXPECT_EQ(nullptr, index.find(absent)) << absent;
    EXPECT_EQ(keys.size(), index.size());
}

TEST(FirstMatchIndex, EveryByteOfAKeyCounts)
{
    // A key's head is read in pieces that depend on its length: for every length, keys
    // that differ from another in one byte only, at any place, keep their own rows.
    FirstMatchIndex<std::string> index;
    std::vector<std::string> keys;
    for (std::size_t length = 0; length <= 20; ++length) {
        const std::string base(length, 'k');
        keys.push_back(base);
        for (std::size_t at = 0; at < length; ++at) {
            for (const char other : { 'K', '\0' }) {
                std::string key = base;
                key[at] = other;
                keys.push_back(key);
            }
        }
    }
    for (const std::string& key : keys)
        ASSERT_TRUE(index.add(key, key)) << "seen before: " << key.size() << " bytes";
    for (const std::string& key : keys) {
        const std::string* found = index.find(key);
        ASSERT_TRUE(found);
        EXPECT_EQ(*found, key);
    }
}

TEST(FirstMatchIndex, LookingUpManyKeysAtOnceFindsWhatFindFinds)
{
    // Keys short and long, present and absent, repeated, in batches longer and
    // shorter than the lookups made together.
    FirstMatchIndex<int> index;
    std::vector<const int*> found(3);
    KeyBatch batch;
    batch.add("A");
    batch.add("");
    batch.add(std::string(40, 'L'));
    index.findAll(batch.keys(), found);
    EXPECT_EQ(std::vector<const int*>(3, nullptr), found) << "an empty index finds nothing";

    for (int i = 0; i < 3000; ++i)
        index.add((i % 3 == 0 ? std::string(20, 'L') : std::string()) + "K" + std::to_string(i), i);
    batch.clear();
    std::size_t present = 0;
    for (int i = 0; i < 1000; ++i) {
        const int k = (i * 7919) % 4000; // beyond 3000: absent
        present += k < 3000 ? 1u : 0u;
        batch.add((k % 3 == 0 ? std::string(20, 'L') : std::string()) + "K" + std::to_string(k));
        if (i % 10 == 0)
            batch.add("absent " + std::to_string(i));
    }
    const std::span<const std::string_view> keys = batch.keys();
    ASSERT_EQ(1100u, keys.size());
    found.assign(keys.size(), nullptr);
    index.findAll(keys, found);
    std::size_t hits = 0;
    for (std::size_t i = 0; i < keys.size(); ++i) {
        EXPECT_EQ(index.find(keys[i]), found[i]) << keys[i];
        hits += found[i] ? 1u : 0u;
    }
    EXPECT_EQ(present, hits);
    EXPECT_GT(present, 0u);
    EXPECT_LT(present, 1000u);
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
