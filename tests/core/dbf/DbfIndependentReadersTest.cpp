// SPDX-License-Identifier: GPL-3.0-or-later
// Tables written by the engine, read back by two independent readers: Debian's
// python3-dbfread and Perl's XBase / XBase::Index (which walks MDX tags).
#include "DbfTestSupport.h"

#include "dbf/DbfTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>

using namespace tramazel;
using namespace tramazel::dbf;
using namespace tramazel::test;

namespace {

std::string tool(const char* name)
{
    return shellQuote(std::string(TRAMAZEL_TOOLS_DIR) + "/" + name);
}

std::string dbfread(const std::filesystem::path& table)
{
    auto r = run(std::string(TRAMAZEL_SYSTEM_PYTHON) + " " + tool("dbf_dbfread_dump.py") + " "
        + shellQuote(table.string()));
    EXPECT_EQ(r.exitCode, 0) << r.output;
    return r.output;
}

std::string xbase(const std::filesystem::path& table, const std::string& tag = {})
{
    std::string cmd
        = std::string(TRAMAZEL_PERL) + " " + tool("dbf_xbase_dump.pl") + " " + shellQuote(table.string());
    if (!tag.empty()) {
        auto mdx = table;
        mdx.replace_extension(".MDX");
        cmd += " " + shellQuote(mdx.string()) + " " + tag;
    }
    auto r = run(cmd);
    EXPECT_EQ(r.exitCode, 0) << r.output;
    return r.output;
}

} // namespace

TEST(DbfIndependentReaders, AgreeOnEveryFieldKind)
{
    TRAMAZEL_SKIP_ON_WINDOWS("the independent readers are Linux programs");
    TempDir dir;
    {
        auto t = DbfTable::create(dir.path(), "KINDS",
            { { "CODI", FieldKind::Character, 4 }, { "NOM", FieldKind::Character, 12 },
                { "DNI", FieldKind::Integer, 0 }, { "HORES", FieldKind::Float, 0 },
                { "ACTIU", FieldKind::Logical, 0 } });
        t.append();
        t.setText("CODI", "MAT");
        t.setText("NOM", "Catal\xE0 i l\xB7l\xE8ngua"); // cut to 12 bytes
        t.post();
        t.append();
        t.setText("CODI", "\xC7\xD1");
        t.setText("NOM", "");
        t.setInteger("DNI", -12345678);
        t.setNumber("HORES", 2.5);
        t.setLogical("ACTIU", true);
        t.post();
        t.append(); // nothing set
        t.post();
        t.append();
        t.setText("CODI", "E");
        t.setText("NOM", "\xF1 \xE8");
        t.setInteger("DNI", 0);
        t.setNumber("HORES", -0.0625);
        t.setLogical("ACTIU", false);
        t.post();
        t.append();
        t.setText("CODI", "ABCDEFG");
        t.setInteger("DNI", 99999999999);
        t.setNumber("HORES", 12345.5);
        t.post();
    }
    EXPECT_EQ(dbfread(dir / "KINDS.DBF"),
        "version=0x03 ldid=0x57 mdx=0 records=5 live=5 deleted=0\n"
        "field CODI C 4 0 index=0\n"
        "field NOM C 12 0 index=0\n"
        "field DNI N 11 0 index=0\n"
        "field HORES N 20 4 index=0\n"
        "field ACTIU L 1 0 index=0\n"
        "MAT | Català i l·l | <null> | <null> | <null>\n"
        "ÇÑ |  | -12345678 | 2.5 | T\n"
        " |  | <null> | <null> | <null>\n"
        "E | ñ è | 0 | -0.0625 | F\n"
        "ABCD |  | 99999999999 | 12345.5 | <null>\n");
    EXPECT_EQ(xbase(dir / "KINDS.DBF"),
        "records=5\n"
        "MAT | Català i l·l | <null> | <null> | <null>\n"
        "ÇÑ |  | -12345678 | 2.5 | 1\n"
        " |  | <null> | <null> | <null>\n"
        "E | ñ è | 0 | -0.0625 | 0\n"
        "ABCD |  | 99999999999 | 12345.5 | <null>\n");
}

TEST(DbfIndependentReaders, IndexWalkListsEveryRecordInOrder)
{
    TRAMAZEL_SKIP_ON_WINDOWS("the independent readers are Linux programs");
    struct Case {
        const char* name;
        int records;
    };
    // 6000 records of 4-byte keys need 48 leaves under an interior root.
    for (const Case& c : { Case { "empty", 0 }, Case { "several thousand", 6000 } }) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        std::vector<std::pair<std::string, int>> expected;
        {
            auto t = DbfTable::create(dir.path(), "MATIB",
                { { "NOMBRE", FieldKind::Character, 8 }, { "ABREV", FieldKind::Character, 4 } },
                { { "ABREV", "ABREV" } });
            std::uint32_t seed = 99;
            for (int i = 1; i <= c.records; ++i) {
                seed = seed * 1103515245u + 12345u;
                char key[8];
                std::snprintf(
                    key, sizeof key, "%c%02u", 'A' + static_cast<int>((seed >> 10) % 26), (seed >> 16) % 50);
                t.append();
                t.setText("ABREV", key);
                t.setText("NOMBRE", std::to_string(i));
                t.post();
                std::string padded(key);
                padded.resize(4, ' ');
                expected.emplace_back(padded, i);
            }
        }
        std::sort(expected.begin(), expected.end());
        std::string walk;
        for (auto& [key, record] : expected)
            walk += key + "|" + std::to_string(record) + "\n";
        walk += "keys=" + std::to_string(c.records) + "\n";
        const std::string out = xbase(dir / "MATIB.DBF", "ABREV");
        // The walk follows the "records=" line and one line per record.
        std::size_t at = out.find('\n', out.find("records=")) + 1;
        for (int i = 0; i < c.records; ++i)
            at = out.find('\n', at) + 1;
        EXPECT_EQ(out.substr(at), walk);
        const std::string py = dbfread(dir / "MATIB.DBF");
        EXPECT_NE(py.find("mdx=1 records=" + std::to_string(c.records) + " "), std::string::npos) << py;
        EXPECT_NE(py.find("field ABREV C 4 0 index=1\n"), std::string::npos) << py;
    }
}
