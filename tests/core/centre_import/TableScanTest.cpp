// SPDX-License-Identifier: GPL-3.0-or-later
#include "centre_import/TableScan.h"

#include "TestSupport.h"
#include "dbf/DbfTable.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

namespace tramazel::centre_import {
namespace {

using tramazel::test::TempDir;

// CODE C(4), ACT L, N N(5): a record per stored ACT byte, the third one deleted.
constexpr std::string_view kActBytes = "TtYyFN? ";

void writeTable(const std::filesystem::path& dir, char languageDriver)
{
    {
        dbf::DbfTable table = dbf::DbfTable::create(dir, "SCAN",
            { { "CODE", dbf::FieldKind::Character, 4 }, { "ACT", dbf::FieldKind::Logical, 1 },
                { "N", dbf::FieldKind::Integer, 5 } });
        for (std::size_t i = 0; i < kActBytes.size(); ++i) {
            table.append();
            table.setText("CODE", std::string("C\xD1") + std::to_string(i));
            table.setInteger("N", static_cast<std::int64_t>(i));
            table.post();
        }
    }
    const std::filesystem::path file = dir / "SCAN.DBF";
    std::string bytes = tramazel::test::readFile(file);
    bytes[29] = languageDriver;
    const std::size_t headerLength = static_cast<unsigned char>(bytes[8])
        | static_cast<std::size_t>(static_cast<unsigned char>(bytes[9])) << 8;
    const std::size_t recordLength = static_cast<unsigned char>(bytes[10])
        | static_cast<std::size_t>(static_cast<unsigned char>(bytes[11])) << 8;
    for (std::size_t i = 0; i < kActBytes.size(); ++i)
        bytes[headerLength + i * recordLength + 1 + 4] = kActBytes[i];
    bytes[headerLength + 2 * recordLength] = '*';
    tramazel::test::writeFile(file, bytes);
}

// The values of every live record as the handle gives them, moving record by record.
template <std::size_t N>
std::vector<std::array<std::string, N>> readByHandle(
    dbf::DbfTable& table, const std::array<std::size_t, N>& fields)
{
    std::vector<std::array<std::string, N>> rows;
    for (table.first(); !table.eof(); table.next()) {
        std::array<std::string, N> row;
        for (std::size_t i = 0; i < N; ++i)
            row[i] = table.fields()[fields[i]].type == 'L' ? (table.logical(fields[i]) ? "T" : "")
                                                           : std::string(table.textView(fields[i]));
        rows.push_back(row);
    }
    return rows;
}

TEST(TableScan, GivesWhatTheHandleGivesRecordByRecord)
{
    // Straight from the stored bytes (cp1252, text and logical fields), and record by
    // record: an OEM code page converts texts, a numeric field is read as a number.
    struct Case {
        const char* name;
        char languageDriver;
        bool withNumber;
        std::string firstCode;
    };
    const Case cases[] = {
        { "cp1252", '\x57', false,
            "C\xD1"
            "0" },
        { "OEM 850", '\x37', false,
            "C\xD0"
            "0" },
        { "with a number", '\x57', true,
            "C\xD1"
            "0" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        writeTable(dir.path(), c.languageDriver);
        dbf::DbfTable table = dbf::DbfTable::open(dir.path(), "SCAN", dbf::Access::Shared);
        const std::array<std::size_t, 3> fields { 1, 0,
            c.withNumber ? std::size_t { 2 } : std::size_t { 0 } };

        std::vector<std::array<std::string, 3>> scanned;
        forEachRecord(table, fields, [&](const std::array<std::string_view, 3>& values) {
            scanned.push_back({ std::string(values[0]), std::string(values[1]), std::string(values[2]) });
        });
        EXPECT_TRUE(table.eof());
        const std::vector<std::array<std::string, 3>> expected = readByHandle(table, fields);
        EXPECT_EQ(expected, scanned);

        ASSERT_EQ(kActBytes.size() - 1, scanned.size());
        std::string acts;
        for (const auto& row : scanned)
            acts += row[0].empty() ? '-' : row[0][0];
        // T, t, (Y deleted), y are true; F, N, ? and blank are not.
        EXPECT_EQ("TTT----", acts);
        EXPECT_EQ(c.firstCode, scanned[0][1]);
    }
}

} // namespace
} // namespace tramazel::centre_import
