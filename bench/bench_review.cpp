// SPDX-License-Identifier: GPL-3.0-or-later
// The import's review of changes alone: the timetable directory's tables compared
// with newly built ones, on generated pairs of table sets of N records per table
// (ASIGNOMT, PROFT, MATIB and ASIGT, so 4N records on each side). As in a generated
// centre, many MATIB records share each ABREV (N / 300 per code here).
//
//   BM_ReviewUnchanged   both sets hold the same records (a second import of the same file)
//   BM_ReviewChanged     1 in 100 records changed, 1 in 100 removed, 1 in 100 added,
//                        scattered through the tables
//
// Target: linear in N, and well under the time of writing the new tables.
#include "SyntheticCentre.h"
#include "ZelvanoTables.h"
#include "centre_import/ImportReview.h"
#include "dbf/DbfTable.h"

#include <benchmark/benchmark.h>

#include <cstdint>
#include <filesystem>
#include <string>
#include <vector>

namespace {

namespace fs = std::filesystem;
namespace z = tramazel::zelvano;
using tramazel::centre_import::ImportReview;
using tramazel::dbf::DbfTable;

enum class Variant { Live, SameAsLive, Changed };

// Record i of the live set is present in the changed set unless i % 100 == 1 (removed);
// its contents differ when i % 100 == 2; N / 100 records with new codes are added.
void writeTables(const fs::path& dir, int n, Variant variant)
{
    fs::create_directories(dir);
    auto skip = [variant](int i) { return variant == Variant::Changed && i % 100 == 1; };
    auto touched = [variant](int i) { return variant == Variant::Changed && i % 100 == 2; };
    const int added = variant == Variant::Changed ? n / 100 : 0;

    DbfTable subjects = DbfTable::create(dir, z::asignomt::kTable, z::asignomt::fields());
    DbfTable teachers = DbfTable::create(dir, z::proft::kTable, z::proft::fields());
    DbfTable matib = DbfTable::create(dir, z::matib::kTable, z::matib::fields());
    DbfTable lines = DbfTable::create(dir, z::asigt::kTable, z::asigt::fields());
    for (int i = 0; i < n + added; ++i) {
        const bool isNew = i >= n;
        if (!isNew && skip(i))
            continue;
        const int code = isNew ? 5'000'000 + i : 2'000'000 + i;
        const std::string codi = std::to_string(code);
        const std::string suffix = touched(i) ? " (modificada)" : "";

        subjects.append();
        subjects.setText(z::asignomt::kCod, "A" + std::to_string(i % 1000));
        subjects.setText(z::asignomt::kCodLargo, "AS" + std::to_string(i % 100000));
        subjects.setText(z::asignomt::kNombre, "Llengua castellana i literatura " + codi + suffix);
        subjects.setText(z::asignomt::kCodi, codi);
        subjects.setText(z::asignomt::kHoras, std::to_string(1 + i % 5));
        subjects.setText(z::asignomt::kCodiCurs, std::to_string(10000 + i % 14000));
        subjects.setLogical(z::asignomt::kEsTarea, i % 20 == 0);
        subjects.post();

        teachers.append();
        teachers.setText(z::proft::kAbrev, "P" + std::to_string(i % 1000));
        teachers.setText(z::proft::kNombre, "Professora Numero " + codi + suffix);
        teachers.setText(z::proft::kDepart, "Departament de llengues");
        teachers.setInteger(z::proft::kDni, 40'000'000 + i);
        teachers.setText(z::proft::kCodi, "3" + codi);
        teachers.post();

        matib.append();
        matib.setText(z::matib::kAbrev, (isNew ? "N" : "M") + std::to_string(i % 300));
        matib.setText(z::matib::kAbrev8, "MAT" + std::to_string(i % 300));
        matib.setText(z::matib::kNombre, "Matematiques " + codi + suffix);
        matib.post();

        // Pairs repeat: several lines share a subject and group, matched in order.
        lines.append();
        lines.setText(z::asigt::kCAsig, (isNew ? "T" : "S") + std::to_string(i / 3 % 1000));
        lines.setText(z::asigt::kCProf, "P" + std::to_string(i % 1000));
        lines.setText(z::asigt::kCGrup, "G" + std::to_string(i / 9000 % 1000));
        lines.setText(z::asigt::kCAula, touched(i) ? "X1" : "A" + std::to_string(i % 100));
        lines.setText(z::asigt::kTurno, "M");
        lines.setNumber(z::asigt::kHoras, 2.0);
        lines.post();
    }
}

// The live and staged sets of `n` records per table, generated once per process.
const fs::path& tableSets(int n, Variant staged)
{
    static std::vector<std::pair<std::pair<int, Variant>, fs::path>> made;
    for (const auto& [k, dir] : made) {
        if (k == std::pair { n, staged })
            return dir;
    }
    const fs::path root = tramazel::bench::scratchDir("tramazel-bench-review") / std::to_string(n);
    if (!fs::exists(root / "live" / "PROFT.DBF"))
        writeTables(root / "live", n, Variant::Live);
    const fs::path dir = root / (staged == Variant::Changed ? "changed" : "same");
    if (!fs::exists(dir / "PROFT.DBF"))
        writeTables(dir, n, staged);
    made.push_back({ { n, staged }, dir });
    return made.back().second;
}

void runReview(benchmark::State& state, Variant staged)
{
    const int n = static_cast<int>(state.range(0));
    const fs::path& stagingDir = tableSets(n, staged);
    const fs::path liveDir = stagingDir.parent_path() / "live";
    const std::vector<std::string> tables { std::string(z::asignomt::kTable), std::string(z::proft::kTable),
        std::string(z::matib::kTable), std::string(z::asigt::kTable) };
    std::size_t differences = 0;
    for (auto _ : state) {
        ImportReview review = ImportReview::compare(liveDir, stagingDir, tables);
        differences = 0;
        for (const ImportReview::TableChanges& t : review.tables())
            differences += t.added + t.removed + t.changed;
        benchmark::DoNotOptimize(review);
    }
    state.counters["differences"] = static_cast<double>(differences);
    state.SetItemsProcessed(state.iterations() * 4 * n);
}

void BM_ReviewUnchanged(benchmark::State& state)
{
    runReview(state, Variant::SameAsLive);
}
BENCHMARK(BM_ReviewUnchanged)->Arg(10'000)->Arg(100'000)->Arg(300'000)->Unit(benchmark::kMillisecond);

void BM_ReviewChanged(benchmark::State& state)
{
    runReview(state, Variant::Changed);
}
BENCHMARK(BM_ReviewChanged)->Arg(10'000)->Arg(100'000)->Arg(300'000)->Unit(benchmark::kMillisecond);

} // namespace

BENCHMARK_MAIN();
