// SPDX-License-Identifier: GPL-3.0-or-later
#include "DbfTestSupport.h"

#include "dbf/DbfTable.h"
#include "platform/Platform.h"
#include "text/Cp1252.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

using namespace tramazel;
using namespace tramazel::dbf;
using namespace tramazel::test;
namespace fs = std::filesystem;

namespace {

// A copy of a fixture in a fresh folder, so that opening (and locking) never
// touches the source tree.
struct FixtureCopy {
    TempDir dir;
    explicit FixtureCopy(const std::string& name)
    {
        fs::copy_file(fixture("dbf/" + name + ".dbf"), dir / (name + ".dbf"));
    }
};

} // namespace

TEST(DbfForeign, ReadsEveryVariantWithTheSameValues)
{
    struct Case {
        const char* fixture;
        const char* nameField;
        std::string types; // type letters of the fields, in order
    };
    const Case cases[] = {
        { "good_dbase3", "NOMBRE", "CNFLD" },
        { "good_dbase3_memo", "NOMBRE", "CNFLDM" },
        { "good_dbase4_memo", "NOMBRE", "CNFLDM" },
        { "good_level7", "nombre_largo_de_campo", "CIOLD+@" },
        { "good_level7_memo", "NOMBRE_LARGO_DE_CAMPO", "CIOLD+@M" },
        { "good_foxpro30", "NOMBRE", "CIBLDYTM" },
        { "good_foxpro31", "NOMBRE", "CIBLDYTM" },
        { "good_foxpro2_memo", "NOMBRE", "CNFLDM" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.fixture);
        FixtureCopy copy(c.fixture);
        auto t = DbfTable::open(copy.dir.path(), c.fixture, Access::Shared);
        std::string types;
        for (const auto& f : t.fields())
            types += f.type;
        EXPECT_EQ(types, c.types);
        EXPECT_GE(t.recordCount(), 3u);
        ASSERT_FALSE(t.eof());
        EXPECT_EQ(t.recordNumber(), 1u);
        EXPECT_EQ(t.text(c.nameField), "MAT");
        EXPECT_EQ(t.text("CANT"), "1");
        EXPECT_EQ(t.integer("CANT"), 1);
        EXPECT_EQ(t.text("PRECIO"), "2.5");
        EXPECT_EQ(t.integer("PRECIO"), 2);
        EXPECT_DOUBLE_EQ(t.number("PRECIO"), 2.5);
        EXPECT_TRUE(t.logical("ACTIVO"));
        EXPECT_EQ(t.text("FECHA"), "20240115");
        if (t.hasField("NOTAS")) {
            EXPECT_EQ(t.text("NOTAS"), "") << "memo contents are not read";
        }
        if (t.hasField("IMPORTE")) {
            EXPECT_EQ(t.text("IMPORTE"), "5");
        }
        t.next(); // record 2 is deleted
        ASSERT_FALSE(t.eof());
        EXPECT_EQ(t.recordNumber(), 3u);
        EXPECT_EQ(t.text(c.nameField), "Ll\xB7\xE7\xF1");
        EXPECT_EQ(t.text("CANT"), "-42");
        EXPECT_EQ(t.integer("CANT"), -42);
        EXPECT_EQ(t.text("PRECIO"), "-0.125");
        EXPECT_EQ(t.integer("PRECIO"), 0);
        EXPECT_FALSE(t.logical("ACTIVO"));
        EXPECT_EQ(t.text("FECHA"), "");
        t.next();
        if (t.recordCount() == 4) {
            // Level-7 binary nulls read as empty.
            EXPECT_EQ(t.text("CANT"), "");
            EXPECT_EQ(t.integer("CANT"), 0);
            EXPECT_EQ(t.text("PRECIO"), "");
            EXPECT_TRUE(t.isBlank(t.fieldIndex("PRECIO")));
            EXPECT_EQ(t.text("ID"), "4");
            t.next();
        }
        EXPECT_TRUE(t.eof());
    }
}

TEST(DbfForeign, AcceptsHarmlessOddities)
{
    FixtureCopy copy("good_odd_layout");
    auto t = DbfTable::open(copy.dir.path(), "good_odd_layout", Access::Shared);
    EXPECT_EQ(t.text("NOMBRE"), "A");
    EXPECT_EQ(t.text("CANT"), "7");
    EXPECT_EQ(t.text("PRECIO"), "0.5");
    EXPECT_EQ(t.integer("TXTNUM"), 3) << "a character field holding a number reads as that number";
    t.next();
    EXPECT_EQ(t.text("NOMBRE"), "B") << "NUL padding is not text";
    EXPECT_EQ(t.text("CANT"), "-3");
    EXPECT_EQ(t.text("PRECIO"), "0");
    EXPECT_EQ(t.integer("TXTNUM"), -12);
    t.next();
    EXPECT_TRUE(t.eof());
}

TEST(DbfForeign, EveryFixtureOpensOrIsRefusedAsItsNamePrefixSays)
{
    // Found by listing the folder, so that a new fixture cannot go untested: its
    // name's prefix says what opening it must do.
    struct Kind {
        std::string_view prefix;
        std::optional<ErrorCode> refusal; // nothing: it opens
    };
    const Kind kinds[] = {
        { "good_", std::nullopt }, // values checked by ReadsEveryVariantWithTheSameValues and the like
        { "badvalue_", std::nullopt }, // values refused when read: BadValuesAreReportedWhenRead
        { "bad_", ErrorCode::TableCorrupt },
        { "unsupported_", ErrorCode::TableUnsupported },
    };
    std::vector<fs::path> files;
    for (const auto& entry : fs::directory_iterator(fixture("dbf")))
        files.push_back(entry.path());
    std::sort(files.begin(), files.end());
    ASSERT_FALSE(files.empty());
    for (const auto& file : files) {
        const std::string name = file.filename().string();
        SCOPED_TRACE(name);
        if (file.extension() != ".dbf") {
            ADD_FAILURE() << "every fixture here is a table file named *.dbf";
            continue;
        }
        const std::string base = file.stem().string();
        const auto kind = std::find_if(
            std::begin(kinds), std::end(kinds), [&](const Kind& k) { return base.starts_with(k.prefix); });
        if (kind == std::end(kinds)) {
            ADD_FAILURE() << "no rule for this fixture's prefix: add one to the table above";
            continue;
        }
        FixtureCopy copy(base);
        const auto before = snapshot(copy.dir.path());
        if (kind->refusal) {
            auto e = expectError(
                *kind->refusal, [&] { DbfTable::open(copy.dir.path(), base, Access::Exclusive); });
            if (e) {
                EXPECT_TRUE(tramazel::test::containsFileText(e->message(), name)) << e->message();
            }
        } else {
            DbfTable::open(copy.dir.path(), base, Access::Exclusive).close();
        }
        EXPECT_EQ(snapshot(copy.dir.path()), before);
        // No lock is left behind: exclusive use is free again.
        EXPECT_TRUE(platform::FileLock::tryLock(copy.dir / name, platform::FileLock::Mode::Exclusive));
    }
}

TEST(DbfForeign, BadValuesAreReportedWhenRead)
{
    FixtureCopy copy("badvalue_numbers");
    auto t = DbfTable::open(copy.dir.path(), "badvalue_numbers", Access::Shared);
    EXPECT_EQ(t.text("NUM"), "1.5");
    expectError(ErrorCode::ValueOutOfRange, [&] { (void)t.integer("TXT"); });
    t.next();
    for (auto read : { +[](DbfTable& x) { (void)x.text("NUM"); }, +[](DbfTable& x) { (void)x.number("NUM"); },
             +[](DbfTable& x) { (void)x.integer("NUM"); } }) {
        expectError(ErrorCode::TableCorrupt, [&] { read(t); });
    }
    EXPECT_EQ(t.integer("TXT"), 3);
    t.next();
    expectError(ErrorCode::TableCorrupt, [&] { (void)t.number("NUM"); });
    expectError(ErrorCode::ValueOutOfRange, [&] { (void)t.number("TXT"); });
    t.next();
    expectError(ErrorCode::TableCorrupt, [&] { (void)t.text("NUM"); });
    EXPECT_EQ(t.integer("TXT"), 0) << "an empty text reads as zero";
}

namespace {

// A one-field table whose header says language driver `driver` and whose only
// record holds `stored` in field COD.
void writeTableWithDriver(const fs::path& dir, std::uint8_t driver, const std::string& stored)
{
    DbfTable::create(dir, "SOLUC", { { "COD", FieldKind::Character, 6 } }).close();
    std::string bytes = readFile(dir / "SOLUC.DBF");
    bytes[29] = static_cast<char>(driver);
    const std::size_t headerLength = u16(bytes, 8);
    std::string record = " " + stored;
    record.resize(7, ' ');
    bytes.replace(headerLength, std::string::npos, record + "\x1A");
    bytes[4] = 1; // one record
    writeFile(dir / "SOLUC.DBF", bytes);
}

} // namespace

// Texts come out as cp1252 whatever code page the table's language driver names,
// and go back in that code page.
TEST(DbfForeign, TextsFollowTheLanguageDriversCodePage)
{
    struct Case {
        const char* name;
        std::uint8_t driver;
        std::string stored; // bytes in the file
        std::string read; // cp1252, as text() gives it
        bool recognised;
    };
    const Case cases[] = {
        { "ANSI, this program's own driver", 0x57,
            "\xD1"
            "AB\xE7",
            "\xD1"
            "AB\xE7",
            true },
        { "no driver: ANSI as before", 0x00,
            "\xD1"
            "AB",
            "\xD1"
            "AB",
            true },
        { "ANSI, western European collation", 0x58, "\xC0\xE9", "\xC0\xE9", true },
        { "ANSI, Spanish collation", 0x59, "\xD1", "\xD1", true },
        { "xBase Windows ANSI mark", 0x03, "\xD1", "\xD1", true },
        { "OEM 850 (DB850US0)", 0x37,
            "\xA5"
            "AB",
            "\xD1"
            "AB",
            true },
        { "OEM 850, Spanish (DB850ES0)", 0x14, "\xA4\x87\xA7\xA6", "\xF1\xE7\xBA\xAA", true },
        { "OEM 850, xBase mark", 0x02, "\x90\xB7", "\xC9\xC0", true },
        { "OEM 437 (DB437US0)", 0x1B, "\xA5\x82\x81", "\xD1\xE9\xFC", true },
        { "OEM 437, Spanish (DB437ES1)", 0x18, "\xA4", "\xF1", true },
        { "OEM 437, xBase mark", 0x01, "\x87", "\xE7", true },
        { "OEM 437 box drawing has no cp1252 form", 0x1B,
            "\xC4"
            "A",
            "?A", true },
        { "unknown driver read as ANSI", 0x65,
            "\xD1"
            "AB",
            "\xD1"
            "AB",
            false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        writeTableWithDriver(dir.path(), c.driver, c.stored);
        auto t = DbfTable::open(dir.path(), "SOLUC", Access::Exclusive);
        EXPECT_EQ(t.text("COD"), c.read);
        EXPECT_EQ(t.textCodePage().recognised, c.recognised);
        EXPECT_EQ(t.languageDriver(), c.driver);
        // Written back through the engine, the stored bytes are what they were (but for
        // a character cp1252 lacks, which went as '?').
        t.edit();
        t.setText("COD", c.read);
        t.post();
        t.close();
        const std::string bytes = readFile(dir / "SOLUC.DBF");
        const std::string expected = c.read == "?A" ? std::string("?A") : c.stored;
        EXPECT_EQ(bytes.substr(u16(bytes, 8) + 1, expected.size()), expected);
        EXPECT_EQ(u8(bytes, 29), c.driver) << "the driver byte is kept";
    }
}

TEST(DbfForeign, LevelSevenTablesNameTheirDriver)
{
    struct Case {
        const char* name;
        CodePage page;
        bool recognised;
    };
    const Case cases[] = {
        { "", CodePage::Windows1252, true },
        { "DBWINUS0", CodePage::Windows1252, true },
        { "DBWINES0", CodePage::Windows1252, true },
        { "DB850ES0", CodePage::Oem850, true },
        { "DB437US0", CodePage::Oem437, true },
        { "DBHEBREW", CodePage::Windows1252, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        const LanguageDriver d = languageDriverOf(0, c.name);
        EXPECT_EQ(d.codePage, c.page);
        EXPECT_EQ(d.recognised, c.recognised);
    }
    // A byte at 29 wins over the name.
    EXPECT_EQ(languageDriverOf(0x37, "DBWINUS0").codePage, CodePage::Oem850);
}

// The tables this program writes stay plain dBASE IV with the ANSI driver.
TEST(DbfForeign, NewTablesAreWrittenWithTheAnsiDriver)
{
    TempDir dir;
    auto t = DbfTable::create(dir.path(), "PROFT", { { "ABREV", FieldKind::Character, 5 } });
    t.append();
    t.setText("ABREV",
        "\xD1"
        "AB");
    t.post();
    t.close();
    const std::string bytes = readFile(dir / "PROFT.DBF");
    EXPECT_EQ(u8(bytes, 0), 0x03u);
    EXPECT_EQ(u8(bytes, 29), 0x57u);
    EXPECT_EQ(bytes.substr(u16(bytes, 8) + 1, 3),
        "\xD1"
        "AB");
}

TEST(DbfForeign, SkimmingStopsOnlyOnLiveRecordsTheTestAccepts)
{
    FixtureCopy copy("good_dbase3");
    auto t = DbfTable::open(copy.dir.path(), "good_dbase3", Access::Shared);
    const std::size_t name = t.fieldIndex("NOMBRE");
    ASSERT_TRUE(t.readsAsStored(name));
    EXPECT_FALSE(t.readsAsStored(t.fieldIndex("CANT"))) << "a number is decoded, never read as stored";

    // Every live record, in stored order: the deleted second one never reaches the
    // test, and each stop reads like the record first()/next() would give.
    std::vector<std::string> looked;
    const StoredField stored = t.storedField(name);
    auto every = [&](const char* record) {
        looked.emplace_back(t.storedText(record, name));
        EXPECT_EQ(stored.text(record), looked.back()) << "the field's place reads what the handle reads";
        return true;
    };
    std::vector<std::uint32_t> stops;
    for (bool found = t.skimTo(true, every); found; found = t.skimTo(false, every)) {
        stops.push_back(t.recordNumber());
        EXPECT_EQ(t.text(name), looked.back());
    }
    EXPECT_TRUE(t.eof());
    EXPECT_FALSE(t.skimTo(false, every)) << "nothing after the end";
    std::vector<std::uint32_t> live;
    for (t.first(); !t.eof(); t.next())
        live.push_back(t.recordNumber());
    EXPECT_EQ(stops, live);
    EXPECT_EQ(looked.size(), live.size());
    EXPECT_EQ(looked.at(1), "Ll\xB7\xE7\xF1");

    // Only accepted records stop the pass; the handle stays where it stopped.
    auto third = [&](const char* record) { return t.storedText(record, name) == "Ll\xB7\xE7\xF1"; };
    ASSERT_TRUE(t.skimTo(true, third));
    EXPECT_EQ(t.recordNumber(), 3u);
    EXPECT_EQ(t.text("CANT"), "-42");
    EXPECT_FALSE(t.skimTo(false, third));

    expectError(ErrorCode::FieldNotFound, [&] { (void)t.storedField(t.fields().size()); });
}

// The read block holds whole records and the start of the next: records that
// straddle its end, deleted ones at any place and stops in any block all read as a
// walk with first()/next() reads them.
TEST(DbfForeign, SkimmingAcrossReadBlocksStopsWhereAWalkWould)
{
    TempDir dir;
    constexpr int kRecords = 9000; // 101-byte records: several blocks, none ending on a record
    {
        auto t = DbfTable::create(dir.path(), "LARGE", { { "COD", FieldKind::Character, 100 } });
        for (int i = 0; i < kRecords; ++i) {
            t.append();
            t.setText(0, std::to_string(i));
            t.post();
        }
        t.close();
    }
    std::string bytes = readFile(dir / "LARGE.DBF");
    const std::size_t headerLength = u16(bytes, 8);
    const std::size_t recordLength = u16(bytes, 10);
    ASSERT_EQ(recordLength, 101u);
    for (int i = 0; i < kRecords; i += 7)
        bytes[headerLength + static_cast<std::size_t>(i) * recordLength] = '*';
    writeFile(dir / "LARGE.DBF", bytes);

    auto t = DbfTable::open(dir.path(), "LARGE", Access::Shared);
    const StoredField cod = t.storedField(0);
    struct Case {
        const char* what;
        int every; // accepts the records whose number is a multiple of this
    } cases[] = { { "every live record", 1 }, { "a few per block", 997 }, { "one in thousands", 4000 },
        { "none", kRecords + 1 } };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        auto accepts = [&](std::string_view text) { return std::stoi(std::string(text)) % c.every == 0; };
        std::vector<std::uint32_t> walked;
        for (t.first(); !t.eof(); t.next()) {
            if (accepts(t.text(0)))
                walked.push_back(t.recordNumber());
        }
        std::vector<std::uint32_t> skimmed;
        auto test = [&](const char* record) { return accepts(cod.text(record)); };
        for (bool found = t.skimTo(true, test); found; found = t.skimTo(false, test)) {
            skimmed.push_back(t.recordNumber());
            EXPECT_TRUE(accepts(t.text(0))) << "the handle holds the record the test accepted";
        }
        EXPECT_TRUE(t.eof());
        EXPECT_EQ(skimmed, walked);
    }
}

TEST(DbfForeign, TextsOfAnotherCodePageAreNeverReadAsStored)
{
    TempDir dir;
    writeTableWithDriver(dir.path(), 0x37,
        "\xA5"
        "AB");
    auto t = DbfTable::open(dir.path(), "SOLUC", Access::Shared);
    EXPECT_FALSE(t.readsAsStored(t.fieldIndex("COD")));
}

// A key keeps a character cp1252 lacks as itself, where text() can only give '?': the
// lookups of the export compare keys, so "╬AB" and "╦AB" must not both be "?AB".
TEST(DbfForeign, KeysKeepTheCharactersAnsiLacks)
{
    TempDir dir;
    writeTableWithDriver(dir.path(), 0x37,
        "\xCE"
        "AB\xA5");
    auto t = DbfTable::open(dir.path(), "SOLUC", Access::Shared);
    const std::size_t cod = t.fieldIndex("COD");
    t.first();
    EXPECT_EQ(t.text(cod), "?AB\xD1");
    EXPECT_EQ(t.keyView(cod),
        std::string(1, kForeignCharacterMark)
            + "\xE2\x95\xAC"
              "AB\xD1");
    EXPECT_EQ(keyToUtf8(t.keyView(cod)),
        "\xE2\x95\xAC"
        "AB\xC3\x91");
    t.close();

    // Through every byte of both pages: a character cp1252 has is its cp1252 byte, one
    // it lacks its own character, each a different key.
    for (const CodePage page : { CodePage::Oem437, CodePage::Oem850 }) {
        std::vector<std::string> keys;
        for (unsigned b = 0x80; b <= 0xFF; ++b) {
            const std::string stored(1, static_cast<char>(b));
            const std::string ansi = toAnsi(page, stored);
            const std::string key = toAnsiKey(page, stored);
            SCOPED_TRACE(b);
            if (ansi != "?") {
                EXPECT_EQ(key, ansi);
            } else {
                std::size_t replaced = 0;
                text::utf8ToCp1252(keyToUtf8(key), &replaced);
                EXPECT_EQ(replaced, 1u) << "cp1252 has the character after all";
            }
            keys.push_back(key);
        }
        std::sort(keys.begin(), keys.end());
        EXPECT_EQ(std::adjacent_find(keys.begin(), keys.end()), keys.end());
    }

    // An ANSI table's key is its text, a control U+0081 included.
    TempDir ansiDir;
    writeTableWithDriver(ansiDir.path(), 0x57,
        "\x81\xCE"
        "AB");
    auto ansi = DbfTable::open(ansiDir.path(), "SOLUC", Access::Shared);
    ansi.first();
    EXPECT_EQ(ansi.keyView(cod), ansi.text(cod));
    EXPECT_EQ(keyToUtf8(ansi.keyView(cod)),
        "\xC2\x81\xC3\x8E"
        "AB");
}
