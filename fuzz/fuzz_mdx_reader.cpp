// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target for the production index reader: any bytes as the MDX of a valid
// indexed table. Reading the table does not look at the index; the first change has
// to read it (and refuse it with a tramazel::Error when it is damaged), and closing
// writes it back, after which the table must open and read again. Never a crash,
// hang, leak or sanitizer report.
#include "Error.h"
#include "FuzzFiles.h"
#include "dbf/DbfTable.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>

namespace {

namespace fs = std::filesystem;
using namespace tramazel;
using namespace tramazel::dbf;

// The table beside the fuzzed index: two character tags over 40 records, some keys
// repeated, so that a sound index has more than one block per tag.
struct Template {
    std::string dbf;
    std::string mdx; ///< the index the engine wrote, for the seeds
};

const Template& indexedTable()
{
    static const Template table = [] {
        const fs::path dir = tramazel::fuzz::scratchSubdir("template");
        {
            auto t = DbfTable::create(dir, "F",
                { { "K", FieldKind::Character, 3 }, { "NOM", FieldKind::Character, 12 },
                    { "N", FieldKind::Integer, 0 } },
                { { "K", "K" }, { "NOM", "NOM" } });
            for (int i = 0; i < 40; ++i) {
                t.append();
                t.setText("K", std::to_string(100 + (i * 7) % 31));
                t.setText("NOM", "NOM" + std::to_string(i % 13));
                t.setInteger("N", i);
                t.post();
            }
            t.close();
        }
        return Template { tramazel::fuzz::readFile(dir / "F.DBF"), tramazel::fuzz::readFile(dir / "F.MDX") };
    }();
    return table;
}

void readAll(DbfTable& t)
{
    for (t.first(); !t.eof(); t.next()) {
        for (std::size_t f = 0; f < t.fields().size(); ++f)
            (void)t.text(f);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // TRAMAZEL_FUZZ_WRITE_SEED=FILE writes the template's own index there (how the
    // seed corpus/fuzz_mdx_reader/engine_40_records.mdx was made).
    const Template& table = indexedTable();
    if (const char* seed = std::getenv("TRAMAZEL_FUZZ_WRITE_SEED"))
        tramazel::fuzz::writeFile(seed, table.mdx);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const fs::path dir = tramazel::fuzz::scratchSubdir("mdx");
    const Template& table = indexedTable();
    tramazel::fuzz::writeFile(dir / "F.DBF", table.dbf);
    tramazel::fuzz::writeFile(dir / "F.MDX", data, size);
    try {
        {
            auto t = DbfTable::open(dir, "F", Access::Exclusive);
            readAll(t);
            t.first();
            t.edit();
            t.setText("K", "999");
            t.post();
            t.append();
            t.setText("K", "050");
            t.setText("NOM", "NOU");
            t.post();
            t.close();
        }
        auto t = DbfTable::open(dir, "F", Access::Shared);
        readAll(t);
    } catch (const Error&) {
    }
    return 0;
}
