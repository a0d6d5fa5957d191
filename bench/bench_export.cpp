// SPDX-License-Identifier: GPL-3.0-or-later
// The solution export over a large solution: 1e6 SOLUC rows against the lookup tables
// the centre import writes for a centre 1000 times the sample school
// (scripts/gen-centre --scale 1000: 100 000 teacher posts, 38 000 groups, 60 000 rooms,
// 302 000 subjects and activities), plus a DIASHORAST of 40 000 rows whose first 40
// are the week's slots. SOLUC draws its codes at random from those tables' rows.
//
//   BM_Export      exportSolution as the application runs it
//   BM_Baseline    what the export cannot avoid: reading every SOLUC row with the
//                  engine, plus pugixml building and saving the same document from
//                  values already at hand
//   BM_ExportFewSessions  exportSolution of a SOLUC of 1e4 rows against the same
//                  lookup tables: their reading, not the sessions, is the cost
//
// The ratio Export / Baseline is the cost of the lookups and conversions; target 1.5.
#include "SyntheticCentre.h"
#include "ZelvanoTables.h"
#include "centre_import/Builders.h"
#include "centre_import/ImportContext.h"
#include "dbf/DbfTable.h"
#include "solution_export/SolutionExport.h"
#include "xml/XmlDocument.h"

#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include <array>
#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
namespace z = tramazel::zelvano;
using tramazel::dbf::Access;
using tramazel::dbf::DbfTable;

constexpr std::size_t kSolucRows = 1'000'000;
constexpr std::size_t kFewSolucRows = 10'000;
constexpr int kScale = 1000;
constexpr std::size_t kSlots = 40 * kScale;

struct Data {
    fs::path root;
    fs::path qtemp;
    fs::path fewQtemp; // the same lookup tables, a small SOLUC
    fs::path outDir;
    std::vector<std::array<std::string, 9>> sessions; // the export's result, for the baseline
};

class NoPrompts : public tramazel::centre_import::ImportPrompts {
public:
    void editCourseLevels(tramazel::centre_import::CourseLevelGrid&) override { }
    bool askQuestion(std::string_view, std::string_view) override { return false; }
};

// PROFT, AULAT, ASIGNOMT, CURSOST, GRUPOST exactly as the import writes them.
void importCentre(const fs::path& root, const fs::path& qtemp)
{
    const fs::path centre = root / "centre.xml";
    tramazel::bench::generateCentre(kScale, centre);
    const tramazel::xml::XmlDocument doc = tramazel::xml::XmlDocument::load(centre);
    NoPrompts prompts;
    tramazel::Warnings warnings;
    tramazel::centre_import::ImportContext ctx { doc, qtemp, prompts, warnings };
    tramazel::centre_import::TransformarAsignaturas(ctx);
    tramazel::centre_import::TransformarProfesores(ctx);
    tramazel::centre_import::TransformarAulas(ctx);
    tramazel::centre_import::TransformarCursos(ctx);
}

std::vector<std::string> column(const fs::path& dir, std::string_view table, std::string_view field,
    std::string_view onlyWhenLogical = {}, bool logicalValue = false)
{
    std::vector<std::string> values;
    DbfTable t = DbfTable::open(dir, table, Access::Shared);
    for (t.first(); !t.eof(); t.next())
        if (onlyWhenLogical.empty() || t.logical(onlyWhenLogical) == logicalValue)
            values.push_back(t.text(field));
    return values;
}

void writeSolution(const fs::path& dir, std::size_t solucRows, bool withSlots)
{
    std::mt19937 rng(20261210);
    const auto teachers = column(dir, z::proft::kTable, z::proft::kAbrev);
    const auto groups = column(dir, z::grupost::kTable, z::grupost::kAbrev);
    const auto rooms = column(dir, z::aulat::kTable, z::aulat::kAbrev);
    const auto subjects = column(dir, z::asignomt::kTable, z::asignomt::kCod, z::asignomt::kEsTarea, false);
    const auto activities = column(dir, z::asignomt::kTable, z::asignomt::kCod, z::asignomt::kEsTarea, true);
    const auto pick
        = [&rng](const std::vector<std::string>& v) -> const std::string& { return v[rng() % v.size()]; };
    if (withSlots) {
        // The week's slots numbered by half hours (hours 1..7 and a break at 3.5),
        // then rows no key reaches.
        DbfTable t = DbfTable::create(dir, z::diashorast::kTable, z::diashorast::fields());
        static constexpr std::array<int, 8> kNumbers = { 1, 3, 5, 6, 7, 9, 11, 13 };
        for (std::size_t i = 0; i < kSlots; ++i) {
            const std::size_t day = 1 + i / kNumbers.size() % 5;
            const int n = kNumbers[i % kNumbers.size()];
            t.append();
            t.setText(z::diashorast::kDiHo,
                i < 40 ? std::to_string(day).append(std::to_string(n))
                       : std::string("X").append(std::to_string(i)));
            t.setText(z::diashorast::kDia, std::to_string(day));
            t.setText(z::diashorast::kHoraDesde, std::to_string(8 + n / 2) + (n % 2 ? ":00" : ":45"));
            t.setText(z::diashorast::kMinutos, n == 6 ? "30" : "55");
            t.post();
        }
    }
    DbfTable t = DbfTable::create(dir, z::soluc::kTable, z::soluc::fields());
    for (std::size_t i = 0; i < solucRows; ++i) {
        const auto r = rng() % 100;
        t.append();
        t.setInteger(z::soluc::kDia, r == 0 ? 0 : static_cast<std::int64_t>(1 + i % 5));
        t.setNumber(z::soluc::kHora, r < 3 ? 3.5 : static_cast<double>(1 + (i / 5) % 7));
        t.setText(z::soluc::kProf, pick(teachers));
        if (r < 95) {
            t.setText(z::soluc::kCodGrupo, pick(groups));
            t.setText(z::soluc::kAula, pick(rooms));
            t.setText(z::soluc::kAsig, pick(subjects));
        } else {
            t.setText(z::soluc::kTarea, pick(activities));
        }
        t.post();
    }
}

// The folder of this run, removed at exit; kept apart from Data, which is destroyed
// before handlers registered while it was being built run.
fs::path g_workDir;
void removeWorkDir()
{
    std::error_code ignored;
    fs::remove_all(g_workDir, ignored);
}

Data& data()
{
    static Data d = [] {
        Data x;
        x.root = fs::temp_directory_path()
            / ("tramazel-bench-export-" + std::to_string(std::random_device {}()));
        x.qtemp = x.root / "qtemp";
        g_workDir = x.root;
        x.outDir = x.root / "out";
        fs::create_directories(x.qtemp);
        fs::create_directories(x.outDir);
        const auto start = std::chrono::steady_clock::now();
        importCentre(x.root, x.qtemp);
        writeSolution(x.qtemp, kSolucRows, true);
        x.fewQtemp = x.root / "qtemp-few";
        fs::create_directories(x.fewQtemp);
        for (const auto& entry : fs::directory_iterator(x.qtemp))
            fs::copy_file(entry.path(), x.fewQtemp / entry.path().filename());
        writeSolution(x.fewQtemp, kFewSolucRows, false);
        std::cerr << "tables written in "
                  << std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count()
                  << " s\n";

        // One export gives the values the baseline writes.
        tramazel::solution_export::exportSolution(x.qtemp, x.outDir / "SolucioHorari.xml");
        pugi::xml_document parsed;
        parsed.load_file((x.outDir / "SolucioHorari.xml").c_str());
        for (const pugi::xml_node s : parsed.child("HORARI").child("SESSIONS").children()) {
            std::array<std::string, 9> values;
            std::size_t i = 0;
            for (const pugi::xml_attribute a : s.attributes())
                values[i++] = a.value();
            x.sessions.push_back(std::move(values));
        }
        // TRAMAZEL_BENCH_KEEP leaves the tables behind for profiling single runs.
        if (std::getenv("TRAMAZEL_BENCH_KEEP"))
            std::cerr << "tables kept in " << x.qtemp << "\n";
        else
            std::atexit(removeWorkDir);
        return x;
    }();
    return d;
}

// Peak resident memory of the process in MiB (Linux; 0 elsewhere).
double peakRssMiB()
{
    std::ifstream status("/proc/self/status");
    std::string key;
    while (status >> key) {
        if (key == "VmHWM:") {
            double kib = 0;
            status >> kib;
            return kib / 1024.0;
        }
        status.ignore(1 << 20, '\n');
    }
    return 0;
}

void BM_Export(benchmark::State& state)
{
    Data& d = data();
    std::size_t sessions = 0;
    for (auto _ : state) {
        const auto summary
            = tramazel::solution_export::exportSolution(d.qtemp, d.outDir / "SolucioHorari.xml");
        sessions = summary.sessions;
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kSolucRows));
    state.counters["sessions"] = static_cast<double>(sessions);
    state.counters["peak_rss_MiB"] = peakRssMiB();
}

void BM_Baseline(benchmark::State& state)
{
    Data& d = data();
    static constexpr std::array<const char*, 9> kNames
        = { "placa", "curs", "grup", "dia", "hora", "durada", "aula", "materia", "activitat" };
    for (auto _ : state) {
        {
            DbfTable soluc = DbfTable::open(d.qtemp, z::soluc::kTable, Access::Exclusive);
            const std::size_t fields[] = { soluc.fieldIndex(z::soluc::kProf),
                soluc.fieldIndex(z::soluc::kCodGrupo), soluc.fieldIndex(z::soluc::kAula),
                soluc.fieldIndex(z::soluc::kAsig), soluc.fieldIndex(z::soluc::kTarea) };
            const std::size_t dia = soluc.fieldIndex(z::soluc::kDia);
            const std::size_t hora = soluc.fieldIndex(z::soluc::kHora);
            std::size_t bytes = 0;
            for (soluc.first(); !soluc.eof(); soluc.next()) {
                bytes += static_cast<std::size_t>(soluc.integer(dia))
                    + static_cast<std::size_t>(soluc.number(hora));
                for (std::size_t f : fields)
                    bytes += soluc.text(f).size();
            }
            benchmark::DoNotOptimize(bytes);
        }
        pugi::xml_document doc;
        pugi::xml_node list = doc.append_child("HORARI").append_child("SESSIONS");
        for (const auto& s : d.sessions) {
            pugi::xml_node e = list.append_child("SESSIO");
            for (std::size_t i = 0; i < kNames.size(); ++i)
                e.append_attribute(kNames[i]).set_value(s[i].c_str());
        }
        doc.save_file((d.outDir / "baseline.xml").c_str(), "\t", pugi::format_default, pugi::encoding_utf8);
    }
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kSolucRows));
}

void BM_ExportFewSessions(benchmark::State& state)
{
    Data& d = data();
    for (auto _ : state)
        tramazel::solution_export::exportSolution(d.fewQtemp, d.outDir / "SolucioHorari.xml");
    state.SetItemsProcessed(state.iterations() * static_cast<std::int64_t>(kFewSolucRows));
}

BENCHMARK(BM_Baseline)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_Export)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_ExportFewSessions)->Unit(benchmark::kMillisecond)->MinTime(3.0)->UseRealTime();

} // namespace

BENCHMARK_MAIN();
