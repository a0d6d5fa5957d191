// SPDX-License-Identifier: GPL-3.0-or-later
#include "DbfTestSupport.h"

#include "Error.h"
#include "dbf/DbfTable.h"
#include "dbf/RecordImage.h"

#include <gtest/gtest.h>

#include <fstream>
#include <limits>
#include <optional>
#include <string>
#include <vector>

using namespace tramazel;
using namespace tramazel::dbf;
using namespace tramazel::test;

namespace {

std::vector<FieldSpec> layout()
{
    return {
        { "COD", FieldKind::Character, 4 },
        { "NOMBRE", FieldKind::Character, 12 },
        { "DNI", FieldKind::Integer, 0 },
        { "HORAS", FieldKind::Float, 0 },
        { "ESTAREA", FieldKind::Logical, 0 },
    };
}

// One record's values; an unset field stays blank.
struct Row {
    std::optional<std::string> cod;
    std::optional<std::string> nombre;
    std::optional<std::int64_t> dni;
    std::optional<double> horas;
    std::optional<bool> estarea;
    std::optional<std::string> horasText; // set through setText instead of setNumber
};

const std::vector<Row>& rows()
{
    static const std::vector<Row> all = {
        { "MAT", "Matem\xE0tiques", 12, 2.5, true, {} },
        { "", "", 0, 0.0, false, {} }, // empty texts and zeros
        {}, // every field blank
        { "LONGER", "cut to twelve characters", -7, -0.125, {}, {} },
        { "A  ", "  lead", {}, {}, false, "3.5" }, // trailing blanks; a number as text
        { "X", std::string("AB\0 \0", 5), {}, {}, {}, {} }, // NULs among the padding read as padding
        { "\xD1\xE7", "\xC0\xE9\xFC", std::numeric_limits<std::int32_t>::max(), 1e13, true, "" },
    };
    return all;
}

// The fields of layout(), by position.
constexpr std::size_t kCod = 0, kNombre = 1, kDni = 2, kHoras = 3, kEsTarea = 4;

template <typename Target> void fill(Target& t, const Row& r)
{
    if (r.cod)
        t.setText(kCod, *r.cod);
    if (r.nombre)
        t.setText(kNombre, *r.nombre);
    if (r.dni)
        t.setInteger(kDni, *r.dni);
    if (r.horas)
        t.setNumber(kHoras, *r.horas);
    if (r.horasText)
        t.setText(kHoras, *r.horasText);
    if (r.estarea)
        t.setLogical(kEsTarea, *r.estarea);
}

// The table written field by field through the handle: what whole-record appends
// must match byte for byte.
void writeFieldByField(const std::filesystem::path& dir, const std::vector<IndexSpec>& indexes)
{
    auto t = DbfTable::create(dir, "T", layout(), indexes);
    for (const Row& r : rows()) {
        t.append();
        fill(t, r);
        t.post();
    }
    t.close();
}

// The header's date (bytes 1-3) is the day of the write; the rest must agree.
std::string withoutDate(std::string bytes)
{
    bytes.replace(1, 3, 3, '\0');
    return bytes;
}

void setDriverByte(const std::filesystem::path& file, unsigned char driver)
{
    std::fstream f(file, std::ios::in | std::ios::out | std::ios::binary);
    f.seekp(29);
    f.put(static_cast<char>(driver));
}

} // namespace

TEST(RecordImage, WholeRecordAppendsStoreWhatFieldByFieldWritesStore)
{
    struct Case {
        const char* name;
        bool indexed;
        bool batched; // all records in one appendRecords call, or one appendRecord each
    };
    const Case cases[] = {
        { "one by one", false, false },
        { "in one block", false, true },
        { "one by one, with an index on COD", true, false },
        { "in one block, with an index on NOMBRE", true, true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::vector<IndexSpec> indexes = c.indexed
            ? std::vector<IndexSpec> { { "IDX", c.batched ? "NOMBRE" : "COD" } }
            : std::vector<IndexSpec> {};
        TempDir expected;
        writeFieldByField(expected.path(), indexes);

        TempDir dir;
        auto t = DbfTable::create(dir.path(), "T", layout(), indexes);
        RecordImage image(t);
        std::string block;
        for (const Row& r : rows()) {
            // One image for every record: each set* rewrites the whole field, and
            // fields a row leaves unset are put back to blank.
            for (std::size_t f = 0; f < 5; ++f)
                image.setBlank(f);
            fill(image, r);
            if (c.batched)
                block += image.bytes();
            else
                t.appendRecord(image);
        }
        if (c.batched)
            t.appendRecords(block);
        EXPECT_EQ(t.recordCount(), rows().size());
        // The handle stands on the last record stored.
        EXPECT_EQ(t.recordNumber(), rows().size());
        EXPECT_EQ(t.text(kCod), "\xD1\xE7");
        t.close();

        EXPECT_EQ(withoutDate(readFile(dir / "T.DBF")), withoutDate(readFile(expected / "T.DBF")));
        if (c.indexed) {
            EXPECT_EQ(readFile(dir / "T.MDX"), readFile(expected / "T.MDX"));
            EXPECT_EQ(walkIndex(dir / "T.MDX").entries.size(), rows().size());
        }
    }
}

TEST(RecordImage, ImagesReportWhatTheHandleReports)
{
    TempDir dir;
    auto t = DbfTable::create(dir.path(), "T", layout());
    RecordImage image(t);
    t.append();
    struct Case {
        const char* name;
        ErrorCode code;
        std::function<void(RecordImage&)> onImage;
        std::function<void(DbfTable&)> onHandle;
    };
    const Case cases[] = {
        { "text that is not a number", ErrorCode::ValueOutOfRange,
            [](RecordImage& i) { i.setText(kDni, "12a"); }, [](DbfTable& h) { h.setText(kDni, "12a"); } },
        { "number too large", ErrorCode::ValueOutOfRange, [](RecordImage& i) { i.setNumber(kHoras, 1e20); },
            [](DbfTable& h) { h.setNumber(kHoras, 1e20); } },
        { "logical into text", ErrorCode::InvalidArgument, [](RecordImage& i) { i.setLogical(kCod, true); },
            [](DbfTable& h) { h.setLogical(kCod, true); } },
        { "integer into logical", ErrorCode::InvalidArgument,
            [](RecordImage& i) { i.setInteger(kEsTarea, 1); },
            [](DbfTable& h) { h.setInteger(kEsTarea, 1); } },
        { "digits longer than a text field", ErrorCode::ValueOutOfRange,
            [](RecordImage& i) { i.setInteger(kCod, 12345); },
            [](DbfTable& h) { h.setInteger(kCod, 12345); } },
        { "no such field", ErrorCode::FieldNotFound, [](RecordImage& i) { i.setText(5, "X"); },
            [](DbfTable& h) { h.setText(std::size_t { 5 }, "X"); } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto fromImage = expectError(c.code, [&] { c.onImage(image); });
        const auto fromHandle = expectError(c.code, [&] { c.onHandle(t); });
        ASSERT_TRUE(fromImage && fromHandle);
        EXPECT_EQ(fromImage->message(), fromHandle->message());
    }
    // A failed set leaves the field as it was.
    EXPECT_EQ(image.bytes(), RecordImage(t).bytes());
    expectError(ErrorCode::FieldNotFound, [&] { (void)image.field(5); });
}

TEST(RecordImage, AppendsRefuseWhatTheTableCannotTake)
{
    TempDir dir;
    {
        auto t = DbfTable::create(dir.path(), "T", layout());
        RecordImage image(t);
        image.setText(kCod, "A");
        // Not a whole number of records: nothing is stored.
        std::string block(image.bytes());
        block += "x";
        expectError(ErrorCode::InvalidArgument, [&] { t.appendRecords(block); });
        EXPECT_EQ(t.recordCount(), 0u);
        t.appendRecords({}); // nothing to store
        EXPECT_EQ(t.recordCount(), 0u);
        // A record started by append() is posted before the image.
        t.append();
        t.setText(kCod, "P");
        t.appendRecord(image);
        EXPECT_EQ(t.recordCount(), 2u);
        t.first();
        EXPECT_EQ(t.text(kCod), "P");
        t.next();
        EXPECT_EQ(t.text(kCod), "A");
        t.close();
        // The image outlives the handle, but a closed handle takes no record.
        image.setText(kCod, "B");
        expectError(ErrorCode::InvalidArgument, [&] { t.appendRecord(image); });
        expectError(ErrorCode::InvalidArgument, [&] { RecordImage fromClosed(t); });
    }
#ifndef _WIN32
    std::filesystem::permissions(dir / "T.DBF", std::filesystem::perms::owner_read);
    if (!std::ofstream(dir / "T.DBF", std::ios::app)) { // not running as a superuser
        auto t = DbfTable::open(dir.path(), "T", Access::Shared);
        RecordImage image(t);
        expectError(ErrorCode::FileIo, [&] { t.appendRecord(image); });
    }
    std::filesystem::permissions(dir / "T.DBF", std::filesystem::perms::owner_all);
#endif
}

TEST(RecordImage, TablesInAnOemCodePageGetTheirOwnBytes)
{
    // A table whose driver says code page 850: texts are converted on the way in,
    // from an image as from the handle.
    TempDir dir;
    DbfTable::create(dir.path(), "A", layout()).close();
    DbfTable::create(dir.path(), "B", layout()).close();
    setDriverByte(dir / "A.DBF", 0x37);
    setDriverByte(dir / "B.DBF", 0x37);
    {
        auto byHandle = DbfTable::open(dir.path(), "A", Access::Exclusive);
        byHandle.append();
        byHandle.setText(kNombre,
            "\xD1"
            "AB\xE7");
        byHandle.post();
        auto byImage = DbfTable::open(dir.path(), "B", Access::Exclusive);
        RecordImage image(byImage);
        image.setText(kNombre,
            "\xD1"
            "AB\xE7");
        EXPECT_EQ(image.field(kNombre).substr(0, 4),
            "\xA5"
            "AB\x87");
        byImage.appendRecord(image);
    }
    EXPECT_EQ(withoutDate(readFile(dir / "A.DBF")), withoutDate(readFile(dir / "B.DBF")));
}

TEST(DbfTable, TextViewsReadWhatTextReads)
{
    TempDir dir;
    writeFieldByField(dir.path(), {});
    DbfTable::create(dir.path(), "OEM", layout()).close();
    setDriverByte(dir / "OEM.DBF", 0x37);
    {
        auto t = DbfTable::open(dir.path(), "OEM", Access::Exclusive);
        for (const Row& r : rows()) {
            t.append();
            fill(t, r);
            t.post();
        }
    }
    for (const char* table : { "T", "OEM" }) {
        SCOPED_TRACE(table);
        auto t = DbfTable::open(dir.path(), table, Access::Shared);
        std::size_t records = 0;
        for (t.first(); !t.eof(); t.next(), ++records) {
            std::vector<std::string_view> views;
            for (std::size_t f = 0; f < 5; ++f)
                views.push_back(t.textView(f));
            // Every view of the record still holds its text once the others are read.
            for (std::size_t f = 0; f < 5; ++f)
                EXPECT_EQ(views[f], t.text(f)) << "record " << records << ", field " << f;
        }
        EXPECT_EQ(records, rows().size());
    }
}
