// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Error.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include <iosfwd>

namespace tramazel {
/// Names for test failure output.
void PrintTo(ErrorCode code, std::ostream* out);
void PrintTo(const TextPosition& position, std::ostream* out);
} // namespace tramazel

namespace tramazel::test {

/// A fresh empty directory, removed with everything in it when the object dies.
class TempDir {
public:
    TempDir();
    ~TempDir();
    TempDir(const TempDir&) = delete;
    TempDir& operator=(const TempDir&) = delete;
    const std::filesystem::path& path() const noexcept { return m_path; }
    std::filesystem::path operator/(const std::filesystem::path& p) const { return m_path / p; }

private:
    std::filesystem::path m_path;
};

/// Runs `f` and expects it to throw tramazel::Error with `code` and a message for the
/// user. Returns the error (for its position or detail), or nothing after a failure
/// has been recorded.
std::optional<Error> expectError(ErrorCode code, const std::function<void()>& f);

/// A file under tests/fixtures.
std::filesystem::path fixture(const std::filesystem::path& relative);

std::string readFile(const std::filesystem::path& file);
void writeFile(const std::filesystem::path& file, const std::string& bytes);

/// Every regular file below `dir` with its bytes, keyed by relative path: compare two
/// snapshots to prove a directory was left byte for byte as it was.
std::vector<std::pair<std::string, std::string>> snapshot(const std::filesystem::path& dir);

struct ProcessResult {
    int exitCode = -1;
    std::string output; ///< standard output and standard error together
};
/// Runs a command line through the shell and captures what it prints.
ProcessResult run(const std::string& commandLine);

/// Quotes one argument for the shell.
std::string shellQuote(const std::string& arg);

} // namespace tramazel::test
