// SPDX-License-Identifier: GPL-3.0-or-later
#include "DbfTestSupport.h"

#include "dbf/DbfTable.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <string>
#include <vector>

using namespace tramazel;
using namespace tramazel::dbf;
using namespace tramazel::test;

TEST(DbfEdit, EditChangesTheCurrentRecordInPlace)
{
    TempDir dir;
    const std::vector<FieldSpec> fields = { { "CODICURS", FieldKind::Character, 10 },
        { "NIVEL", FieldKind::Character, 2 }, { "CURSO", FieldKind::Integer, 0 } };
    {
        auto t = DbfTable::create(dir.path(), "CURSOST", fields);
        for (const char* code : { "C1", "C2", "C3" }) {
            t.append();
            t.setText("CODICURS", code);
            t.post();
        }
    }
    const auto sizeBefore = readFile(dir / "CURSOST.DBF").size();
    {
        auto t = DbfTable::open(dir.path(), "CURSOST", Access::Shared);
        int n = 0;
        for (t.first(); !t.eof(); t.next()) {
            t.edit();
            t.setText("NIVEL", n == 1 ? "" : "ES");
            t.setInteger("CURSO", ++n);
            EXPECT_EQ(t.integer("CURSO"), n) << "the edited value is visible before post";
            t.post();
            EXPECT_EQ(t.recordNumber(), static_cast<std::uint32_t>(n));
        }
        // Edit, then move on: the move posts the change, as the grid does.
        t.first();
        t.edit();
        t.setText("NIVEL", "BA");
        t.next();
        EXPECT_EQ(t.text("CODICURS"), "C2");
        // Read back through the same handle, which answers from the block it read.
        std::vector<std::string> seen;
        for (t.first(); !t.eof(); t.next())
            seen.push_back(t.text("NIVEL") + "/" + t.text("CURSO"));
        EXPECT_EQ(seen, (std::vector<std::string> { "BA/1", "/2", "ES/3" }));
    }
    const auto bytes = readFile(dir / "CURSOST.DBF");
    EXPECT_EQ(bytes.size(), sizeBefore);
    EXPECT_EQ(u32(bytes, 4), 3u);
    auto t = DbfTable::open(dir.path(), "CURSOST", Access::Exclusive);
    const char* expected[][3] = { { "C1", "BA", "1" }, { "C2", "", "2" }, { "C3", "ES", "3" } };
    for (auto& row : expected) {
        ASSERT_FALSE(t.eof());
        EXPECT_EQ(t.text("CODICURS"), row[0]);
        EXPECT_EQ(t.text("NIVEL"), row[1]);
        EXPECT_EQ(t.text("CURSO"), row[2]);
        t.next();
    }
    EXPECT_TRUE(t.eof());
}

TEST(DbfEdit, AppendToAnOpenedTableKeepsCountsConsistent)
{
    TempDir dir;
    DbfTable::create(dir.path(), "T", { { "A", FieldKind::Character, 3 } }).close();
    for (int round = 0; round < 3; ++round) {
        auto t = DbfTable::open(dir.path(), "T", Access::Exclusive);
        t.append();
        t.setText("A", std::to_string(round));
        t.post();
    }
    const auto bytes = readFile(dir / "T.DBF");
    EXPECT_EQ(u32(bytes, 4), 3u);
    EXPECT_EQ(bytes.size(), 32u + 32 + 1 + 3 * 4 + 1);
    EXPECT_EQ(bytes.substr(65), " 0   1   2  \x1A");
}

TEST(DbfEdit, ReadOnlyTableReadsButRefusesChanges)
{
    TempDir dir;
    {
        auto t = DbfTable::create(dir.path(), "RO", { { "A", FieldKind::Character, 3 } });
        t.append();
        t.setText("A", "x");
        t.post();
    }
    namespace fs = std::filesystem;
    fs::permissions(dir / "RO.DBF", fs::perms::owner_read | fs::perms::group_read | fs::perms::others_read);
    if (std::FILE* probe = std::fopen((dir / "RO.DBF").string().c_str(), "r+b")) {
        std::fclose(probe);
        GTEST_SKIP() << "running with rights that ignore file permissions";
    }
    const auto before = snapshot(dir.path());
    {
        auto t = DbfTable::open(dir.path(), "RO", Access::Exclusive);
        EXPECT_EQ(t.text("A"), "x");
        expectError(ErrorCode::FileIo, [&] { t.append(); });
        expectError(ErrorCode::FileIo, [&] { t.edit(); });
    }
    EXPECT_EQ(snapshot(dir.path()), before);
}
