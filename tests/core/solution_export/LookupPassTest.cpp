// SPDX-License-Identifier: GPL-3.0-or-later
// The pieces of the lookups' pass over their tables: the quick test on a record's key
// bytes, and the running of the lookups side by side.
#include "Error.h"
#include "TestSupport.h"
#include "solution_export/KeyHeads.h"
#include "solution_export/ParallelJobs.h"

#include <gtest/gtest.h>

#include <atomic>
#include <string>
#include <string_view>
#include <vector>

namespace tramazel::test {
namespace {

using solution_export::Job;
using solution_export::keyHead;
using solution_export::MissingKeys;
using solution_export::runJobs;
using solution_export::StoredKeyHead;

struct StoredKeyCase {
    const char* name;
    std::size_t recordLength;
    std::size_t offset; ///< of the key field, from the deleted flag
    std::string stored; ///< the key field's bytes, as wide as the field
    std::string_view key; ///< its text without padding
};

// Whatever the field's place and padding, the word read from the record is the key's
// own: the quick test can never turn away a record that holds a key asked for.
TEST(StoredKeyHead, GivesTheHeadOfTheKeyAFieldHolds)
{
    using namespace std::string_literals;
    using namespace std::string_view_literals;
    const std::vector<StoredKeyCase> cases = {
        { "blanks after a short key", 40, 1, "AB  ", "AB" },
        { "NULs after a short key", 40, 1, "AB\0\0"s, "AB" },
        { "blanks and NULs mixed", 40, 1, "AB \0 \0"s, "AB" },
        { "a NUL inside the key", 40, 1, "A\0B "s, "A\0B"sv },
        { "a full field", 40, 1, "ABCD", "ABCD" },
        { "a blank field", 40, 1, "    ", "" },
        { "a field of NULs", 40, 1, "\0\0\0\0"s, "" },
        { "letters with the high bit", 40, 1, "\xC0\x80\xFF ", "\xC0\x80\xFF" },
        { "a key of eight bytes", 40, 5, "ABCDEFGH  ", "ABCDEFGH" },
        { "a key longer than eight bytes", 40, 5, "ABCDEFGHIJ", "ABCDEFGHIJ" },
        { "a wide field with a short key", 40, 5, "AB                  ", "AB" },
        { "a field that ends the record", 20, 16, "XY\0 "s, "XY" },
        { "a wide field that ends the record", 12, 2, "ABCDEFGHI ", "ABCDEFGHI" },
        { "a field of one byte at the end", 9, 8, "Q", "Q" },
        { "a record shorter than eight bytes", 5, 1, "AB  ", "AB" },
        { "a record of one field of one byte", 2, 1, " ", "" },
    };
    for (const StoredKeyCase& c : cases) {
        SCOPED_TRACE(c.name);
        // The record alone in its allocation, so a read past its end shows under the
        // address sanitizer; other fields are letters a key could hold.
        std::vector<char> record(c.recordLength, 'z');
        record[0] = ' ';
        ASSERT_LE(c.offset + c.stored.size(), record.size());
        std::copy(c.stored.begin(), c.stored.end(), record.begin() + static_cast<std::ptrdiff_t>(c.offset));
        const dbf::StoredField field { c.offset, c.stored.size() };
        ASSERT_EQ(field.text(record.data()), c.key);
        EXPECT_EQ(StoredKeyHead(field, c.recordLength)(record.data()), keyHead(c.key));
    }
}

TEST(MissingKeys, TurnsAwayKeysNoLongerMissing)
{
    std::vector<std::string> keys;
    for (int i = 0; i < 20000; ++i)
        keys.push_back("K" + std::to_string(i));
    keys.push_back("");
    std::vector<std::uint64_t> heads;
    for (const std::string& key : keys)
        heads.push_back(keyHead(key));
    MissingKeys missing(heads);
    for (const std::uint64_t head : heads)
        ASSERT_TRUE(missing.mayHold(head));
    // Found in two halves: the second half is still missing after the first is found.
    for (std::size_t i = 0; i < heads.size() / 2; ++i)
        missing.found(heads[i]);
    for (std::size_t i = heads.size() / 2; i < heads.size(); ++i)
        ASSERT_TRUE(missing.mayHold(heads[i])) << keys[i];
    for (std::size_t i = heads.size() / 2; i < heads.size(); ++i)
        missing.found(heads[i]);
    for (std::size_t i = 0; i < heads.size(); ++i)
        ASSERT_FALSE(missing.mayHold(heads[i])) << keys[i];
    EXPECT_FALSE(MissingKeys().mayHold(keyHead("")));
}

// Keys that share their first eight bytes share a count: more of them than a count
// can tell apart must not make the test turn the last one away.
TEST(MissingKeys, ManyKeysWithOneHeadStayMissingUntilTheLast)
{
    constexpr std::size_t kKeys = 600;
    const std::uint64_t head = keyHead("SAMEHEAD-and-more");
    MissingKeys missing(std::vector<std::uint64_t>(kKeys, head));
    for (std::size_t found = 0; found + 1 < kKeys; ++found) {
        missing.found(head);
        ASSERT_TRUE(missing.mayHold(head)) << "after " << found + 1 << " found";
    }
}

// Thresholds that run the jobs on one thread, and on two.
constexpr std::uint64_t kAlone = ~std::uint64_t(0);
constexpr std::uint64_t kSideBySide = 0;

TEST(ParallelJobs, RunsEveryJobOnce)
{
    for (const std::uint64_t from : { kAlone, kSideBySide }) {
        std::vector<std::atomic<int>> runs(50);
        std::vector<Job> jobs;
        for (std::size_t i = 0; i < runs.size(); ++i)
            jobs.push_back({ [&runs, i] { ++runs[i]; }, (i * 7) % 13 });
        runJobs(jobs, from);
        for (std::size_t i = 0; i < runs.size(); ++i)
            EXPECT_EQ(runs[i], 1) << "job " << i << (from == kAlone ? " alone" : " side by side");
        std::vector<Job> none;
        runJobs(none, from);
    }
}

// The error of a run side by side is the one a run in order would give: that of the
// first job in the list that fails, even when a later one, started first as the
// costliest, failed before it. Every job before it has run.
TEST(ParallelJobs, RethrowsTheErrorOfTheFirstFailingJobInOrder)
{
    struct Case {
        const char* name;
        std::vector<bool> fails; ///< per job
        std::vector<std::uint64_t> costs; ///< per job
        std::size_t first; ///< the job whose error comes out
    };
    const std::vector<Case> cases = {
        { "one job fails", { false, true, false }, { 1, 2, 3 }, 1 },
        { "the costliest fails too", { false, true, false, true }, { 1, 2, 3, 100 }, 1 },
        { "every job fails", { true, true, true }, { 1, 50, 100 }, 0 },
        { "only the last fails", { false, false, false, true }, { 9, 1, 5, 1 }, 3 },
    };
    for (const std::uint64_t from : { kAlone, kSideBySide }) {
        for (const Case& c : cases) {
            SCOPED_TRACE(std::string(c.name) + (from == kAlone ? ", alone" : ", side by side"));
            std::vector<std::atomic<int>> runs(c.fails.size());
            std::vector<Job> jobs;
            for (std::size_t i = 0; i < c.fails.size(); ++i) {
                jobs.push_back({ [&runs, i, fail = c.fails[i]] {
                                    ++runs[i];
                                    if (fail)
                                        throw Error(ErrorCode::InvalidArgument, "job " + std::to_string(i));
                                },
                    c.costs[i] });
            }
            const auto error = expectError(ErrorCode::InvalidArgument, [&] { runJobs(jobs, from); });
            ASSERT_TRUE(error);
            EXPECT_EQ(error->message(), "job " + std::to_string(c.first));
            for (std::size_t i = 0; i <= c.first; ++i)
                EXPECT_EQ(runs[i], 1) << "job " << i;
        }
    }
}

} // namespace
} // namespace tramazel::test
