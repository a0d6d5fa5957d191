// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>
#include <vector>

/// Names and texts of the program that more than one front end uses, spelled once.
/// The host INI file's name is kHostIniFileName (HostIni.h).
namespace tramazel::shell {

/// The caption of the program's own boxes and its application name.
inline constexpr std::string_view kApplicationTitle = "Tramazel";
/// The help file, beside the executable.
inline constexpr std::string_view kHelpFileName = "IB.chm";
/// The information box after a run whose file is missing or was never chosen.
inline constexpr std::string_view kNoFileMessage = "No existe archivo";
/// The information box after a completed run.
inline constexpr std::string_view kDoneMessage = "Proceso finalizado";

/// The question before the centre import runs again on the last file after its file
/// dialog was cancelled; `fileName` is the file's name without its folder (UTF-8).
inline std::string reimportQuestion(std::string_view fileName)
{
    return "¿Volver a importar «" + std::string(fileName) + "»? Las tablas de Zelvano se reconstruirán.";
}

/// The question before the export writes over the solution file of the last chosen
/// file's folder after its file dialog was cancelled; `file` is the solution file's
/// whole path (UTF-8).
inline std::string overwriteSolutionQuestion(std::string_view file)
{
    return "¿Sustituir «" + std::string(file) + "»? El archivo que hay ahora se perderá.";
}

/// The help was asked for and its file is nowhere: the file's name and every place
/// it was looked for, one per line (UTF-8 paths, as the system writes them).
inline std::string helpFileMissingMessage(std::string_view fileName, const std::vector<std::string>& lookedIn)
{
    std::string text = "No se encuentra el archivo de ayuda «" + std::string(fileName) + "».";
    if (!lookedIn.empty())
        text += "\nSe ha buscado en:";
    for (const std::string& place : lookedIn)
        text += "\n" + place;
    return text;
}

/// The help file is there but cannot be read (permissions, not a help file).
inline std::string helpFileUnreadableMessage(std::string_view path)
{
    return "No se puede leer el archivo de ayuda «" + std::string(path) + "».";
}

/// The help file opens but its content does not decompress.
inline std::string helpFileDamagedMessage(std::string_view path)
{
    return "El archivo de ayuda «" + std::string(path) + "» está dañado.";
}

} // namespace tramazel::shell
