// SPDX-License-Identifier: GPL-3.0-or-later
// The dBASE engine against one plain buffered write of the same bytes: writing and
// reading a 7-field table of 1e6 records, and building an MDX of 1e6 4-byte keys.
// The table is written field by field through the handle (BM_WriteTable) and as
// whole records put together in a RecordImage and stored in blocks
// (BM_WriteWholeRecords); it is read as copied texts (BM_ReadTable) and as views
// (BM_ReadTableViews).
// Each engine benchmark reports its time as a ratio to the raw write
// ("x_raw_write"); run the raw benchmark in the same invocation (it runs first).
#include "dbf/DbfTable.h"
#include "dbf/MdxFile.h"
#include "dbf/RecordImage.h"

#include <benchmark/benchmark.h>

#include <chrono>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <random>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
using namespace tramazel::dbf;
using Clock = std::chrono::steady_clock;

constexpr std::int64_t kRecords = 1'000'000;

const std::vector<FieldSpec>& subjectFields()
{
    static const std::vector<FieldSpec> fields = {
        { "COD", FieldKind::Character, 4 },
        { "CODI", FieldKind::Character, 20 },
        { "NOMBRE", FieldKind::Character, 60 },
        { "NIVEL", FieldKind::Character, 10 },
        { "HORAS", FieldKind::Float, 0 },
        { "ALUMNOS", FieldKind::Integer, 0 },
        { "ESTAREA", FieldKind::Logical, 0 },
    };
    return fields;
}

// Bytes of the table file: header + records + end-of-file mark.
std::size_t tableBytes(std::int64_t records)
{
    std::size_t recordLength = 1 + 4 + 20 + 60 + 10 + 20 + 11 + 1;
    return 32 + 32 * subjectFields().size() + 1 + static_cast<std::size_t>(records) * recordLength + 1;
}

const fs::path& benchDir()
{
    static const fs::path dir = [] {
        fs::path d
            = fs::temp_directory_path() / ("tramazel-bench-dbf-" + std::to_string(std::random_device {}()));
        fs::create_directories(d);
        return d;
    }();
    return dir;
}

double g_rawSeconds = 0; // one raw write of tableBytes(kRecords)

void reportRatio(benchmark::State& state, double seconds, std::int64_t runs)
{
    state.SetItemsProcessed(runs * kRecords);
    state.SetBytesProcessed(runs * static_cast<std::int64_t>(tableBytes(kRecords)));
    if (g_rawSeconds > 0)
        state.counters["x_raw_write"] = seconds / static_cast<double>(runs) / g_rawSeconds;
}

const std::vector<std::string>& codes()
{
    static const std::vector<std::string> all = [] {
        std::vector<std::string> made;
        for (int i = 0; i < 10000; ++i) {
            char code[16];
            std::snprintf(code, sizeof code, "%04d", i);
            made.emplace_back(code);
        }
        return made;
    }();
    return all;
}

void writeTable(const char* name)
{
    auto t = DbfTable::create(benchDir(), name, subjectFields());
    const std::size_t cod = t.fieldIndex("COD"), codi = t.fieldIndex("CODI"), nombre = t.fieldIndex("NOMBRE"),
                      nivel = t.fieldIndex("NIVEL"), horas = t.fieldIndex("HORAS"),
                      alumnos = t.fieldIndex("ALUMNOS"), estarea = t.fieldIndex("ESTAREA");
    for (std::int64_t i = 0; i < kRecords; ++i) {
        t.append();
        t.setText(cod, codes()[static_cast<std::size_t>(i % 10000)]);
        t.setText(codi, "0001234567");
        t.setText(nombre, "Llengua catalana i literatura");
        t.setText(nivel, "ESO");
        t.setNumber(horas, static_cast<double>(i % 40) * 0.5);
        t.setInteger(alumnos, i);
        t.setLogical(estarea, (i & 1) != 0);
        t.post();
    }
    t.close();
}

// The same records as writeTable, put together in one image and stored in blocks
// of about 256 KiB.
void writeWholeRecords(const char* name)
{
    auto t = DbfTable::create(benchDir(), name, subjectFields());
    const std::size_t cod = t.fieldIndex("COD"), codi = t.fieldIndex("CODI"), nombre = t.fieldIndex("NOMBRE"),
                      nivel = t.fieldIndex("NIVEL"), horas = t.fieldIndex("HORAS"),
                      alumnos = t.fieldIndex("ALUMNOS"), estarea = t.fieldIndex("ESTAREA");
    RecordImage record(t);
    record.setText(codi, "0001234567");
    record.setText(nombre, "Llengua catalana i literatura");
    record.setText(nivel, "ESO");
    std::string block;
    for (std::int64_t i = 0; i < kRecords; ++i) {
        record.setText(cod, codes()[static_cast<std::size_t>(i % 10000)]);
        record.setNumber(horas, static_cast<double>(i % 40) * 0.5);
        record.setInteger(alumnos, i);
        record.setLogical(estarea, (i & 1) != 0);
        block += record.bytes();
        if (block.size() >= 256 * 1024) {
            t.appendRecords(block);
            block.clear();
        }
    }
    t.appendRecords(block);
    t.close();
}

void BM_RawBufferedWrite(benchmark::State& state)
{
    const std::size_t bytes = tableBytes(kRecords);
    std::vector<char> data(bytes, ' ');
    double seconds = 0;
    std::int64_t runs = 0;
    for (auto _ : state) {
        auto start = Clock::now();
        std::FILE* f = std::fopen((benchDir() / "RAW.DBF").string().c_str(), "wb");
        std::fwrite(data.data(), 1, data.size(), f);
        std::fclose(f);
        seconds += std::chrono::duration<double>(Clock::now() - start).count();
        ++runs;
    }
    g_rawSeconds = seconds / static_cast<double>(runs);
    state.SetItemsProcessed(runs * kRecords);
    state.SetBytesProcessed(runs * static_cast<std::int64_t>(bytes));
}

void BM_WriteTable(benchmark::State& state)
{
    double seconds = 0;
    std::int64_t runs = 0;
    for (auto _ : state) {
        auto start = Clock::now();
        writeTable("ASIGNOMT");
        seconds += std::chrono::duration<double>(Clock::now() - start).count();
        ++runs;
    }
    reportRatio(state, seconds, runs);
}

void BM_WriteWholeRecords(benchmark::State& state)
{
    double seconds = 0;
    std::int64_t runs = 0;
    for (auto _ : state) {
        auto start = Clock::now();
        writeWholeRecords("ENTEROS");
        seconds += std::chrono::duration<double>(Clock::now() - start).count();
        ++runs;
    }
    reportRatio(state, seconds, runs);
}

void BM_ReadTableViews(benchmark::State& state)
{
    writeTable("VISTAS");
    double seconds = 0;
    std::int64_t runs = 0;
    for (auto _ : state) {
        auto start = Clock::now();
        auto t = DbfTable::open(benchDir(), "VISTAS", Access::Shared);
        const std::size_t cod = t.fieldIndex("COD"), codi = t.fieldIndex("CODI"),
                          nombre = t.fieldIndex("NOMBRE"), nivel = t.fieldIndex("NIVEL");
        std::size_t seen = 0;
        for (t.first(); !t.eof(); t.next())
            seen += t.textView(cod).size() + t.textView(codi).size() + t.textView(nombre).size()
                + t.textView(nivel).size();
        benchmark::DoNotOptimize(seen);
        seconds += std::chrono::duration<double>(Clock::now() - start).count();
        ++runs;
    }
    reportRatio(state, seconds, runs);
}

void BM_ReadTable(benchmark::State& state)
{
    writeTable("LEER");
    double seconds = 0;
    std::int64_t runs = 0;
    for (auto _ : state) {
        auto start = Clock::now();
        auto t = DbfTable::open(benchDir(), "LEER", Access::Shared);
        const std::size_t cod = t.fieldIndex("COD"), codi = t.fieldIndex("CODI"),
                          nombre = t.fieldIndex("NOMBRE"), nivel = t.fieldIndex("NIVEL"),
                          horas = t.fieldIndex("HORAS"), alumnos = t.fieldIndex("ALUMNOS"),
                          estarea = t.fieldIndex("ESTAREA");
        std::size_t seen = 0;
        double sum = 0;
        for (t.first(); !t.eof(); t.next()) {
            seen += t.text(cod).size() + t.text(codi).size() + t.text(nombre).size() + t.text(nivel).size();
            sum += t.number(horas) + static_cast<double>(t.integer(alumnos)) + (t.logical(estarea) ? 1 : 0);
        }
        benchmark::DoNotOptimize(seen);
        benchmark::DoNotOptimize(sum);
        seconds += std::chrono::duration<double>(Clock::now() - start).count();
        ++runs;
    }
    reportRatio(state, seconds, runs);
}

void BM_BuildMdx(benchmark::State& state)
{
    // Unsorted 4-byte keys with duplicates, as an index over a code column.
    std::vector<MdxTagKeys> tags(1);
    tags[0].name = "COD";
    tags[0].expression = "COD";
    tags[0].keyLength = 4;
    tags[0].keys.resize(static_cast<std::size_t>(kRecords) * 4);
    std::mt19937 rng(42);
    for (std::int64_t i = 0; i < kRecords; ++i) {
        char key[8];
        std::snprintf(key, sizeof key, "%04u", static_cast<unsigned>(rng() % 10000));
        std::memcpy(&tags[0].keys[static_cast<std::size_t>(i) * 4], key, 4);
    }
    double seconds = 0;
    std::int64_t runs = 0;
    for (auto _ : state) {
        auto start = Clock::now();
        MdxFile::write(benchDir() / "INDICE.MDX", "INDICE", 0x57, tags);
        seconds += std::chrono::duration<double>(Clock::now() - start).count();
        ++runs;
    }
    reportRatio(state, seconds, runs);
    state.SetBytesProcessed(static_cast<std::int64_t>(fs::file_size(benchDir() / "INDICE.MDX")) * runs);
}

} // namespace

BENCHMARK(BM_RawBufferedWrite)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_WriteTable)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_WriteWholeRecords)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_ReadTable)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_ReadTableViews)->Unit(benchmark::kMillisecond)->MinTime(1.0);
BENCHMARK(BM_BuildMdx)->Unit(benchmark::kMillisecond)->MinTime(1.0);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    std::error_code ec;
    fs::remove_all(benchDir(), ec);
    return 0;
}
