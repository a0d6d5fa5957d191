// SPDX-License-Identifier: GPL-3.0-or-later
// The course, group, catalogue and subject-line builders over synthetic centres 1,
// 10, 100 and 1000 times the sample school (scripts/gen-centre --scale N; at 1000:
// 14 000 courses, 38 000 groups, 302 000 ASIGNOMT records, about 959 000 lines).
//
//   BM_Cursos   TransformarCursos (CURSOST, every line's level typed in place,
//               GRUPOST, MATIB with its index) on tables the earlier builders wrote
//   BM_Lineas   TransformarLineas (ASIGT) after the builders before it
//   BM_Import   all six builders in their order, on the loaded document, with the
//               levels typed on every line (typed) or left as they come (untouched)
//
// Each reports the records it wrote and the time per record ("ns_per_line" for
// ASIGT lines); BM_Import also reports each builder's milliseconds per run. Target:
// every builder linear in its input, the time per ASIGT line flat from 10x to 1000x.
//
// TRAMAZEL_BENCH_CENTRES names a folder of centre files to use instead of generated
// ones, centre-N.xml for scale N (for example centres from another generator, whose
// subjects fall on courses in no order).
#include "SyntheticCentre.h"
#include "ZelvanoTables.h"
#include "centre_import/Builders.h"
#include "centre_import/CourseLevelGrid.h"
#include "centre_import/ImportContext.h"
#include "dbf/DbfTable.h"
#include "xml/XmlDocument.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdlib>
#include <filesystem>
#include <iostream>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace {

namespace fs = std::filesystem;
namespace z = tramazel::zelvano;
using tramazel::Warnings;
using tramazel::centre_import::CourseLevelGrid;
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

// Where the centre files are: generated into workDir() unless TRAMAZEL_BENCH_CENTRES
// names a folder that holds them.
fs::path centreDir()
{
    const char* dir = std::getenv("TRAMAZEL_BENCH_CENTRES");
    return dir && *dir ? fs::path(dir) : workDir();
}

const XmlDocument& centre(int scale)
{
    return tramazel::bench::loadedCentre(centreDir(), scale);
}

// A person who types a level and a course number on every line and answers OK.
class TypingPrompts : public ImportPrompts {
public:
    void editCourseLevels(CourseLevelGrid& grid) override
    {
        for (int row = 0; row < grid.rowCount(); ++row) {
            grid.set(row, CourseLevelGrid::Level, "ESO");
            grid.set(row, CourseLevelGrid::CourseNumber, "1");
        }
    }
    bool askQuestion(std::string_view, std::string_view) override { return true; }
};

// A person who leaves the levels as they come and answers OK, as the command line
// does without --levels.
class AnsweringPrompts : public ImportPrompts {
public:
    void editCourseLevels(CourseLevelGrid&) override { }
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
    ImportContext ctx { centre(scale), dir, prompts, warnings };
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
    ImportContext ctx { centre(scale), dir, prompts, warnings };
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
    ImportContext ctx { centre(scale), dir, prompts, warnings };
    for (auto _ : state)
        tramazel::centre_import::TransformarLineas(ctx);
    const double lines = static_cast<double>(records(dir, z::asigt::kTable));
    state.counters["lines"] = lines;
    state.counters["ns_per_line"] = benchmark::Counter(
        lines * 1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// With `typing`, the levels are typed on every line of the grid; otherwise left alone.
void BM_Import(benchmark::State& state, bool typing)
{
    const int scale = static_cast<int>(state.range(0));
    const fs::path dir = workDir() / ("qtemp-import-" + std::to_string(scale));
    fs::remove_all(dir);
    fs::create_directories(dir);
    const XmlDocument& doc = centre(scale);
    TypingPrompts typingPrompts;
    AnsweringPrompts answeringPrompts;
    ImportPrompts& prompts = typing ? static_cast<ImportPrompts&>(typingPrompts) : answeringPrompts;
    const auto steps = tramazel::centre_import::builderSequence();
    std::vector<std::chrono::steady_clock::duration> spent(steps.size());
    for (auto _ : state) {
        Warnings warnings;
        ImportContext ctx { doc, dir, prompts, warnings };
        for (std::size_t i = 0; i < steps.size(); ++i) {
            const auto start = std::chrono::steady_clock::now();
            steps[i].run(ctx);
            spent[i] += std::chrono::steady_clock::now() - start;
        }
    }
    const double lines = static_cast<double>(records(dir, z::asigt::kTable));
    state.counters["lines"] = lines;
    state.counters["ns_per_line"] = benchmark::Counter(
        lines * 1e-9, benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
    // Milliseconds per run, under each builder's name without its common prefix.
    for (std::size_t i = 0; i < steps.size(); ++i) {
        std::string name = steps[i].name;
        if (name.rfind("Transformar", 0) == 0)
            name.erase(0, std::string_view("Transformar").size());
        state.counters[name + "_ms"] = std::chrono::duration<double, std::milli>(spent[i]).count()
            / static_cast<double>(state.iterations());
    }
}

void scales(benchmark::internal::Benchmark* b)
{
    b->Arg(1)->Arg(10)->Arg(100)->Arg(1000)->Unit(benchmark::kMillisecond)->UseRealTime();
}

BENCHMARK(BM_Cursos)->Apply(scales);
BENCHMARK(BM_Lineas)->Apply(scales);
BENCHMARK_CAPTURE(BM_Import, typed, true)->Apply(scales);
BENCHMARK_CAPTURE(BM_Import, untouched, false)->Apply(scales);

} // namespace

BENCHMARK_MAIN();
