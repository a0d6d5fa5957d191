// SPDX-License-Identifier: GPL-3.0-or-later
// The solution export over a large solution: 1e6 SOLUC rows against lookup tables
// 1000 times the sample school (100 000 teachers, 38 000 groups, 60 000 rooms,
// 302 000 subjects and activities, 40 000 slots), all written with the engine first.
//
//   BM_Export      exportSolution as the application runs it
//   BM_Baseline    what the export cannot avoid: reading every SOLUC row with the
//                  engine, plus pugixml building and saving the same document from
//                  values already at hand
//
// The reported ratio (Export / Baseline) is the cost of the lookups and conversions.
#include "ZelvanoTables.h"
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
constexpr std::size_t kScale = 1000;
constexpr std::size_t kTeachers = 100 * kScale;
constexpr std::size_t kGroups = 38 * kScale;
constexpr std::size_t kRooms = 60 * kScale;
constexpr std::size_t kSubjects = 287 * kScale;
constexpr std::size_t kActivities = 15 * kScale;
constexpr std::size_t kSlots = 40 * kScale;

// Four characters from a number: distinct codes for the first 36^4 numbers.
std::string code4(std::size_t n)
{
    static constexpr char kDigits[] = "0123456789ABCDEFGHIJKLMNOPQRSTUVWXYZ";
    std::string s(4, '0');
    for (int i = 3; i >= 0; --i) {
        s[static_cast<std::size_t>(i)] = kDigits[n % 36];
        n /= 36;
    }
    return s;
}

std::string number(std::size_t prefix, std::size_t n) { return std::to_string(prefix) + std::to_string(n); }

struct Data {
    fs::path root;
    fs::path qtemp;
    fs::path outDir;
    std::vector<std::array<std::string, 9>> sessions; // the export's result, for the baseline
};

void writeTables(const fs::path& dir)
{
    std::mt19937 rng(20261210);
    {
        DbfTable t = DbfTable::create(dir, z::proft::kTable, z::proft::fields());
        for (std::size_t i = 0; i < kTeachers; ++i) {
            t.append();
            t.setText(z::proft::kAbrev, code4(i));
            t.setText(z::proft::kNombre, "Professor " + std::to_string(i));
            t.setText(z::proft::kCodi, number(30, i));
            t.post();
        }
    }
    {
        DbfTable t = DbfTable::create(dir, z::grupost::kTable, z::grupost::fields());
        for (std::size_t i = 0; i < kGroups; ++i) {
            t.append();
            t.setText(z::grupost::kAbrev, code4(i));
            t.setText(z::grupost::kCodi, number(60, i));
            t.setText(z::grupost::kCodiCurs, number(10, i / 3));
            t.post();
        }
    }
    {
        DbfTable t = DbfTable::create(dir, z::aulat::kTable, z::aulat::fields());
        for (std::size_t i = 0; i < kRooms; ++i) {
            t.append();
            t.setText(z::aulat::kAbrev, code4(i));
            t.setText(z::aulat::kNombre, "Aula " + std::to_string(i));
            t.setText(z::aulat::kCodi, number(40, i));
            t.post();
        }
    }
    {
        DbfTable t = DbfTable::create(dir, z::asignomt::kTable, z::asignomt::fields());
        for (std::size_t i = 0; i < kSubjects + kActivities; ++i) {
            t.append();
            t.setText(z::asignomt::kCod, code4(i));
            t.setText(z::asignomt::kNombre, "Mat\xE8ria " + std::to_string(i));
            t.setText(z::asignomt::kCodi, number(20, i));
            t.setText(z::asignomt::kHoras, "4");
            t.setLogical(z::asignomt::kEsTarea, i >= kSubjects);
            t.post();
        }
    }
    {
        // The 40 slots of a week numbered by half hours, then rows no key reaches.
        DbfTable t = DbfTable::create(dir, z::diashorast::kTable, z::diashorast::fields());
        for (std::size_t i = 0; i < kSlots; ++i) {
            const std::size_t day = 1 + i % 5;
            const std::size_t n = 1 + (i / 5) % 14;
            t.append();
            t.setText(z::diashorast::kDiHo, i < 70 ? std::to_string(day) + std::to_string(n) : "X" + code4(i));
            t.setText(z::diashorast::kDia, std::to_string(day));
            t.setText(z::diashorast::kHoraDesde, std::to_string(8 + n / 2) + ":00");
            t.setText(z::diashorast::kMinutos, n % 2 ? "55" : "30");
            t.post();
        }
    }
    {
        DbfTable t = DbfTable::create(dir, z::soluc::kTable, z::soluc::fields());
        for (std::size_t i = 0; i < kSolucRows; ++i) {
            const auto r = rng() % 100;
            t.append();
            t.setInteger(z::soluc::kDia, r == 0 ? 0 : static_cast<std::int64_t>(1 + i % 5));
            t.setNumber(z::soluc::kHora, r == 1 ? 3.5 : static_cast<double>(1 + (i / 5) % 7));
            t.setText(z::soluc::kProf, code4(rng() % kTeachers));
            if (r < 95) {
                t.setText(z::soluc::kCodGrupo, code4(rng() % kGroups));
                t.setText(z::soluc::kAula, code4(rng() % kRooms));
                t.setText(z::soluc::kAsig, code4(rng() % kSubjects));
            } else {
                t.setText(z::soluc::kTarea, number(81, rng() % 20));
            }
            t.post();
        }
    }
}

Data& data()
{
    static Data d = [] {
        Data x;
        x.root = fs::temp_directory_path() / ("tramazel-bench-export-" + std::to_string(std::random_device {}()));
        x.qtemp = x.root / "qtemp";
        x.outDir = x.root / "out";
        fs::create_directories(x.qtemp);
        fs::create_directories(x.outDir);
        const auto start = std::chrono::steady_clock::now();
        writeTables(x.qtemp);
        std::cerr << "tables written in "
                  << std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() << " s\n";

        // One export gives the values the baseline writes.
        tramazel::xml::XmlDocument doc;
        tramazel::solution_export::exportSolution(x.qtemp, x.outDir / "SolucioHorari.xml", doc);
        pugi::xml_document parsed;
        parsed.load_file((x.outDir / "SolucioHorari.xml").c_str());
        for (const pugi::xml_node s : parsed.child("HORARI").child("SESSIONS").children()) {
            std::array<std::string, 9> values;
            std::size_t i = 0;
            for (const pugi::xml_attribute a : s.attributes())
                values[i++] = a.value();
            x.sessions.push_back(std::move(values));
        }
        std::atexit([] { fs::remove_all(data().root); });
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
        tramazel::xml::XmlDocument doc;
        const auto summary = tramazel::solution_export::exportSolution(d.qtemp, d.outDir / "SolucioHorari.xml", doc);
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
            const std::size_t fields[] = { soluc.fieldIndex(z::soluc::kProf), soluc.fieldIndex(z::soluc::kCodGrupo),
                soluc.fieldIndex(z::soluc::kAula), soluc.fieldIndex(z::soluc::kAsig),
                soluc.fieldIndex(z::soluc::kTarea) };
            const std::size_t dia = soluc.fieldIndex(z::soluc::kDia);
            const std::size_t hora = soluc.fieldIndex(z::soluc::kHora);
            std::size_t bytes = 0;
            for (soluc.first(); !soluc.eof(); soluc.next()) {
                bytes += static_cast<std::size_t>(soluc.integer(dia)) + static_cast<std::size_t>(soluc.number(hora));
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

BENCHMARK(BM_Baseline)->Unit(benchmark::kMillisecond)->MinTime(3.0);
BENCHMARK(BM_Export)->Unit(benchmark::kMillisecond)->MinTime(3.0);

} // namespace

BENCHMARK_MAIN();
