// SPDX-License-Identifier: GPL-3.0-or-later
#include "CliPrompts.h"
#include "CommandLine.h"
#include "CourseLevels.h"
#include "Error.h"
#include "TablePrinter.h"
#include "Version.h"
#include "centre_import/ImportCentreFile.h"
#include "platform/Console.h"
#include "shell/ErrorBox.h"
#include "shell/MissingFile.h"
#include "shell/ProgramTexts.h"
#include "shell/TimetableDirectory.h"
#include "solution_export/SolutionExport.h"
#include "text/PathText.h"
#include "xml/XmlDocument.h"

#include <exception>
#include <iostream>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace fs = std::filesystem;
using namespace tramazel;

namespace {

constexpr int kExitOk = 0;
constexpr int kExitFailed = 1;
constexpr int kExitUsage = 2;

constexpr std::string_view kDryRunMessage
    = "Simulación finalizada: el directorio de horarios no se ha modificado";

std::string helpText()
{
    return cli::usageText()
        + "\n"
          "Convierte datos entre GestIB y Zelvano sin ventana.\n"
          "\n"
          "  import CENTRE.xml   rehace las tablas de Zelvano a partir de un archivo de centro\n"
          "                      de GestIB. Todo o nada: si algo falla, las tablas quedan como\n"
          "                      estaban.\n"
          "    --dry-run         lo prepara todo y muestra el resumen y los avisos, pero no\n"
          "                      cambia nada en el directorio de horarios\n"
          "    --keep-levels     cada curso empieza con el nivel y el curso que tenía en la\n"
          "                      CURSOST del directorio de horarios (por su CODI)\n"
          "    --levels ARCHIVO  nivel y curso de cada curso: líneas UTF-8 CODI;NIVEL;CURSO\n"
          "                      (se ignoran las líneas vacías y las que empiezan por #);\n"
          "                      con --keep-levels, se aplican encima\n"
          "    --lines all       una línea de asignatura (ASIGT) por cada grupo del curso\n"
          "                      de la asignatura (por omisión)\n"
          "    --lines matched   solo para los grupos indicados en el nombre de la materia\n"
          "                      (\"Matemàtiques-AB\": grupos A y B); si no indica ninguno,\n"
          "                      para todos\n"
          "    --lines none, --no-lines\n"
          "                      no genera las líneas de asignaturas\n"
          "  export DESTINO      escribe SolucioHorari.xml en la carpeta DESTINO, o en la\n"
          "                      carpeta del archivo DESTINO\n"
          "  show TABLA          muestra una tabla del directorio de horarios\n"
          "    --csv             en formato CSV\n"
          "  --qtemp DIR         directorio de horarios (si no, TRAMAZEL_QTEMP o el QTEMP de\n"
          "                      la unidad C: del prefijo de Wine)\n"
          "\n"
          "Salida: 0 correcto, 1 la operación ha fallado, 2 uso incorrecto.\n";
}

// The window's boxes become lines on the error stream; the summary of a completed
// run goes to the standard output.
void reportFailure()
{
    std::cerr << shell::errorBoxTextOf(std::current_exception()) << '\n';
}

void printLines(const std::vector<std::string>& lines)
{
    for (const std::string& line : lines)
        std::cout << line << '\n';
}

int runConversion(const cli::CommandLine& cl, const fs::path& qtemp)
{
    std::optional<cli::CourseLevels> levels;
    if (cl.levels)
        levels = cli::CourseLevels::load(*cl.levels); // before anything is touched

    const fs::path file = fs::absolute(text::pathFromUtf8(cl.operand));
    cli::CliPrompts prompts(levels ? &*levels : nullptr, cl.lines);
    xml::XmlDocument doc;
    std::optional<std::vector<std::string>> summary;
    try {
        if (cl.command == cli::Command::Import) {
            centre_import::CentreFileImportOptions options;
            options.keepLevels = cl.keepLevels;
            options.dryRun = cl.dryRun;
            if (auto result = centre_import::importCentreFile(file, qtemp, doc, prompts, options))
                summary = result->summary();
        } else {
            if (auto result = solution_export::exportSolutionToTarget(qtemp, file))
                summary = result->summary();
        }
    } catch (...) {
        reportFailure();
        return kExitFailed;
    }
    if (!summary) {
        std::cerr << shell::noFileMessage(file) << '\n';
        return kExitFailed;
    }
    std::cerr << (cl.dryRun ? kDryRunMessage : shell::kDoneMessage) << '\n';
    printLines(*summary);
    printLines(prompts.warnings().summaryLines());
    // A summary the user never sees (standard output on a full device) is a failure,
    // but the run itself is done: the message must not let anyone think otherwise.
    std::cout.flush();
    if (!std::cout) {
        const char* done = cl.dryRun             ? "La prueba ha terminado y no ha cambiado nada"
            : cl.command == cli::Command::Import ? "Las tablas se han importado"
                                                 : "La solución se ha exportado";
        throw Error(ErrorCode::FileIo,
            std::string(done) + ", pero no se puede escribir el resumen en la salida estándar");
    }
    return kExitOk;
}

int runShow(const cli::CommandLine& cl, const fs::path& qtemp)
{
    cli::showTable(qtemp, cl.operand, std::cout, cl.csv);
    std::cout.flush();
    if (!std::cout)
        throw Error(ErrorCode::FileIo, "No se puede escribir la salida");
    return kExitOk;
}

int runCli(const std::vector<std::string>& args)
{
    cli::CommandLine cl;
    try {
        cl = cli::parseCommandLine(args);
    } catch (const cli::UsageError& e) {
        std::cerr << "tramazel-cli: " << e.what() << "\n" << cli::usageText();
        return kExitUsage;
    }

    switch (cl.command) {
    case cli::Command::Help:
        std::cout << helpText();
        return kExitOk;
    case cli::Command::Version:
        std::cout << "tramazel-cli " << kVersion << '\n';
        return kExitOk;
    default:
        break;
    }

    const fs::path qtemp = cl.qtemp ? *cl.qtemp : shell::timetableDirectory();
    if (cl.command == cli::Command::Show)
        return runShow(cl, qtemp);
    return runConversion(cl, qtemp);
}

} // namespace

int main(int argc, char** argv)
{
    platform::useUtf8Console();
    try {
        return runCli(platform::commandLineArguments(argc, argv));
    } catch (...) {
        reportFailure();
    }
    return kExitFailed;
}
