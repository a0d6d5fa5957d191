// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Error.h"

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>

/// The engine's file layer: one file read and written at byte offsets through a read
/// block and a write block of its own, instead of stdio's buffer. Appends gather into
/// the write block and go out in one call; sequential reads are served from the read
/// block; every write drops the read block, so the two never disagree. The file's
/// opens, reads, writes, flushes and closes go through the I/O hooks it was opened
/// with, once per block; a file opened without hooks calls the system directly.
namespace tramazel::platform {
struct IoHooks;
}

namespace tramazel::dbf {

struct FileCloser {
    void operator()(std::FILE* f) const noexcept { std::fclose(f); }
};
/// A stdio stream closed (without reporting) when it goes away.
using FilePtr = std::unique_ptr<std::FILE, FileCloser>;

class BlockFile {
public:
    enum class Mode {
        Create, ///< a new empty file (an existing one is truncated), read and written
        Update, ///< an existing file, read and written; read-only when writing is refused
        Read, ///< an existing file, read only
    };

    /// The errors a file reports for its owner, with the owner's wording.
    struct Errors {
        Error (*readFailed)(const std::filesystem::path&);
        Error (*writeFailed)(const std::filesystem::path&);
    };

    BlockFile() = default;
    BlockFile(BlockFile&&) noexcept = default;
    BlockFile& operator=(BlockFile&&) noexcept = default;
    ~BlockFile(); ///< closes without reporting; close() explicitly to see errors

    /// Opens `file`, to be used through `io` when given (it must outlive the file). False
    /// when the system refuses (nothing is open then).
    bool open(
        const std::filesystem::path& file, Mode mode, Errors errors, const platform::IoHooks* io = nullptr);
    bool isOpen() const noexcept { return m_file != nullptr; }
    /// True when the file was opened (or fell back to) read only.
    bool readOnly() const noexcept { return m_readOnly; }
    /// True once a write or flush has failed: what the file holds is then unknown.
    bool failed() const noexcept { return m_failed; }

    /// Reads `size` bytes at byte `pos`. False when the file ends before; throws
    /// errors.readFailed when the system cannot read.
    bool read(std::uint64_t pos, char* data, std::size_t size);
    /// The `size` bytes at byte `pos` where they lie in the read block, valid until the
    /// next call on the file; null when the file ends before. `size` is at most a
    /// record's length (64 KiB). Throws errors.readFailed when the system cannot read.
    const char* peek(std::uint64_t pos, std::size_t size)
    {
        if (pos >= m_readStart && pos + size <= m_readStart + m_readLength)
            return m_readBlock.get() + (pos - m_readStart);
        return peekAfterRead(pos, size);
    }
    /// How many bytes from `pos` on lie in the read block, right after a peek at
    /// `pos` gave them: the bytes after the peeked ones may be read there too.
    std::size_t peekedLength(std::uint64_t pos) const noexcept
    {
        return static_cast<std::size_t>(m_readStart + m_readLength - pos);
    }
    /// Writes `size` bytes at byte `pos` (buffered). Throws errors.writeFailed, and
    /// keeps throwing once a write has failed.
    void write(std::uint64_t pos, const char* data, std::size_t size);
    /// Sends every buffered write to the system. Throws errors.writeFailed.
    void flush();
    /// Writes what is pending and closes. False when that write or the close failed
    /// (the file is closed all the same). Closing a closed file does nothing.
    bool close() noexcept;

private:
    const char* peekAfterRead(std::uint64_t pos, std::size_t size);
    std::size_t readFromSystem(char* data, std::size_t size);
    bool writeToSystem(const char* data, std::size_t size);
    bool seekTo(std::uint64_t pos);
    void sendPendingWrites();
    [[noreturn]] void writeFailed();

    std::filesystem::path m_path;
    Errors m_errors {};
    const platform::IoHooks* m_io = nullptr; // null: the system's calls, made directly
    FilePtr m_file;
    bool m_readOnly = false;
    bool m_failed = false;
    bool m_written = false; // something went to the system since the file was opened

    // Both blocks are allocated on first use and never zero-filled: only the bytes a
    // read or write puts there are ever looked at, so a small file touches few pages.
    std::unique_ptr<char[]> m_readBlock;
    std::uint64_t m_readStart = 0;
    std::size_t m_readLength = 0;
    std::unique_ptr<char[]> m_writeBlock;
    std::uint64_t m_writeStart = 0;
    std::size_t m_writeLength = 0;
    // Where the (unbuffered) stream stands, to save seeks between sequential calls.
    std::uint64_t m_osPos = 0;
    bool m_osPosKnown = false;
};

} // namespace tramazel::dbf
