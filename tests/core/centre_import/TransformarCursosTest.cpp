// SPDX-License-Identifier: GPL-3.0-or-later
#include "CoursesTestSupport.h"

#include "Error.h"
#include "TestSupport.h"
#include "WarningTexts.h"
#include "ZelvanoTables.h"
#include "centre_import/PreviousCourseLevels.h"
#include "dbf/DbfTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <optional>
#include <sstream>
#include <string>
#include <vector>

namespace tramazel::centre_import {
namespace {

using test::readRows;
using test::Row;
using test::ScriptedPrompts;
using tramazel::test::expectError;
using tramazel::test::TempDir;

struct CoursesCase {
    const char* name;
    std::string courses; ///< the children of CURSOS
    std::vector<Row> subjects; ///< ASIGNOMT
    std::vector<std::pair<std::string, std::string>> typed; ///< level and course number per grid line
    std::vector<Row> cursost;
    std::vector<Row> grupost;
    std::vector<Row> matib;
};

const std::string kCode25 = "ABCDEFGHIJKLMNOPQRSTUVWXY";
const std::string kCode20 = kCode25.substr(0, 20);
const std::string kDescription38 = "Segon curs de Batxillerat d'Humanitats";

TEST(TransformarCursos, WritesCoursesGroupsAndCatalogue)
{
    const CoursesCase cases[] = {
        { "the 1ESO course, level ESO and course number 1",
            R"(<CURS codi="1ESO" descripcio="Primer curs"><GRUP codi="1ESOA" nom="A"/><GRUP codi="1ESOB" nom="B"/></CURS>)",
            { { "MA", "MAT", "Matematiques", "M1", "4", "1ESO", "F" },
                { "CA", "CAT", "Catala", "M2", "4", "1ESO", "F" } },
            { { "ESO", "1" } }, { { "1ESO", "Primer curs", "ESO", "1" } },
            { { "ESOA", "", "ESO", "1", "A", "1ESOA", "1ESO", "Primer curs - A" },
                { "ESOB", "", "ESO", "1", "B", "1ESOB", "1ESO", "Primer curs - B" } },
            { { "MA", "MAT", "Matematiques", "ESO", "1" }, { "CA", "CAT", "Catala", "ESO", "1" } } },

        { "group abbreviations keep the last four characters; GRUPO keeps two, DESCRIP forty",
            R"(<CURS codi="C" descripcio="Curs"><GRUP codi="12" nom="Grup A"/><GRUP codi="1234" nom="B"/>)"
            R"(<GRUP codi="1234567" nom="C"/><GRUP codi="10001" nom="D"/><GRUP codi="20001" nom="E"/></CURS>)"
            R"(<CURS codi="L" descripcio=")"
                + kDescription38 + R"("><GRUP codi="L1" nom="Grup5"/></CURS>)",
            {}, { { "BAT", "2" }, { "X", "9" } },
            { { "C", "Curs", "BAT", "2" }, { "L", kDescription38, "X", "9" } },
            { { "12", "", "BAT", "2", "Gr", "12", "C", "Curs - Grup A" },
                { "1234", "", "BAT", "2", "B", "1234", "C", "Curs - B" },
                { "4567", "", "BAT", "2", "C", "1234567", "C", "Curs - C" },
                { "0001", "", "BAT", "2", "D", "10001", "C", "Curs - D" },
                { "0001", "", "BAT", "2", "E", "20001", "C", "Curs - E" },
                { "L1", "", "X", "9", "Gr", "L1", "L", kDescription38 + " -" } },
            {} },

        { "a course code of 25 characters finds its CURSOST record as stored",
            R"(<CURS codi=")" + kCode25 + R"(" descripcio="Llarg"><GRUP codi="G1" nom="A"/></CURS>)",
            { { "MA", "MAT", "Mates", "M1", "4", kCode25, "F" } }, { { "ESO", "3" } },
            { { kCode20, "Llarg", "ESO", "3" } },
            { { "G1", "", "ESO", "3", "A", "G1", kCode20, "Llarg - A" } },
            // The subject's course code is cut alike, so it still finds the group.
            { { "MA", "MAT", "Mates", "ESO", "3" } } },

        { "two courses with one code: the groups of both take the first record",
            R"(<CURS codi="2ESO" descripcio="Segon"><GRUP codi="2ESOA" nom="A"/></CURS>)"
            R"(<CURS codi="2ESO" descripcio="Segon bis"><GRUP codi="2ESOB" nom="B"/></CURS>)",
            { { "FI", "FIS", "Fisica", "M1", "4", "2ESO", "F" } }, { { "ESO", "2" }, { "BAT", "9" } },
            { { "2ESO", "Segon", "ESO", "2" }, { "2ESO", "Segon bis", "BAT", "9" } },
            { { "ESOA", "", "ESO", "2", "A", "2ESOA", "2ESO", "Segon - A" },
                { "ESOB", "", "ESO", "2", "B", "2ESOB", "2ESO", "Segon - B" } },
            { { "FI", "FIS", "Fisica", "ESO", "2" } } },

        { "a course with an empty code takes the activities and subjects without course",
            R"(<CURS codi="" descripcio="Activitats"><GRUP codi="ACT1" nom="X"/></CURS>)",
            { { "GUAR", "GUARDIA", "Guardia", "123456", "4", "", "T" },
                { "XX", "XX", "Sense curs", "M9", "4", "", "F" },
                { "MA", "MAT", "Mates", "M1", "4", "C1", "F" } },
            { { "ACT", "0" } }, { { "", "Activitats", "ACT", "0" } },
            { { "ACT1", "", "ACT", "0", "X", "ACT1", "", "Activitats - X" } },
            { { "GUAR", "GUARDIA", "Guardia", "ACT", "0" }, { "XX", "XX", "Sense curs", "ACT", "0" } } },

        { "three groups: one catalogue record per subject",
            R"(<CURS codi="3ESO" descripcio="Tercer"><GRUP codi="3ESOA" nom="A"/><GRUP codi="3ESOB" nom="B"/>)"
            R"(<GRUP codi="3ESOC" nom="C"/></CURS>)",
            { { "BI", "BIO", "Biologia", "M1", "4", "3ESO", "F" },
                { "HI", "HIS", "Historia", "M2", "4", "3ESO", "F" } },
            { { "ESO", "3" } }, { { "3ESO", "Tercer", "ESO", "3" } },
            { { "ESOA", "", "ESO", "3", "A", "3ESOA", "3ESO", "Tercer - A" },
                { "ESOB", "", "ESO", "3", "B", "3ESOB", "3ESO", "Tercer - B" },
                { "ESOC", "", "ESO", "3", "C", "3ESOC", "3ESO", "Tercer - C" } },
            { { "BI", "BIO", "Biologia", "ESO", "3" }, { "HI", "HIS", "Historia", "ESO", "3" } } },

        { "course codes compare with their letter case",
            R"(<CURS codi="1ESO" descripcio="Primer"><GRUP codi="1ESOA" nom="A"/></CURS>)",
            { { "MA", "MAT", "Mates", "M1", "4", "1eso", "F" },
                { "CA", "CAT", "Catala", "M2", "4", "1ESO", "F" } },
            { { "ESO", "1" } }, { { "1ESO", "Primer", "ESO", "1" } },
            { { "ESOA", "", "ESO", "1", "A", "1ESOA", "1ESO", "Primer - A" } },
            { { "CA", "CAT", "Catala", "ESO", "1" } } },

        { "levels left empty travel on empty",
            R"(<CURS codi="4ESO" descripcio="Quart"><GRUP codi="4ESOA" nom="A"/></CURS>)",
            { { "MA", "MAT", "Mates", "M1", "4", "4ESO", "F" } }, {}, { { "4ESO", "Quart", "", "" } },
            { { "ESOA", "", "", "", "A", "4ESOA", "4ESO", "Quart - A" } },
            { { "MA", "MAT", "Mates", "", "" } } },

        { "a course without groups gives its subjects no catalogue record",
            R"(<CURS codi="BAT1" descripcio="Batxillerat"/>)",
            { { "FI", "FIS", "Filosofia", "M1", "4", "BAT1", "F" } }, { { "BAT", "1" } },
            { { "BAT1", "Batxillerat", "BAT", "1" } }, {}, {} },

        { "attributes are trimmed; missing ones read as empty text",
            "<CURS codi=\" 4ESO \" descripcio=\"&#10; Quart curs &#9;\"><GRUP codi=\"\t4ESOA \" nom=\" "
            "A\"/></CURS>"
            "<CURS><GRUP/></CURS>",
            { { "GUAR", "GUARDIA", "Guardia", "123456", "4", "", "T" } }, {},
            { { "4ESO", "Quart curs", "", "" }, { "", "", "", "" } },
            { { "ESOA", "", "", "", "A", "4ESOA", "4ESO", "Quart curs - A" },
                { "", "", "", "", "", "", "", " -" } },
            { { "GUAR", "GUARDIA", "Guardia", "", "" } } },
    };

    for (const CoursesCase& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        test::writeSubjects(dir.path(), c.subjects);
        ScriptedPrompts prompts;
        prompts.typed = c.typed;
        Warnings warnings;
        test::runCourses(test::centreWithCourses(c.courses), dir.path(), prompts, warnings);

        EXPECT_EQ(1, prompts.gridShown);
        EXPECT_EQ(c.cursost, readRows(dir.path(), zelvano::cursost::kTable));
        EXPECT_EQ(c.grupost, readRows(dir.path(), zelvano::grupost::kTable));
        EXPECT_EQ(c.matib, readRows(dir.path(), zelvano::matib::kTable));
    }
}

TEST(TransformarCursos, GridSeesEveryCourseWithEmptyLevels)
{
    TempDir dir;
    test::writeSubjects(dir.path(), {});
    std::string courses;
    std::vector<Row> expected;
    for (int i = 1; i <= 10; ++i) {
        const std::string number = std::to_string(i);
        const std::string code = std::string("C").append(number);
        const std::string description = std::string("Curs ").append(number);
        courses += "<CURS codi=\"" + code + "\" descripcio=\"" + description + "\"/>";
        expected.push_back({ code, description, "", "" });
    }
    ScriptedPrompts prompts;
    Warnings warnings;
    test::runCourses(test::centreWithCourses(courses), dir.path(), prompts, warnings);
    EXPECT_EQ(expected, prompts.gridLines);
}

TEST(TransformarCursos, GridStartsFromTheLevelsOfTheTimetableDirectory)
{
    // An earlier import left levels in CURSOST; the long code is matched as stored.
    const std::string longCode(25, 'L');
    TempDir previous;
    test::writeSubjects(previous.path(), {});
    ScriptedPrompts typing;
    typing.typed = { { "ESO", "1" }, { "BAT", "2" }, { "", "" }, { "CF", "3" } };
    Warnings warnings;
    test::runCourses(
        test::centreWithCourses(R"(<CURS codi="C1" descripcio="U"/><CURS codi="C2" descripcio="D"/>)"
                                R"(<CURS codi="C3" descripcio="T"/><CURS codi=")"
            + longCode + R"(" descripcio="L"/>)"),
        previous.path(), typing, warnings);
    const CourseLevelsByCode levels = readPreviousCourseLevels(previous.path());

    TempDir dir;
    test::writeSubjects(dir.path(), {});
    ScriptedPrompts prompts;
    prompts.typed = { { "ESO", "1" }, { "BAT", "9" } }; // the user can still change anything
    test::runCourses(
        test::centreWithCourses(R"(<CURS codi="C2" descripcio="D2"/><CURS codi="C1" descripcio="U"/>)"
                                R"(<CURS codi="C3" descripcio="T"/><CURS codi="C4" descripcio="N"/>)"
                                R"(<CURS codi=")"
            + longCode + R"(X" descripcio="L"/>)"),
        dir.path(), prompts, warnings, &levels);
    const std::string stored = longCode.substr(0, 20);
    EXPECT_EQ((std::vector<Row> { { "C2", "D2", "BAT", "2" }, { "C1", "U", "ESO", "1" },
                  { "C3", "T", "", "" }, { "C4", "N", "", "" }, { stored, "L", "CF", "3" } }),
        prompts.gridLines);
    EXPECT_EQ((std::vector<Row> { { "C2", "D2", "ESO", "1" }, { "C1", "U", "BAT", "9" },
                  { "C3", "T", "", "" }, { "C4", "N", "", "" }, { stored, "L", "CF", "3" } }),
        readRows(dir.path(), zelvano::cursost::kTable));
}

TEST(TransformarCursos, NoPreviousLevelsWhereCursostIsMissingOrUnreadable)
{
    TempDir dir;
    EXPECT_EQ(0u, readPreviousCourseLevels(dir.path()).size());
    EXPECT_EQ(0u, readPreviousCourseLevels(dir.path() / "missing").size());
    tramazel::test::writeFile(dir.path() / "CURSOST.DBF", "not a table");
    EXPECT_EQ(0u, readPreviousCourseLevels(dir.path()).size());
}

TEST(TransformarCursos, NoCoursesGiveEmptyTablesAndTheGridStillShows)
{
    for (const char* xml : { "<CENTRE/>", "<CENTRE><CURSOS/></CENTRE>" }) {
        SCOPED_TRACE(xml);
        TempDir dir;
        test::writeSubjects(dir.path(), { { "MA", "MAT", "Mates", "M1", "4", "", "F" } });
        ScriptedPrompts prompts;
        Warnings warnings;
        test::runCourses(xml, dir.path(), prompts, warnings);
        EXPECT_EQ(1, prompts.gridShown);
        EXPECT_TRUE(prompts.gridLines.empty());
        for (std::string_view table :
            { zelvano::cursost::kTable, zelvano::grupost::kTable, zelvano::matib::kTable })
            EXPECT_TRUE(readRows(dir.path(), table).empty()) << table;
    }
}

TEST(TransformarCursos, ReplacesTheTablesOfAnEarlierRun)
{
    TempDir dir;
    test::writeSubjects(dir.path(), { { "MA", "MAT", "Mates", "M1", "4", "C1", "F" } });
    ScriptedPrompts prompts;
    Warnings warnings;
    test::runCourses(
        test::centreWithCourses(R"(<CURS codi="C1" descripcio="U"><GRUP codi="G1" nom="A"/></CURS>)"),
        dir.path(), prompts, warnings);
    test::runCourses(test::centreWithCourses(""), dir.path(), prompts, warnings);
    for (std::string_view table :
        { zelvano::cursost::kTable, zelvano::grupost::kTable, zelvano::matib::kTable })
        EXPECT_TRUE(readRows(dir.path(), table).empty()) << table;
}

TEST(TransformarCursos, ReportsHazards)
{
    TempDir dir;
    test::writeSubjects(dir.path(),
        { { "MA", "MAT", "Mates", "M1", "4", "C1", "F" }, { "SO", "SOL", "Sola", "M2", "4", "C9", "F" },
            { "NO", "NOC", "Sense", "M3", "4", "", "F" },
            { "GUAR", "GUARDIA", "Guardia", "A1", "4", "", "T" } });
    const std::string courses = R"(<CURS codi="C1" descripcio="U"><GRUP codi="10001" nom="A"/>)"
                                R"(<GRUP codi="20001" nom="B"/></CURS>)"
                                R"(<CURS codi="C1" descripcio="U bis"><GRUP codi="30002" nom="C"/></CURS>)"
                                R"(<CURS codi="C2" descripcio="Sense grups"/>)"
                                R"(<CURS codi=")"
        + kCode25 + R"(" descripcio="Llarg"><GRUP codi="G7" nom="A"/><GRUP codi="G8" nom="B"/></CURS>)";
    ScriptedPrompts prompts;
    prompts.typed = { { "ESO", "1" }, { "ESO", "" }, { "", "2" } };
    Warnings warnings;
    test::runCourses(test::centreWithCourses(courses), dir.path(), prompts, warnings);

    const std::pair<std::string_view, std::size_t> expected[] = {
        { warning::kDuplicateCourse, 1 }, { warning::kCourseWithoutGroups, 1 },
        { warning::kCourseWithoutLevel, 3 }, // C1 bis, C2, and the long code left untouched
        { warning::kGroupWithoutCourse, 0 }, // the long code's groups find it as CURSOST holds it
        { warning::kSharedGroupAbbreviation, 1 },
        { warning::kSubjectWithoutGroup, 2 }, // SO and NO; the activity is not reported
    };
    for (const auto& [kind, count] : expected)
        EXPECT_EQ(count, warnings.count(kind)) << kind;
}

TEST(TransformarCursos, TablesHeldOrMissingEndTheBuilder)
{
    struct Case {
        const char* name;
        bool writeSubjects;
        bool holdSubjects;
        ErrorCode expected;
    };
    const Case cases[] = {
        { "ASIGNOMT missing", false, false, ErrorCode::FileNotFound },
        { "ASIGNOMT held open", true, true, ErrorCode::TableLocked },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        if (c.writeSubjects)
            test::writeSubjects(dir.path(), { { "MA", "MAT", "Mates", "M1", "4", "C1", "F" } });
        std::optional<dbf::DbfTable> held;
        if (c.holdSubjects)
            held.emplace(dbf::DbfTable::open(dir.path(), zelvano::asignomt::kTable, dbf::Access::Shared));
        ScriptedPrompts prompts;
        Warnings warnings;
        expectError(c.expected, [&] {
            test::runCourses(test::centreWithCourses(R"(<CURS codi="C1" descripcio="U"/>)"), dir.path(),
                prompts, warnings);
        });
    }
}

// The catalogue's production index, walked by an independent reader (Perl's
// XBase::Index): every record, in key order, ties in record order.
TEST(TransformarCursos, CatalogueIndexListsEveryRecordInKeyOrder)
{
    TRAMAZEL_SKIP_ON_WINDOWS("the independent readers are Linux programs");
    TempDir dir;
    std::vector<Row> subjects;
    std::vector<std::pair<std::string, int>> expected; // key, record number
    const char* letters = "ZYXMACB";
    for (int i = 0; i < 400; ++i) {
        // Unsorted keys, many of them shared, some of one to four characters.
        std::string code(1, letters[(i * 3) % 7]);
        code += letters[(i / 7) % 7];
        if (i % 5 == 0)
            code += std::to_string(i % 13);
        const bool hasGroup = i % 9 != 4;
        subjects.push_back({ code, code, std::string("Materia ").append(std::to_string(i)),
            std::string("M").append(std::to_string(i)), "4", hasGroup ? "C1" : "C9", "F" });
        if (hasGroup)
            expected.emplace_back(code, static_cast<int>(expected.size()) + 1);
    }
    test::writeSubjects(dir.path(), subjects);
    ScriptedPrompts prompts;
    Warnings warnings;
    test::runCourses(
        test::centreWithCourses(R"(<CURS codi="C1" descripcio="U"><GRUP codi="G1" nom="A"/></CURS>)"),
        dir.path(), prompts, warnings);
    std::stable_sort(
        expected.begin(), expected.end(), [](const auto& a, const auto& b) { return a.first < b.first; });

    const std::string script = "use XBase::Index; my $i = XBase::Index->new($ARGV[0], 'tag' => 'ABREV'); "
                               "$i->prepare_select; while (my ($k, $v) = $i->fetch) { $k =~ s/ +$//; "
                               "print \"$k|$v\\n\"; }";
    const auto result
        = tramazel::test::run(std::string(TRAMAZEL_PERL) + " -e " + tramazel::test::shellQuote(script) + " "
            + tramazel::test::shellQuote((dir.path() / "MATIB.MDX").string()));
    ASSERT_EQ(0, result.exitCode) << result.output;

    std::vector<std::pair<std::string, int>> walked;
    std::istringstream lines(result.output);
    for (std::string line; std::getline(lines, line);) {
        const auto bar = line.find('|');
        ASSERT_NE(std::string::npos, bar) << line;
        walked.emplace_back(line.substr(0, bar), std::stoi(line.substr(bar + 1)));
    }
    EXPECT_EQ(expected, walked);
}

} // namespace
} // namespace tramazel::centre_import
