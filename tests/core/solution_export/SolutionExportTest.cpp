// SPDX-License-Identifier: GPL-3.0-or-later
#include "../dbf/OtherProcessLock.h"
#include "ExportTables.h"
#include "TestIo.h"
#include "TestSupport.h"
#include "WarningTexts.h"

#include "Error.h"
#include "ZelvanoTables.h"
#include "centre_import/Builders.h"
#include "centre_import/ImportContext.h"
#include "dbf/DbfTable.h"
#include "dbf/TableFiles.h"
#include "platform/Platform.h"
#include "solution_export/SolutionExport.h"
#include "xml/XmlDocument.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <fstream>
#include <functional>
#include <iostream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

namespace tramazel::test {
namespace {

namespace fs = std::filesystem;
namespace z = tramazel::zelvano;
using namespace exporting;
using solution_export::exportSolution;
using solution_export::ExportSummary;

// Slot rows name their key in every value, so an expected session shows which
// DIHO key its row produced.
std::array<std::string, 4> slotRow(const std::string& key)
{
    return { key, "d" + key, "h" + key, "m" + key };
}

// A small centre: "\xC0" and "\xED" are cp1252 for À and í.
Centre standardCentre()
{
    Centre c;
    c.proft = { { "ANA", "1001" }, { "PEP", "1002" }, { "ANA", "1099" },
        { "M\xC0R",
            "Mar\xED"
            "a" } };
    c.grupost = { { "1A", "G1A", "ESO1" }, { "1B", "G1B", "ESO1" }, { "2A", "G2A", "ESO2" } };
    c.aulat = { { "A1", "AULA1" }, { "A2", "AULA2" } };
    c.subjects = { { "MA", "MAT1" }, { "CA", "CAT1" } };
    c.activities = { { "GUAR", "ACT-GUARDIA" }, { "MA", "ACT-MA" } };
    for (const char* key : { "10", "1-1", "11", "12", "13", "14", "15", "23", "24", "25", "3-1", "-12" })
        c.diashorast.push_back(slotRow(key));
    return c;
}

// Expected sessions. An empty key means the slot lookup finds nothing.
Session teaching(std::string placa, std::string curs, std::string grup, const std::string& key,
    std::string aula, std::string materia, std::string activitat = {})
{
    const bool slot = !key.empty();
    return { std::move(placa), std::move(curs), std::move(grup), slot ? "d" + key : "", slot ? "h" + key : "",
        slot ? "m" + key : "", std::move(aula), std::move(materia), std::move(activitat) };
}
Session activity(std::string placa, const std::string& key, std::string tarea)
{
    return teaching(std::move(placa), "", "", key, "", "", std::move(tarea));
}

// A timetable directory with the standard centre, and a separate folder holding the
// file the user chose.
struct Workspace {
    TempDir qtemp;
    TempDir chosenDir;
    fs::path chosenFile = chosenDir / "centre.xml";
    fs::path output = solution_export::solutionFileFor(chosenFile);

    explicit Workspace(const Centre& centre = standardCentre())
    {
        writeCentre(qtemp.path(), centre);
        writeFile(chosenFile, "<CENTRE/>");
    }
};

struct RowsCase {
    const char* name;
    std::vector<SolucRow> rows;
    std::vector<Session> expected;
    std::size_t rowsWithoutDay = 0;
};

std::ostream& operator<<(std::ostream& os, const RowsCase& c)
{
    return os << c.name;
}

class SolutionExportRows : public ::testing::TestWithParam<RowsCase> { };

TEST_P(SolutionExportRows, GivesOneSessionPerRowWithADayInStoredOrder)
{
    const RowsCase& c = GetParam();
    Workspace ws;
    writeSoluc(ws.qtemp.path(), c.rows);
    const ExportSummary summary = exportSolution(ws.qtemp.path(), ws.output);
    EXPECT_EQ(readSessions(ws.output), c.expected);
    EXPECT_EQ(summary.sessions, c.expected.size());
    EXPECT_EQ(summary.rowsWithoutDay, c.rowsWithoutDay);
}

const std::vector<RowsCase> kRowsCases = {
    { "EmptySolucGivesEmptySessions", {}, {} },
    { "RowsWithoutDayAreSkipped",
        {
            { 1, 1, "ANA", "1A", "A1", "MA", "" },
            { 0, 1, "PEP", "1B", "A2", "CA", "" },
            { std::nullopt, 2, "PEP", "1B", "A2", "CA", "" },
            { 2, 3, "PEP", "1B", "A2", "CA", "" },
            { 0, std::nullopt, "", "", "", "", "" },
        },
        {
            teaching("1001", "ESO1", "G1A", "11", "AULA1", "MAT1"),
            teaching("1002", "ESO1", "G1B", "23", "AULA2", "CAT1"),
        },
        3 },
    { "WholeHoursNumberPlainly",
        { { 1, 3, "ANA", "1A", "A1", "MA", "" }, { 2, 4, "ANA", "1A", "A1", "MA", "" } },
        {
            teaching("1001", "ESO1", "G1A", "13", "AULA1", "MAT1"),
            teaching("1001", "ESO1", "G1A", "24", "AULA1", "MAT1"),
        } },
    { "HalfHoursNumberEveryStep",
        {
            { 1, 1, "ANA", "", "", "", "" },
            { 1, 1.5, "ANA", "", "", "", "" },
            { 1, 2, "ANA", "", "", "", "" },
            { 1, 2.5, "ANA", "", "", "", "" },
            { 1, 3, "ANA", "", "", "", "" },
        },
        {
            teaching("1001", "", "", "11", "", ""),
            teaching("1001", "", "", "12", "", ""),
            teaching("1001", "", "", "13", "", ""),
            teaching("1001", "", "", "14", "", ""),
            teaching("1001", "", "", "15", "", ""),
        } },
    { "FractionInRowWithoutDaySwitchesHalfHoursOn",
        { { 1, 3, "PEP", "", "", "", "" }, { 0, 2.5, "PEP", "", "", "", "" } },
        { teaching("1002", "", "", "15", "", "") }, 1 },
    { "AnyFractionCountsAsTheHalf", { { 1, 2.25, "PEP", "", "", "", "" }, { 1, 1, "PEP", "", "", "", "" } },
        { teaching("1002", "", "", "14", "", ""), teaching("1002", "", "", "11", "", "") } },
    { "EmptyHoraIsHourZero", { { 1, std::nullopt, "PEP", "", "", "", "" } },
        { teaching("1002", "", "", "10", "", "") } },
    { "EmptyHoraIsMinusOneWithHalfHours",
        { { 1, std::nullopt, "PEP", "", "", "", "" }, { 1, 1.5, "PEP", "", "", "", "" } },
        { teaching("1002", "", "", "1-1", "", ""), teaching("1002", "", "", "12", "", "") } },
    { "NegativeDayKeepsItsSign", { { -1, 2, "PEP", "", "", "", "" } },
        { teaching("1002", "", "", "-12", "", "") } },
    { "ActivityEmptiesGroupRoomAndSubject", { { 2, 3, "PEP", "1B", "A2", "MA", "GUAR" } },
        { activity("1002", "23", "GUAR") } },
    { "TareaOfSpacesIsTeaching", { { 2, 3, "PEP", "1B", "A2", "MA", "   " } },
        { teaching("1002", "ESO1", "G1B", "23", "AULA2", "MAT1") } },
    { "TareaWithLeadingBlanksIsAnActivityKeptAsStored", { { 2, 3, "PEP", "1B", "A2", "MA", "  G" } },
        { activity("1002", "23", "  G") } },
    { "DuplicateAbrevFirstRowWins", { { 1, 1, "ANA", "", "", "", "" } },
        { teaching("1001", "", "", "11", "", "") } },
    { "SubjectWinsOverActivitySharingItsCode", { { 1, 1, "", "", "", "MA", "" } },
        { teaching("", "", "", "11", "", "MAT1") } },
    { "LetterCaseCounts", { { 1, 1, "ana", "1a", "a1", "ma", "" } }, { teaching("", "", "", "11", "", "") } },
    { "UnknownCodesAndMissingSlotGiveEmptyValues", { { 5, 7, "ZZZ", "9Z", "A9", "XX", "" } },
        { teaching("", "", "", "", "", "") } },
    { "MissingSubjectWhateverTheRoom", { { 1, 1, "ANA", "1A", "A1", "XX", "" } },
        { teaching("1001", "ESO1", "G1A", "11", "AULA1", "") } },
    { "Cp1252BecomesUtf8", { { 1, 1, "M\xC0R", "", "", "", "GU\xC0RDIA" } },
        { activity("Mar\xC3\xAD"
                   "a",
            "11", "GU\xC3\x80RDIA") } },
};

INSTANTIATE_TEST_SUITE_P(Cases, SolutionExportRows, ::testing::ValuesIn(kRowsCases),
    [](const ::testing::TestParamInfo<RowsCase>& p) { return std::string(p.param.name); });

TEST(SolutionExport, EmptySolucGivesTheSkeletonInUtf8WithDeclaration)
{
    Workspace ws;
    writeSoluc(ws.qtemp.path(), {});
    exportSolution(ws.qtemp.path(), ws.output);

    const std::string bytes = readFile(ws.output);
    const std::string firstLine = bytes.substr(0, bytes.find('\n'));
    EXPECT_EQ(firstLine.rfind("<?xml", 0), 0u) << bytes;
    EXPECT_NE(firstLine.find("encoding=\"UTF-8\""), std::string::npos) << bytes;
    EXPECT_TRUE(readSessions(ws.output).empty());
    EXPECT_NE(bytes.find("SESSIONS"), std::string::npos);
}

TEST(SolutionExport, WritesBesideTheChosenFileAndNeverTouchesIt)
{
    Workspace ws;
    writeSoluc(ws.qtemp.path(), { { 1, 1, "ANA", "1A", "A1", "MA", "" } });
    const auto chosenBefore = snapshot(ws.chosenDir.path());
    const auto qtempBefore = snapshot(ws.qtemp.path());
    exportSolution(ws.qtemp.path(), ws.output);

    EXPECT_EQ(ws.output, ws.chosenDir / "SolucioHorari.xml");
    EXPECT_EQ(readFile(ws.chosenFile), "<CENTRE/>");
    auto chosenAfter = snapshot(ws.chosenDir.path());
    EXPECT_EQ(chosenAfter.size(), chosenBefore.size() + 1) << "only the solution file is added";
    EXPECT_EQ(snapshot(ws.qtemp.path()), qtempBefore) << "the tables are only read";

    // A solution file already there is replaced.
    writeSoluc(ws.qtemp.path(), {});
    exportSolution(ws.qtemp.path(), ws.output);
    EXPECT_TRUE(readSessions(ws.output).empty());
}

TEST(SolutionExport, ChosenFileWithoutFolderPointsAtTheWorkingFolder)
{
    EXPECT_EQ(solution_export::solutionFileFor("centre.xml"), fs::path("SolucioHorari.xml"));
    EXPECT_EQ(solution_export::solutionFileFor("/a/b/centre.xml"), fs::path("/a/b/SolucioHorari.xml"));
}

TEST(SolutionExport, TargetIsAFolderOrAFileInOne)
{
    Workspace ws;
    writeSoluc(ws.qtemp.path(), { { 1, 1, "ANA", "1A", "A1", "MA", "" } });
    struct Case {
        const char* name;
        fs::path target;
        std::optional<fs::path> output; // nothing: no target, nothing written
    };
    const Case cases[] = {
        { "a folder", ws.chosenDir.path(), ws.chosenDir / "SolucioHorari.xml" },
        { "a file in a folder", ws.chosenFile, ws.chosenDir / "SolucioHorari.xml" },
        // A new name typed in the file dialog names its folder too.
        { "a new XML file name in a folder", ws.chosenDir / "new.XML", ws.chosenDir / "SolucioHorari.xml" },
        { "a new name that is not an XML file's", ws.chosenDir / "missing", std::nullopt },
        { "a new XML file name in no folder", ws.chosenDir / "nowhere" / "new.xml", std::nullopt },
        { "no target", fs::path(), std::nullopt },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        fs::remove(ws.chosenDir / "SolucioHorari.xml");
        const auto result = solution_export::exportSolutionToTarget(ws.qtemp.path(), c.target);
        ASSERT_EQ(result.has_value(), c.output.has_value());
        EXPECT_EQ(fs::exists(ws.chosenDir / "SolucioHorari.xml"), c.output.has_value());
        if (result) {
            EXPECT_EQ(result->outputFile, *c.output);
        }
    }
    EXPECT_EQ(readFile(ws.chosenFile), "<CENTRE/>");
}

TEST(SolutionExport, SummaryGivesTheLinesBothFrontEndsPrint)
{
    solution_export::TargetExport done;
    done.outputFile = fs::path("/g") / "SolucioHorari.xml";
    // The file as the system spells paths ("/g\\SolucioHorari.xml" on Windows).
    const std::string where = "(" + done.outputFile.string() + ")";
    done.counts.sessions = 1203;
    EXPECT_EQ(done.summary(), std::vector<std::string> { "SolucioHorari.xml: 1203 sesiones " + where });

    done.counts.rowsWithoutDay = 4;
    done.counts.lookupsNotFound.add("aula no encontrada en AULAT", "A9");
    const std::vector<std::string> expected = {
        "SolucioHorari.xml: 1203 sesiones " + where,
        "Filas de SOLUC sin día: 4",
        "Aviso: aula no encontrada en AULAT: 1 (p. ej. A9)",
    };
    EXPECT_EQ(done.summary(), expected);
}

// A program that appended sessions without updating SOLUC's count: only the counted
// ones can be read, and the run says the file holds more.
TEST(SolutionExport, SolucHoldingMoreRecordsThanItsHeaderCountsIsReported)
{
    Workspace ws;
    std::vector<SolucRow> rows;
    for (int i = 0; i < 20; ++i)
        rows.push_back({ 1, 1, "ANA", "1A", "A1", "MA", "" });
    writeSoluc(ws.qtemp.path(), rows);
    {
        // The record count, a 32-bit little-endian number at byte 4 of the header.
        std::fstream soluc(ws.qtemp / "SOLUC.DBF", std::ios::in | std::ios::out | std::ios::binary);
        soluc.seekp(4);
        soluc.write("\x05\0\0\0", 4);
    }
    const ExportSummary summary = exportSolution(ws.qtemp.path(), ws.output);
    EXPECT_EQ(summary.sessions, 5u);
    EXPECT_EQ(readSessions(ws.output).size(), 5u);
    const std::vector<std::string> expected { "Aviso: " + std::string(warning::kRecordsBeyondCount)
        + ": 1 (p. ej. SOLUC.DBF (20 registros en el archivo, 5 en la cabecera))" };
    EXPECT_EQ(summary.lookupsNotFound.summaryLines(), expected);

    // A table as the engine writes it (one end-of-file byte after the last record) holds none.
    writeSoluc(ws.qtemp.path(), rows);
    EXPECT_TRUE(exportSolution(ws.qtemp.path(), ws.output).lookupsNotFound.kinds().empty());
}

// A SOLUC shorter than the lookup tables has them read for its own codes only; a
// longer one has every key read. Both must find the same first rows and miss the same
// codes.
TEST(SolutionExport, LongSolucFindsWhatAShortOneFinds)
{
    const std::vector<SolucRow> rows = {
        { 1, 1, "ANA", "1A", "A1", "MA", "" }, // ANA: the first of two rows
        { 2, 3, "M\xC0R", "2A", "A2", "CA", "" },
        { 1, 2, "ZZZ", "9Z", "A9", "XX", "" }, // nothing found
        { 2, 4, "PEP", "", "", "", "GUAR" },
    };
    Workspace shortWs;
    writeSoluc(shortWs.qtemp.path(), rows);
    const ExportSummary once = exportSolution(shortWs.qtemp.path(), shortWs.output);
    const std::vector<Session> sessions = readSessions(shortWs.output);
    ASSERT_EQ(sessions.size(), rows.size());
    EXPECT_EQ(sessions[0][0], "1001");

    constexpr std::size_t kCopies = 8; // more rows than the lookup tables hold together
    std::vector<SolucRow> longRows;
    std::vector<Session> expected;
    for (std::size_t i = 0; i < kCopies; ++i) {
        longRows.insert(longRows.end(), rows.begin(), rows.end());
        expected.insert(expected.end(), sessions.begin(), sessions.end());
    }
    Workspace longWs;
    writeSoluc(longWs.qtemp.path(), longRows);
    const ExportSummary many = exportSolution(longWs.qtemp.path(), longWs.output);
    EXPECT_EQ(readSessions(longWs.output), expected);
    ASSERT_EQ(many.lookupsNotFound.kinds().size(), once.lookupsNotFound.kinds().size());
    for (std::size_t k = 0; k < many.lookupsNotFound.kinds().size(); ++k) {
        const auto& a = once.lookupsNotFound.kinds()[k];
        const auto& b = many.lookupsNotFound.kinds()[k];
        EXPECT_EQ(b.description, a.description);
        EXPECT_EQ(b.count, kCopies * a.count) << a.description;
        EXPECT_EQ(b.examples, a.examples) << a.description;
    }
}

// The lookups of a small SOLUC against large tables pass over rows whose codes were
// met before and stop once every code is found; a code found only in the last row,
// and a blank code that a lookup row carries too, must be found all the same.
// A session without a group (an empty code) is not credited to the groups whose
// ABREV came out empty.
TEST(SolutionExport, LargeLookupTablesFindLateCodesButNeverABlankOne)
{
    Centre centre = standardCentre();
    for (int i = 0; i < 2000; ++i) {
        centre.proft.push_back({ "ANA", "late" }); // ANA found in the first row already
        centre.grupost.push_back({ "1A", "late", "late" });
    }
    centre.proft.push_back({ "LAST", "9001" });
    centre.grupost.push_back({ "", "GBLANK", "CBLANK" });
    centre.grupost.push_back({ "", "GBLANK2", "CBLANK2" });
    Workspace ws(centre);
    writeSoluc(ws.qtemp.path(),
        { { 1, 1, "ANA", "1A", "A1", "MA", "" }, { 1, 2, "LAST", "", "A2", "CA", "" },
            { 1, 3, "ZZZ", "1A", "A1", "MA", "" } });
    const ExportSummary summary = exportSolution(ws.qtemp.path(), ws.output);
    const std::vector<Session> expected = {
        teaching("1001", "ESO1", "G1A", "11", "AULA1", "MAT1"),
        teaching("9001", "", "", "12", "AULA2", "CAT1"),
        teaching("", "ESO1", "G1A", "13", "AULA1", "MAT1"),
    };
    EXPECT_EQ(readSessions(ws.output), expected);
    EXPECT_EQ(summary.lookupsNotFound.summaryLines().size(), 1u) << "only ZZZ is missing";
}

TEST(SolutionExport, SummaryCountsMissesByKindButNotBlankedOrEmptyCodes)
{
    Workspace ws;
    writeSoluc(ws.qtemp.path(),
        {
            { 1, 1, "ANA", "1A", "A1", "MA", "" }, // everything found
            { 1, 1, "ana", "9Z", "A9", "XX", "" }, // four misses
            { 1, 1, "ana", "", "", "", "" }, // counted again, not shown again
            { 9, 9, "M\xC1X", "", "", "", "" }, // teacher (UTF-8 example) and slot; empty codes are no misses
            { 2, 3, "ZZZ", "9Z", "A9", "XX", "GUAR" }, // activity: only its teacher counts
            { 0, 1, "QQQ", "9Z", "A9", "XX", "" }, // no day: no session, no lookups
        });
    const ExportSummary s = exportSolution(ws.qtemp.path(), ws.output);

    EXPECT_EQ(s.sessions, 5u);
    EXPECT_EQ(s.rowsWithoutDay, 1u);
    struct Expected {
        const char* kind;
        std::size_t count;
        std::vector<std::string> examples;
    };
    const std::vector<Expected> expected = {
        { "profesor no encontrado en PROFT", 4, { "ana", "M\xC3\x81X", "ZZZ" } },
        { "grupo no encontrado en GRUPOST", 1, { "9Z" } },
        { "franja no encontrada en DIASHORAST", 1, { "99" } },
        { "aula no encontrada en AULAT", 1, { "A9" } },
        { "materia no encontrada en ASIGNOMT", 1, { "XX" } },
    };
    for (const auto& e : expected) {
        EXPECT_EQ(s.lookupsNotFound.count(e.kind), e.count) << e.kind;
        const auto& kinds = s.lookupsNotFound.kinds();
        const auto it = std::find_if(
            kinds.begin(), kinds.end(), [&](const Warnings::Kind& k) { return k.description == e.kind; });
        ASSERT_NE(it, kinds.end()) << e.kind;
        EXPECT_EQ(it->examples, e.examples) << e.kind;
    }
    EXPECT_EQ(s.lookupsNotFound.kinds().size(), expected.size());
}

// The solution file is written beside its final name, on disk before the rename puts
// it in place, and the folder's new entry on disk after: a power cut leaves the old
// file or the new one, never an empty one.
TEST(SolutionExport, theTemporaryFileIsOnDiskBeforeItsRename)
{
    Workspace ws;
    writeSoluc(ws.qtemp.path(), { { 1, 1, "ANA", "1A", "A1", "MA", "" } });
    DurableSteps durable(ws.output.parent_path());
    exportSolution(ws.qtemp.path(), ws.output, durable.hooks());
    const std::vector<std::string>& steps = durable.steps();
    ASSERT_EQ(steps.size(), 3u) << ::testing::PrintToString(steps);
    const std::string tmp = steps[0].substr(5);
    EXPECT_EQ(tmp.rfind("SolucioHorari.xml.tmp", 0), 0u) << steps[0];
    EXPECT_EQ(steps[1], "rename " + tmp + " > SolucioHorari.xml");
    EXPECT_EQ(steps[2], "sync-folder .");
}

// A SOLUC written by another dBASE program in an OEM code page: its codes are read as
// the characters they stand for, so the lookups in the program's own ANSI tables find them.
TEST(SolutionExport, SolucInAnotherCodePageFindsItsCodes)
{
    struct Case {
        const char* name;
        std::uint8_t driver;
        char storedEnye; // how the table stores "Ñ"
        std::vector<std::string> warningExamples; // of the unknown-driver warning
    };
    const Case cases[] = {
        { "ANSI", 0x57, '\xD1', {} },
        { "OEM 850", 0x37, '\xA5', {} },
        { "OEM 850, Spanish", 0x14, '\xA5', {} },
        { "OEM 437", 0x1B, '\xA5', {} },
        { "unknown driver, read as ANSI", 0x65, '\xD1', { "SOLUC.DBF (0x65)" } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        Centre centre = standardCentre();
        centre.proft.push_back({ "\xD1"
                                 "AB",
            "77" });
        Workspace ws(centre);
        writeSoluc(ws.qtemp.path(),
            { { 1, 1,
                "\xD1"
                "AB",
                "1A", "A1", "MA", "" } });
        std::string bytes = readFile(ws.qtemp / "SOLUC.DBF");
        bytes[29] = static_cast<char>(c.driver);
        const std::size_t headerLength = static_cast<unsigned char>(bytes[8])
            | (static_cast<std::size_t>(static_cast<unsigned char>(bytes[9])) << 8);
        std::replace(
            bytes.begin() + static_cast<std::ptrdiff_t>(headerLength), bytes.end(), '\xD1', c.storedEnye);
        writeFile(ws.qtemp / "SOLUC.DBF", bytes);

        const ExportSummary s = exportSolution(ws.qtemp.path(), ws.output);
        const auto sessions = readSessions(ws.output);
        ASSERT_EQ(sessions.size(), 1u);
        EXPECT_EQ(sessions[0][0], "77");
        EXPECT_EQ(s.lookupsNotFound.count("profesor no encontrado en PROFT"), 0u);
        std::vector<std::string> examples;
        for (const Warnings::Kind& k : s.lookupsNotFound.kinds()) {
            if (k.description == "tablas con un controlador de idioma desconocido (se leen como ANSI)")
                examples = k.examples;
        }
        EXPECT_EQ(examples, c.warningExamples);
    }
}

// Codes of tables in an OEM code page that differ only in characters cp1252 lacks
// ("╬AB", "╦AB") stay two codes: each session goes to its own teacher, a "?AB" matches
// neither, and a code not found is shown with its own characters.
TEST(SolutionExport, CodesDifferingOnlyInCharactersAnsiLacksStayApart)
{
    const auto setDriver = [](const fs::path& table, std::uint8_t driver) {
        std::string bytes = readFile(table);
        bytes[29] = static_cast<char>(driver);
        writeFile(table, bytes);
    };
    struct Case {
        const char* name;
        std::uint8_t proftDriver;
        std::uint8_t solucDriver;
    };
    // 0xCE, 0xCB and 0xCA are "╬", "╦" and "╩" in both OEM pages.
    const Case cases[] = {
        { "both tables in OEM 850", 0x37, 0x37 },
        { "PROFT in OEM 850, SOLUC in OEM 437", 0x37, 0x1B },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Centre centre = standardCentre();
        centre.proft = { { "\xCE"
                           "AB",
                             "77" },
            { "\xCB"
              "AB",
                "78" } };
        Workspace ws(centre);
        writeSoluc(ws.qtemp.path(),
            { { 1, 1,
                  "\xCB"
                  "AB",
                  "1A", "A1", "MA", "" },
                { 1, 1,
                    "\xCE"
                    "AB",
                    "1A", "A1", "MA", "" },
                { 1, 1, "?AB", "1A", "A1", "MA", "" },
                { 1, 1,
                    "\xCA"
                    "AB",
                    "1A", "A1", "MA", "" } });
        setDriver(ws.qtemp / "PROFT.DBF", c.proftDriver);
        setDriver(ws.qtemp / "SOLUC.DBF", c.solucDriver);

        const ExportSummary s = exportSolution(ws.qtemp.path(), ws.output);
        const auto sessions = readSessions(ws.output);
        ASSERT_EQ(sessions.size(), 4u);
        EXPECT_EQ(sessions[0][0], "78");
        EXPECT_EQ(sessions[1][0], "77");
        EXPECT_EQ(sessions[2][0], "");
        EXPECT_EQ(sessions[3][0], "");
        EXPECT_EQ(s.lookupsNotFound.lines(),
            std::vector<std::string> { std::string(warning::kTeacherNotFound) + ": 2 (p. ej. ?AB, ╩AB)" });
    }
}

// The same rows stored by several dBASE writers, with DIA and HORA as N, F, level-7
// I and O, FoxPro I and B, and text: each must give the same sessions, and the
// deleted row none.
TEST(SolutionExport, ReadsSolucInEveryDbaseVariant)
{
    std::vector<fs::path> variants;
    for (const auto& entry : fs::directory_iterator(fixture("soluc")))
        if (entry.path().extension() == ".dbf")
            variants.push_back(entry.path());
    std::sort(variants.begin(), variants.end());
    ASSERT_GE(variants.size(), 5u);

    const std::vector<Session> expected = {
        teaching("1001", "ESO1", "G1A", "11", "AULA1", "MAT1"),
        teaching("1001", "ESO1", "G1A", "12", "AULA1", "MAT1"),
        activity("1002", "25", "GU\xC3\x80RDIA"),
        teaching("1002", "ESO2", "G2A", "3-1", "AULA1", ""),
        teaching("", "ESO1", "G1A", "", "", "MAT1"),
    };
    for (const fs::path& variant : variants) {
        SCOPED_TRACE(variant.filename().string());
        Workspace ws;
        fs::copy_file(variant, ws.qtemp / "SOLUC.DBF");
        const ExportSummary summary = exportSolution(ws.qtemp.path(), ws.output);
        EXPECT_EQ(readSessions(ws.output), expected);
        EXPECT_EQ(summary.rowsWithoutDay, 1u);
    }
}

TEST(SolutionExport, IndependentParserReadsTheFile)
{
    if (std::string(TRAMAZEL_SYSTEM_PYTHON).empty())
        GTEST_SKIP() << "no system python";
    Workspace ws;
    writeSoluc(ws.qtemp.path(),
        { { 1, 1, "M\xC0R", "1A", "A1", "MA", "" }, { 2, 3, "PEP", "1B", "A2", "CA", "GU\xC0RDIA" } });
    exportSolution(ws.qtemp.path(), ws.output);

    const std::string script
        = "import sys, xml.etree.ElementTree as ET\n"
          "root = ET.parse(sys.argv[1]).getroot()\n"
          "out = [root.tag] + [c.tag for c in root]\n"
          "for s in root.find('SESSIONS'):\n"
          "    out.append(s.tag + ' ' + '|'.join(k + '=' + v for k, v in s.attrib.items()))\n"
          "sys.stdout.buffer.write('\\n'.join(out).encode('utf-8'))\n";
    const fs::path scriptFile = ws.chosenDir / "parse.py";
    writeFile(scriptFile, script);
    const ProcessResult r = run(shellQuote(TRAMAZEL_SYSTEM_PYTHON) + " " + shellQuote(scriptFile.string())
        + " " + shellQuote(ws.output.string()));
    ASSERT_EQ(r.exitCode, 0) << r.output;
    EXPECT_EQ(r.output,
        "HORARI\nSESSIONS\n"
        "SESSIO placa=Mar\xC3\xAD"
        "a|curs=ESO1|grup=G1A|dia=d11|hora=h11|durada=m11|aula=AULA1|materia=MAT1|activitat=\n"
        "SESSIO placa=1002|curs=|grup=|dia=d23|hora=h23|durada=m23|aula=|materia=|activitat=GU\xC3\x80RDIA");
}

// The bundled demo solution must keep matching what the import makes of the bundled
// centre: every code it uses is found.
TEST(SolutionExport, SampleSolutionMatchesTheSampleCentre)
{
    const fs::path samples = TRAMAZEL_SAMPLES_DIR;
    for (const fs::path& sample : { fs::path("centre.xml"), fs::path("solution") / "SOLUC.DBF",
             fs::path("solution") / "DIASHORAST.DBF" })
        ASSERT_TRUE(fs::exists(samples / sample)) << "the committed sample " << sample << " is missing";
    struct NoPrompts : centre_import::ImportPrompts {
        void editCourseLevels(centre_import::CourseLevelGrid&) override { }
        bool askQuestion(std::string_view, std::string_view) override { return false; }
    } prompts;
    TempDir qtemp;
    TempDir out;
    const xml::XmlDocument centre = xml::XmlDocument::load(samples / "centre.xml");
    Warnings warnings;
    centre_import::ImportContext ctx { centre, qtemp.path(), prompts, warnings };
    centre_import::TransformarAsignaturas(ctx);
    centre_import::TransformarProfesores(ctx);
    centre_import::TransformarAulas(ctx);
    centre_import::TransformarCursos(ctx);
    for (const char* table : { "SOLUC.DBF", "DIASHORAST.DBF" })
        fs::copy_file(samples / "solution" / table, qtemp / table);

    const ExportSummary s = exportSolution(qtemp.path(), out / "SolucioHorari.xml");
    EXPECT_GT(s.sessions, 1000u);
    EXPECT_GT(s.rowsWithoutDay, 0u);
    EXPECT_TRUE(s.lookupsNotFound.empty()) << ::testing::PrintToString(s.lookupsNotFound.lines());
    const auto sessions = readSessions(out / "SolucioHorari.xml");
    ASSERT_FALSE(sessions.empty());
    EXPECT_EQ(sessions.front()[4], "8:00");
    EXPECT_EQ(sessions.front()[5], "55");
}

// ---- Failures: nothing written, the old file intact, every table released. ----

const char* const kOldSolution = "<HORARI><SESSIONS><SESSIO placa=\"old\"/></SESSIONS></HORARI>\n";

// Every table of the run can be opened for exclusive use again, so none was left open.
void expectTablesReleased(const fs::path& qtemp)
{
    for (std::string_view table : { z::soluc::kTable, z::proft::kTable, z::aulat::kTable, z::asignomt::kTable,
             z::grupost::kTable, z::diashorast::kTable }) {
        if (!dbf::findTableFile(qtemp, table, ".DBF"))
            continue;
        EXPECT_NO_THROW(dbf::DbfTable::open(qtemp, table, dbf::Access::Exclusive)) << table;
    }
}

// What a failure row prepares in a workspace that holds the one-row SOLUC, the lookup
// tables and an old solution file beside the chosen file.
struct FailureSetup {
    fs::path output; ///< where the export writes (default: the workspace's)
    std::optional<dbf::DbfTable> holder; ///< a table another handle keeps open meanwhile
    std::function<void()> undo; ///< run after the export
    const char* skip = nullptr; ///< why the row cannot run here
    std::unique_ptr<test::OtherProcessLock> otherProgram; ///< a lock another process holds meanwhile
};

struct FailureCase {
    std::string name;
    std::function<void(Workspace&, FailureSetup&)> setup;
    ErrorCode code;
};

std::vector<FailureCase> failureCases()
{
    std::vector<FailureCase> cases;
    for (std::string_view table : { z::soluc::kTable, z::proft::kTable, z::aulat::kTable, z::asignomt::kTable,
             z::grupost::kTable, z::diashorast::kTable }) {
        cases.push_back({ "missing " + std::string(table),
            [table](Workspace& ws, FailureSetup&) { dbf::deleteTable(ws.qtemp.path(), table); },
            ErrorCode::FileNotFound });
        cases.push_back({ std::string(table) + " held by another handle",
            [table](Workspace& ws, FailureSetup& setup) {
                setup.holder.emplace(dbf::DbfTable::open(ws.qtemp.path(), table, dbf::Access::Shared));
            },
            ErrorCode::TableLocked });
    }
#ifndef _WIN32 // the other program is a python3 process holding POSIX locks
    for (test::ForeignLock kind : { test::ForeignLock::RangeWriteHead, test::ForeignLock::RangeWriteFar,
             test::ForeignLock::OfdWriteWhole }) {
        cases.push_back({ std::string("SOLUC under another program's lock: ")
                + test::OtherProcessLock::kindName(kind),
            [kind](Workspace& ws, FailureSetup& setup) {
                setup.otherProgram = std::make_unique<test::OtherProcessLock>(ws.qtemp / "SOLUC.DBF", kind);
            },
            ErrorCode::TableLocked });
    }
#endif
    cases.push_back({ "SOLUC without a field it reads",
        [](Workspace& ws, FailureSetup&) {
            auto fields = z::soluc::fields();
            fields.pop_back(); // no TAREA
            dbf::deleteTable(ws.qtemp.path(), z::soluc::kTable);
            dbf::DbfTable::create(ws.qtemp.path(), z::soluc::kTable, fields).close();
        },
        ErrorCode::FieldNotFound });
    cases.push_back({ "the solution file's name taken by a folder",
        [](Workspace& ws, FailureSetup& setup) {
            setup.output = ws.chosenDir / "taken";
            fs::create_directory(setup.output);
            writeFile(setup.output / "keep.txt", "keep");
        },
        ErrorCode::FileIo });
    cases.push_back({ "a folder that does not exist",
        [](Workspace& ws, FailureSetup& setup) {
            setup.output = ws.chosenDir / "missing" / "SolucioHorari.xml";
        },
        ErrorCode::FileIo });
    cases.push_back({ "a read-only folder",
        [](Workspace& ws, FailureSetup& setup) {
            const fs::path dir = ws.chosenDir.path();
            fs::permissions(dir, fs::perms::owner_read | fs::perms::owner_exec);
            setup.undo = [dir] { fs::permissions(dir, fs::perms::owner_all); };
            // Root (and some file systems) ignore the mode; then there is nothing to test.
            std::ofstream probe(dir / "probe");
            if (probe) {
                probe.close();
                fs::remove(dir / "probe");
                setup.skip = "folder permissions are not enforced for this user";
            }
        },
        ErrorCode::FileIo });
    return cases;
}

// Every failure writes nothing, leaves an old solution file as it was, adds no
// temporary file and releases every table it opened.
TEST(SolutionExport, FailureWritesNothingAndReleasesEveryTable)
{
    for (const FailureCase& c : failureCases()) {
        SCOPED_TRACE(c.name);
        Workspace ws;
        writeSoluc(ws.qtemp.path(), { { 1, 1, "ANA", "1A", "A1", "MA", "" } });
        writeFile(ws.output, kOldSolution);
        FailureSetup setup { ws.output, std::nullopt, {}, nullptr, nullptr };
        c.setup(ws, setup);
        if (setup.skip) {
            if (setup.undo)
                setup.undo();
            std::cout << "Row not run here (" << c.name << "): " << setup.skip << '\n';
            continue;
        }
        const auto before = snapshot(ws.chosenDir.path());
        expectError(c.code, [&] { exportSolution(ws.qtemp.path(), setup.output); });
        if (setup.undo)
            setup.undo();
        EXPECT_EQ(snapshot(ws.chosenDir.path()), before);
        EXPECT_EQ(readFile(ws.output), kOldSolution);
        setup.holder.reset();
        setup.otherProgram.reset();
        expectTablesReleased(ws.qtemp.path());
    }
}

} // namespace
} // namespace tramazel::test
