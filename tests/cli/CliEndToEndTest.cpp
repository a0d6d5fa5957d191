// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestSupport.h"
#include "dbf/DbfTable.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

using namespace tramazel;
using tramazel::test::readFile;
using tramazel::test::run;
using tramazel::test::shellQuote;
using tramazel::test::snapshot;
using tramazel::test::TempDir;
using tramazel::test::writeFile;
namespace fs = std::filesystem;

namespace {

const fs::path kSamples = TRAMAZEL_SAMPLES_DIR;

std::string cli(const std::string& args)
{
    return shellQuote(std::string(TRAMAZEL_BIN_DIR) + "/tramazel-cli") + " " + args;
}

// run() merges both streams; a subshell keeps one of them apart.
test::ProcessResult inSubshell(const std::string& args, const char* redirection)
{
    std::ostringstream command;
    command << "(" << cli(args) << redirection << ")";
    return run(command.str());
}
test::ProcessResult stdoutOf(const std::string& args)
{
    return inSubshell(args, " 2>/dev/null");
}
test::ProcessResult stderrOf(const std::string& args)
{
    return inSubshell(args, " 2>&1 >/dev/null");
}

std::string q(const fs::path& p)
{
    return shellQuote(p.string());
}

// Zelvano's solution of the sample centre, put beside the tables in `qtemp`. The
// samples are committed: a missing one fails the test.
void copySampleSolution(const fs::path& qtemp)
{
    for (const char* table : { "SOLUC.DBF", "DIASHORAST.DBF" }) {
        ASSERT_TRUE(fs::exists(kSamples / "solution" / table))
            << "the committed sample " << table << " is missing";
        fs::copy_file(kSamples / "solution" / table, qtemp / table, fs::copy_options::overwrite_existing);
    }
}

std::size_t count(const std::string& text, const std::string& what)
{
    std::size_t n = 0;
    for (auto pos = text.find(what); pos != std::string::npos; pos = text.find(what, pos + 1))
        ++n;
    return n;
}

} // namespace

TEST(CliEndToEnd, UsageErrorsExitWithTwoAndPrintTheUsage)
{
    for (const char* args : { "", "convert x", "import", "import a.xml b.xml", "show T --levels n", "--bogus",
             "export d --no-lines" }) {
        const auto r = stderrOf(args);
        EXPECT_EQ(r.exitCode, 2) << args;
        EXPECT_NE(r.output.find("uso: tramazel-cli"), std::string::npos) << args;
    }
    const auto version = stdoutOf("--version");
    EXPECT_EQ(version.exitCode, 0);
    EXPECT_TRUE(version.output.starts_with("tramazel-cli ")) << version.output;
    const auto help = stdoutOf("--help");
    EXPECT_EQ(help.exitCode, 0);
    EXPECT_NE(help.output.find("--levels"), std::string::npos);
}

TEST(CliEndToEnd, ImportWithLevelsThenShowThenExport)
{
    ASSERT_TRUE(fs::exists(kSamples / "centre.xml")) << "the committed sample centre.xml is missing";
    TempDir dir;
    const fs::path qtemp = dir / "qtemp";
    fs::create_directories(qtemp);
    const fs::path levels = dir / "niveles.txt";
    writeFile(levels, "# CODI;NIVEL;CURSO\n10000;ESO;1\n10001;ESO;2\n77777;X;1\n");

    // Results on standard output only.
    const auto imported = stdoutOf(
        "--qtemp " + q(qtemp) + " import " + q(kSamples / "centre.xml") + " --levels " + q(levels));
    ASSERT_EQ(imported.exitCode, 0) << imported.output;
    for (const char* table : { "ASIGNOMT", "PROFT", "AULAT", "CURSOST", "GRUPOST", "MATIB", "DIASHORAST" })
        EXPECT_NE(imported.output.find(std::string("Tabla ") + table + ": "), std::string::npos) << table;
    EXPECT_NE(
        imported.output.find(
            "Aviso: códigos del archivo de niveles que ningún curso de CURSOST tiene: 1 (p. ej. 77777)"),
        std::string::npos)
        << imported.output;
    EXPECT_EQ(imported.output.find("Proceso finalizado"), std::string::npos); // a message, not a result

    const auto csv = stdoutOf("--qtemp " + q(qtemp) + " show cursost --csv");
    ASSERT_EQ(csv.exitCode, 0) << csv.output;
    EXPECT_TRUE(csv.output.starts_with("CODI,DESCRIPCIO,NIVEL,CURSO\n")) << csv.output;
    EXPECT_NE(csv.output.find(",ESO,1\n"), std::string::npos) << csv.output;
    EXPECT_NE(csv.output.find(",ESO,2\n"), std::string::npos) << csv.output;

    // The export needs Zelvano's solution beside the imported tables.
    ASSERT_NO_FATAL_FAILURE(copySampleSolution(qtemp));
    const fs::path out = dir / "out";
    fs::create_directories(out);
    writeFile(out / "chosen.xml", "not read");
    for (const auto& target : { out, out / "chosen.xml" }) {
        fs::remove(out / "SolucioHorari.xml");
        const auto exported = run(cli("--qtemp " + q(qtemp) + " export " + q(target)));
        ASSERT_EQ(exported.exitCode, 0) << exported.output;
        EXPECT_GT(count(readFile(out / "SolucioHorari.xml"), "<SESSIO "), 0u);
    }
}

// The changes a run makes to the tables follow their counts, in a dry run too: on a
// first import only that there was nothing to compare; then table by table, matched
// by code, with the names of the first records.
TEST(CliEndToEnd, TheChangesToTheTablesFollowTheirCounts)
{
    TempDir dir;
    const fs::path qtemp = dir / "qtemp";
    fs::create_directories(qtemp);
    const fs::path centre = dir / "centre.xml";
    fs::copy_file(kSamples / "centre.xml", centre);
    const std::string importArgs = "--qtemp " + q(qtemp) + " import " + q(centre);

    const auto first = stdoutOf(importArgs);
    ASSERT_EQ(first.exitCode, 0) << first.output;
    const auto counts = first.output.find("Tabla DIASHORAST: 0 registros\n");
    ASSERT_NE(counts, std::string::npos) << first.output;
    EXPECT_EQ(first.output.find("Cambios en las tablas: ninguna existía (primera importación)\n"),
        counts + std::string("Tabla DIASHORAST: 0 registros\n").size())
        << first.output;

    // A teacher renamed and one room gone, seen by a dry run that changes nothing.
    std::string text = readFile(centre);
    const auto room = text.find("<AULA ");
    ASSERT_NE(room, std::string::npos);
    text.erase(room, text.find('>', room) + 1 - room);
    const auto name = text.find("descripcio=\"", text.find("<PLACA "));
    ASSERT_NE(name, std::string::npos);
    text.insert(name + 12, "Zz ");
    writeFile(centre, text);
    const auto before = snapshot(qtemp);
    const auto dry = stdoutOf(importArgs + " --dry-run");
    ASSERT_EQ(dry.exitCode, 0) << dry.output;
    EXPECT_EQ(snapshot(qtemp), before);
    EXPECT_NE(dry.output.find("Tabla DIASHORAST: 0 registros\nCambios en las tablas:\n  ASIGNOMT (por CODI): "
                              "sin cambios (302 registros)\n"),
        std::string::npos)
        << dry.output;
    EXPECT_NE(dry.output.find("\n  PROFT (por CODI): 1 cambiado (100 registros)\n    cambiados: Zz "),
        std::string::npos)
        << dry.output;
    EXPECT_NE(dry.output.find("\n  AULAT (por CODI): 1 quitado (de 60 a 59 registros)\n    quitados: "),
        std::string::npos)
        << dry.output;
}

TEST(CliEndToEnd, KeepLevelsStartsFromThePreviousImportAndTheFileAppliesOnTop)
{
    ASSERT_TRUE(fs::exists(kSamples / "centre.xml")) << "the committed sample centre.xml is missing";
    TempDir dir;
    const fs::path qtemp = dir / "qtemp";
    fs::create_directories(qtemp);
    const fs::path first = dir / "first.txt";
    writeFile(first, "10000;ESO;1\n10001;ESO;2\n");
    const fs::path second = dir / "second.txt";
    writeFile(second, "10001;BAT;9\n");
    const std::string import = "--qtemp " + q(qtemp) + " import " + q(kSamples / "centre.xml");
    ASSERT_EQ(stdoutOf(import + " --levels " + q(first)).exitCode, 0);

    struct Case {
        std::string options;
        std::vector<std::string> present; ///< CSV lines of CURSOST's end: ",NIVEL,CURSO"
        std::vector<std::string> absent;
    };
    // Each import starts from what the one before it left.
    const Case cases[] = {
        { " --keep-levels", { ",ESO,1\n", ",ESO,2\n" }, {} },
        { " --keep-levels --levels " + q(second), { ",ESO,1\n", ",BAT,9\n" }, { ",ESO,2\n" } },
        { "", {}, { ",ESO,1\n", ",BAT,9\n" } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.options);
        const auto imported = stdoutOf(import + c.options);
        ASSERT_EQ(imported.exitCode, 0) << imported.output;
        const auto csv = stdoutOf("--qtemp " + q(qtemp) + " show cursost --csv");
        for (const std::string& line : c.present)
            EXPECT_NE(csv.output.find(line), std::string::npos) << line;
        for (const std::string& line : c.absent)
            EXPECT_EQ(csv.output.find(line), std::string::npos) << line;
    }
}

TEST(CliEndToEnd, DryRunPrintsWhatAnImportWouldAndLeavesTheDirectoryByteIdentical)
{
    ASSERT_TRUE(fs::exists(kSamples / "centre.xml")) << "the committed sample centre.xml is missing";
    TempDir dir;
    const fs::path qtemp = dir / "qtemp";
    fs::create_directories(qtemp);
    const fs::path levels = dir / "niveles.txt";
    writeFile(levels, "10000;ESO;1\n77777;X;1\n");
    const std::string centre = q(kSamples / "centre.xml");
    ASSERT_EQ(stdoutOf("--qtemp " + q(qtemp) + " import " + centre).exitCode, 0);
    const auto before = snapshot(qtemp);

    for (const std::string& options :
        { std::string(), " --lines matched --keep-levels --levels " + q(levels) }) {
        SCOPED_TRACE(options);
        const auto dry = stdoutOf("--qtemp " + q(qtemp) + " import " + centre + " --dry-run" + options);
        ASSERT_EQ(dry.exitCode, 0) << dry.output;
        EXPECT_TRUE(before == snapshot(qtemp));
        const auto message = stderrOf("--qtemp " + q(qtemp) + " import " + centre + " --dry-run" + options);
        EXPECT_NE(message.output.find("no se ha modificado"), std::string::npos) << message.output;

        // The same summary and warnings as the import it stands for.
        const fs::path copy = dir / "copy";
        fs::remove_all(copy);
        fs::copy(qtemp, copy);
        const auto real = stdoutOf("--qtemp " + q(copy) + " import " + centre + options);
        ASSERT_EQ(real.exitCode, 0) << real.output;
        EXPECT_EQ(real.output, dry.output);
    }

    // Leftovers of an interrupted run stay for a real run to resolve.
    fs::create_directories(qtemp / ".tramazel-staging");
    const auto before2 = snapshot(qtemp);
    const auto refused = run(cli("--qtemp " + q(qtemp) + " import " + centre + " --dry-run"));
    EXPECT_EQ(refused.exitCode, 1) << refused.output;
    EXPECT_TRUE(before2 == snapshot(qtemp));
    EXPECT_TRUE(fs::exists(qtemp / ".tramazel-staging"));
}

TEST(CliEndToEnd, FailuresExitWithOneAndTouchNothing)
{
    TempDir dir;
    const fs::path qtemp = dir / "qtemp";
    fs::create_directories(qtemp);
    writeFile(qtemp / "ASIGNOMT.DBF", "old table");
    const fs::path centre = dir / "centre.xml";
    writeFile(centre, "<CENTRE/>");
    const fs::path badLevels = dir / "bad.txt";
    writeFile(badLevels, "10000;ESO\n");
    const auto before = snapshot(qtemp);

    struct Case {
        std::string args;
        std::string message;
    };
    const Case cases[] = {
        { "import " + q(centre) + " --levels " + q(dir / "missing.txt"), "No existe el archivo de niveles" },
        { "import " + q(centre) + " --levels " + q(badLevels), "Línea 1 del archivo de niveles" },
        { "import " + q(dir / "missing.xml"), "No existe archivo" },
        { "export " + q(dir / "nowhere" / "x.xml"), "No existe archivo" },
        { "export " + q(dir.path()),
            "no se encuentra la tabla «SOLUC» en la carpeta «" + qtemp.string()
                + "». Calcule primero el horario en Zelvano" },
        { "show NOSUCH", "NOSUCH" },
    };
    for (const Case& c : cases) {
        const auto r = stderrOf("--qtemp " + q(qtemp) + " " + c.args);
        EXPECT_EQ(r.exitCode, 1) << c.args;
        EXPECT_NE(r.output.find(c.message), std::string::npos) << c.args << ": " << r.output;
        EXPECT_EQ(snapshot(qtemp), before) << c.args;
    }
}

// A summary that cannot be written is a failure, whichever command wrote it.
TEST(CliEndToEnd, OutputThatCannotBeWrittenExitsWithOne)
{
    if (!fs::exists("/dev/full"))
        GTEST_SKIP() << "no /dev/full";
    TempDir dir;
    const fs::path qtemp = dir / "qtemp";
    fs::create_directories(qtemp);
    const fs::path centre = dir / "centre.xml";
    writeFile(centre, "<CENTRE><PLACES><PLACA codi='1' descripcio='P' curta='P'/></PLACES></CENTRE>");
    // What was done is said with the failure: a run that did its work must not look
    // as if it had not.
    struct Case {
        std::string args;
        bool needsSolution;
        const char* said;
    } cases[] = {
        { "import " + q(centre) + " --no-lines", false,
            "Las tablas se han importado, pero no se puede escribir el resumen" },
        { "import " + q(centre) + " --no-lines --dry-run", false, "no ha cambiado nada, pero no se puede" },
        { "show PROFT", false, "No se puede escribir la salida" },
        { "export " + q(dir.path()), true,
            "La solución se ha exportado, pero no se puede escribir el resumen" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.args);
        if (c.needsSolution) {
            ASSERT_NO_FATAL_FAILURE(copySampleSolution(qtemp));
        }
        const auto r = inSubshell("--qtemp " + q(qtemp) + " " + c.args, " 2>&1 >/dev/full");
        EXPECT_EQ(r.exitCode, 1) << r.output;
        EXPECT_NE(r.output.find(c.said), std::string::npos) << r.output;
    }
}

TEST(CliEndToEnd, ShowAlignsColumnsOrWritesCsv)
{
    TempDir dir;
    {
        auto t = dbf::DbfTable::create(dir.path(), "T",
            { { "NOM", dbf::FieldKind::Character, 10 }, { "N", dbf::FieldKind::Integer, 0 } });
        t.append();
        t.setText("NOM", "\xC0lex"); // cp1252 "Àlex"
        t.setInteger("N", 5);
        t.post();
        t.append();
        t.setText("NOM", "Bo");
        t.setInteger("N", 123);
        t.post();
        t.append();
        t.setText("NOM", "x \"y\", z");
        t.post();
    }
    const auto sp = [](int n) { return std::string(static_cast<std::size_t>(n), ' '); };
    const auto aligned = stdoutOf("--qtemp " + q(dir.path()) + " show t");
    EXPECT_EQ(aligned.exitCode, 0);
    EXPECT_EQ(aligned.output,
        "NOM" + sp(9) + "N\n" + "\xC3\x80lex" + sp(8) + "5\n" + "Bo" + sp(8) + "123\n" + "x \"y\", z\n");
    const auto csv = stdoutOf("--qtemp " + q(dir.path()) + " show T --csv");
    EXPECT_EQ(csv.exitCode, 0);
    EXPECT_EQ(csv.output, "NOM,N\n\xC3\x80lex,5\nBo,123\n\"x \"\"y\"\", z\",\n");
}
