// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/MissingFile.h"

#include "shell/ProgramTexts.h"
#include "text/PathText.h"

#include <system_error>

namespace tramazel::shell {

namespace fs = std::filesystem;

std::string whyNotAFile(const fs::path& file)
{
    std::error_code ec;
    const fs::file_status status = fs::status(file, ec);
    if (ec == std::errc::permission_denied)
        return "no se puede entrar en su carpeta (permiso denegado)";
    switch (status.type()) {
    case fs::file_type::not_found:
        return "no existe";
    case fs::file_type::directory:
        return "es una carpeta, no un archivo";
    case fs::file_type::regular:
        // It was not there when the run looked, or went away since.
        return "no se ha podido usar";
    default:
        break;
    }
    if (ec)
        return "no se puede consultar (" + ec.message() + ")";
    return "no es un archivo normal, sino un dispositivo o una tubería";
}

std::string noFileMessage(const fs::path& chosen)
{
    std::string message(kNoFileMessage);
    if (chosen.empty())
        return message;
    return message + "\n«" + text::pathToUtf8(chosen) + "»: " + whyNotAFile(chosen) + ".";
}

} // namespace tramazel::shell
