// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <system_error>

namespace tramazel::platform {

/// Why the system refused, in Spanish, for the error numbers a user can act on (no
/// space left, permission denied, a read-only disk, …); others in the system's own
/// words. Empty for 0. The same whatever the process's locale.
std::string systemErrorText(int errorNumber);

/// systemErrorText() for an error of the standard library's file functions: the
/// Spanish text when it has an errno equivalent, else the system's own words.
std::string systemErrorText(const std::error_code& error);

} // namespace tramazel::platform
