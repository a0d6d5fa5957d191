// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "centre_import/ImportContext.h"

#include <filesystem>
#include <optional>
#include <stdexcept>
#include <string>
#include <vector>

namespace tramazel::cli {

enum class Command { Help, Version, Import, Export, Show };

/// The command line of tramazel-cli, checked for form only.
struct CommandLine {
    Command command = Command::Help;
    std::optional<std::filesystem::path> qtemp; ///< --qtemp DIR
    std::string operand; ///< CENTRE.xml, TARGET or TABLE
    std::optional<std::filesystem::path> levels; ///< import --levels FILE
    /// import --lines all|matched|none (--no-lines is none)
    centre_import::SubjectLines lines = centre_import::SubjectLines::All;
    bool keepLevels = false; ///< import --keep-levels
    bool dryRun = false; ///< import --dry-run
    bool csv = false; ///< show --csv
};

/// A command line that does not have the form of the usage (exit code 2).
class UsageError : public std::runtime_error {
public:
    using std::runtime_error::runtime_error;
};

/// Parses the arguments after the program name. Options go anywhere ("--opt VALUE"
/// or "--opt=VALUE"); "--" ends the options. Throws UsageError (Spanish message).
CommandLine parseCommandLine(const std::vector<std::string>& args);

/// The usage lines printed with --help and after a usage error.
std::string usageText();

} // namespace tramazel::cli
