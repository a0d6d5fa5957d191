// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target for the solution export's reading of SOLUC and the lookup tables.
// The first byte of an input picks which of the six tables the remaining bytes
// become; the other five are valid tables of a small centre. The export then writes
// SolucioHorari.xml into the scratch folder. The outcome is the file or a
// tramazel::Error, never a crash, hang, leak or sanitizer report.
#include "Error.h"
#include "FuzzFiles.h"
#include "ZelvanoTables.h"
#include "dbf/DbfTable.h"
#include "solution_export/SolutionExport.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace fs = std::filesystem;
namespace z = tramazel::zelvano;
using namespace tramazel;
using dbf::DbfTable;

constexpr std::array<std::string_view, 6> kTables = { z::soluc::kTable, z::proft::kTable, z::aulat::kTable,
    z::asignomt::kTable, z::grupost::kTable, z::diashorast::kTable };

void writeRows(const fs::path& dir, std::string_view table, const std::vector<dbf::FieldSpec>& fields,
    const std::vector<std::vector<std::pair<std::string_view, std::string>>>& rows)
{
    DbfTable t = DbfTable::create(dir, table, fields);
    for (const auto& row : rows) {
        t.append();
        for (const auto& [field, value] : row)
            t.setText(field, value);
        t.post();
    }
    t.close();
}

// A small centre whose SOLUC rows find their teacher, group, room, subject and slot,
// save for a few that do not (each lookup's "not found" path), one without a day and
// one activity. Texts are cp1252.
std::array<std::string, kTables.size()> validTables()
{
    const fs::path dir = tramazel::fuzz::scratchSubdir("template");
    using Row = std::vector<std::pair<std::string_view, std::string>>;
    writeRows(dir, z::proft::kTable, z::proft::fields(),
        { Row { { z::proft::kAbrev, "ANA" }, { z::proft::kCodi, "1001" } },
            Row { { z::proft::kAbrev, "PEP" }, { z::proft::kCodi, "1002" } } });
    writeRows(dir, z::aulat::kTable, z::aulat::fields(),
        { Row { { z::aulat::kAbrev, "A1" }, { z::aulat::kCodi, "2001" } },
            Row { { z::aulat::kAbrev, "A2" }, { z::aulat::kCodi, "2002" } } });
    writeRows(dir, z::grupost::kTable, z::grupost::fields(),
        { Row {
              { z::grupost::kAbrev, "1A" }, { z::grupost::kCodi, "3001" }, { z::grupost::kCodiCurs, "40" } },
            Row { { z::grupost::kAbrev, "1B" }, { z::grupost::kCodi, "3002" },
                { z::grupost::kCodiCurs, "40" } } });
    writeRows(dir, z::diashorast::kTable, z::diashorast::fields(),
        { Row { { z::diashorast::kDiHo, "1" }, { z::diashorast::kDia, "1" },
              { z::diashorast::kHoraDesde, "08:00" }, { z::diashorast::kMinutos, "55" } },
            Row { { z::diashorast::kDiHo, "2" }, { z::diashorast::kDia, "2" },
                { z::diashorast::kHoraDesde, "09:00" }, { z::diashorast::kMinutos, "30" } } });
    {
        DbfTable t = DbfTable::create(dir, z::asignomt::kTable, z::asignomt::fields());
        for (const auto& [cod, codi, activity] : { std::tuple { "MA", "5001", false },
                 std::tuple { "CA", "5002", false }, std::tuple { "GU\xC0", "6001", true } }) {
            t.append();
            t.setText(z::asignomt::kCod, cod);
            t.setText(z::asignomt::kCodi, codi);
            t.setText(z::asignomt::kHoras, "4");
            t.setLogical(z::asignomt::kEsTarea, activity);
            t.post();
        }
        t.close();
    }
    {
        struct SolucRow {
            int dia;
            double hora;
            const char* prof;
            const char* grupo;
            const char* aula;
            const char* asig;
            const char* tarea;
        };
        DbfTable t = DbfTable::create(dir, z::soluc::kTable, z::soluc::fields());
        for (const SolucRow& r : { SolucRow { 1, 1.0, "ANA", "1A", "A1", "MA", "" },
                 SolucRow { 1, 1.5, "PEP", "1B", "A2", "CA", "" },
                 SolucRow { 0, 2.0, "ANA", "1A", "A1", "MA", "" },
                 SolucRow { 2, 1.0, "ZZZ", "9Z", "A9", "XX", "" },
                 SolucRow { 2, 2.0, "PEP", "", "", "", "GU\xC0" } }) {
            t.append();
            if (r.dia != 0)
                t.setInteger(z::soluc::kDia, r.dia);
            t.setNumber(z::soluc::kHora, r.hora);
            t.setText(z::soluc::kProf, r.prof);
            t.setText(z::soluc::kCodGrupo, r.grupo);
            t.setText(z::soluc::kAula, r.aula);
            t.setText(z::soluc::kAsig, r.asig);
            t.setText(z::soluc::kTarea, r.tarea);
            t.post();
        }
        t.close();
    }
    std::array<std::string, kTables.size()> bytes;
    for (std::size_t i = 0; i < kTables.size(); ++i)
        bytes[i] = tramazel::fuzz::readFile(dir / (std::string(kTables[i]) + ".DBF"));
    return bytes;
}

const std::array<std::string, kTables.size()>& tables()
{
    static const std::array<std::string, kTables.size()> bytes = validTables();
    return bytes;
}

fs::path tableFile(const fs::path& dir, std::size_t table)
{
    return dir / (std::string(kTables[table]) + ".DBF");
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // TRAMAZEL_FUZZ_WRITE_SEEDS=DIR writes one seed per table there: its selector
    // byte and the valid table (how corpus/fuzz_solution_export was made).
    const auto& valid = tables();
    if (const char* seeds = std::getenv("TRAMAZEL_FUZZ_WRITE_SEEDS")) {
        for (std::size_t i = 0; i < kTables.size(); ++i) {
            std::string seed(1, static_cast<char>(i));
            seed += valid[i];
            tramazel::fuzz::writeFile(fs::path(seeds) / (std::string(kTables[i]) + ".seed"), seed);
        }
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const fs::path qtemp = [] {
        const fs::path dir = tramazel::fuzz::scratchSubdir("qtemp");
        for (std::size_t i = 0; i < kTables.size(); ++i)
            tramazel::fuzz::writeFile(tableFile(dir, i), tables()[i]);
        return dir;
    }();
    static const fs::path output = tramazel::fuzz::scratchSubdir("out") / solution_export::kSolutionFileName;
    // The table the previous input replaced gets its valid bytes back.
    static std::size_t replaced = 0;
    if (size == 0)
        return 0;
    tramazel::fuzz::writeFile(tableFile(qtemp, replaced), tables()[replaced]);
    replaced = data[0] % kTables.size();
    tramazel::fuzz::writeFile(tableFile(qtemp, replaced), data + 1, size - 1);
    try {
        const solution_export::ExportSummary summary = solution_export::exportSolution(qtemp, output);
        volatile std::size_t sink = summary.sessions + summary.rowsWithoutDay;
        (void)sink;
    } catch (const Error&) {
    }
    return 0;
}
