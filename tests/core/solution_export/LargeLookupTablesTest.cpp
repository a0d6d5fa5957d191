// SPDX-License-Identifier: GPL-3.0-or-later
// The export against lookup tables large enough to be read side by side: the same
// sessions, and the same error, as reading them one after the other gives.
#include "ExportTables.h"
#include "TestSupport.h"

#include "Error.h"
#include "ZelvanoTables.h"
#include "dbf/DbfTable.h"
#include "solution_export/SolutionExport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <set>
#include <string>
#include <string_view>
#include <vector>

namespace tramazel::test {
namespace {

namespace fs = std::filesystem;
namespace z = tramazel::zelvano;
using namespace exporting;
using solution_export::exportSolution;

/// One lookup table: the fields set in each row, and the rows.
struct LookupTable {
    std::string_view name;
    std::vector<dbf::FieldSpec> fields;
    std::vector<std::string_view> columns;
    std::vector<std::vector<std::string>> rows;
};

// Every table of a centre with thousands of rows (ASIGNOMT alone holds megabytes):
// the codes SOLUC asks for come first, then many rows repeating them or holding codes
// nobody asks for, then a blank code and one code found only in the last row.
std::vector<LookupTable> largeCentre()
{
    std::vector<LookupTable> tables = {
        { z::proft::kTable, z::proft::fields(), { z::proft::kAbrev, z::proft::kCodi }, {} },
        { z::aulat::kTable, z::aulat::fields(), { z::aulat::kAbrev, z::aulat::kCodi }, {} },
        { z::asignomt::kTable, z::asignomt::fields(), { z::asignomt::kCod, z::asignomt::kCodi }, {} },
        { z::grupost::kTable, z::grupost::fields(),
            { z::grupost::kAbrev, z::grupost::kCodi, z::grupost::kCodiCurs }, {} },
        { z::diashorast::kTable, z::diashorast::fields(),
            { z::diashorast::kDiHo, z::diashorast::kDia, z::diashorast::kHoraDesde, z::diashorast::kMinutos },
            {} },
    };
    const std::size_t fillers[] = { 3000, 3000, 20000, 3000, 10 };
    for (std::size_t t = 0; t < tables.size(); ++t) {
        auto& rows = tables[t].rows;
        const std::size_t width = tables[t].columns.size();
        const auto row = [&](const std::string& key, const std::string& value) {
            std::vector<std::string> r(width, value);
            r[0] = key;
            rows.push_back(std::move(r));
        };
        if (t == 4) { // DIASHORAST: the slots of SOLUC's rows
            for (const char* key : { "11", "12", "13" })
                row(key, std::string("s") + key);
        } else {
            row("FST", "first");
        }
        for (std::size_t i = 0; i < fillers[t]; ++i)
            row(i % 2 ? "FST" : "F" + std::to_string(i % 997), "filler");
        row("", "blank");
        row("", "blank again");
        row("LAST", "last");
    }
    return tables;
}

void writeTable(const fs::path& dir, const LookupTable& table, std::string_view without = {})
{
    std::vector<dbf::FieldSpec> fields = table.fields;
    std::erase_if(fields, [&](const dbf::FieldSpec& f) { return f.name == without; });
    dbf::DbfTable t = dbf::DbfTable::create(dir, table.name, fields);
    for (const auto& row : table.rows) {
        t.append();
        for (std::size_t c = 0; c < table.columns.size(); ++c) {
            if (table.columns[c] != without)
                t.setText(table.columns[c], row[c]);
        }
        t.post();
    }
    t.close();
}

const std::vector<SolucRow> kSoluc = {
    { 1, 1, "FST", "FST", "FST", "FST", "" },
    { 1, 2, "LAST", "LAST", "LAST", "LAST", "" },
    { 1, 3, "", "", "", "", "" }, // blank codes: the tables hold them too, but they find nothing
    { 1, 1, "NONE", "NONE", "NONE", "NONE", "" },
};

TEST(SolutionExport, LargeLookupTablesGiveTheFirstRowOfEveryCode)
{
    TempDir qtemp;
    for (const LookupTable& table : largeCentre())
        writeTable(qtemp.path(), table);
    writeSoluc(qtemp.path(), kSoluc);
    const fs::path output = qtemp / "out.xml";
    const auto summary = exportSolution(qtemp.path(), output);
    const std::vector<Session> expected = {
        { "first", "first", "first", "s11", "s11", "s11", "first", "first", "" },
        { "last", "last", "last", "s12", "s12", "s12", "last", "last", "" },
        { "", "", "", "s13", "s13", "s13", "", "", "" },
        { "", "", "", "s11", "s11", "s11", "", "", "" },
    };
    EXPECT_EQ(readSessions(output), expected);
    // NONE, missed by the teacher, group, room and subject lookups.
    EXPECT_EQ(summary.lookupsNotFound.kinds().size(), 4u);
}

// Puts "abc" into the first SOLUC row's HORA, a number field: reading it fails.
void spoilFirstHora(const fs::path& qtemp)
{
    std::size_t horaOffset = 0;
    {
        const dbf::DbfTable soluc = dbf::DbfTable::open(qtemp, z::soluc::kTable, dbf::Access::Shared);
        horaOffset = soluc.storedField(soluc.fieldIndex(z::soluc::kHora)).offset;
    }
    std::fstream file(qtemp / "SOLUC.DBF", std::ios::in | std::ios::out | std::ios::binary);
    unsigned char header[12] = {};
    file.read(reinterpret_cast<char*>(header), sizeof header);
    const std::size_t headerLength = header[8] + 256u * header[9]; // bytes 8-9, little-endian
    file.seekp(static_cast<std::streamoff>(headerLength + horaOffset));
    file.write("abc", 3);
    ASSERT_TRUE(file.good());
}

struct FailureCase {
    const char* name;
    std::vector<std::pair<std::string_view, std::string_view>> withoutField; ///< table, field
    bool spoilHora;
    ErrorCode code;
    std::string_view named; ///< the table the error names
};

// However many tables are damaged, the error is the one met first reading them in the
// export's order: PROFT, AULAT, ASIGNOMT, GRUPOST, DIASHORAST, then SOLUC's hours.
TEST(SolutionExport, FailureAmongLargeLookupTablesIsTheFirstInTheExportsOrder)
{
    const std::vector<FailureCase> cases = {
        { "PROFT without CODI", { { z::proft::kTable, z::proft::kCodi } }, false, ErrorCode::FieldNotFound,
            "PROFT" },
        { "ASIGNOMT without COD", { { z::asignomt::kTable, z::asignomt::kCod } }, false,
            ErrorCode::FieldNotFound, "ASIGNOMT" },
        { "ASIGNOMT, the largest, and PROFT",
            { { z::asignomt::kTable, z::asignomt::kCodi }, { z::proft::kTable, z::proft::kAbrev } }, false,
            ErrorCode::FieldNotFound, "PROFT" },
        { "GRUPOST and ASIGNOMT",
            { { z::grupost::kTable, z::grupost::kCodiCurs }, { z::asignomt::kTable, z::asignomt::kCodi } },
            false, ErrorCode::FieldNotFound, "ASIGNOMT" },
        { "DIASHORAST and AULAT",
            { { z::diashorast::kTable, z::diashorast::kMinutos }, { z::aulat::kTable, z::aulat::kCodi } },
            false, ErrorCode::FieldNotFound, "AULAT" },
        { "SOLUC's hours alone", {}, true, ErrorCode::TableCorrupt, "SOLUC" },
        { "SOLUC's hours and DIASHORAST", { { z::diashorast::kTable, z::diashorast::kDiHo } }, true,
            ErrorCode::FieldNotFound, "DIASHORAST" },
    };
    const std::vector<LookupTable> tables = largeCentre();
    for (const FailureCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir qtemp;
        for (const LookupTable& table : tables) {
            const auto damaged = std::find_if(c.withoutField.begin(), c.withoutField.end(),
                [&](const auto& d) { return d.first == table.name; });
            writeTable(qtemp.path(), table, damaged == c.withoutField.end() ? "" : damaged->second);
        }
        writeSoluc(qtemp.path(), kSoluc);
        if (c.spoilHora)
            spoilFirstHora(qtemp.path());
        const fs::path output = qtemp / "out.xml";
        const auto error = expectError(c.code, [&] { exportSolution(qtemp.path(), output); });
        ASSERT_TRUE(error);
        EXPECT_TRUE(containsFileText(error->message(), std::string(c.named) + ".DBF")) << error->message();
        EXPECT_FALSE(fs::exists(output));
    }
}

} // namespace
} // namespace tramazel::test
