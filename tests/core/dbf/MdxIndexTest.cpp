// SPDX-License-Identifier: GPL-3.0-or-later
#include "DbfTestSupport.h"

#include "dbf/DbfTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

using namespace tramazel;
using namespace tramazel::dbf;
using namespace tramazel::test;

namespace {

struct Walk {
    std::vector<std::pair<std::string, std::uint32_t>> entries; // key, record number
    int depth = 0;
    std::size_t nodes = 0;
};

// A deliberately plain reading of the index: follow the only tag from its root,
// interior items point at children, the word after the last item tells an
// interior node (a page) from a leaf (zero).
void walkNode(const std::string& mdx, std::uint32_t page, std::size_t keyLength, std::size_t item, int depth,
    Walk& walk)
{
    ASSERT_LT(page * 512u + 1024u, mdx.size() + 1) << "node beyond the file";
    const std::size_t at = page * 512u;
    const std::uint32_t n = u32(mdx, at);
    ASSERT_LE(n, (1024u - 12) / item);
    ++walk.nodes;
    const std::uint32_t trailer = u32(mdx, at + 8 + n * item);
    if (trailer == 0) {
        if (walk.depth == 0)
            walk.depth = depth;
        EXPECT_EQ(walk.depth, depth) << "every leaf at the same depth";
        for (std::uint32_t i = 0; i < n; ++i)
            walk.entries.emplace_back(
                mdx.substr(at + 8 + i * item + 4, keyLength), u32(mdx, at + 8 + i * item));
        return;
    }
    for (std::uint32_t i = 0; i <= n; ++i) {
        const std::size_t before = walk.entries.size();
        std::uint32_t child = i < n ? u32(mdx, at + 8 + i * item) : trailer;
        walkNode(mdx, child, keyLength, item, depth + 1, walk);
        if (i < n) {
            // The separator is the highest key of the child's subtree.
            ASSERT_GT(walk.entries.size(), before);
            EXPECT_EQ(mdx.substr(at + 8 + i * item + 4, keyLength), walk.entries.back().first);
        }
    }
}

Walk walkIndex(const std::filesystem::path& file)
{
    const std::string mdx = readFile(file);
    Walk walk;
    EXPECT_EQ(mdx.size(), u32(mdx, 32) * 512u) << "page count";
    EXPECT_EQ(u16(mdx, 28), 1u) << "one tag";
    const std::uint32_t tagPage = u32(mdx, 544);
    const std::size_t th = tagPage * 512u;
    const std::size_t keyLength = u16(mdx, th + 12);
    const std::size_t item = u16(mdx, th + 18);
    EXPECT_EQ(item, (4 + keyLength + 3) / 4 * 4);
    walkNode(mdx, u32(mdx, th), keyLength, item, 1, walk);
    EXPECT_EQ(u8(mdx, th + 246), walk.entries.empty() ? 0u : 1u) << "has-keys byte";
    return walk;
}

// The key order an index built from scratch holds: bytes, then record number.
std::vector<std::pair<std::string, std::uint32_t>> expectedOrder(std::vector<std::string> keys)
{
    std::vector<std::pair<std::string, std::uint32_t>> all;
    for (std::size_t i = 0; i < keys.size(); ++i)
        all.emplace_back(keys[i], static_cast<std::uint32_t>(i + 1));
    std::sort(all.begin(), all.end());
    return all;
}

std::string keyOf(std::uint32_t& seed, int distinct, std::size_t width)
{
    seed = seed * 1103515245u + 12345u;
    char buffer[16];
    std::snprintf(buffer, sizeof buffer, "%c%03u", 'A' + static_cast<int>((seed >> 8) % 3),
        (seed >> 16) % static_cast<unsigned>(distinct));
    std::string key(buffer);
    key.resize(width, ' ');
    return key;
}

} // namespace

TEST(MdxIndex, TreeListsEveryRecordInKeyOrderAtAnySize)
{
    struct Case {
        const char* name;
        std::size_t width;
        int records;
        int depth;
    };
    // C(4): 126 keys per leaf; C(60): 15 per node, so a few thousand records need
    // four levels.
    const Case cases[] = {
        { "empty", 4, 0, 1 },
        { "one leaf, full", 4, 126, 1 },
        { "two leaves", 4, 127, 2 },
        { "many leaves", 4, 5000, 2 },
        { "four levels", 60, 4000, 4 },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        std::vector<std::string> keys;
        {
            auto t = DbfTable::create(dir.path(), "MATIB",
                { { "NOMBRE", FieldKind::Character, 10 },
                    { "ABREV", FieldKind::Character, static_cast<int>(c.width) } },
                { { "ABREV", "ABREV" } });
            std::uint32_t seed = 7;
            for (int i = 0; i < c.records; ++i) {
                keys.push_back(keyOf(seed, 400, c.width)); // many duplicates, unsorted
                t.append();
                t.setText("ABREV", keys.back());
                t.post();
            }
        }
        const auto dbf = readFile(dir / "MATIB.DBF");
        EXPECT_EQ(u8(dbf, 28), 1u) << "production index flag";
        EXPECT_EQ(u8(dbf, 32 + 31), 0u) << "NOMBRE has no tag";
        EXPECT_EQ(u8(dbf, 64 + 31), 1u) << "ABREV has a tag";
        const auto mdx = readFile(dir / "MATIB.MDX");
        EXPECT_EQ(mdx.substr(4, 6), std::string("MATIB\0", 6));
        EXPECT_EQ(u8(mdx, 31), u8(dbf, 29)) << "language driver";
        Walk walk = walkIndex(dir / "MATIB.MDX");
        EXPECT_EQ(walk.depth, c.depth);
        EXPECT_EQ(walk.entries, expectedOrder(keys));
    }
}

TEST(MdxIndex, EditsAndAppendsAfterReopeningAreReflected)
{
    TempDir dir;
    std::vector<std::string> keys;
    {
        auto t = DbfTable::create(
            dir.path(), "MATIB", { { "ABREV", FieldKind::Character, 4 } }, { { "TAGA", "ABREV" } });
        for (const char* k : { "MAT ", "CAT ", "ANG " }) {
            t.append();
            t.setText("ABREV", k);
            t.post();
            keys.push_back(k);
        }
    }
    {
        auto t = DbfTable::open(dir.path(), "matib", Access::Exclusive);
        t.first();
        t.edit();
        t.setText("ABREV", "ZZZ");
        t.post();
        keys[0] = "ZZZ ";
        t.append();
        t.setText("ABREV", "BIO");
        t.post();
        keys.push_back("BIO ");
    }
    EXPECT_EQ(walkIndex(dir / "MATIB.MDX").entries, expectedOrder(keys));
    // Reading alone leaves both files untouched.
    const auto before = snapshot(dir.path());
    {
        auto t = DbfTable::open(dir.path(), "MATIB", Access::Shared);
        for (t.first(); !t.eof(); t.next())
            (void)t.text("ABREV");
    }
    EXPECT_EQ(snapshot(dir.path()), before);
}

TEST(MdxIndex, TableWhoseIndexCannotBeMaintainedIsNotChanged)
{
    TempDir dir;
    {
        auto t = DbfTable::create(
            dir.path(), "MATIB", { { "ABREV", FieldKind::Character, 4 } }, { { "ABREV", "ABREV" } });
        t.append();
        t.setText("ABREV", "MAT");
        t.post();
    }
    std::filesystem::remove(dir / "MATIB.MDX");
    const auto before = snapshot(dir.path());
    {
        auto t = DbfTable::open(dir.path(), "MATIB", Access::Exclusive);
        EXPECT_EQ(t.text("ABREV"), "MAT") << "still readable";
        expectError(ErrorCode::TableUnsupported, [&] { t.append(); });
        expectError(ErrorCode::TableUnsupported, [&] { t.edit(); });
    }
    EXPECT_EQ(snapshot(dir.path()), before);
}
