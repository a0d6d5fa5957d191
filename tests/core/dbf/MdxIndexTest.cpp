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
