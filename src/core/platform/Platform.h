// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>

/// The few operating-system services the core needs that the C++ standard library
/// lacks. The only place with POSIX (or Win32) calls.
namespace tramazel::platform {

/// An advisory lock on an open file, shared or exclusive, that conflicts across
/// processes and across separate opens in the same process.
class FileLock {
public:
    enum class Mode { Shared, Exclusive };
    /// Opens `file` for reading and writing and locks it without waiting. Returns
    /// null when another handle holds a conflicting lock; throws Error on other failures.
    static std::unique_ptr<FileLock> tryLock(const std::filesystem::path& file, Mode mode);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    FileLock() = default;
    long long m_handle = -1;
};

/// Replaces `to` by `from` in one step (rename over an existing file).
void replaceFile(const std::filesystem::path& from, const std::filesystem::path& to);

/// The full path of the running executable.
std::filesystem::path executablePath();

/// std::fopen for a path in any script (wide names on Windows). Null on failure.
std::FILE* openFile(const std::filesystem::path& file, const char* mode);

/// Moves `stream` to byte `offset` from the start, beyond 2 GiB too. False on failure.
bool seekFile(std::FILE* stream, std::uint64_t offset);

} // namespace tramazel::platform
