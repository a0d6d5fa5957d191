// SPDX-License-Identifier: GPL-3.0-or-later
#include "centre_import/CodeRules.h"
#include "centre_import/CodeAllocator.h"
#include "text/CaseFold.h"

#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

namespace tramazel::centre_import {
namespace {

// Texts are cp1252: "\xE0" is à.
TEST(CodeRules, DerivesSubjectLongAndBaseCodes)
{
    struct Case {
        const char* name;
        const char* shortName;
        const char* longCode;
        const char* base;
    } cases[] = {
        { "Matem\xE0tiques", "MAT", "MAT", "MA" },
        { "x", "mat", "mat", "ma" },
        { "x", "C.NAT", "C.NAT", "CN" },
        { "x", "E-F", "E-F", "EF" },
        { "x", "E F", "E F", "EF" },
        { "x", "1_A", "1_A", "1A" },
        { "x", "B:X", "B:X", "BX" },
        { "x", "A.-B", "A.-B", "A-" }, // the third character is taken whatever it is
        { "x", "M", "M", "M" },
        { "x", "M.", "M.", "M" },
        { "x", "", "", "" },
        { "x", "..", "..", "." },
        { "x", "ABCDEFGH", "ABCDEFGH", "AB" }, // exactly 8: kept
        { "Matematiques 3", "MATEMATIQUES", "Matemat3", "Ma" }, // from the name
        { "Musica", "MUSICA123", "Musicaa", "Mu" }, // a name under 7: all of it, then its last
        { "M.sica 1ESO B", "MUS-1ESOB", "M.sica B", "Ms" },
        { "Matem\xE0tiques 1ESO B", "MAT-1ESOB", "Matem\xE0tB", "Ma" },
        { "", "MUSICA123", "", "" },
        { "Ab", "ABCDEFGHI", "Abb", "Ab" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.name) + " / " + c.shortName);
        const std::string longCode = rules::subjectLongCode(c.name, c.shortName);
        EXPECT_EQ(longCode, c.longCode);
        EXPECT_EQ(rules::subjectBaseCode(longCode), c.base);
    }
}

TEST(CodeRules, ShortensTeacherAndRoomTexts)
{
    // Beyond forty characters, a description keeps its first 35 and its last five.
    struct DescriptionCase {
        const char* what;
        std::string text;
        std::string kept;
    } descriptions[] = {
        { "empty", "", "" },
        { "forty characters kept whole", std::string(40, 'd'), std::string(40, 'd') },
        { "forty-one", std::string(35, 'a') + "bbbbbb", std::string(35, 'a') + "bbbbb" },
        { "sixty", std::string(30, 'a') + std::string(30, 'z'),
            std::string(30, 'a') + std::string(5, 'z') + std::string(5, 'z') },
    };
    for (const DescriptionCase& c : descriptions)
        EXPECT_EQ(rules::teacherDescription(c.text), c.kept) << c.what;

    struct Case {
        const char* text;
        const char* candidate;
        const char* lastFour;
    } cases[] = {
        { "", "", "" },
        { "AB", "AB", "AB" },
        { "1234", "1234", "1234" },
        { "ABCDEF", "ABCD", "CDEF" },
        { "1234567", "1234", "4567" },
    };
    for (const Case& c : cases) {
        EXPECT_EQ(rules::teacherCandidate(c.text), c.candidate) << c.text;
        EXPECT_EQ(rules::lastFour(c.text), c.lastFour) << c.text;
    }
}

// The rule as written: a plain list scanned from the start, the count restarting
// at 1 for every element. Quadratic, and the reference the allocator must match.
struct NaiveCodes {
    std::vector<std::string> inUse; // folded, so the scan compares plain bytes
    bool contains(const std::string& code) const
    {
        const std::string folded = text::foldCase(code);
        for (const std::string& c : inUse)
            if (c == folded)
                return true;
        return false;
    }
    std::string take(const std::string& code, const std::string& replacementBase)
    {
        std::string result = code;
        if (contains(code)) {
            for (int k = 1;; ++k) {
                result = replacementBase + std::to_string(k);
                if (!contains(result))
                    break;
            }
        }
        inUse.push_back(text::foldCase(result));
        return result;
    }
};

enum class Mode { Subject, Teacher };

// Takes `codes` one after the other: a subject code is replaced on its own base, a
// teacher's on "P".
std::vector<std::string> allocate(const std::vector<std::string>& codes, Mode mode, CodeAllocator& allocator)
{
    std::vector<std::string> out;
    for (const std::string& code : codes)
        out.push_back(allocator.take(code, mode == Mode::Subject ? code : std::string("P")));
    return out;
}

std::vector<std::string> allocate(const std::vector<std::string>& codes, Mode mode)
{
    CodeAllocator allocator;
    return allocate(codes, mode, allocator);
}

constexpr std::size_t kUncut = CodeAllocator::kUncut;

// Uncut, and with a field width, where codes are compared as the field holds them.
TEST(CodeAllocator, ReplacesTakenCodesWithTheFirstFreeNumber)
{
    struct Case {
        const char* what;
        std::size_t width;
        Mode mode;
        std::vector<std::string> codes;
        std::vector<std::string> expected;
    } cases[] = {
        { "suffix on the own base, own case", kUncut, Mode::Subject, { "MA", "MA", "ma" },
            { "MA", "MA1", "ma2" } },
        { "empty base", kUncut, Mode::Subject, { "", "", "" }, { "", "1", "2" } },
        { "a code taken by another base is skipped", kUncut, Mode::Subject, { "M1", "M", "M", "M" },
            { "M1", "M", "M2", "M3" } },
        { "a base ending in a digit", kUncut, Mode::Subject, { "M", "M", "M1", "M" },
            { "M", "M1", "M11", "M2" } },
        { "teacher replacements", kUncut, Mode::Teacher, { "ABCD", "ABCD", "abcd", "P1" },
            { "ABCD", "P1", "P2", "P3" } },
        { "empty candidates", kUncut, Mode::Teacher, { "", "" }, { "", "P1" } },
        { "a candidate taking a P number ahead", kUncut, Mode::Teacher, { "P2", "X", "X", "x" },
            { "P2", "X", "P1", "P3" } },
        { "a lower-case p", kUncut, Mode::Teacher, { "p1", "X", "X" }, { "p1", "X", "P2" } },
        { "trailing blanks dropped", 4, Mode::Teacher, { "A B ", "A B" }, { "A B ", "P1" } },
        { "trailing blanks dropped, other order", 4, Mode::Teacher, { "A B", "a b " }, { "A B", "P1" } },
        { "cut to the width", 4, Mode::Teacher, { "ABCD", "ABCDE" }, { "ABCD", "P1" } },
        { "subject base with a blank", 4, Mode::Subject, { "A ", "A" }, { "A ", "A1" } },
        { "blank-only code reads as empty", 4, Mode::Subject, { "", " " }, { "", " 1" } },
        { "no room for another suffix: the first cut one", 4, Mode::Teacher, { "PPPP", "PPPP" },
            { "PPPP", "P1" } },
        { "a base filling the field: every replacement is cut back to the base", 2, Mode::Subject,
            { "AB", "AB", "ab" }, { "AB", "AB1", "ab2" } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        CodeAllocator allocator(c.width);
        EXPECT_EQ(allocate(c.codes, c.mode, allocator), c.expected);
    }
}

// Cut to a field of four, the numbers past 99 no longer fit (MA100 is stored as MA10):
// the search goes on past them as it does uncut.
TEST(CodeAllocator, ManyCodesOnOneBaseKeepCounting)
{
    for (const std::size_t width : { kUncut, std::size_t { 4 } }) {
        SCOPED_TRACE(width == kUncut ? "uncut" : "cut to four");
        CodeAllocator allocator(width);
        const std::vector<std::string> out
            = allocate(std::vector<std::string>(1001, "MA"), Mode::Subject, allocator);
        EXPECT_EQ(out[0], "MA");
        EXPECT_EQ(out[99], "MA99");
        EXPECT_EQ(out[100], "MA100");
        EXPECT_EQ(out[101], "MA101");
        EXPECT_EQ(out[1000], "MA1000");
        // Uncut, the trailing blank is part of the code; cut, the field drops it.
        EXPECT_EQ(width != kUncut, allocator.inUse("ma10 "));
    }
}

// Random mixes of few bases, letter-case variants and bases that look like
// replacements of others: the allocator's results equal the naive rule's.
TEST(CodeAllocator, MatchesTheNaiveRule)
{
    const std::vector<std::string> subjectPool
        = { "MA", "Ma", "ma", "M", "m", "M1", "M2", "MA1", "", "1", "11", "E", "EF", "ef", "\xC0L", "\xE0l" };
    const std::vector<std::string> teacherPool
        = { "ABCD", "abcd", "P1", "p2", "P10", "P", "", "AB", "ab", "P3", "X", "P11" };
    std::mt19937 rng(12345);
    for (Mode mode : { Mode::Subject, Mode::Teacher }) {
        const auto& pool = mode == Mode::Subject ? subjectPool : teacherPool;
        for (int round = 0; round < 3; ++round) {
            std::vector<std::string> codes;
            std::uniform_int_distribution<std::size_t> pick(0, pool.size() - 1);
            for (int i = 0; i < 900; ++i)
                codes.push_back(pool[pick(rng)]);
            NaiveCodes naive;
            std::vector<std::string> expected;
            for (const std::string& code : codes)
                expected.push_back(naive.take(code, mode == Mode::Subject ? code : std::string("P")));
            ASSERT_EQ(allocate(codes, mode), expected) << "round " << round;
        }
    }
}

} // namespace
} // namespace tramazel::centre_import
