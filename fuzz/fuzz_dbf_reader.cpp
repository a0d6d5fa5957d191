// SPDX-License-Identifier: GPL-3.0-or-later
// libFuzzer target for the dBASE reader: any bytes as a table file must give values
// or a tramazel::Error, never a crash or a sanitizer report. The input's length
// picks the path: read only; read, then change and reopen; or a fuzzed MDX beside
// a valid indexed table, which the first change has to read.
#include "Error.h"
#include "dbf/DbfTable.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <fstream>
#include <random>
#include <string>

namespace {

namespace fs = std::filesystem;
using namespace tramazel;
using namespace tramazel::dbf;

const fs::path& workDir()
{
    static const fs::path dir = [] {
        fs::path d
            = fs::temp_directory_path() / ("tramazel-fuzz-dbf-" + std::to_string(std::random_device {}()));
        fs::create_directories(d);
        return d;
    }();
    return dir;
}

void writeBytes(const fs::path& file, const std::uint8_t* data, std::size_t size)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(reinterpret_cast<const char*>(data), static_cast<std::streamsize>(size));
}

void readAll(DbfTable& t)
{
    for (t.first(); !t.eof(); t.next()) {
        for (std::size_t f = 0; f < t.fields().size(); ++f) {
            try {
                (void)t.text(f);
            } catch (const Error&) {
            }
            try {
                (void)t.integer(f);
            } catch (const Error&) {
            }
            try {
                (void)t.number(f);
            } catch (const Error&) {
            }
            (void)t.logical(f);
            (void)t.isBlank(f);
        }
    }
}

void change(DbfTable& t)
{
    t.first();
    if (!t.eof()) {
        t.edit();
        for (std::size_t f = 0; f < t.fields().size(); ++f) {
            try {
                t.setText(f, "7");
            } catch (const Error&) {
            }
        }
        t.post();
    }
    t.append();
    for (std::size_t f = 0; f < t.fields().size(); ++f) {
        try {
            t.setNumber(f, -1.5);
        } catch (const Error&) {
        }
    }
    t.post();
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const fs::path& dir = workDir();
    std::error_code ec;
    fs::remove(dir / "F.DBF", ec);
    fs::remove(dir / "F.MDX", ec);
    const int mode = static_cast<int>(size % 3);
    try {
        if (mode == 2) {
            auto t = DbfTable::create(dir, "F",
                { { "K", FieldKind::Character, 3 }, { "N", FieldKind::Integer, 0 } }, { { "K", "K" } });
            t.append();
            t.setText("K", "ABC");
            t.post();
            t.close();
            writeBytes(dir / "F.MDX", data, size);
        } else {
            writeBytes(dir / "F.DBF", data, size);
        }
        {
            auto t = DbfTable::open(dir, "F", Access::Exclusive);
            readAll(t);
            if (mode != 0)
                change(t);
            t.close();
        }
        if (mode != 0) {
            auto t = DbfTable::open(dir, "F", Access::Shared);
            readAll(t);
        }
    } catch (const Error&) {
    }
    return 0;
}
