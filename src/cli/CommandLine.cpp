// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommandLine.h"
#include "text/PathText.h"

#include <string_view>

namespace tramazel::cli {

namespace fs = std::filesystem;

namespace {

centre_import::SubjectLines subjectLinesNamed(const std::string& value)
{
    using centre_import::SubjectLines;
    if (value == "all")
        return SubjectLines::All;
    if (value == "matched")
        return SubjectLines::NamedGroups;
    if (value == "none")
        return SubjectLines::None;
    throw UsageError("la opción --lines vale all, matched o none, no «" + value + "»");
}

} // namespace

std::string usageText()
{
    return "uso: tramazel-cli [--qtemp DIR] import CENTRE.xml [--dry-run] [--keep-levels]\n"
           "                                     [--levels ARCHIVO]\n"
           "                                     [--lines all|matched|none | --no-lines]\n"
           "     tramazel-cli [--qtemp DIR] export DESTINO\n"
           "     tramazel-cli [--qtemp DIR] show TABLA [--csv]\n"
           "     tramazel-cli --help | --version\n";
}

CommandLine parseCommandLine(const std::vector<std::string>& args)
{
    CommandLine cl;
    std::vector<std::string> words;
    bool help = false;
    bool version = false;
    bool optionsEnded = false;
    bool sawLevels = false;
    bool sawNoLines = false;
    bool sawLines = false;

    for (std::size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (optionsEnded || arg.empty() || arg[0] != '-' || arg == "-") {
            words.push_back(arg);
            continue;
        }
        if (arg == "--") {
            optionsEnded = true;
            continue;
        }
        std::string name = arg;
        std::optional<std::string> inlineValue;
        if (auto eq = arg.find('='); eq != std::string::npos && arg.starts_with("--")) {
            name = arg.substr(0, eq);
            inlineValue = arg.substr(eq + 1);
        }
        auto value = [&]() -> std::string {
            if (inlineValue)
                return *inlineValue;
            if (i + 1 >= args.size())
                throw UsageError("falta el valor de la opción " + name);
            return args[++i];
        };
        auto flag = [&]() {
            if (inlineValue)
                throw UsageError("la opción " + name + " no lleva valor");
        };
        if (name == "--help" || name == "-h") {
            flag();
            help = true;
        } else if (name == "--version") {
            flag();
            version = true;
        } else if (name == "--qtemp") {
            if (cl.qtemp)
                throw UsageError("la opción --qtemp aparece dos veces");
            const std::string dir = value();
            if (dir.empty())
                throw UsageError("la opción --qtemp necesita un directorio");
            cl.qtemp = text::pathFromUtf8(dir);
        } else if (name == "--levels") {
            if (sawLevels)
                throw UsageError("la opción --levels aparece dos veces");
            sawLevels = true;
            const std::string file = value();
            if (file.empty())
                throw UsageError("la opción --levels necesita un archivo");
            cl.levels = text::pathFromUtf8(file);
        } else if (name == "--no-lines") {
            flag();
            if (sawLines)
                throw UsageError("--lines y --no-lines no pueden ir juntas");
            sawNoLines = true;
            cl.lines = centre_import::SubjectLines::None;
        } else if (name == "--lines") {
            if (sawLines)
                throw UsageError("la opción --lines aparece dos veces");
            if (sawNoLines)
                throw UsageError("--lines y --no-lines no pueden ir juntas");
            sawLines = true;
            cl.lines = subjectLinesNamed(value());
        } else if (name == "--dry-run") {
            flag();
            cl.dryRun = true;
        } else if (name == "--keep-levels") {
            flag();
            cl.keepLevels = true;
        } else if (name == "--csv") {
            flag();
            cl.csv = true;
        } else {
            throw UsageError("opción desconocida: " + arg);
        }
    }

    if (help || version) {
        if (!words.empty() || cl.qtemp || sawLevels || sawNoLines || sawLines || cl.keepLevels || cl.dryRun
            || cl.csv || (help && version))
            throw UsageError(std::string(help ? "--help" : "--version") + " no admite otros argumentos");
        cl.command = help ? Command::Help : Command::Version;
        return cl;
    }
    if (words.empty())
        throw UsageError("falta la orden (import, export o show)");

    const std::string& command = words[0];
    if (command == "import")
        cl.command = Command::Import;
    else if (command == "export")
        cl.command = Command::Export;
    else if (command == "show")
        cl.command = Command::Show;
    else
        throw UsageError("orden desconocida: " + command);

    if (words.size() < 2)
        throw UsageError("falta el argumento de la orden " + command);
    if (words.size() > 2)
        throw UsageError("sobra el argumento " + words[2]);
    cl.operand = words[1];
    if (cl.operand.empty())
        throw UsageError("el argumento de la orden " + command + " está vacío");

    if (cl.command != Command::Import && (sawLevels || sawNoLines))
        throw UsageError("--levels y --no-lines solo valen para import");
    if (cl.command != Command::Import && sawLines)
        throw UsageError("--lines solo vale para import");
    if (cl.command != Command::Import && cl.keepLevels)
        throw UsageError("--keep-levels solo vale para import");
    if (cl.command != Command::Import && cl.dryRun)
        throw UsageError("--dry-run solo vale para import");
    if (cl.command != Command::Show && cl.csv)
        throw UsageError("--csv solo vale para show");
    return cl;
}

} // namespace tramazel::cli
