// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform.h"

#include "Error.h"
#include "text/PathText.h"

#include <cerrno>
#include <cstring>
#include <limits>
#include <string>
#include <system_error>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>
#if defined(__APPLE__)
#include <mach-o/dyld.h>
#endif
#endif

namespace tramazel::platform {

namespace {

#ifndef _WIN32
std::string systemText(int err)
{
    return std::error_code(err, std::generic_category()).message();
}
#endif

} // namespace

#ifdef _WIN32

// Windows byte-range locks are mandatory: a lock over the data would stop the
// table's own reads through another handle. The lock therefore covers one byte far
// beyond any real file size, the usual trick of dBASE engines.
static constexpr DWORD kLockOffsetHigh = 0x7FFFFFFF;

std::unique_ptr<FileLock> FileLock::tryLock(const std::filesystem::path& file, Mode mode)
{
    HANDLE h = CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        h = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
            OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        throw Error(ErrorCode::FileIo,
            "No se puede abrir el archivo «" + text::pathToUtf8(file.filename()) + "».",
            text::pathToUtf8(file) + ": error " + std::to_string(GetLastError()));
    OVERLAPPED ov {};
    ov.Offset = 0;
    ov.OffsetHigh = kLockOffsetHigh;
    DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (mode == Mode::Exclusive ? LOCKFILE_EXCLUSIVE_LOCK : 0);
    if (!LockFileEx(h, flags, 0, 1, 0, &ov)) {
        DWORD err = GetLastError();
        CloseHandle(h);
        if (err == ERROR_LOCK_VIOLATION || err == ERROR_IO_PENDING)
            return nullptr;
        throw Error(ErrorCode::FileIo,
            "No se puede bloquear el archivo «" + text::pathToUtf8(file.filename()) + "».",
            text::pathToUtf8(file) + ": error " + std::to_string(err));
    }
    std::unique_ptr<FileLock> lock(new FileLock);
    lock->m_handle = reinterpret_cast<long long>(h);
    return lock;
}

FileLock::~FileLock()
{
    if (m_handle != -1) {
        HANDLE h = reinterpret_cast<HANDLE>(m_handle);
        OVERLAPPED ov {};
        ov.OffsetHigh = kLockOffsetHigh;
        UnlockFileEx(h, 0, 1, 0, &ov);
        CloseHandle(h);
    }
}

void replaceFile(const std::filesystem::path& from, const std::filesystem::path& to)
{
    if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        throw Error(ErrorCode::FileIo,
            "No se puede reemplazar el archivo «" + text::pathToUtf8(to.filename()) + "».",
            text::pathToUtf8(from) + " -> " + text::pathToUtf8(to) + ": error "
                + std::to_string(GetLastError()));
}

std::FILE* openFile(const std::filesystem::path& file, const char* mode)
{
    std::wstring wideMode;
    for (const char* m = mode; *m; ++m)
        wideMode += static_cast<wchar_t>(*m);
    return _wfopen(file.c_str(), wideMode.c_str());
}

bool seekFile(std::FILE* stream, std::uint64_t offset)
{
    return offset <= static_cast<std::uint64_t>(INT64_MAX)
        && _fseeki64(stream, static_cast<__int64>(offset), SEEK_SET) == 0;
}

std::filesystem::path executablePath()
{
    std::wstring buffer(MAX_PATH, L'\0');
    for (;;) {
        DWORD n = GetModuleFileNameW(nullptr, buffer.data(), static_cast<DWORD>(buffer.size()));
        if (n == 0)
            throw Error(ErrorCode::FileIo, "No se puede determinar la ubicación del programa.",
                "GetModuleFileNameW: error " + std::to_string(GetLastError()));
        if (n < buffer.size()) {
            buffer.resize(n);
            return std::filesystem::path(buffer);
        }
        buffer.resize(buffer.size() * 2);
    }
}

#else

// flock() locks belong to the open file description, so two separate opens of the
// same file conflict even inside one process, and closing an unrelated descriptor of
// the file (as fcntl record locks would) never drops the lock.
std::unique_ptr<FileLock> FileLock::tryLock(const std::filesystem::path& file, Mode mode)
{
    int fd = ::open(file.c_str(), O_RDWR | O_CLOEXEC);
    if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM))
        fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        int err = errno;
        throw Error(err == ENOENT ? ErrorCode::FileNotFound : ErrorCode::FileIo,
            "No se puede abrir el archivo «" + text::pathToUtf8(file.filename()) + "».",
            text::pathToUtf8(file) + ": " + systemText(err));
    }
    int op = (mode == Mode::Exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
    int rc;
    do {
        rc = ::flock(fd, op);
    } while (rc != 0 && errno == EINTR);
    if (rc != 0) {
        int err = errno;
        ::close(fd);
        if (err == EWOULDBLOCK)
            return nullptr;
        throw Error(ErrorCode::FileIo,
            "No se puede bloquear el archivo «" + text::pathToUtf8(file.filename()) + "».",
            text::pathToUtf8(file) + ": " + systemText(err));
    }
    std::unique_ptr<FileLock> lock(new FileLock);
    lock->m_handle = fd;
    return lock;
}

FileLock::~FileLock()
{
    if (m_handle >= 0)
        ::close(static_cast<int>(m_handle)); // releases the lock
}

void replaceFile(const std::filesystem::path& from, const std::filesystem::path& to)
{
    // The new contents must be on disk before the name points at them, or a crash
    // right after the rename could leave an empty file where the user's data was.
    int fd = ::open(from.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd >= 0) {
        ::fsync(fd);
        ::close(fd);
    }
    if (::rename(from.c_str(), to.c_str()) != 0) {
        int err = errno;
        throw Error(ErrorCode::FileIo,
            "No se puede reemplazar el archivo «" + text::pathToUtf8(to.filename()) + "».",
            text::pathToUtf8(from) + " -> " + text::pathToUtf8(to) + ": " + systemText(err));
    }
    auto dir = to.parent_path();
    int dfd = ::open(dir.empty() ? "." : dir.c_str(), O_RDONLY | O_CLOEXEC);
    if (dfd >= 0) {
        ::fsync(dfd);
        ::close(dfd);
    }
}

std::FILE* openFile(const std::filesystem::path& file, const char* mode)
{
    return std::fopen(file.c_str(), mode);
}

bool seekFile(std::FILE* stream, std::uint64_t offset)
{
    if (offset > static_cast<std::uint64_t>(std::numeric_limits<off_t>::max()))
        return false;
    return ::fseeko(stream, static_cast<off_t>(offset), SEEK_SET) == 0;
}

std::filesystem::path executablePath()
{
#if defined(__APPLE__)
    uint32_t size = 0;
    _NSGetExecutablePath(nullptr, &size);
    std::string buffer(size, '\0');
    if (_NSGetExecutablePath(buffer.data(), &size) == 0) {
        buffer.resize(std::strlen(buffer.c_str()));
        std::error_code ec;
        auto canonical = std::filesystem::canonical(buffer, ec);
        return ec ? std::filesystem::path(buffer) : canonical;
    }
#else
    std::error_code ec;
    auto target = std::filesystem::read_symlink("/proc/self/exe", ec);
    if (!ec)
        return target;
#endif
    throw Error(ErrorCode::FileIo, "No se puede determinar la ubicación del programa.", "executablePath");
}

#endif

} // namespace tramazel::platform
