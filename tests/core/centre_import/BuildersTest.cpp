// SPDX-License-Identifier: GPL-3.0-or-later
#include "BuilderRun.h"

#include "Error.h"
#include "TestSupport.h"
#include "centre_import/Builders.h"
#include "centre_import/TableHazards.h"
#include "dbf/DbfTable.h"
#include "dbf/TableFiles.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace tramazel::centre_import {
namespace {

using test::readLayout;
using test::readRows;
using test::Row;
using test::runBuilder;
using tramazel::test::expectError;
using tramazel::test::TempDir;

// Expected texts are cp1252: \xE0 à, \xE8 è, \xC0 À.
const std::string k40 = "Llengua castellana i literatura de 1r de";
const std::string k45 = k40 + " ESO.";

std::string repeatDigits(std::size_t n)
{
    std::string s;
    for (std::size_t i = 0; i < n; ++i)
        s += static_cast<char>('0' + i % 10);
    return s;
}

TEST(TransformarAsignaturas, WritesSubjectsThenActivities)
{
    const std::string code25 = repeatDigits(25);
    const std::string xml = R"(<?xml version="1.0" encoding="UTF-8"?>
<CENTRE>
  <ACTIVITATS>
    <ACTIVITAT codi="123456" descripcio="Vigilància" curta="VIGILANCIA1"/>
    <ACTIVITAT codi="MA" descripcio="Activitat MA" curta="ACT"/>
    <ACTIVITAT codi=" 1234999 " descripcio="Guàrdia" curta=" GUÀRDIA "/>
  </ACTIVITATS>
  <MATERIES>
    <MATERIA codi="M1" curs="C1" descripcio="Matemàtiques" curta="MAT"/>
    <MATERIA codi="M2" curs="C1" descripcio="Matemàtiques II" curta="MATES"/>
    <MATERIA codi="M3" curs="C2" descripcio="matemàtiques" curta="mat"/>
    <MATERIA codi="M4" curs="" descripcio="Ciències naturals" curta="C.NAT"/>
    <MATERIA codi="M5" curs="C2" descripcio="Matematiques 3" curta="MATEMATIQUES"/>
    <MATERIA codi="M6" curs="C2" descripcio="Musica" curta="MUSICA123"/>
    <MATERIA codi="M7" curs="C2" descripcio=")"
        + k45 + R"(" curta="&#9; E-F&#10;"/>
    <MATERIA/>
    <MATERIA curta=""/>
    <MATERIA codi=")"
        + code25 + R"(" curs=")" + code25 + R"(" descripcio="x" curta="ABCDEFGH"/>
  </MATERIES>
</CENTRE>)";
    TempDir dir;
    Warnings warnings;
    runBuilder(&TransformarAsignaturas, xml, dir.path(), warnings);

    // COD, CODLARGO, NOMBRE, CODI, HORAS, CODICURS, ESTAREA
    const std::vector<Row> expected = {
        { "MA", "MAT", "Matem\xE0tiques", "M1", "4", "C1", "F" },
        { "MA1", "MATES", "Matem\xE0tiques II", "M2", "4", "C1", "F" },
        { "ma2", "mat", "matem\xE0tiques", "M3", "4", "C2", "F" },
        { "CN", "C.NAT", "Ci\xE8ncies naturals", "M4", "4", "", "F" },
        { "Ma3", "Matemat3", "Matematiques 3", "M5", "4", "C2", "F" },
        { "Mu", "Musicaa", "Musica", "M6", "4", "C2", "F" },
        { "EF", "E-F", k40, "M7", "4", "C2", "F" },
        { "", "", "", "", "4", "", "F" },
        { "1", "", "", "", "4", "", "F" },
        { "AB", "ABCDEFGH", "x", code25.substr(0, 20), "4", code25.substr(0, 20), "F" },
        { "1234", "VIGILANC", "Vigil\xE0ncia", "123456", "4", "", "T" },
        { "MA", "ACT", "Activitat MA", "MA", "4", "", "T" },
        { "1234", "GU\xC0RDIA", "Gu\xE0rdia", "1234999", "4", "", "T" },
    };
    EXPECT_EQ(readRows(dir.path(), "ASIGNOMT"), expected);

    EXPECT_EQ(warnings.count(warning::kDuplicateSubjectCode), 2u); // MA and 1234 of activities
    EXPECT_EQ(warnings.count(warning::cutTexts("ASIGNOMT")), 3u); // NOMBRE, CODI, CODICURS
    EXPECT_EQ(warnings.count(warning::kReplacedCharacters), 0u);
}

TEST(TransformarProfesores, WritesUniqueAbbreviationsAndCutDescriptions)
{
    const std::string forty(40, 'd');
    const std::string fortyOne = std::string(35, 'a') + "bcdefg";
    const std::string code25 = repeatDigits(25);
    const std::string xml = "<CENTRE><PLACES>"
                            "<PLACA codi='T1' descripcio='"
        + forty + "' curta='ABCDEF'/><PLACA codi='T2' descripcio='" + fortyOne
        + "' curta='ABCD'/>"
          "<PLACA codi='T3' curta='abcd'/>"
          "<PLACA codi='T4' descripcio='' curta='P1'/>"
          "<PLACA codi='T5' curta='AB'/>"
          "<PLACA codi='T6' curta=' &#9;XY Z &#10;'/>"
          "<PLACA codi='T7' curta=''/>"
          "<PLACA codi='T8' curta=''/>"
          "<PLACA codi='"
        + code25
        + "' curta='Q'/>"
          "<PLACA/>"
          "</PLACES><PLACES><PLACA codi='T11' descripcio='Joan Mas' curta='abcdz'/></PLACES></CENTRE>";
    TempDir dir;
    Warnings warnings;
    runBuilder(&TransformarProfesores, xml, dir.path(), warnings);

    // ABREV, NOMBRE, DEPART, DNI, CODI
    const std::vector<Row> expected = {
        { "ABCD", forty, "", "", "T1" },
        { "P1", std::string(35, 'a') + "cdefg", "", "", "T2" },
        { "P2", "", "", "", "T3" },
        { "P3", "", "", "", "T4" },
        { "AB", "", "", "", "T5" },
        { "XY Z", "", "", "", "T6" },
        { "", "", "", "", "T7" },
        { "P4", "", "", "", "T8" },
        { "Q", "", "", "", code25.substr(0, 20) },
        { "P5", "", "", "", "" },
        { "P6", "Joan Mas", "", "", "T11" },
    };
    EXPECT_EQ(readRows(dir.path(), "PROFT"), expected);
    EXPECT_EQ(warnings.count(warning::kDuplicateTeacherAbbreviation), 0u);
    EXPECT_EQ(warnings.count(warning::cutTexts("PROFT")), 1u); // CODI
}

TEST(TransformarAulas, AbbreviationIsTheEndOfTheCode)
{
    const std::string code70 = repeatDigits(70);
    const std::string xml = "<CENTRE><AULES>"
                            "<AULA codi='1234567' descripcio='Aula 1.01'/>"
                            "<AULA codi='12' descripcio='Gimnàs'/>"
                            "<AULA codi='1234' descripcio='Biblioteca'/>"
                            "<AULA codi='\n\t 99 \n' descripcio='&#9; Sala d&apos;actes&#10;&#13;'/>"
                            "<AULA codi='10001' descripcio='"
        + k45
        + "'/>"
          "<AULA codi='20001' descripcio='Sala Łukasz'/>"
          "<AULA codi='"
        + code70
        + "'/>"
          "<AULA codi=''/>"
          "<AULA/>"
          "</AULES></CENTRE>";
    TempDir dir;
    Warnings warnings;
    runBuilder(&TransformarAulas, xml, dir.path(), warnings);

    // ABREV, NOMBRE, EDIFICIO, MAXALUM, CODI
    const std::vector<Row> expected = {
        { "4567", "Aula 1.01", "", "", "1234567" },
        { "12", "Gimn\xE0s", "", "", "12" },
        { "1234", "Biblioteca", "", "", "1234" },
        { "99", "Sala d'actes", "", "", "99" },
        { "0001", k40, "", "", "10001" },
        { "0001", "Sala ?ukasz", "", "", "20001" },
        { code70.substr(66), "", "", "", code70.substr(0, 60) },
        { "", "", "", "", "" },
        { "", "", "", "", "" },
    };
    EXPECT_EQ(readRows(dir.path(), "AULAT"), expected);
    EXPECT_EQ(warnings.count(warning::kSharedRoomAbbreviation), 1u); // 0001
    EXPECT_EQ(warnings.count(warning::emptyKeys("AULAT", "ABREV")), 2u);
    EXPECT_EQ(warnings.count(warning::cutTexts("AULAT")), 2u); // NOMBRE, CODI
    EXPECT_EQ(warnings.count(warning::kReplacedCharacters), 1u);
}

// The cut to four characters makes late replacements collide with earlier
// codes; the tables keep them as the rule gives them, and the import warns.
TEST(Builders, CodesCutToFourCharactersAreReported)
{
    std::string subjects = "<CENTRE><MATERIES>";
    for (int i = 0; i < 101; ++i)
        subjects += "<MATERIA codi='S" + std::to_string(i) + "' curta='MA'/>";
    subjects += "</MATERIES></CENTRE>";
    std::string posts = "<CENTRE><PLACES>";
    for (int i = 0; i < 1001; ++i)
        posts += "<PLACA codi='T" + std::to_string(i) + "' curta='X'/>";
    posts += "</PLACES></CENTRE>";

    TempDir dir;
    Warnings warnings;
    runBuilder(&TransformarAsignaturas, subjects, dir.path(), warnings);
    runBuilder(&TransformarProfesores, posts, dir.path(), warnings);

    const std::vector<Row> asignomt = readRows(dir.path(), "ASIGNOMT");
    ASSERT_EQ(asignomt.size(), 101u);
    EXPECT_EQ(asignomt[99][0], "MA99");
    EXPECT_EQ(asignomt[10][0], "MA10");
    EXPECT_EQ(asignomt[100][0], "MA10"); // MA100, cut
    const std::vector<Row> proft = readRows(dir.path(), "PROFT");
    ASSERT_EQ(proft.size(), 1001u);
    EXPECT_EQ(proft[999][0], "P999");
    EXPECT_EQ(proft[1000][0], "P100"); // P1000, cut

    EXPECT_EQ(warnings.count(warning::kDuplicateSubjectCode), 1u);
    EXPECT_EQ(warnings.count(warning::kDuplicateTeacherAbbreviation), 1u);
    EXPECT_EQ(warnings.count(warning::cutTexts("ASIGNOMT")), 1u);
    EXPECT_EQ(warnings.count(warning::cutTexts("PROFT")), 1u);
}

// Codes are unique as the table holds them: cut to the field's width and read back
// without trailing blanks, letter case ignored. Two codes that differ only in what
// the table drops would otherwise merge two posts or subjects into one.
TEST(Builders, CodesAreUniqueAsStored)
{
    struct Case {
        const char* what;
        void (*builder)(ImportContext&);
        const char* table;
        std::vector<std::string> shortNames;
        std::vector<std::string> stored; // first field as read back
    } cases[] = {
        { "teacher candidate ending in a blank", &TransformarProfesores, "PROFT", { "A B C", "A B" },
            { "A B", "P1" } },
        { "teacher candidate ending in a blank, other case", &TransformarProfesores, "PROFT",
            { "x y z", "X Y" }, { "x y", "P1" } },
        { "teacher candidate of blanks only after the cut", &TransformarProfesores, "PROFT", { "Q", "Q" },
            { "Q", "P1" } },
        { "subject base ending in a blank", &TransformarAsignaturas, "ASIGNOMT", { "A  X", "A" },
            { "A", "A1" } },
        { "subject base ending in a blank, taken second", &TransformarAsignaturas, "ASIGNOMT",
            { "A", "A  X", "a  y" }, { "A", "A 1", "a 2" } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::string xml = "<CENTRE><PLACES>";
        for (std::size_t i = 0; i < c.shortNames.size(); ++i)
            xml += "<PLACA codi='T" + std::to_string(i) + "' curta='" + c.shortNames[i] + "'/>";
        xml += "</PLACES><MATERIES>";
        for (std::size_t i = 0; i < c.shortNames.size(); ++i)
            xml += "<MATERIA codi='S" + std::to_string(i) + "' curs='C' descripcio='d' curta='"
                + c.shortNames[i] + "'/>";
        xml += "</MATERIES></CENTRE>";
        TempDir dir;
        Warnings warnings;
        runBuilder(c.builder, xml, dir.path(), warnings);
        std::vector<std::string> stored;
        for (const Row& row : readRows(dir.path(), c.table))
            stored.push_back(row[0]);
        EXPECT_EQ(stored, c.stored);
        EXPECT_EQ(warnings.count(warning::kDuplicateTeacherAbbreviation), 0u);
        EXPECT_EQ(warnings.count(warning::kDuplicateSubjectCode), 0u);
    }
}

// A warning shows what a value looks like, never all of it.
TEST(Warnings, ExamplesAreCutToSixtyCharacters)
{
    const std::string sixty(60, 'x');
    struct Case {
        const char* what;
        std::string example; // UTF-8
        std::string kept;
    } cases[] = {
        { "sixty characters kept whole", sixty, sixty },
        { "one more is cut", sixty + "y", sixty + "…" },
        { "characters, not bytes",
            std::string(30, 'a') +
                [] {
                    std::string s;
                    for (int i = 0; i < 40; ++i)
                        s += "\xC3\xA0"; // à
                    return s;
                }(),
            std::string(30, 'a') +
                [] {
                    std::string s;
                    for (int i = 0; i < 30; ++i)
                        s += "\xC3\xA0";
                    return s;
                }()
                + "…" },
    };
    for (const Case& c : cases) {
        Warnings warnings;
        warnings.add("aviso", c.example);
        ASSERT_EQ(warnings.kinds().size(), 1u);
        EXPECT_EQ(warnings.kinds()[0].examples, std::vector<std::string> { c.kept }) << c.what;
    }

    // A two-million-character code gives a summary of a few lines, not megabytes.
    const std::string huge(2'000'000, '7');
    const std::string xml
        = "<CENTRE><AULES><AULA codi='" + huge + "'/><AULA codi='" + huge + "'/></AULES></CENTRE>";
    TempDir dir;
    Warnings warnings;
    runBuilder(&TransformarAulas, xml, dir.path(), warnings);
    std::size_t size = 0;
    for (const std::string& line : warnings.summaryLines())
        size += line.size();
    EXPECT_LT(size, 1000u);
}

// Counting a kind again by its place gives the same report as naming it: the count,
// the first few examples and the order of first occurrence.
TEST(Warnings, CountingByPlaceReportsWhatCountingByNameReports)
{
    Warnings byName;
    Warnings byPlace;
    std::vector<std::size_t> places;
    for (const char* description : { "primero", "segundo" }) {
        byName.add(description, "a");
        places.push_back(byPlace.add(description, "a"));
    }
    EXPECT_EQ(places, (std::vector<std::size_t> { 0, 1 }));
    EXPECT_EQ(byPlace.add("primero"), 0u); // a kind keeps its place
    byName.add("primero");
    for (int i = 0; i < 8; ++i) {
        const std::string example = "e" + std::to_string(i);
        byName.add("segundo", example);
        byPlace.addTo(places[1], example);
        byName.add("primero");
        byPlace.addTo(places[0]);
    }
    EXPECT_EQ(byPlace.lines(), byName.lines());
    EXPECT_EQ(byPlace.count("segundo"), 9u);
    EXPECT_EQ(byPlace.kinds()[1].examples.size(), Warnings::kExamplesPerKind);
}

struct TableCase {
    const char* table;
    void (*builder)(ImportContext&);
    std::vector<std::string> layout;
};

const std::vector<TableCase>& tableCases()
{
    static const std::vector<TableCase> cases = {
        { "ASIGNOMT", &TransformarAsignaturas,
            { "COD:C:4", "CODLARGO:C:8", "NOMBRE:C:40", "CODI:C:20", "HORAS:C:8", "CODICURS:C:20",
                "ESTAREA:L:1" } },
        { "PROFT", &TransformarProfesores,
            { "ABREV:C:4", "NOMBRE:C:40", "DEPART:C:40", "DNI:N:11", "CODI:C:20" } },
        { "AULAT", &TransformarAulas,
            { "ABREV:C:4", "NOMBRE:C:40", "EDIFICIO:C:1", "MAXALUM:N:11", "CODI:C:60" } },
        { "DIASHORAST", &TransformarDiasHoras,
            { "DIHO:C:10", "CODDIHO:C:10", "DIA:C:20", "TEXTODIA:C:20", "HORA:C:8", "HORADESDE:C:8",
                "HORAHASTA:C:8", "MINUTOS:C:8" } },
    };
    return cases;
}

const char* const kFullCentre = "<CENTRE>"
                                "<MATERIES><MATERIA codi='1' curs='C' descripcio='M' curta='M'/></MATERIES>"
                                "<ACTIVITATS><ACTIVITAT codi='2' descripcio='G' curta='G'/></ACTIVITATS>"
                                "<PLACES><PLACA codi='3' curta='P'/></PLACES>"
                                "<AULES><AULA codi='4' descripcio='A'/></AULES>"
                                "</CENTRE>";

// Every run starts from nothing: a centre without elements leaves each table
// with its layout and no records, whatever was there (files of any letter case,
// a stale index file).
TEST(Builders, RecreateTheirTablesEmptyWithTheirLayout)
{
    for (const TableCase& c : tableCases()) {
        SCOPED_TRACE(c.table);
        TempDir dir;
        Warnings warnings;
        runBuilder(c.builder, kFullCentre, dir.path(), warnings);
        if (std::string(c.table) == "DIASHORAST") {
            // Zelvano's slots: a table of the same name with records.
            dbf::deleteTable(dir.path(), c.table);
            auto t = dbf::DbfTable::create(
                dir.path(), "diashorast", { { "DIHO", dbf::FieldKind::Character, 10 } });
            t.append();
            t.setText(0, "1-1");
            t.post();
        }
        ASSERT_FALSE(readRows(dir.path(), c.table).empty());
        tramazel::test::writeFile(dir / (std::string(c.table) + ".MDX"), "stale index");

        runBuilder(c.builder, "<CENTRE/>", dir.path(), warnings);
        EXPECT_EQ(readLayout(dir.path(), c.table), c.layout);
        EXPECT_TRUE(readRows(dir.path(), c.table).empty());
        EXPECT_EQ(dbf::tableFileVariants(dir.path(), c.table, ".DBF").size(), 1u);
        EXPECT_TRUE(dbf::tableFileVariants(dir.path(), c.table, ".MDX").empty());
    }
}

// A missing timetable directory surfaces as the engine's error, and no builder
// writes anywhere else.
// A record whose key came out empty can never be named by the export (it looks no
// empty key up), so each one is reported, table by table.
TEST(Builders, EmptyKeysAreReported)
{
    struct Case {
        const char* name;
        void (*builder)(ImportContext&);
        std::string xml;
        std::string description;
        std::size_t count;
    };
    const Case cases[] = {
        { "a post without curta", &TransformarProfesores,
            "<CENTRE><PLACES><PLACA codi='3050099' descripcio='Vacant'/><PLACA codi='3050100' curta='AB'/>"
            "</PLACES></CENTRE>",
            warning::emptyKeys("PROFT", "ABREV"), 1 },
        { "a post whose curta is blanks", &TransformarProfesores,
            "<CENTRE><PLACES><PLACA codi='1' curta='   '/></PLACES></CENTRE>",
            warning::emptyKeys("PROFT", "ABREV"), 1 },
        { "subjects without descripcio or curta", &TransformarAsignaturas,
            "<CENTRE><MATERIES><MATERIA codi='2070099'/><MATERIA codi='2070100' curta='MAT'/></MATERIES>"
            "<ACTIVITATS><ACTIVITAT descripcio='Guàrdia'/></ACTIVITATS></CENTRE>",
            warning::emptyKeys("ASIGNOMT", "COD"), 2 },
        { "a room without codi", &TransformarAulas,
            "<CENTRE><AULES><AULA descripcio='Patí'/></AULES></CENTRE>", warning::emptyKeys("AULAT", "ABREV"),
            1 },
        { "every key present", &TransformarProfesores,
            "<CENTRE><PLACES><PLACA codi='1' curta='AB'/></PLACES></CENTRE>",
            warning::emptyKeys("PROFT", "ABREV"), 0 },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        Warnings warnings;
        runBuilder(c.builder, c.xml, dir.path(), warnings);
        EXPECT_EQ(warnings.count(c.description), c.count);
    }
}

TEST(Builders, MissingDirectoryIsFileNotFound)
{
    TempDir dir;
    for (const TableCase& c : tableCases()) {
        SCOPED_TRACE(c.table);
        Warnings warnings;
        expectError(
            ErrorCode::FileNotFound, [&] { runBuilder(c.builder, kFullCentre, dir / "missing", warnings); });
    }
    EXPECT_TRUE(tramazel::test::snapshot(dir.path()).empty());
}

} // namespace
} // namespace tramazel::centre_import
