// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdio>
#include <exception>
#include <filesystem>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

/// How the core's file operations reach the system, as one value handed to whatever
/// makes them: a table handle, the import's transaction, the export's writer. Each
/// member is one operation; a default-made IoHooks holds the system's own calls, and
/// tests replace members with ones that fail, stop the run or watch it. Code given no
/// hooks (a null `const IoHooks*`) calls the system directly, without going through
/// a std::function. Hooks must outlive whatever was given them.
namespace tramazel::platform {

struct IoHooks {
    IoHooks(); ///< every member the system's own call

    /// Opens `file` as std::fopen does with `mode` (any script in the path). Null on
    /// failure.
    std::function<std::FILE*(const std::filesystem::path& file, const char* mode)> open;
    /// std::fread: the bytes read into `data`; fewer at the end of the file or on failure.
    std::function<std::size_t(std::FILE* stream, void* data, std::size_t size)> read;
    /// std::fwrite: the bytes written; fewer is a failure.
    std::function<std::size_t(std::FILE* stream, const void* data, std::size_t size)> write;
    /// std::fflush: 0, or EOF on failure.
    std::function<int(std::FILE* stream)> flush;
    /// std::fclose: 0, or EOF on failure. The stream is closed either way.
    std::function<int(std::FILE* stream)> close;
    /// Sends the contents of `files` and the entries of `folders` to the device, all
    /// at once (platform::syncTogether). Throws Error (FileIo).
    std::function<void(
        const std::vector<std::filesystem::path>& files, const std::vector<std::filesystem::path>& folders)>
        sync;
    /// Renames `from` to `to` in one step (platform::renameFile). Throws Error (FileIo)
    /// with `what` as its message.
    std::function<void(
        const std::filesystem::path& from, const std::filesystem::path& to, const std::string& what)>
        rename;
    /// Removes the file, or the folder with everything in it, at `path`; nothing there
    /// is no failure. Throws Error (FileIo) with `what` as its message.
    std::function<void(const std::filesystem::path& path, const std::string& what)> remove;
    /// Why entries could not be made or removed in `folder` (platform::folderWriteError):
    /// an errno value, 0 when they can. Asks only; changes nothing.
    std::function<int(const std::filesystem::path& folder)> folderWriteError;
    /// Told of each named step of a run before the step changes a file
    /// ("builder:TransformarAulas", "install:ASIGNOMT.DBF", "commit", …). Does nothing
    /// by default; a test throws from it to fail or stop the run at that step.
    std::function<void(std::string_view step)> step;
};

/// The system's own calls, for code given no hooks.
const IoHooks& systemIo();

/// `io`, or the system's own calls when it is null.
inline const IoHooks& hooksOrSystem(const IoHooks* io)
{
    return io ? *io : systemIo();
}

/// What a test's hook throws to stop a run dead, as a killed process stops: the run
/// lets it through without rolling back or tidying up, so the files stay as a kill at
/// that point would leave them.
class SimulatedCrash : public std::exception {
public:
    const char* what() const noexcept override { return "simulated crash"; }
};

} // namespace tramazel::platform
