// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target for the dBASE reader: any bytes as a table file must give values
// or a tramazel::Error, never a crash, hang, leak or sanitizer report. Each input is
// read through, then changed (a record edited, one appended), closed, and read again
// by a shared handle. The production index has its own fuzzer (fuzz_mdx_reader).
#include "Error.h"
#include "FuzzFiles.h"
#include "dbf/DbfTable.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <system_error>

namespace {

namespace fs = std::filesystem;
using namespace tramazel;
using namespace tramazel::dbf;

template <typename Read> void tryRead(Read read)
{
    try {
        (void)read();
    } catch (const Error&) {
    }
}

void readAll(DbfTable& t)
{
    (void)t.recordCount();
    (void)t.textCodePage();
    for (t.first(); !t.eof(); t.next()) {
        for (std::size_t f = 0; f < t.fields().size(); ++f) {
            tryRead([&] { return t.text(f); });
            tryRead([&] { return t.integer(f); });
            tryRead([&] { return t.number(f); });
            (void)t.logical(f);
            (void)t.isBlank(f);
        }
    }
}

// Every setter on every field: the values that do not fit a field throw.
void change(DbfTable& t)
{
    t.first();
    if (!t.eof()) {
        t.edit();
        for (std::size_t f = 0; f < t.fields().size(); ++f) {
            tryRead([&] {
                t.setText(f, "7");
                return 0;
            });
        }
        t.post();
    }
    t.append();
    for (std::size_t f = 0; f < t.fields().size(); ++f) {
        tryRead([&] {
            switch (f % 4) {
            case 0:
                t.setNumber(f, -1.5);
                break;
            case 1:
                t.setInteger(f, 123456);
                break;
            case 2:
                t.setLogical(f, true);
                break;
            default:
                t.setBlank(f);
                break;
            }
            return 0;
        });
    }
    t.post();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    static const fs::path dir = tramazel::fuzz::scratchSubdir("dbf");
    static const fs::path dbf = dir / "F.DBF";
    static const fs::path mdx = dir / "F.MDX";
    std::error_code ec;
    fs::remove(mdx, ec);
    tramazel::fuzz::writeFile(dbf, data, size);
    try {
        {
            auto t = DbfTable::open(dir, "F", Access::Exclusive);
            readAll(t);
            try {
                change(t);
            } catch (const Error&) {
            }
            t.close();
        }
        auto t = DbfTable::open(dir, "F", Access::Shared);
        readAll(t);
    } catch (const Error&) {
    }
    return 0;
}
