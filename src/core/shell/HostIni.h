// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

/// The host's INI file, where host mode leaves the result code for Zelvano.
namespace tramazel::shell {

inline constexpr std::string_view kHostIniFileName = "Zelvano.ini";
inline constexpr std::string_view kHostIniSection = "Transformadores";
inline constexpr std::string_view kHostIniKey = "Transformado";

/// "Zelvano.ini" in `executableDir` (the folder of the running program).
std::filesystem::path hostIniPath(const std::filesystem::path& executableDir);

/// `content` (an INI file's bytes) with `key` of `section` set to `value`, the way
/// the system's profile functions do it: section and key names match without regard
/// to ASCII case; the first matching key's value is replaced in place; a missing key
/// is added after the section's last entry, a missing section at the end. Every other
/// byte (sections, keys, comments, blank lines, line ends) stays as it was.
std::string setIniValue(
    std::string_view content, std::string_view section, std::string_view key, std::string_view value);

/// Writes `result` as decimal text under Transformadores / Transformado of `iniFile`,
/// creating the file when it is missing. The new file is written beside the old one
/// and replaces it in one step, so a failure never leaves it half written. When
/// `iniFile` is a symbolic link (an installed program's), the file it names is
/// written and the link stays; a link to a link is refused. Throws Error (FileIo)
/// whose message names `iniFile`.
void writeHostResult(const std::filesystem::path& iniFile, int result);

} // namespace tramazel::shell
