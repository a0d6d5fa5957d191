// SPDX-License-Identifier: GPL-3.0-or-later
// The course, group, catalogue and subject-line builders over synthetic centres 1,
// 10, 100 and 1000 times the sample school (scripts/gen-centre --scale N; at 1000:
// 14 000 courses, 38 000 groups, 302 000 ASIGNOMT records, about 959 000 lines).
//
//   BM_Cursos   TransformarCursos (CURSOST, every line's level typed in place,
//               GRUPOST, MATIB with its index) on tables the earlier builders wrote
//   BM_Lineas   TransformarLineas (ASIGT) after the builders before it
//   BM_Import   all six builders in their order, on the loaded document
//
// Each reports the records it wrote and the time per record ("ns_per_line" for
// ASIGT lines). Target: every builder linear in its input, the time per ASIGT line
// flat from 10x to 1000x.
#include "SyntheticCentre.h"
#include "ZelvanoTables.h"
#include "centre_import/Builders.h"
#include "centre_import/ImportContext.h"
#include "dbf/DbfTable.h"
#include "xml/XmlDocument.h"

#include <benchmark/benchmark.h>

#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <string>

namespace {

namespace fs = std::filesystem;
namespace z = tramazel::zelvano;
using tramazel::Warnings;
using tramazel::centre_import::ImportContext;
using tramazel::centre_import::ImportPrompts;
using tramazel::dbf::DbfTable;
using tramazel::xml::XmlDocument;

const fs::path& workDir()
{
    static const fs::path dir = [] {
        fs::path d = fs::temp_directory_path() / "tramazel-bench-courses";
        fs::create_directories(d);
        return d;
    }();
    return dir;
}

// A person who types a level and a course number on every line and answers OK.
class TypingPrompts : public ImportPrompts {
public:
    void editCourseLevels(DbfTable& cursost) override
    {
        const std::size_t nivel = cursost.fieldIndex(z::cursost::kNivel);
        const std::size_t curso = cursost.fieldIndex(z::cursost::kCurso);
        for (cursost.first(); !cursost.eof(); cursost.next()) {
            cursost.edit();
            cursost.setText(nivel, "ESO");
            cursost.setText(curso, "1");
            cursost.post();
        }
    }
    bool askQuestion(std::string_view, std::string_view) override { return true; }
};

std::uint32_t records(const fs::path& dir, std::string_view table)
{
    return DbfTable::open(dir, table, tramazel::dbf::Access::Shared).recordCount();
}

// A timetable directory per scale holding what the builders before `upTo` wrote.
fs::path preparedDir(int scale, void (*upTo)(ImportContext&))
{
    const fs::path dir = workDir() / ("qtemp-" + std::to_string(scale));
    fs::remove_all(dir);
    fs::create_directories(dir);
    TypingPrompts prompts;
    Warnings warnings;
    ImportContext ctx { tramazel::bench::loadedCentre(workDir(), scale), dir, prompts, warnings };
    for (const auto& step : tramazel::centre_import::builderSequence()) {
        if (step.run == upTo)
            break;
        step.run(ctx);
    }
    return dir;
}

void reportPerRecord(benchmark::State& state, double written, const char* name)
{
    state.counters[name] = written;
    state.counters["ns_per_record"] = benchmark::Counter(
        written * 1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_Cursos(benchmark::State& state)
{
    const int scale = static_cast<int>(state.range(0));
    const fs::path dir = preparedDir(scale, &tramazel::centre_import::TransformarCursos);
    TypingPrompts prompts;
    Warnings warnings;
    ImportContext ctx { tramazel::bench::loadedCentre(workDir(), scale), dir, prompts, warnings };
    for (auto _ : state)
        tramazel::centre_import::TransformarCursos(ctx);
    const double written = static_cast<double>(
        records(dir, z::cursost::kTable) + records(dir, z::grupost::kTable) + records(dir, z::matib::kTable));
    reportPerRecord(state, written, "records");
}

void BM_Lineas(benchmark::State& state)
{
    const int scale = static_cast<int>(state.range(0));
    const fs::path dir = preparedDir(scale, &tramazel::centre_import::TransformarLineas);
    TypingPrompts prompts;
    Warnings warnings;
    ImportContext ctx { tramazel::bench::loadedCentre(workDir(), scale), dir, prompts, warnings };
    for (auto _ : state)
        tramazel::centre_import::TransformarLineas(ctx);
    const double lines = static_cast<double>(records(dir, z::asigt::kTable));
    state.counters["lines"] = lines;
    state.counters["ns_per_line"] = benchmark::Counter(
        lines * 1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void BM_Import(benchmark::State& state)
{
    const int scale = static_cast<int>(state.range(0));
    const fs::path dir = workDir() / ("qtemp-import-" + std::to_string(scale));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const XmlDocument& doc = tramazel::bench::loadedCentre(workDir(), scale);
    TypingPrompts prompts;
    for (auto _ : state) {
        Warnings warnings;
        ImportContext ctx { doc, dir, prompts, warnings };
        for (const auto& step : tramazel::centre_import::builderSequence())
            step.run(ctx);
    }
    const double lines = static_cast<double>(records(dir, z::asigt::kTable));
    state.counters["lines"] = lines;
    state.counters["ns_per_line"] = benchmark::Counter(
        lines * 1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

void scales(benchmark::internal::Benchmark* b)
{
    b->Arg(1)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();
}

BENCHMARK(BM_Cursos)->Apply(scales);
BENCHMARK(BM_Lineas)->Apply(scales);
BENCHMARK(BM_Import)->Apply(scales);

} // namespace

BENCHMARK_MAIN();
