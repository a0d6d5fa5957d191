// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <vector>

/// The command line and the console of a console program, as UTF-8 whatever the
/// system's code pages.
namespace tramazel::platform {

/// The program's arguments after its name, as UTF-8. On Windows they are read from
/// the UTF-16 command line (`argc` and `argv` come in the ANSI code page there,
/// which cannot hold every name); elsewhere they are `argv` as it is.
std::vector<std::string> commandLineArguments(int argc, char** argv);

/// Makes the UTF-8 text written to std::cout and std::cerr appear right. On Windows,
/// a stream attached to a console is written as UTF-16 (WriteConsoleW), so the
/// console's code page does not matter; a redirected stream keeps the UTF-8 bytes.
/// Elsewhere it does nothing. Call once, at the start of main().
void useUtf8Console();

} // namespace tramazel::platform
