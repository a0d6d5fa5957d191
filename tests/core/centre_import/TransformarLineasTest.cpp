// SPDX-License-Identifier: GPL-3.0-or-later
#include "CoursesTestSupport.h"

#include "Error.h"
#include "TestSupport.h"
#include "WarningTexts.h"
#include "ZelvanoTables.h"
#include "dbf/DbfTable.h"
#include "dbf/TableFiles.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace tramazel::centre_import {
namespace {

using test::readRows;
using test::Row;
using test::ScriptedPrompts;
using tramazel::test::expectError;
using tramazel::test::TempDir;

// The tables TransformarLineas reads, as the builders before it leave them.
void prepare(const std::filesystem::path& dir, std::string_view courses, const std::vector<Row>& subjects,
    std::vector<std::pair<std::string, std::string>> typed)
{
    test::writeSubjects(dir, subjects);
    test::writeEmptyTable(dir, zelvano::proft::kTable);
    test::writeEmptyTable(dir, zelvano::aulat::kTable);
    ScriptedPrompts prompts;
    prompts.typed = std::move(typed);
    Warnings warnings;
    test::runCourses(test::centreWithCourses(courses), dir, prompts, warnings);
}

std::string ones(std::size_t n, std::string lead = {})
{
    return lead.append(n, '1');
}

TEST(TransformarLineas, PairsEveryGroupWithTheSubjectsOfItsCourse)
{
    TempDir dir;
    prepare(dir.path(),
        R"(<CURS codi="C1" descripcio="Primer"><GRUP codi="1ESOA" nom="A"/><GRUP codi="1ESOB" nom="B"/>)"
        R"(<GRUP codi="1ESOC" nom="C"/></CURS>)"
        R"(<CURS codi="C2" descripcio="Segon"><GRUP codi="2ESOD" nom="D"/></CURS>)"
        R"(<CURS codi="" descripcio="Activitats"><GRUP codi="ACT1" nom="X"/></CURS>)",
        {
            { "MA", "MAT", "Mates", "M1", "4", "C1", "F" },
            { "GUAR", "GUARDIA", "Guardia", "A1", "4", "", "T" },
            { "CA", "CAT", "Catala", "M2", "2.5", "C1", "F" },
            { "SO", "SOL", "Sola", "M9", "4", "C9", "F" },
            { "EF", "EF", "Ed. fisica", "M3", "", "C1", "F" },
            { "RE", "REL", "Religio", "M4", "abc", "C1", "F" },
            { "TE", "TEC", "Tecnologia", "M5", "15", "C1", "F" },
        },
        { { "ESO", "1" }, { "ESO", "2" }, { "ACT", "0" } });

    ScriptedPrompts prompts;
    Warnings warnings;
    test::runLines(dir.path(), prompts, warnings);

    // CASIG, CPROF, CGRUP, CAULA, TURNO, NIVEL, CURSO, GRUPO, HORAS, SESIONES
    std::vector<Row> expected;
    for (const char* group : { "A", "B", "C" }) {
        const std::string abrev = std::string("ESO") + group;
        expected.push_back({ "MA", "", abrev, "", "", "ESO", "1", group, "4", "1111" });
        expected.push_back({ "CA", "", abrev, "", "", "ESO", "1", group, "2.5", "111" });
        expected.push_back({ "EF", "", abrev, "", "", "ESO", "1", group, "", "" });
        expected.push_back({ "RE", "", abrev, "", "", "ESO", "1", group, "1", "1" });
        expected.push_back({ "TE", "", abrev, "", "", "ESO", "1", group, "15", ones(13, "2") });
    }
    // The course with an empty code pairs with everything without a course.
    expected.push_back({ "GUAR", "", "ACT1", "", "", "ACT", "0", "X", "4", "1111" });
    EXPECT_EQ(expected, readRows(dir.path(), zelvano::asigt::kTable));
    EXPECT_EQ(1u, warnings.count(warning::kHoursNotANumber));

    // HORAS reads back as the number it was set to.
    dbf::DbfTable asigt = dbf::DbfTable::open(dir.path(), zelvano::asigt::kTable, dbf::Access::Shared);
    asigt.first();
    asigt.next();
    EXPECT_DOUBLE_EQ(2.5, asigt.number(zelvano::asigt::kHoras));
}

TEST(TransformarLineas, WithTheCheckBoxASubjectGoesOnlyToTheGroupsItsNameDesignates)
{
    // Groups cut to GRUPO's two characters still match by their full GestIB name, and
    // the description comes from the centre file, not from NOMBRE.
    const std::string courses
        = R"(<CURS codi="C1" descripcio="Primer"><GRUP codi="1ESOA" nom="A"/><GRUP codi="1ESOB" nom="B"/>)"
          R"(<GRUP codi="1ESOC" nom="C"/></CURS>)"
          R"(<CURS codi="C2" descripcio="Segon"><GRUP codi="PMAR1" nom="PMAR1"/><GRUP codi="PMAR2" nom="PMAR2"/></CURS>)";
    const std::string centre
        = "<CENTRE><MATERIES>"
          R"(<MATERIA codi="M1" curs="C1" descripcio="Matemàtiques-AB" curta="MAT"/>)"
          R"(<MATERIA codi="M2" curs="C1" descripcio="Atenció educativa-F" curta="AE"/>)"
          R"(<MATERIA codi="M3" curs="C2" descripcio="Àmbit científic-PMAR2" curta="AC"/>)"
          R"(<MATERIA codi="M4" curs="C2" descripcio="Tutoria" curta="TU"/>)"
          "</MATERIES><CURSOS>"
        + courses + "</CURSOS></CENTRE>";
    const std::vector<Row> subjects {
        { "MA", "MAT", "Matematiques", "M1", "4", "C1", "F" },
        { "AE", "AE", "Atencio educativa-F", "M2", "1", "C1", "F" },
        { "AC", "AC", "Ambit cientific", "M3", "2", "C2", "F" },
        { "TU", "TU", "Tutoria", "M4", "1", "C2", "F" },
        // Not in the centre file: its NOMBRE is all there is.
        { "RE", "RE", "Reforc-C", "M9", "1", "C1", "F" },
    };

    struct Case {
        bool namedGroupsOnly;
        std::vector<std::pair<std::string, std::string>> lines; ///< CASIG, CGRUP
        ImportNotes notes;
    };
    const Case cases[] = {
        { false,
            { { "MA", "ESOA" }, { "AE", "ESOA" }, { "RE", "ESOA" }, { "MA", "ESOB" }, { "AE", "ESOB" },
                { "RE", "ESOB" }, { "MA", "ESOC" }, { "AE", "ESOC" }, { "RE", "ESOC" }, { "AC", "MAR1" },
                { "TU", "MAR1" }, { "AC", "MAR2" }, { "TU", "MAR2" } },
            { false, 0, 0 } },
        { true,
            { { "MA", "ESOA" }, { "AE", "ESOA" }, { "MA", "ESOB" }, { "AE", "ESOB" }, { "AE", "ESOC" },
                { "RE", "ESOC" }, { "TU", "MAR1" }, { "AC", "MAR2" }, { "TU", "MAR2" } },
            { true, 9, 3 } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.namedGroupsOnly ? "named groups" : "all groups");
        TempDir dir;
        prepare(dir.path(), courses, subjects, { { "ESO", "1" }, { "PMA", "2" } });
        ScriptedPrompts prompts;
        prompts.namedGroupsOnly = c.namedGroupsOnly;
        Warnings warnings;
        ImportNotes notes;
        test::runLines(dir.path(), prompts, warnings, centre, &notes);

        std::vector<std::pair<std::string, std::string>> lines;
        for (const Row& row : readRows(dir.path(), zelvano::asigt::kTable))
            lines.emplace_back(row[0], row[2]);
        EXPECT_EQ(c.lines, lines);
        EXPECT_EQ(c.notes.linesForNamedGroups, notes.linesForNamedGroups);
        if (c.namedGroupsOnly) {
            EXPECT_EQ(c.notes.subjectLines, notes.subjectLines);
            EXPECT_EQ(c.notes.subjectsNamingGroups, notes.subjectsNamingGroups);
        }
    }
}

TEST(TransformarLineas, LinesFollowTheGroupsInRecordOrderAndEachCoursesSubjectsInTheirs)
{
    // Courses met in another order in ASIGNOMT than in GRUPOST, a course whose groups
    // do not follow one another, a group whose course has no subject and a subject
    // whose course has no group. The tables as the builders before write them, and
    // marked as stored in an OEM code page, whose texts are converted as they are read.
    struct Case {
        const char* name;
        std::optional<char> languageDriver;
        std::string groupE; ///< CGRUP of group GE's lines
    };
    const Case cases[] = {
        { "cp1252", std::nullopt, "G\xD1" },
        { "OEM 850", '\x37', "G\xD0" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        prepare(dir.path(), "",
            {
                { "X1", "X1", "X1", "M1", "1", "C3", "F" },
                { "Y1", "Y1", "Y1", "M2", "2", "C1", "F" },
                { "Z1", "Z1", "Z1", "M3", "3", "C9", "F" },
                { "X2", "X2", "X2", "M4", "4", "C3", "F" },
                { "Y2", "Y2", "Y2", "M5", "1", "C1", "F" },
                { "Y3", "Y3", "Y3", "M6", "2", "C1", "F" },
            },
            {});
        {
            namespace g = zelvano::grupost;
            dbf::DbfTable groups = dbf::DbfTable::create(dir.path(), g::kTable, g::fields());
            const std::pair<const char*, const char*> rows[]
                = { { "GA", "C1" }, { "GB", "C2" }, { "GC", "C3" }, { "GD", "C1" }, { "G\xD1", "C3" } };
            for (const auto& [abrev, course] : rows) {
                groups.append();
                groups.setText(g::kAbrev, abrev);
                groups.setText(g::kCodiCurs, course);
                groups.post();
            }
        }
        if (c.languageDriver) {
            for (std::string_view table : { zelvano::grupost::kTable, zelvano::asignomt::kTable }) {
                const std::filesystem::path file = dir.path() / (std::string(table) + ".DBF");
                std::string bytes = tramazel::test::readFile(file);
                bytes[29] = *c.languageDriver;
                tramazel::test::writeFile(file, bytes);
            }
        }

        ScriptedPrompts prompts;
        Warnings warnings;
        test::runLines(dir.path(), prompts, warnings);
        std::vector<std::pair<std::string, std::string>> lines;
        for (const Row& row : readRows(dir.path(), zelvano::asigt::kTable))
            lines.emplace_back(row[2], row[0]);
        const std::vector<std::pair<std::string, std::string>> expected { { "GA", "Y1" }, { "GA", "Y2" },
            { "GA", "Y3" }, { "GC", "X1" }, { "GC", "X2" }, { "GD", "Y1" }, { "GD", "Y2" }, { "GD", "Y3" },
            { c.groupE, "X1" }, { c.groupE, "X2" } };
        EXPECT_EQ(expected, lines);
    }
}

TEST(TransformarLineas, AsksFirstAndWritesNothingOnCancel)
{
    const std::string question
        = "\xC2\xBFQuiere crear autom\xC3\xA1ticamente las L\xC3\xADneas de Asignaturas \n"
          "que esta aplicaci\xC3\xB3n estime necesarias para cada Grupo? \n"
          "Seguramente se crear\xC3\xA1n m\xC3\xA1s l\xC3\xADneas de las necesarias, \n"
          "pero podr\xC3\xA1 eliminar las que considere innecesarias. \n"
        + std::string(28, ' ') + "\xC2\xBF" + "Crear L\xC3\xADneas?";
    const std::string caption = "Creaci\xC3\xB3n autom\xC3\xA1tica de L\xC3\xADneas de Asignaturas";

    TempDir dir;
    prepare(dir.path(), R"(<CURS codi="C1" descripcio="U"><GRUP codi="G1" nom="A"/></CURS>)",
        { { "MA", "MAT", "Mates", "M1", "4", "C1", "F" } }, { { "ESO", "1" } });

    ScriptedPrompts prompts;
    Warnings warnings;
    test::runLines(dir.path(), prompts, warnings);
    ASSERT_EQ(1u, prompts.questions.size());
    EXPECT_EQ(caption, prompts.questions[0].first);
    EXPECT_EQ(question, prompts.questions[0].second);
    EXPECT_EQ(1u, readRows(dir.path(), zelvano::asigt::kTable).size());

    // Cancel empties the lines an earlier run wrote; the table is still there.
    prompts.answer = false;
    test::runLines(dir.path(), prompts, warnings);
    EXPECT_EQ(2u, prompts.questions.size());
    EXPECT_TRUE(readRows(dir.path(), zelvano::asigt::kTable).empty());
}

TEST(TransformarLineas, AsksEvenWithoutGroups)
{
    TempDir dir;
    prepare(dir.path(), "", { { "MA", "MAT", "Mates", "M1", "4", "C1", "F" } }, {});
    ScriptedPrompts prompts;
    Warnings warnings;
    test::runLines(dir.path(), prompts, warnings);
    EXPECT_EQ(1u, prompts.questions.size());
    EXPECT_TRUE(readRows(dir.path(), zelvano::asigt::kTable).empty());
}

TEST(TransformarLineas, TablesMissingOrHeldEndTheBuilderBeforeTheQuestion)
{
    struct Case {
        std::string_view table;
        bool held; ///< held open by another handle; otherwise deleted
        ErrorCode expected;
    };
    const Case cases[] = {
        { zelvano::grupost::kTable, false, ErrorCode::FileNotFound },
        { zelvano::proft::kTable, false, ErrorCode::FileNotFound },
        { zelvano::aulat::kTable, false, ErrorCode::FileNotFound },
        { zelvano::asignomt::kTable, false, ErrorCode::FileNotFound },
        { zelvano::grupost::kTable, true, ErrorCode::TableLocked },
        { zelvano::proft::kTable, true, ErrorCode::TableLocked },
        { zelvano::aulat::kTable, true, ErrorCode::TableLocked },
        { zelvano::asignomt::kTable, true, ErrorCode::TableLocked },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string(c.table) + (c.held ? " held" : " missing"));
        TempDir dir;
        prepare(dir.path(), R"(<CURS codi="C1" descripcio="U"><GRUP codi="G1" nom="A"/></CURS>)",
            { { "MA", "MAT", "Mates", "M1", "4", "C1", "F" } }, {});
        std::optional<dbf::DbfTable> held;
        if (c.held)
            held.emplace(dbf::DbfTable::open(dir.path(), c.table, dbf::Access::Shared));
        else
            dbf::deleteTable(dir.path(), c.table);

        ScriptedPrompts prompts;
        Warnings warnings;
        expectError(c.expected, [&] { test::runLines(dir.path(), prompts, warnings); });
        EXPECT_TRUE(prompts.questions.empty());
    }
}

} // namespace
} // namespace tramazel::centre_import
