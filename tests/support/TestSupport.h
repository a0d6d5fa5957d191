// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Error.h"

#include <filesystem>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include <iosfwd>

namespace tramazel {
/// Names for test failure output.
void PrintTo(ErrorCode code, std::ostream* out);
void PrintTo(const TextPosition& position, std::ostream* out);
} // namespace tramazel

/// Skips the current test in a Windows build, with the reason. Tests that start Linux
/// programs (the independent readers, a POSIX shell) or rest on POSIX file
/// permissions cannot run there.
#ifdef _WIN32
#define TRAMAZEL_SKIP_ON_WINDOWS(reason) GTEST_SKIP() << (reason)
#else
#define TRAMAZEL_SKIP_ON_WINDOWS(reason) static_cast<void>(0)
#endif

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

/// Text about files (a path, a step naming a table file) compared the way the system
/// compares file names: ignoring ASCII letter case on Windows, exactly elsewhere.
bool sameFileText(std::string_view a, std::string_view b);
/// Whether `text` contains `part`, compared as sameFileText does.
bool containsFileText(std::string_view text, std::string_view part);
/// Two paths that name the same file, spelt alike (see sameFileText).
bool samePath(const std::filesystem::path& a, const std::filesystem::path& b);

std::string readFile(const std::filesystem::path& file);
void writeFile(const std::filesystem::path& file, const std::string& bytes);

/// Every regular file below `dir` with its bytes, keyed by relative path: compare two
/// snapshots to prove a directory was left byte for byte as it was. An empty
/// timetable-directory lock file (".tramazel-lock", made by the first run there and
/// never removed) is left out.
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
