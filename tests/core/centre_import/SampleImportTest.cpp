// SPDX-License-Identifier: GPL-3.0-or-later
#include "BuilderRun.h"

#include "TestSupport.h"
#include "centre_import/Builders.h"
#include "centre_import/TableHazards.h"
#include "xml/XmlDocument.h"

#include <gtest/gtest.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

namespace tramazel::centre_import {
namespace {

namespace fs = std::filesystem;
using tramazel::test::TempDir;

void importFile(const fs::path& centre, const fs::path& dir, Warnings& warnings)
{
    const xml::XmlDocument doc = xml::XmlDocument::load(centre);
    test::NoPrompts prompts;
    ImportContext ctx { doc, dir, prompts, warnings };
    TransformarAsignaturas(ctx);
    TransformarProfesores(ctx);
    TransformarAulas(ctx);
    TransformarDiasHoras(ctx);
}

struct ReadTable {
    std::vector<std::string> layout;
    std::vector<std::vector<std::string>> rows; // UTF-8
};

std::vector<std::string> splitTabs(const std::string& line)
{
    std::vector<std::string> out;
    std::size_t start = 0;
    for (;;) {
        std::size_t tab = line.find('\t', start);
        out.push_back(line.substr(start, tab - start));
        if (tab == std::string::npos)
            return out;
        start = tab + 1;
    }
}

// The tables as dbfread sees them.
std::map<std::string, ReadTable> readWithDbfread(const fs::path& dir, const std::vector<std::string>& tables)
{
    std::string command = tramazel::test::shellQuote(TRAMAZEL_SYSTEM_PYTHON) + " "
        + tramazel::test::shellQuote(TRAMAZEL_CENTRE_IMPORT_TESTS_DIR "/read_tables.py") + " "
        + tramazel::test::shellQuote(dir.string());
    for (const std::string& t : tables)
        command += " " + t;
    const tramazel::test::ProcessResult result = tramazel::test::run(command);
    EXPECT_EQ(result.exitCode, 0) << result.output;

    std::map<std::string, ReadTable> out;
    std::istringstream in(result.output);
    std::string line;
    ReadTable* current = nullptr;
    bool layoutNext = false;
    while (std::getline(in, line)) {
        if (line.rfind("# ", 0) == 0) {
            current = &out[line.substr(2)];
            layoutNext = true;
        } else if (current && layoutNext) {
            current->layout = splitTabs(line);
            layoutNext = false;
        } else if (current) {
            current->rows.push_back(splitTabs(line));
        }
    }
    return out;
}

// The bundled sample through the four builders, read back by an independent
// dBASE reader and compared field by field with values worked out by hand.
TEST(SampleImport, IndependentReaderFindsTheValuesWorkedOutByHand)
{
    TRAMAZEL_SKIP_ON_WINDOWS("the independent readers are Linux programs");
    const fs::path sample = fs::path(TRAMAZEL_SAMPLES_DIR) / "centre.xml";
    ASSERT_TRUE(fs::exists(sample)) << "the committed sample centre.xml is missing";
    TempDir dir;
    Warnings warnings;
    importFile(sample, dir.path(), warnings);

    auto tables = readWithDbfread(dir.path(), { "ASIGNOMT", "PROFT", "AULAT", "DIASHORAST" });
    const ReadTable& asignomt = tables["ASIGNOMT"];
    const ReadTable& proft = tables["PROFT"];
    const ReadTable& aulat = tables["AULAT"];
    const ReadTable& diashorast = tables["DIASHORAST"];

    EXPECT_EQ(asignomt.layout,
        (std::vector<std::string> { "COD:C:4", "CODLARGO:C:8", "NOMBRE:C:40", "CODI:C:20", "HORAS:C:8",
            "CODICURS:C:20", "ESTAREA:L:1" }));
    EXPECT_EQ(proft.layout,
        (std::vector<std::string> { "ABREV:C:4", "NOMBRE:C:40", "DEPART:C:40", "DNI:N:11", "CODI:C:20" }));
    EXPECT_EQ(aulat.layout,
        (std::vector<std::string> {
            "ABREV:C:4", "NOMBRE:C:40", "EDIFICIO:C:1", "MAXALUM:N:11", "CODI:C:60" }));
    EXPECT_EQ(diashorast.layout,
        (std::vector<std::string> { "DIHO:C:10", "CODDIHO:C:10", "DIA:C:20", "TEXTODIA:C:20", "HORA:C:8",
            "HORADESDE:C:8", "HORAHASTA:C:8", "MINUTOS:C:8" }));

    ASSERT_EQ(asignomt.rows.size(), 287u + 15u);
    ASSERT_EQ(proft.rows.size(), 100u);
    ASSERT_EQ(aulat.rows.size(), 60u);
    EXPECT_TRUE(diashorast.rows.empty());

    struct Expected {
        std::size_t record; // 1-based
        std::vector<std::string> fields;
    };
    const Expected subjects[] = {
        { 1, { "LC", "LCL", "Llengua catalana i literatura 1ESO A", "2070001", "4", "10000", "F" } },
        { 3, { "Ll1", "LlenguaC", "Llengua catalana i literatura 1ESO C", "2070003", "4", "10000", "F" } },
        { 6, { "LC1", "LCS", "Llengua castellana i literatura 1ESO A", "2070006", "4", "10000", "F" } },
        { 26, { "EF", "E.F.", "Educació física 1ESO A", "2070026", "4", "10000", "F" } },
        { 27, { "Ed", "EducaciB", "Educació física 1ESO B", "2070027", "4", "10000", "F" } },
        { 37, { "Re1", "ReligióB", "Religió / Atenció educativa 1ESO B", "2070037", "4", "10000", "F" } },
        { 46, { "MÚ", "MÚS", "Música 1ESO A", "2070046", "4", "10000", "F" } },
        { 47, { "Mú1", "Música B", "Música 1ESO B", "2070047", "4", "10000", "F" } },
        { 287, { "Fo2", "FormaciB", "Formació en centres de treball 2FPB B", "2070287", "4", "10013", "F" } },
        { 288, { "8100", "GUÀRDIA", "Guàrdia", "8100", "4", "", "T" } },
        { 300, { "9100", "EXTRAESC", "Coordinació d'activitats complementàries", "9100012", "4", "", "T" } },
    };
    for (const Expected& e : subjects)
        EXPECT_EQ(asignomt.rows[e.record - 1], e.fields) << "ASIGNOMT record " << e.record;

    const Expected posts[] = {
        { 1, { "FSB", "Francesca Sastre Bestard - Biologialogia", "", "", "3050000" } },
        { 2, { "EGR", "", "", "", "3050001" } },
        { 41, { "LCS", "Llúcia Coll Serra - Llengua castellatura", "", "", "3050040" } },
        { 86, { "P1", "Rafel Capó Vidal - Economia", "", "", "3050085" } },
        { 93, { "P2", "", "", "", "3050092" } },
        { 96, { "P3", "Miquel Coll Riera - Informàtica", "", "", "3050095" } },
    };
    for (const Expected& e : posts)
        EXPECT_EQ(proft.rows[e.record - 1], e.fields) << "PROFT record " << e.record;

    const Expected rooms[] = {
        { 1, { "0001", "Aula 0.01", "", "", "400001" } },
        { 60, { "0178", "Aula de Comerç", "", "", "400178" } },
    };
    for (const Expected& e : rooms)
        EXPECT_EQ(aulat.rows[e.record - 1], e.fields) << "AULAT record " << e.record;

    // The three activities 91000xx share "9100"; nothing else repeats.
    EXPECT_EQ(warnings.count(warning::kDuplicateSubjectCode), 2u);
    EXPECT_EQ(warnings.count(warning::kDuplicateTeacherAbbreviation), 0u);
    EXPECT_EQ(warnings.count(warning::kSharedRoomAbbreviation), 0u);
    EXPECT_EQ(warnings.count(warning::kReplacedCharacters), 0u);
}

// Real GestIB files come with a byte-order mark and no declaration (and CRLF line
// ends), with a declaration and one element per line, or all on one line.
TEST(SampleImport, FileShapesGiveTheSameTables)
{
    const std::map<std::string, std::vector<test::Row>> expected = {
        { "ASIGNOMT",
            {
                { "LC", "LCL", "Llengua catalana i literatura 1ESO A", "2080001", "4", "20001", "F" },
                { "Ll", "LlenguaB", "Llengua catalana i literatura 1ESO B", "2080002", "4", "20001", "F" },
                { "EF", "E.F.", "Educaci\xF3 f\xEDsica 1ESO A", "2080003", "4", "20001", "F" },
                { "8100", "GU\xC0RDIA", "Gu\xE0rdia", "8100", "4", "", "T" },
            } },
        { "PROFT",
            {
                { "ARC", "Apol\xB7l\xF2nia Ramis Cresp\xED", "", "", "3060001" },
                { "P1", "", "", "", "3060002" },
            } },
        { "AULAT",
            {
                { "0001", "Aula 0.01", "", "", "400001" },
                { "0004", "Laboratori de F\xEDsica i Qu\xEDmica", "", "", "400004" },
            } },
        { "DIASHORAST", {} },
    };
    for (const char* shape : { "bom-no-declaration.xml", "declaration-lines.xml", "one-line.xml" }) {
        SCOPED_TRACE(shape);
        TempDir dir;
        Warnings warnings;
        importFile(tramazel::test::fixture(fs::path("centre") / shape), dir.path(), warnings);
        for (const auto& [table, rows] : expected)
            EXPECT_EQ(test::readRows(dir.path(), table), rows) << table;
        EXPECT_TRUE(warnings.empty());
    }
}

} // namespace
} // namespace tramazel::centre_import
