// SPDX-License-Identifier: GPL-3.0-or-later
// The first four builders of the centre import over synthetic centres 1, 10, 100
// and 1000 times the sample school (scripts/gen-centre --scale N; at 1000: 287 000
// subjects, 15 000 activities, 100 000 teacher posts, 60 000 rooms, with thousands
// of subjects sharing each base code and of posts sharing each short name).
//
//   BM_LoadXml           loading the centre file through the XML service
//   BM_LoadPugixml       pugixml alone loading the same file (baseline)
//   BM_CodeGeneration    reading the attributes and deriving every code, no table
//   BM_EngineWrite       the engine writing the same records from values at hand (baseline)
//   BM_Asignaturas, BM_Profesores, BM_Aulas, BM_DiasHoras   each builder on a loaded document
//   BM_Import            load + the four builders, as the import runs them
//   BM_OneBase           N subjects on one base code: the unique-code search alone
//
// Target: BM_Import within 2x of BM_LoadPugixml + BM_EngineWrite, and each builder
// linear in its element count (10x the elements, at most 11x the time).
#include "SyntheticCentre.h"
#include "ZelvanoTables.h"
#include "centre_import/Builders.h"
#include "centre_import/CentreFormat.h"
#include "centre_import/CodeAllocator.h"
#include "centre_import/CodeRules.h"
#include "centre_import/ImportContext.h"
#include "dbf/DbfTable.h"
#include "dbf/TableFiles.h"
#include "xml/XmlDocument.h"

#include <benchmark/benchmark.h>
#include <pugixml.hpp>

#include <array>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <tuple>
#include <vector>

namespace {

namespace fs = std::filesystem;
namespace z = tramazel::zelvano;
namespace g = tramazel::centre_import::gestib;
namespace rules = tramazel::centre_import::rules;
using tramazel::Warnings;
using tramazel::centre_import::CodeAllocator;
using tramazel::centre_import::ImportContext;
using tramazel::centre_import::ImportPrompts;
using tramazel::dbf::DbfTable;
using tramazel::xml::XmlDocument;
using tramazel::xml::XmlElement;

const fs::path& workDir()
{
    static const fs::path dir = [] {
        fs::path d = fs::temp_directory_path() / "tramazel-bench-import";
        fs::create_directories(d / "qtemp");
        return d;
    }();
    return dir;
}

fs::path qtemp()
{
    return workDir() / "qtemp";
}

class NoPrompts : public ImportPrompts {
public:
    void editCourseLevels(tramazel::centre_import::CourseLevelGrid&) override { }
    bool askQuestion(std::string_view, std::string_view) override { return true; }
};

// The records the builders write, as texts.
struct Records {
    std::vector<std::array<std::string, 6>> asignomt; // COD CODLARGO NOMBRE CODI HORAS CODICURS
    std::size_t subjects = 0; // the first `subjects` rows are subjects, the rest activities
    std::vector<std::array<std::string, 3>> proft; // ABREV NOMBRE CODI
    std::vector<std::array<std::string, 3>> aulat; // ABREV NOMBRE CODI
};

// What the builders compute before they store anything: every attribute read and
// every code derived. `sink` sees each record's texts while they live.
using Row = std::array<std::string_view, 6>;

template <typename Sink> void generateCodes(const XmlDocument& doc, Sink&& sink)
{
    CodeAllocator subjectCodes;
    for (const XmlElement& e : doc.select(g::kPathMateria)) {
        const std::string codi = e.attribute(g::kAttrCodi);
        const std::string curs = e.attribute(g::kAttrCurs);
        const std::string name = e.attribute(g::kAttrDescripcio);
        const std::string shortName = e.attribute(g::kAttrCurta);
        const std::string longCode = rules::subjectLongCode(name, shortName);
        const std::string base = rules::subjectBaseCode(longCode);
        const std::string code = subjectCodes.take(base, base);
        sink('S', Row { code, longCode, name, codi, "4", curs });
    }
    for (const XmlElement& e : doc.select(g::kPathActivitat)) {
        const std::string codi = e.attribute(g::kAttrCodi);
        const std::string name = e.attribute(g::kAttrDescripcio);
        const std::string shortName = e.attribute(g::kAttrCurta);
        sink('A', Row { codi, rules::activityLongCode(shortName), name, codi, "4", "" });
    }
    CodeAllocator abbreviations;
    for (const XmlElement& e : doc.select(g::kPathPlaca)) {
        const std::string codi = e.attribute(g::kAttrCodi);
        const std::string description = rules::teacherDescription(e.attribute(g::kAttrDescripcio));
        const std::string shortName = e.attribute(g::kAttrCurta);
        const std::string abbreviation
            = abbreviations.take(rules::teacherCandidate(shortName), rules::kTeacherReplacementBase);
        sink('P', Row { abbreviation, description, codi, "", "", "" });
    }
    for (const XmlElement& e : doc.select(g::kPathAula)) {
        const std::string codi = e.attribute(g::kAttrCodi);
        const std::string description = e.attribute(g::kAttrDescripcio);
        sink('R', Row { rules::lastFour(codi), description, codi, "", "", "" });
    }
}

Records collectRecords(const XmlDocument& doc)
{
    Records r;
    generateCodes(doc, [&r](char kind, const Row& row) {
        switch (kind) {
        case 'S':
        case 'A':
            r.asignomt.push_back({ std::string(row[0]), std::string(row[1]), std::string(row[2]),
                std::string(row[3]), std::string(row[4]), std::string(row[5]) });
            if (kind == 'S')
                r.subjects = r.asignomt.size();
            break;
        case 'P':
            r.proft.push_back({ std::string(row[0]), std::string(row[1]), std::string(row[2]) });
            break;
        default:
            r.aulat.push_back({ std::string(row[0]), std::string(row[1]), std::string(row[2]) });
            break;
        }
    });
    return r;
}

void writeRecords(const Records& r, const fs::path& dir)
{
    {
        tramazel::dbf::deleteTable(dir, z::asignomt::kTable);
        DbfTable t = DbfTable::create(dir, z::asignomt::kTable, z::asignomt::fields());
        for (std::size_t i = 0; i < r.asignomt.size(); ++i) {
            t.append();
            for (std::size_t f = 0; f < 6; ++f)
                t.setText(f, r.asignomt[i][f]);
            t.setLogical(6, i >= r.subjects);
            t.post();
        }
    }
    for (auto [name, rows, fields] : { std::tuple { z::proft::kTable, &r.proft, z::proft::fields() },
             std::tuple { z::aulat::kTable, &r.aulat, z::aulat::fields() } }) {
        tramazel::dbf::deleteTable(dir, name);
        DbfTable t = DbfTable::create(dir, name, fields);
        for (const auto& row : *rows) {
            t.append();
            t.setText(std::size_t { 0 }, row[0]);
            t.setText(std::size_t { 1 }, row[1]);
            t.setText(std::size_t { 4 }, row[2]);
            t.post();
        }
    }
    tramazel::dbf::deleteTable(dir, z::diashorast::kTable);
    DbfTable::create(dir, z::diashorast::kTable, z::diashorast::fields()).close();
}

void scales(benchmark::internal::Benchmark* b)
{
    b->Arg(1)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond);
}

void BM_LoadXml(benchmark::State& state)
{
    const fs::path file = tramazel::bench::centreFile(workDir(), static_cast<int>(state.range(0)));
    for (auto _ : state) {
        XmlDocument doc = XmlDocument::load(file);
        benchmark::DoNotOptimize(doc);
    }
    state.SetBytesProcessed(
        static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(fs::file_size(file)));
}
BENCHMARK(BM_LoadXml)->Apply(scales);

void BM_LoadPugixml(benchmark::State& state)
{
    const fs::path file = tramazel::bench::centreFile(workDir(), static_cast<int>(state.range(0)));
    for (auto _ : state) {
        pugi::xml_document doc;
        pugi::xml_parse_result result = doc.load_file(file.c_str());
        if (!result)
            state.SkipWithError("pugixml could not load the file");
        benchmark::DoNotOptimize(doc);
    }
    state.SetBytesProcessed(
        static_cast<std::int64_t>(state.iterations()) * static_cast<std::int64_t>(fs::file_size(file)));
}
BENCHMARK(BM_LoadPugixml)->Apply(scales);

void BM_CodeGeneration(benchmark::State& state)
{
    const XmlDocument& doc = tramazel::bench::loadedCentre(workDir(), static_cast<int>(state.range(0)));
    std::size_t elements = 0;
    for (auto _ : state) {
        elements = 0;
        generateCodes(doc, [&elements](char, const Row& row) {
            benchmark::DoNotOptimize(row[0].data());
            ++elements;
        });
    }
    state.counters["elements"] = static_cast<double>(elements);
}
BENCHMARK(BM_CodeGeneration)->Apply(scales);

void BM_EngineWrite(benchmark::State& state)
{
    const Records r
        = collectRecords(tramazel::bench::loadedCentre(workDir(), static_cast<int>(state.range(0))));
    for (auto _ : state)
        writeRecords(r, qtemp());
    state.counters["records"] = static_cast<double>(r.asignomt.size() + r.proft.size() + r.aulat.size());
}
BENCHMARK(BM_EngineWrite)->Apply(scales);

template <void (*Builder)(ImportContext&)>
void runBuilder(benchmark::State& state, std::string_view path1, std::string_view path2 = {})
{
    const XmlDocument& doc = tramazel::bench::loadedCentre(workDir(), static_cast<int>(state.range(0)));
    NoPrompts prompts;
    for (auto _ : state) {
        Warnings warnings;
        ImportContext ctx { doc, qtemp(), prompts, warnings };
        Builder(ctx);
    }
    std::size_t elements = doc.select(path1).size() + (path2.empty() ? 0 : doc.select(path2).size());
    state.counters["elements"] = static_cast<double>(elements);
    // CPU time per element in ns (the counter divides seconds by elements * 1e-9).
    if (elements > 0)
        state.counters["ns_per_element"] = benchmark::Counter(static_cast<double>(elements) * 1e-9,
            benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_Asignaturas(benchmark::State& state)
{
    runBuilder<&tramazel::centre_import::TransformarAsignaturas>(state, g::kPathMateria, g::kPathActivitat);
}
BENCHMARK(BM_Asignaturas)->Apply(scales);

void BM_Profesores(benchmark::State& state)
{
    runBuilder<&tramazel::centre_import::TransformarProfesores>(state, g::kPathPlaca);
}
BENCHMARK(BM_Profesores)->Apply(scales);

void BM_Aulas(benchmark::State& state)
{
    runBuilder<&tramazel::centre_import::TransformarAulas>(state, g::kPathAula);
}
BENCHMARK(BM_Aulas)->Apply(scales);

void BM_DiasHoras(benchmark::State& state)
{
    NoPrompts prompts;
    const XmlDocument& doc = tramazel::bench::loadedCentre(workDir(), 1);
    for (auto _ : state) {
        Warnings warnings;
        ImportContext ctx { doc, qtemp(), prompts, warnings };
        tramazel::centre_import::TransformarDiasHoras(ctx);
    }
}
BENCHMARK(BM_DiasHoras)->Unit(benchmark::kMicrosecond);

void BM_Import(benchmark::State& state)
{
    const fs::path file = tramazel::bench::centreFile(workDir(), static_cast<int>(state.range(0)));
    NoPrompts prompts;
    for (auto _ : state) {
        const XmlDocument doc = XmlDocument::load(file);
        Warnings warnings;
        ImportContext ctx { doc, qtemp(), prompts, warnings };
        tramazel::centre_import::TransformarAsignaturas(ctx);
        tramazel::centre_import::TransformarProfesores(ctx);
        tramazel::centre_import::TransformarAulas(ctx);
        tramazel::centre_import::TransformarDiasHoras(ctx);
    }
}
BENCHMARK(BM_Import)->Apply(scales);

// N subjects all on the base "Ma" (in varying letter case): the search for the
// lowest free suffix must not restart from 1.
void BM_OneBase(benchmark::State& state)
{
    const auto n = static_cast<std::size_t>(state.range(0));
    for (auto _ : state) {
        CodeAllocator codes;
        for (std::size_t i = 0; i < n; ++i)
            benchmark::DoNotOptimize(codes.take(i % 2 ? "Ma" : "MA", i % 2 ? "Ma" : "MA"));
    }
    state.counters["ns_per_code"] = benchmark::Counter(static_cast<double>(n) * 1e-9,
        benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}
BENCHMARK(BM_OneBase)->Arg(10'000)->Arg(100'000)->Arg(1'000'000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
