// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

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

} // namespace tramazel::shell
