// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

/// Where Zelvano keeps its tables: the timetable directory.
namespace tramazel::shell {

inline constexpr const char* kQtempEnvVar = "TRAMAZEL_QTEMP";
inline constexpr std::string_view kQtempFolder = "QTEMP";
inline constexpr std::string_view kDriveCFolder = "drive_c";
inline constexpr std::string_view kSagaFolder = "saga";

/// Reads an environment variable; nothing when it is unset.
using EnvLookup = std::function<std::optional<std::string>(const char* name)>;

/// The timetable directory of this machine. On Windows "C:\QTEMP". Elsewhere the
/// directory named by TRAMAZEL_QTEMP when it is set and not empty; otherwise the
/// QTEMP folder of the C: drive of the compatibility-layer prefix ($WINEPREFIX, else
/// ~/.wine), "drive_c" and "QTEMP" found without regard to letter case.
std::filesystem::path timetableDirectory();
/// The same with the environment read through `env` (tests).
std::filesystem::path timetableDirectory(const EnvLookup& env);

/// The entry `name` of `dir` found without regard to ASCII letter case (an exact
/// match preferred); `dir / name` when there is none.
std::filesystem::path childIgnoringCase(const std::filesystem::path& dir, std::string_view name);

/// The timetable directory's "saga" folder, found without regard to letter case.
std::filesystem::path sagaDirectory(const std::filesystem::path& qtempDir);

/// The folder the file dialog opens in, every time: the "saga" folder when it
/// exists, else the timetable directory itself.
std::filesystem::path fileDialogDirectory(const std::filesystem::path& qtempDir);

} // namespace tramazel::shell
