// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/MainForm.h"
#include "ExportTables.h"
#include "FakeBuilders.h"
#include "FakeInteraction.h"
#include "LockingProgram.h"
#include "TestSupport.h"
#include "ZelvanoTables.h"
#include "centre_import/DirectoryLock.h"
#include "dbf/DbfTable.h"
#include "platform/IoHooks.h"
#include "platform/Platform.h"
#include "text/PathText.h"

#include <gtest/gtest.h>

#include <cerrno>
#include <functional>
#include <map>
#include <optional>

using namespace tramazel;
using tramazel::test::FakeInteraction;
using tramazel::test::readFile;
using tramazel::test::snapshot;
using tramazel::test::TempDir;
using tramazel::test::writeFile;
namespace fs = std::filesystem;
namespace exporting = tramazel::test::exporting;

namespace {

using Boxes = std::vector<std::string>;
const std::string kDone = "info:Proceso finalizado";
const std::string kNoFile = "info:No existe archivo";

// The tables the solution export reads, empty, in the layouts the import creates.
void writeSolutionTables(const fs::path& qtemp)
{
    dbf::DbfTable::create(qtemp, zelvano::soluc::kTable, zelvano::soluc::fields()).close();
    dbf::DbfTable::create(qtemp, zelvano::proft::kTable, zelvano::proft::fields()).close();
    dbf::DbfTable::create(qtemp, zelvano::aulat::kTable, zelvano::aulat::fields()).close();
    dbf::DbfTable::create(qtemp, zelvano::grupost::kTable, zelvano::grupost::fields()).close();
    dbf::DbfTable::create(qtemp, zelvano::diashorast::kTable, zelvano::diashorast::fields()).close();
}

class MainFormFlow : public ::testing::Test {
protected:
    void SetUp() override
    {
        test::fake::failingBuilder.clear();
        fs::create_directories(qtemp / "saga");
        fs::create_directories(bin);
        writeFile(centre, "<?xml version=\"1.0\"?>\n<CENTRE codi=\"07000000\"/>\n");
        writeSolutionTables(qtemp);
    }

    shell::MainForm::Settings settings() const
    {
        return shell::MainForm::Settings { qtemp, bin / "Zelvano.ini" };
    }

    static shell::MainForm::Seams seams(const platform::IoHooks* io = nullptr)
    {
        return shell::MainForm::Seams { test::fake::builders(), io };
    }

    std::optional<std::string> iniText() const
    {
        if (!fs::exists(bin / "Zelvano.ini"))
            return std::nullopt;
        return readFile(bin / "Zelvano.ini");
    }

    static std::string ini(int code)
    {
        return "[Transformadores]\r\nTransformado=" + std::to_string(code) + "\r\n";
    }

    TempDir dir;
    fs::path qtemp = dir / "qtemp";
    fs::path bin = dir / "bin";
    fs::path centre = dir / "qtemp" / "saga" / "centre.xml";
    FakeInteraction ui;
};

} // namespace

TEST_F(MainFormFlow, ResultCodesOfTheHostModeRuns)
{
    struct Case {
        const char* name;
        std::vector<std::string> params;
        std::optional<fs::path> answer; // nothing: the dialog is cancelled
        Boxes boxes;
        int result;
        bool closed;
        std::optional<std::string> ini; // after closing()
    };
    const fs::path missing = dir / "qtemp" / "saga" / "missing.xml";
    const Case cases[] = {
        { "import completes", { "exportar", "4A0001F" }, centre, { kDone }, 1, true, ini(1) },
        { "import, mode word in mixed case", { "ExPoRtAr", "4a0001f" }, centre, { kDone }, 1, true, ini(1) },
        { "import cancelled at the first prompt", { "exportar", "1" }, std::nullopt, { kNoFile }, -1, true,
            ini(-1) },
        { "import of a missing file", { "EXPORTAR", "1" }, missing,
            { kNoFile + "\n«" + text::pathToUtf8(missing) + "»: no existe." }, -1, true, ini(-1) },
        { "export completes", { "importar", "1" }, centre, { kDone }, 1, true, ini(1) },
        { "export cancelled at the first prompt", { "Importar", "1" }, std::nullopt, { kNoFile }, 0, true,
            ini(0) },
        { "neither word: nothing runs, close writes 0", { "abrir", "1" }, centre, {}, 0, false, ini(0) },
        { "non-ASCII capital is not folded", { "\xC3\x89XPORTAR", "1" }, centre, {}, 0, false, ini(0) },
        { "no parameter", {}, centre, {}, 0, false, std::nullopt },
        { "one parameter", { "exportar" }, centre, {}, 0, false, std::nullopt },
        { "three parameters", { "exportar", "1", "2" }, centre, {}, 0, false, std::nullopt },
        { "bad handle: runs but stays interactive", { "exportar", "0x1" }, centre,
            { "error:'$0x1' no es un valor entero válido.", kDone }, 1, false, std::nullopt },
    };
    for (const Case& c : cases) {
        fs::remove(bin / "Zelvano.ini");
        FakeInteraction person;
        person.fileAnswers.push_back(c.answer);
        shell::MainForm form(person, settings(), seams());
        form.start(c.params);
        form.runModeWord();
        EXPECT_EQ(person.boxes(), c.boxes) << c.name;
        EXPECT_EQ(form.resultCode(), c.result) << c.name;
        EXPECT_EQ(person.closed(), c.closed) << c.name;
        EXPECT_TRUE(form.closing()) << c.name;
        EXPECT_EQ(iniText(), c.ini) << c.name;
        EXPECT_EQ(person.boxesWhileBusy, 0) << c.name;
    }
}

TEST_F(MainFormFlow, NonHexHandlesShowTheConversionErrorAndStayInteractive)
{
    for (const char* handle : { "", "0x1F", " 1F", "+1F", "-1", "1G", "100000000", "1F ", "$1F" }) {
        FakeInteraction person;
        shell::MainForm form(person, settings(), seams());
        EXPECT_EQ(form.start({ "abrir", handle }), std::nullopt) << handle;
        EXPECT_EQ(
            person.boxes(), Boxes { "error:'$" + std::string(handle) + "' no es un valor entero válido." });
        EXPECT_FALSE(form.hostMode()) << handle;
    }
    shell::MainForm form(ui, settings(), seams());
    EXPECT_EQ(form.start({ "abrir", "0000ffffFFFF" }), std::optional<std::uint32_t>(0xFFFFFFFFu));
    EXPECT_TRUE(form.hostMode());
}

TEST_F(MainFormFlow, AFileChosenByOneDirectionIsUsedByTheOther)
{
    shell::MainForm form(ui, settings(), seams());
    form.start({});

    ui.fileAnswers = { centre, std::nullopt, std::nullopt };
    form.importCentre();
    form.importCentre(); // cancelled, and the question confirmed: the same file again
    form.exportSolution(); // cancelled: the solution lands beside the centre file
    EXPECT_EQ(ui.boxes(), (Boxes { kDone, kDone, kDone }));
    // The export's box says where the solution file went.
    EXPECT_NE(
        ui.reports.back().text.find((qtemp / "saga" / "SolucioHorari.xml").string()), std::string::npos);
    EXPECT_EQ(form.chosenFile(), centre);
    EXPECT_TRUE(fs::exists(qtemp / "saga" / "SolucioHorari.xml"));
    EXPECT_FALSE(fs::exists(qtemp / "SolucioHorari.xml"));

    // And the reverse: a file chosen for the export is the next import's file.
    shell::MainForm second(ui, settings(), seams());
    ui.events.clear();
    const fs::path other = dir / "other" / "centre2.xml";
    fs::create_directories(other.parent_path());
    writeFile(other, "<CENTRE/>");
    ui.fileAnswers = { other, std::nullopt };
    second.exportSolution();
    second.importCentre();
    EXPECT_EQ(ui.boxes(), (Boxes { kDone, kDone }));
    EXPECT_TRUE(fs::exists(dir / "other" / "SolucioHorari.xml"));
    EXPECT_EQ(second.chosenFile(), other);
}

TEST_F(MainFormFlow, CancellingTheImportDialogAsksBeforeRebuildingTheTables)
{
    const std::string question = "¿Volver a importar «centre.xml»? Las tablas de Zelvano se reconstruirán.";
    struct Case {
        const char* name;
        bool confirm;
        Boxes boxes; // after the second press
        bool tablesRebuilt;
    };
    const Case cases[] = {
        { "OK imports the same file again", true, { kDone }, true },
        { "Cancel changes nothing", false, {}, false },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeInteraction person;
        shell::MainForm form(person, settings(), seams());
        form.start({});
        person.fileAnswers = { centre };
        form.importCentre();
        ASSERT_EQ(person.boxes(), Boxes { kDone });
        // What the user sets in Zelvano after the import: a rebuild would lose it.
        writeFile(qtemp / "CURSOST.DBF", "edited since");
        const auto before = snapshot(qtemp);

        person.events.clear();
        person.confirmAnswer = c.confirm;
        form.importCentre(); // the dialog is cancelled
        EXPECT_EQ(person.confirmTexts, std::vector<std::string> { question });
        ASSERT_GE(person.events.size(), 2u);
        EXPECT_EQ(person.events[0], "choose");
        EXPECT_EQ(person.events[1], "confirm");
        EXPECT_EQ(person.boxes(), c.boxes);
        EXPECT_EQ(snapshot(qtemp) != before, c.tablesRebuilt);
        EXPECT_EQ(form.resultCode(), 1);
        EXPECT_EQ(form.chosenFile(), centre);
        EXPECT_FALSE(person.closed());
    }
}

TEST_F(MainFormFlow, OnlyTheImportAsksAndOnlyWhenTheDialogWasCancelled)
{
    shell::MainForm form(ui, settings(), seams());
    form.start({});
    ui.fileAnswers = { centre, centre, std::nullopt };
    form.importCentre(); // first choice
    form.importCentre(); // chosen again in the dialog: no question
    form.exportSolution(); // cancelled: the export writes a new file, no question
    EXPECT_TRUE(ui.confirmTexts.empty());
    EXPECT_EQ(ui.boxes(), (Boxes { kDone, kDone, kDone }));

    // No file before: the cancelled dialog says so, with no question.
    FakeInteraction fresh;
    shell::MainForm other(fresh, settings(), seams());
    other.importCentre();
    EXPECT_TRUE(fresh.confirmTexts.empty());
    EXPECT_EQ(fresh.boxes(), Boxes { kNoFile });
}

TEST_F(MainFormFlow, DecliningTheQuestionInHostModeEndsAsACancelledDialog)
{
    // A host-mode import that failed leaves the window open; the retry's dialog is
    // cancelled and the question declined.
    shell::MainForm form(ui, settings(), seams());
    form.start({ "exportar", "1" });
    test::fake::failingBuilder = "FakeProfesores";
    ui.fileAnswers = { centre };
    form.runModeWord();
    test::fake::failingBuilder.clear();
    ASSERT_FALSE(ui.closed());
    const auto before = snapshot(qtemp);

    ui.events.clear();
    ui.confirmAnswer = false;
    form.importCentre();
    EXPECT_EQ(ui.confirmTexts.size(), 1u);
    EXPECT_TRUE(ui.boxes().empty());
    EXPECT_EQ(snapshot(qtemp), before);
    EXPECT_EQ(form.resultCode(), -1);
    EXPECT_TRUE(ui.closed());
    EXPECT_TRUE(form.closing());
    EXPECT_EQ(iniText(), ini(-1));
}

TEST_F(MainFormFlow, ARunStoppedAtAPromptChangesNothingAndEndsAsNothingDone)
{
    shell::MainForm form(ui, settings(), seams());
    form.start({ "exportar", "1" });
    ui.fileAnswers = { centre };
    ui.windowGoneAtLevels = true;
    const auto before = snapshot(qtemp);
    form.runModeWord();
    EXPECT_TRUE(ui.boxes().empty());
    EXPECT_EQ(snapshot(qtemp), before);
    EXPECT_FALSE(form.lastRunSucceeded());
    EXPECT_EQ(form.resultCode(), -1);
    EXPECT_TRUE(ui.closed());
}

// The look before the tables are replaced: shown with the real builders, skipped
// once the person asked for that, asked all the same when a table would be emptied;
// declining changes nothing, and in host mode ends as a cancelled import.
TEST_F(MainFormFlow, TheReviewBeforeReplacingCanBeSkippedUnlessATableWouldBeEmptied)
{
    const fs::path full = qtemp / "saga" / "full.xml";
    fs::copy_file(test::fixture("centre/one-line.xml"), full);
    for (const std::string_view table : { "PROFT", "AULAT", "GRUPOST", "DIASHORAST" })
        fs::remove(qtemp / (std::string(table) + ".DBF"));
    shell::MainForm form(ui, settings(), shell::MainForm::Seams {});
    form.start({});

    // A first import: the counts, "Reemplazar las tablas" the default, and the check box.
    ui.fileAnswers = { full };
    ui.choiceAnswer = { true, true };
    form.importCentre();
    ASSERT_EQ(ui.choices.size(), 1u);
    const shell::Choice& first = ui.choices[0];
    EXPECT_TRUE(first.text.starts_with("Se van a crear las tablas de Zelvano:\nASIGNOMT: tabla nueva, "))
        << first.text;
    EXPECT_EQ(first.acceptCaption, "Reemplazar las tablas");
    EXPECT_EQ(first.rejectCaption, "Cancelar");
    EXPECT_TRUE(first.acceptIsDefault);
    EXPECT_EQ(first.dontAskAgainCaption, "No volver a preguntar");
    EXPECT_EQ(ui.flags, (std::map<std::string, bool> { { "ImportReview/DontAskAgain", true } }));
    EXPECT_EQ(ui.boxes(), Boxes { kDone });

    // Remembered: the same file again goes straight through.
    ui.fileAnswers = { full };
    form.importCentre();
    EXPECT_EQ(ui.choices.size(), 1u);
    EXPECT_EQ(ui.boxes(), (Boxes { kDone, kDone }));

    // An empty <CENTRE/> would empty six tables: asked all the same, and declined.
    const auto before = snapshot(qtemp);
    ui.fileAnswers = { centre };
    ui.choiceAnswer = { false, false };
    form.importCentre();
    ASSERT_EQ(ui.choices.size(), 2u);
    EXPECT_TRUE(ui.choices[1].text.starts_with("Atención: el archivo no trae ningún registro"))
        << ui.choices[1].text;
    EXPECT_NE(
        ui.choices[1].details.find("Aviso: tablas que tenían registros y quedan vacías"), std::string::npos)
        << ui.choices[1].details;
    EXPECT_EQ(ui.boxes(), (Boxes { kDone, kDone }));
    EXPECT_EQ(snapshot(qtemp), before);
    EXPECT_FALSE(form.lastRunSucceeded());

    // In host mode the declined replacement is a cancelled import.
    FakeInteraction host;
    host.choiceAnswer = { false, false };
    host.fileAnswers = { centre };
    shell::MainForm hosted(host, settings(), shell::MainForm::Seams {});
    hosted.start({ "exportar", "1" });
    hosted.runModeWord();
    EXPECT_EQ(host.choices.size(), 1u);
    EXPECT_TRUE(host.boxes().empty());
    EXPECT_EQ(snapshot(qtemp), before);
    EXPECT_EQ(hosted.resultCode(), -1);
    EXPECT_TRUE(host.closed());
}

// What the window shows after each direction: how the run ended first, then what it
// wrote, the subject lines and the warnings at a glance, every line in the details.
TEST_F(MainFormFlow, TheReportsSayWhatTheRunsDid)
{
    const fs::path full = qtemp / "saga" / "full.xml";
    fs::copy_file(test::fixture("centre/one-line.xml"), full);
    shell::MainForm form(ui, settings(), shell::MainForm::Seams {});
    form.start({});
    ui.fileAnswers = { full, full };
    form.importCentre();
    const std::vector<std::string> importSummary = form.lastSummary();
    form.exportSolution();
    ASSERT_EQ(ui.reports.size(), 2u);

    const shell::Report& imported = ui.reports[0];
    EXPECT_TRUE(imported.text.starts_with("Proceso finalizado\nTablas importadas (registros): ASIGNOMT "))
        << imported.text;
    EXPECT_NE(imported.text.find("\nLíneas de asignaturas: "), std::string::npos) << imported.text;
    std::string everyLine;
    for (const std::string& line : importSummary)
        everyLine += (everyLine.empty() ? "" : "\n") + line;
    EXPECT_EQ(imported.details, everyLine);

    const shell::Report& exported = ui.reports[1];
    const std::string where = (qtemp / "saga" / "SolucioHorari.xml").string();
    EXPECT_TRUE(exported.text.starts_with("Proceso finalizado\nSolucioHorari.xml: 0 sesiones\n" + where))
        << exported.text;
}

TEST_F(MainFormFlow, CancelBeforeAnyChoiceSaysThereIsNoFile)
{
    shell::MainForm form(ui, settings(), seams());
    form.start({});
    form.exportSolution();
    form.importCentre();
    EXPECT_EQ(ui.boxes(), (Boxes { kNoFile, kNoFile }));
    EXPECT_FALSE(ui.closed()); // interactive use never closes by itself
    EXPECT_EQ(form.resultCode(), 0);
    EXPECT_FALSE(form.lastRunSucceeded());
}

TEST_F(MainFormFlow, AFailingBuilderKeepsTheCodeAndALaterRunWritesOne)
{
    const auto before = snapshot(qtemp);
    shell::MainForm form(ui, settings(), seams());
    form.start({ "exportar", "4A0001F" });
    test::fake::failingBuilder = "FakeProfesores";
    ui.fileAnswers = { centre };
    form.runModeWord();

    ASSERT_EQ(ui.boxes().size(), 1u);
    EXPECT_TRUE(ui.boxes()[0].starts_with("error:Fallo de prueba en FakeProfesores.")) << ui.boxes()[0];
    EXPECT_EQ(ui.boxesWhileBusy, 0);
    EXPECT_FALSE(ui.busy);
    EXPECT_FALSE(ui.closed());
    EXPECT_EQ(form.resultCode(), 0);
    EXPECT_EQ(snapshot(qtemp), before);

    // The user presses the button again, confirming the same file.
    test::fake::failingBuilder.clear();
    form.importCentre();
    EXPECT_EQ(ui.boxes().back(), kDone);
    EXPECT_TRUE(ui.closed());
    EXPECT_EQ(form.resultCode(), 1);
    EXPECT_TRUE(form.closing());
    EXPECT_EQ(iniText(), ini(1));
}

TEST_F(MainFormFlow, AFileThatIsNotACentreFileShowsItsErrorAndKeepsTheLastCode)
{
    shell::MainForm form(ui, settings(), seams());
    form.start({});
    ui.fileAnswers = { centre };
    form.importCentre(); // a good run first: its code must survive the bad one
    ASSERT_EQ(form.resultCode(), 1);
    const fs::path bad = dir / "bad.xml";
    writeFile(bad, "<HORARI/>");
    ui.events.clear();
    ui.fileAnswers = { bad };
    form.importCentre();
    ASSERT_EQ(ui.boxes().size(), 1u);
    EXPECT_TRUE(ui.boxes()[0].starts_with("error:El archivo ")) << ui.boxes()[0];
    EXPECT_NE(
        ui.boxes()[0].find("y debería ser <CENTRE>. Elija el archivo que se obtiene en GestIB al exportar "
                           "los datos del centro"),
        std::string::npos)
        << ui.boxes()[0];
    EXPECT_EQ(form.resultCode(), 1);
    EXPECT_FALSE(form.lastRunSucceeded());
    EXPECT_TRUE(form.lastSummary().empty());
}

TEST_F(MainFormFlow, BusyCursorOnlyWhileTheBuildersWork)
{
    shell::MainForm form(ui, settings(), seams());
    form.start({});
    ui.fileAnswers = { centre };
    form.importCentre();
    // The dialogs of the builders and the final box all show the normal cursor.
    const std::vector<std::string> expected = { "choose", "busy:on", "busy:off", "levels", "busy:on",
        "busy:off", "question", "busy:on", "busy:off", "choice", "busy:on", "busy:off", kDone };
    EXPECT_EQ(ui.events, expected);
}

TEST_F(MainFormFlow, TheFileDialogOpensInTheSagaFolderElseInTheTimetableDirectory)
{
    fs::remove_all(qtemp / "saga");
    fs::create_directories(qtemp / "SAGA");
    shell::MainForm form(ui, settings(), seams());
    form.exportSolution();
    ASSERT_EQ(ui.dialogs.size(), 1u);
    EXPECT_EQ(ui.dialogs[0].title, "Archivo XML");
    EXPECT_EQ(ui.dialogs[0].filter, "*.xml");
    EXPECT_EQ(ui.dialogs[0].defaultExtension, "xml");
    EXPECT_TRUE(test::samePath(ui.dialogs[0].initialDir, qtemp / "SAGA")) << ui.dialogs[0].initialDir;

    // Without a "saga" folder, the timetable directory itself, every time.
    fs::remove_all(qtemp / "SAGA");
    form.importCentre();
    form.exportSolution();
    ASSERT_EQ(ui.dialogs.size(), 3u);
    EXPECT_EQ(ui.dialogs[1].initialDir, qtemp);
    EXPECT_EQ(ui.dialogs[2].initialDir, qtemp);
}

TEST_F(MainFormFlow, TheIniGoesWhereTheSettingsSayNotTheCurrentDirectory)
{
    TempDir elsewhere;
    const fs::path previous = fs::current_path();
    fs::current_path(elsewhere.path());
    {
        shell::MainForm form(ui, settings(), seams());
        form.start({ "abrir", "1" });
        EXPECT_TRUE(form.closing());
    }
    fs::current_path(previous);
    EXPECT_EQ(iniText(), ini(0));
    EXPECT_TRUE(snapshot(elsewhere.path()).empty());
}

TEST_F(MainFormFlow, AnIniThatCannotBeWrittenIsSaidOnceAndTheWindowCloses)
{
    auto s = settings();
    s.iniFile = dir / "no-such-folder" / "Zelvano.ini";
    shell::MainForm form(ui, s, seams());
    form.start({ "abrir", "1" });
    EXPECT_TRUE(form.closing());
    EXPECT_EQ(ui.boxes(),
        Boxes { "error:No se puede escribir el resultado en el archivo «" + text::pathToUtf8(s.iniFile)
            + "»: Zelvano no sabrá cómo ha terminado la conversión." });
}

TEST_F(MainFormFlow, StartUpRollsBackAnInterruptedImport)
{
    const auto before = snapshot(qtemp);
    {
        platform::IoHooks killing;
        killing.step = [](std::string_view step) {
            if (step == "install:CURSOST.DBF")
                throw platform::SimulatedCrash();
        };
        shell::MainForm form(ui, settings(), seams(&killing));
        ui.fileAnswers = { centre };
        form.importCentre(); // the crash reaches the last-resort error box
    }
    EXPECT_NE(snapshot(qtemp), before);
    shell::MainForm next(ui, settings(), seams());
    next.start({});
    EXPECT_EQ(snapshot(qtemp), before);
}

// What would stop the import is said before the file dialog opens, with what stops it
// and where, and nothing is asked or changed: not even the directory's lock file is made.
TEST_F(MainFormFlow, WhatWouldStopTheImportIsSaidBeforeTheFileDialog)
{
    struct Case {
        const char* name;
        std::function<std::function<void()>(const fs::path& qtemp)> stop; // returns the undo
        std::vector<std::string> said; // parts of the error box
        const platform::IoHooks* io = nullptr;
    };
    platform::IoHooks readOnly;
    readOnly.folderWriteError = [](const fs::path&) { return EROFS; };
#ifndef _WIN32
    std::optional<test::LockingProgram> other;
#endif
    std::optional<centre_import::DirectoryLock> otherRun;
    const std::vector<Case> cases = {
        { "a read-only disk", [](const fs::path&) { return std::function<void()>([] {}); },
            { qtemp.string() + ": el disco es de solo lectura" }, &readOnly },
        { "a folder this user may only read",
            [](const fs::path& q) {
                fs::permissions(q, fs::perms::owner_read | fs::perms::owner_exec);
                return std::function<void()>([q] { fs::permissions(q, fs::perms::owner_all); });
            },
            { qtemp.string() + ": permiso denegado" } },
        { "another run",
            [&](const fs::path& q) {
                otherRun = centre_import::DirectoryLock::take(q, centre_import::DirectoryLock::Use::Read);
                return std::function<void()>([&] { otherRun.reset(); });
            },
            { "en curso en el directorio de horarios " + qtemp.string() } },
#ifndef _WIN32
        { "a table another program holds",
            [&](const fs::path& q) {
                other.emplace(std::vector<fs::path> { q / "PROFT.DBF" });
                other->hold("head");
                return std::function<void()>([&] { other.reset(); });
            },
            { "tabla PROFT", "Zelvano", (qtemp / "PROFT.DBF").string(), "Ciérrela en ese programa" } },
#endif
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        FakeInteraction person;
        shell::MainForm form(person, settings(), seams(c.io));
        form.start({});
        const auto before = snapshot(qtemp);
        const auto undo = c.stop(qtemp);
        if (c.said[0].ends_with("permiso denegado") && platform::folderWriteError(qtemp) == 0) {
            undo(); // root, or a file system that ignores the mode: nothing to see
            continue;
        }
        person.fileAnswers = { centre };
        form.importCentre();
        undo();
        ASSERT_EQ(person.events.size(), 1u) << ::testing::PrintToString(person.events);
        EXPECT_TRUE(person.events[0].starts_with("error:")) << person.events[0];
        for (const std::string& part : c.said)
            EXPECT_NE(person.events[0].find(part), std::string::npos) << part << " in " << person.events[0];
        EXPECT_EQ(snapshot(qtemp), before);
        EXPECT_FALSE(form.lastRunSucceeded());
    }
}

// A table another program takes after the dialog stops the run when it starts, before
// the course-level grid: the run checks again before the builders ask anything.
TEST_F(MainFormFlow, ATableTakenAfterTheDialogStopsTheRunBeforeTheGrid)
{
    TRAMAZEL_SKIP_ON_WINDOWS("the other program is a python3 process taking POSIX locks");
#ifndef _WIN32
    test::LockingProgram other({ qtemp / "PROFT.DBF" });
    platform::IoHooks hooks;
    hooks.step = [&](std::string_view step) {
        if (step == "check-tables")
            other.hold("head");
    };
    shell::MainForm form(ui, settings(), seams(&hooks));
    form.start({});
    const auto before = snapshot(qtemp);
    ui.fileAnswers = { centre };
    form.importCentre();
    ASSERT_FALSE(ui.events.empty());
    EXPECT_EQ(ui.events.front(), "choose");
    EXPECT_TRUE(ui.events.back().starts_with(
        "error:Otro programa, por ejemplo Zelvano, tiene abierta la tabla PROFT"))
        << ui.events.back();
    for (const std::string& event : ui.events)
        EXPECT_TRUE(event != "levels" && event != "question") << ::testing::PrintToString(ui.events);
    EXPECT_EQ(snapshot(qtemp), before);
#endif
}

namespace {

// A solution of two sessions (teacher ANA, day 1, hours 1 and 2) over a centre whose
// DIASHORAST holds `slots` and whose PROFT holds `teachers`.
void writeSolution(const fs::path& qtemp, std::vector<std::string> slots, std::vector<std::string> teachers)
{
    exporting::Centre centre;
    for (const std::string& teacher : teachers)
        centre.proft.push_back({ teacher, "P-" + teacher });
    centre.grupost = { { "1A", "G1A", "ESO1" } };
    centre.aulat = { { "A1", "AULA1" } };
    centre.subjects = { { "MA", "MAT1" } };
    for (const std::string& slot : slots)
        centre.diashorast.push_back({ slot, "1", "08:00", "55" });
    exporting::writeCentre(qtemp, centre);
    exporting::writeSoluc(qtemp,
        { { 1, 1, "ANA", "1A", "A1", "MA", "" }, { 1, 2, "ANA", "1A", "A1", "MA", "" },
            { 1, 3, "PEP", "1A", "A1", "MA", "" } });
}

const std::string kOldSolution = "<HORARI>kept</HORARI>\n";

} // namespace

// Sessions that would lose their day and hour, or a code, are shown before anything is
// written; declining writes nothing and leaves the old solution file as it was.
TEST_F(MainFormFlow, IncompleteSessionsAreShownBeforeTheExportWrites)
{
    struct Case {
        const char* name;
        std::vector<std::string> slots;
        std::vector<std::string> teachers;
        bool accept;
        std::optional<bool> acceptIsDefault; // nothing: no question
        std::vector<std::string> textParts; // what the question says
        bool written;
    };
    const Case cases[] = {
        { "empty DIASHORAST, declined", {}, { "ANA", "PEP" }, false, false,
            { "Ninguna de las 3 sesiones tendría día ni hora",
                "franja no encontrada en DIASHORAST: 3 (p. ej. 11, 12, 13)", "¿Guardar de todos modos?" },
            false },
        { "empty DIASHORAST, saved all the same", {}, { "ANA", "PEP" }, true, false,
            { "Ninguna de las 3 sesiones" }, true },
        { "one slot missing", { "11", "12" }, { "ANA", "PEP" }, true, true,
            { "1 sesión de 3 quedaría sin día ni hora", "franja no encontrada en DIASHORAST: 1 (p. ej. 13)" },
            true },
        { "a teacher not in PROFT, declined", { "11", "12", "13" }, { "ANA" }, false, true,
            { "Hay códigos de SOLUC sin correspondencia", "profesor no encontrado en PROFT: 1 (p. ej. PEP)" },
            false },
        { "every session complete", { "11", "12", "13" }, { "ANA", "PEP" }, false, std::nullopt, {}, true },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        writeSolution(qtemp, c.slots, c.teachers);
        const fs::path solution = qtemp / "saga" / "SolucioHorari.xml";
        writeFile(solution, kOldSolution);
        const auto before = snapshot(qtemp / "saga");
        FakeInteraction person;
        person.choiceAnswer = { c.accept, false };
        person.fileAnswers = { centre };
        shell::MainForm form(person, settings(), seams());
        form.start({});
        form.exportSolution();

        ASSERT_EQ(person.choices.size(), c.acceptIsDefault ? 1u : 0u);
        if (c.acceptIsDefault) {
            const shell::Choice& choice = person.choices[0];
            EXPECT_EQ(choice.acceptIsDefault, *c.acceptIsDefault);
            EXPECT_EQ(choice.acceptCaption, "Guardar");
            EXPECT_EQ(choice.rejectCaption, "Cancelar");
            for (const std::string& part : c.textParts)
                EXPECT_NE(choice.text.find(part), std::string::npos) << part << " in:\n" << choice.text;
        }
        if (c.written) {
            EXPECT_EQ(person.boxes(), Boxes { kDone });
            EXPECT_NE(readFile(solution), kOldSolution);
            EXPECT_TRUE(form.lastRunSucceeded());
        } else {
            EXPECT_TRUE(person.boxes().empty());
            EXPECT_EQ(snapshot(qtemp / "saga"), before);
            EXPECT_FALSE(form.lastRunSucceeded());
        }
        EXPECT_FALSE(person.closed());
        // The tables are released either way: the next run may open them.
        EXPECT_NO_THROW(dbf::DbfTable::open(qtemp, zelvano::soluc::kTable, dbf::Access::Exclusive).close());
    }
}

TEST_F(MainFormFlow, DecliningToSaveInHostModeEndsAsACancelledExport)
{
    writeSolution(qtemp, {}, { "ANA", "PEP" });
    const auto before = snapshot(qtemp / "saga");
    ui.choiceAnswer = { false, false };
    ui.fileAnswers = { centre };
    shell::MainForm form(ui, settings(), seams());
    form.start({ "importar", "1" });
    form.runModeWord();
    EXPECT_EQ(ui.choices.size(), 1u);
    EXPECT_TRUE(ui.boxes().empty());
    EXPECT_EQ(snapshot(qtemp / "saga"), before);
    EXPECT_EQ(form.resultCode(), 0);
    EXPECT_TRUE(ui.closed());
    EXPECT_TRUE(form.closing());
    EXPECT_EQ(iniText(), ini(0));
}

// A cancelled export dialog writes beside the last file chosen: a solution file there
// is replaced only when the user says so.
TEST_F(MainFormFlow, CancellingTheExportDialogAsksBeforeReplacingASolutionFile)
{
    writeSolution(qtemp, { "11", "12", "13" }, { "ANA", "PEP" });
    const fs::path solution = qtemp / "saga" / "SolucioHorari.xml";
    for (const bool confirm : { false, true }) {
        SCOPED_TRACE(confirm ? "replaced" : "kept");
        FakeInteraction person;
        shell::MainForm form(person, settings(), seams());
        form.start({});
        person.fileAnswers = { centre };
        form.exportSolution();
        ASSERT_EQ(person.boxes(), Boxes { kDone });
        ASSERT_TRUE(person.confirmTexts.empty()); // a file chosen in the dialog: no question
        writeFile(solution, kOldSolution);

        person.events.clear();
        person.confirmAnswer = confirm;
        form.exportSolution(); // the dialog is cancelled
        EXPECT_EQ(person.confirmTexts,
            std::vector<std::string> {
                "¿Sustituir «" + text::pathToUtf8(solution) + "»? El archivo que hay ahora se perderá." });
        EXPECT_EQ(person.boxes(), confirm ? Boxes { kDone } : Boxes {});
        EXPECT_EQ(readFile(solution) == kOldSolution, !confirm);
        EXPECT_EQ(form.lastRunSucceeded(), confirm);
        EXPECT_EQ(form.resultCode(), 1);
    }
}
