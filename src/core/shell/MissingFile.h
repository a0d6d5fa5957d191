// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <string>

namespace tramazel::shell {

/// What the information box says when a run has no file to work on: "No existe
/// archivo" alone when no file was ever chosen; otherwise followed, on a line of its
/// own, by the path and why it cannot be used (it does not exist, it is a folder, it is
/// a device or a pipe, its folder cannot be entered). UTF-8.
std::string noFileMessage(const std::filesystem::path& chosen);

/// Why `file` is no regular file a run can read, in Spanish ("no existe", "es una
/// carpeta, no un archivo", …), for messages that name the file.
std::string whyNotAFile(const std::filesystem::path& file);

} // namespace tramazel::shell
