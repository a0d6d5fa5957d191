// SPDX-License-Identifier: GPL-3.0-or-later
#include "CourseLevels.h"
#include "Error.h"
#include "TestSupport.h"
#include "WarningTexts.h"
#include "ZelvanoTables.h"
#include "centre_import/CourseLevelGrid.h"
#include "dbf/DbfTable.h"

#include <gtest/gtest.h>

using namespace tramazel;
using tramazel::cli::CourseLevels;
using tramazel::test::TempDir;

TEST(CourseLevels, ReadsLinesTheWayTheGridTakesThem)
{
    const std::string text = "\xEF\xBB\xBF# niveles del centro\r\n"
                             "10000;ESO;1\r\n"
                             "\r\n"
                             "   # indented comment\n"
                             " 10001 ; ESO ; 2 \n"
                             "10002;Batxillerat;1234\n" // cut to 5 and 3 characters
                             "10003;Bàsicos;1r\n" // cut in characters, not bytes
                             "10000;OTRO;9\n" // the first line for a code counts
                             "10004;;\n"
                             "10005;FP;2"; // no line end at the end
    const CourseLevels levels = CourseLevels::parse(text, "niveles.txt");
    struct Case {
        const char* code;
        const char* nivel;
        const char* curso;
    };
    const Case cases[] = {
        { "10000", "ESO", "1" },
        { "10001", "ESO", "2" },
        { "10002", "Batxi", "123" },
        { "10003", "Bàsic", "1r" },
        { "10004", "", "" },
        { "10005", "FP", "2" },
    };
    EXPECT_EQ(levels.size(), 6u);
    for (const Case& c : cases) {
        const auto* level = levels.find(c.code);
        ASSERT_NE(level, nullptr) << c.code;
        EXPECT_EQ(level->nivel, c.nivel) << c.code;
        EXPECT_EQ(level->curso, c.curso) << c.code;
    }
    EXPECT_EQ(levels.find("# niveles del centro"), nullptr);
}

TEST(CourseLevels, AMalformedLineIsAnErrorNamingIt)
{
    struct Case {
        std::string text;
        std::size_t line;
    };
    const Case cases[] = {
        { "10000;ESO\n", 1 },
        { "10000;ESO;1\n\n10001;ESO;1;x\n", 3 },
        { ";ESO\n", 1 },
        { "# ok\n10000;B\xE0sic;1\n", 2 }, // saved as cp1252, not UTF-8
        { "10000;\xED\xA0\x80;1\n", 1 }, // an encoded surrogate
        { std::string("10000;ES\0O;1\n", 13), 1 }, // a NUL would be stored in NIVEL
        { "# ok\n10000;ESO;\x01\n", 2 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        const auto error = test::expectError(
            ErrorCode::InvalidArgument, [&] { CourseLevels::parse(c.text, "niveles.txt"); });
        ASSERT_TRUE(error);
        EXPECT_EQ(error->position(), (TextPosition { c.line, 1 }));
        EXPECT_NE(error->message().find("niveles.txt"), std::string::npos) << error->message();
    }
}

TEST(CourseLevels, FillsTheMatchingCoursesAndWarnsAboutTheRest)
{
    TempDir dir;
    namespace c = zelvano::cursost;
    {
        auto table = dbf::DbfTable::create(dir.path(), c::kTable, c::fields());
        for (const char* code : { "10000", "10001", "10000" }) {
            table.append();
            table.setText(c::kCodi, code);
            table.post();
        }
        const CourseLevels levels = CourseLevels::parse("10000;ESO;1\n99999;X;1\n10000;Y;2\n", "n.txt");
        Warnings warnings;
        centre_import::CourseLevelGrid grid(table);
        levels.apply(grid, warnings);
        const std::vector<std::string> expected = {
            "códigos del archivo de niveles que ningún curso de CURSOST tiene: 1 (p. ej. 99999)",
            "códigos repetidos en el archivo de niveles (cuenta la primera línea): 1 (p. ej. 10000)",
        };
        EXPECT_EQ(warnings.lines(), expected);
    }
    auto table = dbf::DbfTable::open(dir.path(), c::kTable, dbf::Access::Shared);
    std::vector<std::string> rows;
    for (table.first(); !table.eof(); table.next())
        rows.push_back(table.text(c::kCodi) + "|" + table.text(c::kNivel) + "|" + table.text(c::kCurso));
    EXPECT_EQ(rows, (std::vector<std::string> { "10000|ESO|1", "10001||", "10000|ESO|1" }));
}

// Codes are matched as CODI holds them: cut to 20 characters, and an empty code
// names the course whose code is empty.
TEST(CourseLevels, CodesMatchAsCursostHoldsThem)
{
    const std::string code20 = "ABCDEFGHIJKLMNOPQRST";
    struct Case {
        const char* what;
        std::string stored; // CODI of the course
        std::string line;
        bool cutWarning;
    } cases[] = {
        { "a code longer than CODI", code20, code20 + "UVW;ESO;1", true },
        { "cut leaving a blank at the end", "ABCDEFGHIJKLMNOPQRS", "ABCDEFGHIJKLMNOPQRS  X;ESO;1", true },
        { "a code of exactly 20", code20, code20 + ";ESO;1", false },
        { "an empty code", "", ";ESO;1", false },
        { "an empty code with blanks", "", "  ; ESO ;1", false },
    };
    namespace c = zelvano::cursost;
    for (const Case& k : cases) {
        SCOPED_TRACE(k.what);
        TempDir dir;
        auto table = dbf::DbfTable::create(dir.path(), c::kTable, c::fields());
        table.append();
        table.setText(c::kCodi, k.stored);
        table.post();
        Warnings warnings;
        centre_import::CourseLevelGrid grid(table);
        CourseLevels::parse(k.line + "\n", "n.txt").apply(grid, warnings);
        table.first();
        EXPECT_EQ(table.text(c::kNivel), "ESO");
        EXPECT_EQ(warnings.count(warning::kUnknownLevelCode), 0u);
        EXPECT_EQ(warnings.count(warning::kCutLevelCode), k.cutWarning ? 1u : 0u);
    }
}

// Characters Windows-1252 lacks become "?" in the table, as from a centre file, and
// the run says so.
TEST(CourseLevels, CharactersWithoutACp1252EquivalentAreReported)
{
    TempDir dir;
    namespace c = zelvano::cursost;
    auto table = dbf::DbfTable::create(dir.path(), c::kTable, c::fields());
    for (const char* code : { "10000", "10001" }) {
        table.append();
        table.setText(c::kCodi, code);
        table.post();
    }
    const CourseLevels levels = CourseLevels::parse("10000;ESO😀;1\n10001;BAT;€\n", "n.txt");
    Warnings warnings;
    centre_import::CourseLevelGrid grid(table);
    levels.apply(grid, warnings);
    EXPECT_EQ(grid.text(0, centre_import::CourseLevelGrid::Level), "ESO?");
    EXPECT_EQ(grid.text(1, centre_import::CourseLevelGrid::CourseNumber), "€");
    EXPECT_EQ(warnings.count(warning::kReplacedCharacters), 1u);
}

TEST(CourseLevels, AFileThatCannotBeReadIsAnError)
{
    TempDir dir;
    for (const auto& path : { dir / "missing.txt", dir.path() }) {
        SCOPED_TRACE(path);
        test::expectError(ErrorCode::FileNotFound, [&] { CourseLevels::load(path); });
    }
}
