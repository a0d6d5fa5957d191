// SPDX-License-Identifier: GPL-3.0-or-later
// Files of the fuzzers that work on tables: one scratch folder per process, on tmpfs
// when the system has one, made once and removed at exit; writing an input there is
// one open and one write, with no folder work per run.
#pragma once

#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <string_view>
#include <system_error>
#include <unistd.h>

namespace tramazel::fuzz {

/// The process's scratch folder: under /dev/shm when it exists, else the temp folder.
inline const std::filesystem::path& scratchDir()
{
    static const std::filesystem::path dir = [] {
        namespace fs = std::filesystem;
        std::error_code ec;
        const fs::path base
            = fs::is_directory("/dev/shm", ec) ? fs::path("/dev/shm") : fs::temp_directory_path();
        // Folders of earlier processes that ended without cleaning up (a crash, or
        // libFuzzer's own exits that skip atexit) are removed here.
        for (const auto& entry : fs::directory_iterator(base, ec)) {
            const std::string name = entry.path().filename().string();
            if (name.rfind("tramazel-fuzz-", 0) != 0)
                continue;
            const long pid = std::strtol(name.c_str() + 14, nullptr, 10);
            if (pid > 0 && ::kill(static_cast<pid_t>(pid), 0) != 0 && errno == ESRCH)
                fs::remove_all(entry.path(), ec);
        }
        const fs::path d = base / ("tramazel-fuzz-" + std::to_string(::getpid()));
        fs::remove_all(d, ec);
        fs::create_directories(d);
        std::atexit([] {
            std::error_code ignored;
            std::filesystem::remove_all(scratchDir(), ignored);
        });
        return d;
    }();
    return dir;
}

/// A sub-folder of the scratch folder, made on the first call for each name.
inline std::filesystem::path scratchSubdir(std::string_view name)
{
    const std::filesystem::path d = scratchDir() / name;
    std::error_code ec;
    std::filesystem::create_directories(d, ec);
    return d;
}

/// Replaces `file` with `size` bytes.
inline void writeFile(const std::filesystem::path& file, const void* data, std::size_t size)
{
    std::FILE* f = std::fopen(file.c_str(), "wb");
    if (f == nullptr)
        std::abort();
    if (size != 0 && std::fwrite(data, 1, size, f) != size)
        std::abort();
    std::fclose(f);
}

inline void writeFile(const std::filesystem::path& file, std::string_view bytes)
{
    writeFile(file, bytes.data(), bytes.size());
}

/// The whole of `file`; empty when it cannot be read.
inline std::string readFile(const std::filesystem::path& file)
{
    std::ifstream in(file, std::ios::binary);
    return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

/// Removes every file in `dir` (not the folder itself).
inline void clearDir(const std::filesystem::path& dir)
{
    std::error_code ec;
    for (const auto& entry : std::filesystem::directory_iterator(dir, ec))
        std::filesystem::remove_all(entry.path(), ec);
}

} // namespace tramazel::fuzz
