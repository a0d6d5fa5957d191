// SPDX-License-Identifier: GPL-3.0-or-later
#include "DbfTestSupport.h"

#include "Error.h"
#include "dbf/DbfTable.h"
#include "dbf/TableFiles.h"

#include <gtest/gtest.h>

#include <cstring>
#include <limits>

using namespace tramazel;
using namespace tramazel::dbf;
using namespace tramazel::test;

namespace {

std::vector<FieldSpec> sampleFields()
{
    return {
        { "COD", FieldKind::Character, 4 },
        { "NOMBRE", FieldKind::Character, 20 },
        { "DNI", FieldKind::Integer, 0 },
        { "HORAS", FieldKind::Float, 0 },
        { "ESTAREA", FieldKind::Logical, 0 },
    };
}

} // namespace

TEST(DbfTable, WritesPlainDbase4FileWithConsistentCounts)
{
    TempDir dir;
    {
        auto t = DbfTable::create(dir.path(), "ASIGNOMT", sampleFields());
        for (int i = 0; i < 3; ++i) {
            t.append();
            t.setText("COD", "C" + std::to_string(i));
            t.setInteger("DNI", i);
            t.post();
        }
        t.close();
    }
    std::string bytes = test::readFile(dir / "ASIGNOMT.DBF");
    const std::size_t headerLength = 32 + 32 * 5 + 1;
    const std::size_t recordLength = 1 + 4 + 20 + 11 + 20 + 1;
    ASSERT_EQ(bytes.size(), headerLength + 3 * recordLength + 1);
    EXPECT_EQ(u8(bytes, 0), 0x03);
    EXPECT_EQ(u32(bytes, 4), 3u);
    EXPECT_EQ(u16(bytes, 8), headerLength);
    EXPECT_EQ(u16(bytes, 10), recordLength);
    EXPECT_EQ(u8(bytes, 28), 0); // no production index
    EXPECT_EQ(u8(bytes, 29), 0x57);
    EXPECT_EQ(u8(bytes, headerLength - 1), 0x0D);
    EXPECT_EQ(u8(bytes, bytes.size() - 1), 0x1A);
    struct Descriptor {
        const char* name;
        char type;
        int width;
        int decimals;
    };
    const Descriptor expected[] = { { "COD", 'C', 4, 0 }, { "NOMBRE", 'C', 20, 0 }, { "DNI", 'N', 11, 0 },
        { "HORAS", 'N', 20, 4 }, { "ESTAREA", 'L', 1, 0 } };
    for (std::size_t i = 0; i < 5; ++i) {
        std::size_t d = 32 + 32 * i;
        EXPECT_EQ(std::string(bytes.c_str() + d), expected[i].name);
        EXPECT_EQ(bytes[d + 11], expected[i].type) << expected[i].name;
        EXPECT_EQ(u8(bytes, d + 16), expected[i].width) << expected[i].name;
        EXPECT_EQ(u8(bytes, d + 17), expected[i].decimals) << expected[i].name;
        EXPECT_EQ(u8(bytes, d + 10), 0) << "name byte 10 is always NUL";
    }
    // Record 2: live flag, "C1  ", unset texts are blanks, DNI right-aligned, unset
    // numbers and logicals blank.
    std::string rec = bytes.substr(headerLength + recordLength, recordLength);
    EXPECT_EQ(rec, " C1  " + std::string(20, ' ') + "          1" + std::string(20, ' ') + " ");
}

TEST(DbfTable, ReadsBackWhatItWrote)
{
    TempDir dir;
    {
        auto t = DbfTable::create(dir.path(), "T", sampleFields());
        t.append();
        t.setText("COD", "MAT");
        t.setText("NOMBRE", "Matem\xE0tiques i l\xB7l\xE8gica \xE7\xF1"); // cp1252, longer than 20
        t.setInteger("DNI", -12345678);
        t.setNumber("HORAS", 2.5);
        t.setLogical("ESTAREA", true);
        t.post();
        t.append(); // every field left blank
        t.post();
        t.append();
        t.setNumber("HORAS", -0.125);
        t.setLogical("ESTAREA", false);
        t.setInteger("DNI", 0);
        t.post();
        t.close();
    }
    auto t = DbfTable::open(dir.path(), "t.dbf", Access::Shared);
    ASSERT_EQ(t.recordCount(), 3u);
    t.first();
    ASSERT_FALSE(t.eof());
    EXPECT_EQ(t.recordNumber(), 1u);
    EXPECT_EQ(t.text("COD"), "MAT");
    EXPECT_EQ(t.text("nombre"), "Matem\xE0tiques i l\xB7l\xE8g"); // first 20 bytes
    EXPECT_EQ(t.text("DNI"), "-12345678");
    EXPECT_EQ(t.integer("DNI"), -12345678);
    EXPECT_EQ(t.text("HORAS"), "2.5");
    EXPECT_DOUBLE_EQ(t.number("HORAS"), 2.5);
    EXPECT_EQ(t.integer("HORAS"), 2);
    EXPECT_TRUE(t.logical("ESTAREA"));
    t.next();
    for (const char* f : { "COD", "NOMBRE", "DNI", "HORAS", "ESTAREA" }) {
        EXPECT_EQ(t.text(f), "") << f;
        EXPECT_TRUE(t.isBlank(t.fieldIndex(f))) << f;
    }
    EXPECT_EQ(t.integer("DNI"), 0);
    EXPECT_EQ(t.number("HORAS"), 0.0);
    EXPECT_FALSE(t.logical("ESTAREA"));
    t.next();
    EXPECT_EQ(t.text("HORAS"), "-0.125");
    EXPECT_EQ(t.integer("HORAS"), 0); // cut toward zero
    EXPECT_EQ(t.text("DNI"), "0");
    EXPECT_FALSE(t.logical("ESTAREA"));
    EXPECT_EQ(t.text("ESTAREA"), "F");
    t.next();
    EXPECT_TRUE(t.eof());
    EXPECT_EQ(t.recordNumber(), 0u);
}

TEST(DbfTable, NumbersAreStoredExactlyOrRefused)
{
    struct Case {
        const char* name;
        FieldKind kind;
        double value;
        bool whole;
        const char* stored; // nullptr: ValueOutOfRange
        const char* readBack;
    };
    const Case cases[] = {
        { "integer", FieldKind::Integer, 42, true, "         42", "42" },
        { "negative integer", FieldKind::Integer, -7, true, "         -7", "-7" },
        { "widest integer", FieldKind::Integer, 99999999999, true, "99999999999", "99999999999" },
        { "integer one digit too wide", FieldKind::Integer, 999999999999, true, nullptr, nullptr },
        { "widest negative", FieldKind::Integer, -9999999999, true, "-9999999999", "-9999999999" },
        { "negative too wide", FieldKind::Integer, -99999999999, true, nullptr, nullptr },
        { "float", FieldKind::Float, 2.5, false, "              2.5000", "2.5" },
        { "float whole", FieldKind::Float, 3, false, "              3.0000", "3" },
        { "float rounded to 4 decimals", FieldKind::Float, 0.12345678, false, "              0.1235",
            "0.1235" },
        { "tiny negative is zero", FieldKind::Float, -0.00001, false, "              0.0000", "0" },
        { "float set as integer", FieldKind::Float, 12, true, "             12.0000", "12" },
        { "widest float", FieldKind::Float, 999999999999999.0, false, "999999999999999.0000",
            "999999999999999" },
        { "float too wide", FieldKind::Float, 1e15, false, nullptr, nullptr },
        { "integer field rounds a fraction", FieldKind::Integer, 7.75, false, "          8", "8" },
        { "not a number", FieldKind::Float, std::numeric_limits<double>::quiet_NaN(), false, nullptr,
            nullptr },
        { "infinity", FieldKind::Integer, std::numeric_limits<double>::infinity(), false, nullptr, nullptr },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        auto t = DbfTable::create(dir.path(), "NUM", { { "V", c.kind, 0 } });
        t.append();
        auto set = [&] {
            if (c.whole)
                t.setInteger("V", static_cast<std::int64_t>(c.value));
            else
                t.setNumber("V", c.value);
        };
        if (!c.stored) {
            expectError(ErrorCode::ValueOutOfRange, set);
            EXPECT_TRUE(t.isBlank(0)) << "a refused value leaves the field as it was";
            continue;
        }
        set();
        t.post();
        t.close();
        std::string bytes = test::readFile(dir / "NUM.DBF");
        std::size_t width = c.kind == FieldKind::Integer ? 11 : 20;
        EXPECT_EQ(bytes.substr(32 + 32 + 1 + 1, width), c.stored);
        auto r = DbfTable::open(dir.path(), "NUM", Access::Shared);
        EXPECT_EQ(r.text("V"), c.readBack);
    }
}

TEST(DbfTable, TextSetsCutAndReadsTrimOnlyTrailingBlanks)
{
    TempDir dir;
    auto t = DbfTable::create(dir.path(), "TXT", { { "A", FieldKind::Character, 5 } });
    const std::pair<std::string, std::string> cases[] = {
        { "ABCDEFGH", "ABCDE" },
        { "  AB  ", "  AB" },
        { "", "" },
        { "\xC0\xC7\xD1\xB7\xE8", "\xC0\xC7\xD1\xB7\xE8" },
        { "A B", "A B" },
    };
    for (const auto& [in, out] : cases) {
        t.append();
        t.setText("A", in);
        t.post();
        EXPECT_EQ(t.text("A"), out) << "after post";
    }
    t.first();
    for (const auto& [in, out] : cases) {
        EXPECT_EQ(t.text("A"), out) << in;
        t.next();
    }
}

TEST(DbfTable, FieldLookupIgnoresAsciiCase)
{
    TempDir dir;
    auto t = DbfTable::create(dir.path(), "F", sampleFields());
    EXPECT_EQ(t.fieldIndex("nombre"), 1u);
    EXPECT_EQ(t.fieldIndex("EsTaReA"), 4u);
    EXPECT_TRUE(t.hasField("dni"));
    EXPECT_FALSE(t.hasField("DNIX"));
    expectError(ErrorCode::FieldNotFound, [&] { (void)t.fieldIndex("NOPE"); });
}

TEST(DbfTable, RefusesMeaninglessDefinitions)
{
    const std::vector<std::vector<FieldSpec>> bad = {
        {},
        { { "A", FieldKind::Character, 0 } },
        { { "A", FieldKind::Character, 101 } },
        { { "ELEVENCHARS", FieldKind::Character, 1 } },
        { { "", FieldKind::Integer, 0 } },
        { { "A B", FieldKind::Integer, 0 } },
        { { "A", FieldKind::Integer, 0 }, { "a", FieldKind::Integer, 0 } },
    };
    TempDir dir;
    for (const auto& fields : bad)
        expectError(ErrorCode::InvalidArgument, [&] { DbfTable::create(dir.path(), "BAD", fields); });
    expectError(ErrorCode::InvalidArgument, [&] { DbfTable::create(dir.path(), "../X", sampleFields()); });
    expectError(ErrorCode::InvalidArgument, [&] {
        DbfTable::create(dir.path(), "X", sampleFields(), { { "IDX", "DNI" } });
    });
    expectError(ErrorCode::InvalidArgument, [&] {
        DbfTable::create(dir.path(), "X", sampleFields(), { { "IDX", "MISSING" } });
    });
    EXPECT_TRUE(std::filesystem::is_empty(dir.path()));
}

TEST(DbfTable, MisuseIsAnErrorNotACrash)
{
    TempDir dir;
    auto t = DbfTable::create(dir.path(), "M", sampleFields());
    expectError(ErrorCode::InvalidArgument, [&] { t.setText("COD", "X"); }); // not editing
    expectError(ErrorCode::InvalidArgument, [&] { t.post(); });
    expectError(ErrorCode::InvalidArgument, [&] { t.edit(); }); // no current record
    t.append();
    expectError(ErrorCode::InvalidArgument, [&] { t.setLogical("COD", true); });
    expectError(ErrorCode::ValueOutOfRange, [&] { t.setText("DNI", "12a"); });
    expectError(ErrorCode::FieldNotFound, [&] { t.setText(std::size_t { 99 }, "X"); });
    t.close();
    EXPECT_FALSE(t.isOpen());
    expectError(ErrorCode::InvalidArgument, [&] { t.first(); });
    t.close(); // idempotent
    DbfTable moved = DbfTable::open(dir.path(), "M", Access::Shared);
    DbfTable other = std::move(moved);
    EXPECT_FALSE(moved.isOpen());
    EXPECT_TRUE(moved.eof());
    EXPECT_TRUE(other.isOpen());
}

TEST(DbfTable, PendingAppendIsPostedByNavigationAndDroppedByClose)
{
    TempDir dir;
    {
        auto t = DbfTable::create(dir.path(), "P", sampleFields());
        t.append();
        t.setText("COD", "A");
        t.append(); // posts A
        t.setText("COD", "B");
        t.first(); // posts B
        EXPECT_EQ(t.text("COD"), "A");
        t.append();
        t.setText("COD", "C"); // never posted
    }
    auto t = DbfTable::open(dir.path(), "P", Access::Shared);
    EXPECT_EQ(t.recordCount(), 2u);
    EXPECT_EQ(test::readFile(dir / "P.DBF").size(), 32u + 32 * 5 + 1 + 2 * 57 + 1);
}
