// SPDX-License-Identifier: GPL-3.0-or-later
#include "Platform.h"

#include "Error.h"
#include "IoHooks.h"
#include "text/PathText.h"

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <charconv>
#include <chrono>
#include <cstring>
#include <limits>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
#include <vector>

#ifdef _WIN32
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <windows.h>
#else
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <thread>
#if defined(__APPLE__)
#include <mach-o/dyld.h>
#endif
#endif

namespace tramazel::platform {

namespace {

Error fileIoError(const std::string& what, const std::filesystem::path& file, const std::string& detail)
{
    return Error(ErrorCode::FileIo, what, text::pathToUtf8(file) + ": " + detail);
}

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

std::unique_ptr<FileLock> FileLock::tryLock(const std::filesystem::path& file, Mode mode, Missing missing)
{
    const DWORD disposition = missing == Missing::Create ? OPEN_ALWAYS : OPEN_EXISTING;
    const bool noWrites = mode == Mode::ExclusiveNoWrites;
    HANDLE h = INVALID_HANDLE_VALUE;
    if (noWrites) {
        // Without FILE_SHARE_WRITE no other handle may open the file for writing while
        // this one is open, and none may be open for writing already: a program that
        // has the table open to write refuses the lock. FILE_SHARE_DELETE lets the
        // file be renamed while held, as the import moves the tables it holds aside.
        h = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_DELETE, nullptr, disposition,
            FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE && GetLastError() == ERROR_SHARING_VIOLATION)
            return nullptr;
    } else {
        h = CreateFileW(file.c_str(), GENERIC_READ | GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE,
            nullptr, disposition, FILE_ATTRIBUTE_NORMAL, nullptr);
        if (h == INVALID_HANDLE_VALUE)
            h = CreateFileW(file.c_str(), GENERIC_READ, FILE_SHARE_READ | FILE_SHARE_WRITE, nullptr,
                OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    }
    if (h == INVALID_HANDLE_VALUE)
        throw Error(ErrorCode::FileIo,
            "No se puede abrir el archivo «" + text::pathToUtf8(file.filename()) + "».",
            text::pathToUtf8(file) + ": error " + std::to_string(GetLastError()));
    const DWORD flags = LOCKFILE_FAIL_IMMEDIATELY | (mode == Mode::Shared ? 0 : LOCKFILE_EXCLUSIVE_LOCK);
    // Other dBASE programs lock ranges of the data itself. A lock over every byte
    // below ours finds any of them. It is dropped at once, except for
    // ExclusiveNoWrites, which keeps it as a shared lock: that refuses every write to
    // the data, through any handle, and any other lock for writing there, while
    // every handle may still read.
    OVERLAPPED data {};
    BOOL dataFree = FALSE;
    if (noWrites) {
        dataFree = LockFileEx(h, LOCKFILE_FAIL_IMMEDIATELY, 0, 0, kLockOffsetHigh, &data);
    } else {
        dataFree = LockFileEx(h, flags, 0, 0, kLockOffsetHigh, &data);
        if (dataFree)
            UnlockFileEx(h, 0, 0, kLockOffsetHigh, &data);
    }
    OVERLAPPED ov {};
    ov.Offset = 0;
    ov.OffsetHigh = kLockOffsetHigh;
    if (!dataFree || !LockFileEx(h, flags, 0, 1, 0, &ov)) {
        DWORD err = GetLastError();
        CloseHandle(h); // drops the lock over the data too
        if (err == ERROR_LOCK_VIOLATION || err == ERROR_IO_PENDING)
            return nullptr;
        throw Error(ErrorCode::FileIo,
            "No se puede bloquear el archivo «" + text::pathToUtf8(file.filename()) + "».",
            text::pathToUtf8(file) + ": error " + std::to_string(err));
    }
    std::unique_ptr<FileLock> lock(new FileLock);
    lock->m_handle = reinterpret_cast<long long>(h);
    lock->m_dataLocked = noWrites;
    return lock;
}

FileLock::~FileLock()
{
    if (m_handle != -1) {
        HANDLE h = reinterpret_cast<HANDLE>(m_handle);
        OVERLAPPED ov {};
        ov.OffsetHigh = kLockOffsetHigh;
        UnlockFileEx(h, 0, 1, 0, &ov);
        if (m_dataLocked) {
            OVERLAPPED data {};
            UnlockFileEx(h, 0, 0, kLockOffsetHigh, &data);
        }
        CloseHandle(h);
    }
}

std::uint64_t currentProcessId()
{
    return GetCurrentProcessId();
}

bool processExists(std::uint64_t pid)
{
    if (pid > std::numeric_limits<DWORD>::max())
        return false;
    HANDLE h = OpenProcess(SYNCHRONIZE | PROCESS_QUERY_LIMITED_INFORMATION, FALSE, static_cast<DWORD>(pid));
    if (!h) // a process we may not look at is still a process
        return GetLastError() != ERROR_INVALID_PARAMETER;
    // An ended process whose handle someone keeps open still has its id.
    const bool running = WaitForSingleObject(h, 0) == WAIT_TIMEOUT;
    CloseHandle(h);
    return running;
}

// FlushFileBuffers on `file`; throws Error (FileIo) when it fails.
static void flushFile(const std::filesystem::path& file)
{
    HANDLE h
        = CreateFileW(file.c_str(), GENERIC_WRITE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
            nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        throw fileIoError(
            "No se puede guardar en el disco el archivo «" + text::pathToUtf8(file.filename()) + "».", file,
            "error " + std::to_string(GetLastError()));
    const BOOL flushed = FlushFileBuffers(h);
    const DWORD err = GetLastError();
    CloseHandle(h);
    if (!flushed)
        throw fileIoError(
            "No se puede guardar en el disco el archivo «" + text::pathToUtf8(file.filename()) + "».", file,
            "error " + std::to_string(err));
}

void syncFile(const std::filesystem::path& file)
{
    flushFile(file);
}

void syncTogether(
    const std::vector<std::filesystem::path>& files, const std::vector<std::filesystem::path>& folders)
{
    for (const auto& file : files)
        flushFile(file);
    for (const auto& folder : folders)
        syncFolder(folder);
}

void startWriteBack(std::FILE*) noexcept { }

void syncFolder(const std::filesystem::path&)
{
    // Renames are written through (MOVEFILE_WRITE_THROUGH); NTFS keeps its own journal
    // of folder entries.
}

bool renameBlockedByOpenHandles(const std::filesystem::path& file)
{
    // A rename opens the file for deletion; a handle that does not share deletion
    // refuses that open, and so this one.
    HANDLE h = CreateFileW(file.c_str(), DELETE, FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE,
        nullptr, OPEN_EXISTING, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (h == INVALID_HANDLE_VALUE)
        return GetLastError() == ERROR_SHARING_VIOLATION;
    CloseHandle(h);
    return false;
}

int folderWriteError(const std::filesystem::path& folder)
{
    // Opening the folder for adding and removing entries is the access check the
    // system makes when a file is created there; the handle creates nothing.
    HANDLE h = CreateFileW(folder.c_str(), FILE_ADD_FILE | FILE_ADD_SUBDIRECTORY | FILE_DELETE_CHILD,
        FILE_SHARE_READ | FILE_SHARE_WRITE | FILE_SHARE_DELETE, nullptr, OPEN_EXISTING,
        FILE_FLAG_BACKUP_SEMANTICS, nullptr);
    if (h == INVALID_HANDLE_VALUE) {
        switch (GetLastError()) {
        case ERROR_FILE_NOT_FOUND:
        case ERROR_PATH_NOT_FOUND:
            return ENOENT;
        case ERROR_WRITE_PROTECT:
            return EROFS;
        case ERROR_DIRECTORY:
            return ENOTDIR;
        default:
            return EACCES;
        }
    }
    BY_HANDLE_FILE_INFORMATION info {};
    const bool isFolder
        = GetFileInformationByHandle(h, &info) && (info.dwFileAttributes & FILE_ATTRIBUTE_DIRECTORY) != 0;
    CloseHandle(h);
    return isFolder ? 0 : ENOTDIR;
}

void renameFile(const std::filesystem::path& from, const std::filesystem::path& to, const std::string& what)
{
    if (!MoveFileExW(from.c_str(), to.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH))
        throw Error(ErrorCode::FileIo, what,
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

namespace {

// Takes (or, with `probeOnly`, only tests for) a byte-range lock over the whole file,
// including bytes beyond its end. Open-file-description locks where the kernel has
// them; classic POSIX record locks elsewhere. Returns 0, or the errno of the refusal.
int rangeLock(int fd, bool exclusive)
{
    struct flock range { };
    range.l_type = static_cast<short>(exclusive ? F_WRLCK : F_RDLCK);
    range.l_whence = SEEK_SET;
    range.l_start = 0;
    range.l_len = 0; // to the end of the file, however far it grows
#ifdef F_OFD_SETLK
    int rc;
    do {
        rc = ::fcntl(fd, F_OFD_SETLK, &range);
    } while (rc != 0 && errno == EINTR);
    if (rc == 0)
        return 0;
    if (errno != EINVAL)
        return errno;
    range.l_pid = 0;
#endif
    // A kernel without open-file-description locks. Record locks of a process do not
    // conflict with each other and go away when any descriptor of the file closes; the
    // flock() taken first keeps the handles of this process apart, and this lock only
    // shows the others that the file is in use.
    int rc2;
    do {
        rc2 = ::fcntl(fd, F_SETLK, &range);
    } while (rc2 != 0 && errno == EINTR);
    return rc2 == 0 ? 0 : errno;
}

bool isLockConflict(int err)
{
    return err == EWOULDBLOCK || err == EAGAIN || err == EACCES;
}

} // namespace

// Two kinds of lock guard a table, and both are tested. flock() locks belong to the
// open file description, so two separate opens of the same file conflict even
// inside one process, and closing an unrelated descriptor of the file never drops
// the lock. Byte-range locks are what other programs take: dBASE engines lock bytes
// of the table, and a Windows program under Wine holds LockFileEx ranges as fcntl
// locks, which flock() never sees. The whole file is therefore also locked by range,
// so that a range any other program holds refuses the lock and a program looking
// for ranges finds ours. Byte-range locks are advisory here: ExclusiveNoWrites is an
// exclusive lock, which every program that locks before it writes respects, and this
// process's other handles do not write while it is held.
std::unique_ptr<FileLock> FileLock::tryLock(const std::filesystem::path& file, Mode mode, Missing missing)
{
    bool writable = true;
    int fd = ::open(file.c_str(), O_RDWR | O_CLOEXEC | (missing == Missing::Create ? O_CREAT : 0), 0666);
    if (fd < 0 && (errno == EACCES || errno == EROFS || errno == EPERM)) {
        writable = false;
        fd = ::open(file.c_str(), O_RDONLY | O_CLOEXEC);
    }
    if (fd < 0) {
        int err = errno;
        throw Error(err == ENOENT ? ErrorCode::FileNotFound : ErrorCode::FileIo,
            "No se puede abrir el archivo «" + text::pathToUtf8(file.filename()) + "».",
            text::pathToUtf8(file) + ": " + systemText(err));
    }
    const bool exclusive = mode != Mode::Shared;
    int op = (exclusive ? LOCK_EX : LOCK_SH) | LOCK_NB;
    int rc;
    do {
        rc = ::flock(fd, op);
    } while (rc != 0 && errno == EINTR);
    int err = rc == 0 ? 0 : errno;
    if (err == 0) {
        // A write lock needs a descriptor open for writing. A file we may only read is
        // locked for reading, after checking that nobody holds any range of it.
        if (exclusive && !writable) {
            struct flock probe { };
            probe.l_type = F_WRLCK;
            probe.l_whence = SEEK_SET;
#ifdef F_OFD_GETLK
            int probeRc = ::fcntl(fd, F_OFD_GETLK, &probe);
            if (probeRc != 0 && errno == EINVAL) {
                probe = {};
                probe.l_type = F_WRLCK;
                probe.l_whence = SEEK_SET;
                probeRc = ::fcntl(fd, F_GETLK, &probe);
            }
#else
            int probeRc = ::fcntl(fd, F_GETLK, &probe);
#endif
            if (probeRc != 0)
                err = errno;
            else if (probe.l_type != F_UNLCK)
                err = EAGAIN;
            else
                err = rangeLock(fd, false);
        } else {
            err = rangeLock(fd, exclusive);
        }
    }
    if (err != 0) {
        ::close(fd);
        if (isLockConflict(err))
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
        ::close(static_cast<int>(m_handle)); // releases both locks
}

std::uint64_t currentProcessId()
{
    return static_cast<std::uint64_t>(::getpid());
}

bool processExists(std::uint64_t pid)
{
    if (pid > static_cast<std::uint64_t>(std::numeric_limits<pid_t>::max()))
        return false; // no process has an id that large
    if (pid == 0)
        return true; // kill() would take 0 for this process's group: not known to have ended
    // Signal 0 checks that the process exists without sending anything; a process of
    // another user refuses it (EPERM) but exists.
    return ::kill(static_cast<pid_t>(pid), 0) == 0 || errno != ESRCH;
}

namespace {

int fsyncPath(const std::filesystem::path& path, int flags)
{
    int fd = ::open(path.c_str(), flags | O_CLOEXEC);
    if (fd < 0)
        return errno;
    int rc;
    do {
        rc = ::fsync(fd);
    } while (rc != 0 && errno == EINTR);
    const int err = rc == 0 ? 0 : errno;
    ::close(fd);
    return err;
}

std::filesystem::path folderToSync(const std::filesystem::path& folder)
{
    return folder.empty() ? std::filesystem::path(".") : folder;
}

// Reports the outcome `err` of syncing `folder`.
void folderSynced(const std::filesystem::path& folder, int err)
{
    // Some file systems cannot sync a folder (EINVAL); their entries are as durable as
    // they get.
    if (err != 0 && err != EINVAL && err != EROFS) {
        const std::filesystem::path dir = folderToSync(folder);
        throw fileIoError(
            "No se puede guardar en el disco la carpeta «" + text::pathToUtf8(dir.filename()) + "».", dir,
            systemText(err));
    }
}

} // namespace

void syncFile(const std::filesystem::path& file)
{
    // A descriptor open for reading is enough for fsync, and works on read-only files.
    if (const int err = fsyncPath(file, O_RDONLY))
        throw fileIoError(
            "No se puede guardar en el disco el archivo «" + text::pathToUtf8(file.filename()) + "».", file,
            systemText(err));
}

void syncTogether(
    const std::vector<std::filesystem::path>& files, const std::vector<std::filesystem::path>& folders)
{
    // One thread per sync: the file system joins syncs that wait at the same time into
    // one journal commit and one cache flush, where syncs one after the other would
    // each wait for their own. Where syncs cost nothing (a file system in memory, a
    // device without a cache to flush) they run one after the other, as long as they
    // stay quick: threads would cost more than they save.
    const std::size_t total = files.size() + folders.size();
    std::vector<int> errors(total, 0);
    std::vector<std::filesystem::path> folderPaths; // made here: nothing allocates in the threads
    for (const auto& folder : folders)
        folderPaths.push_back(folderToSync(folder));
    auto run = [&](std::size_t i) noexcept {
        if (i < files.size())
            errors[i] = fsyncPath(files[i], O_RDONLY);
        else
            errors[i] = fsyncPath(folderPaths[i - files.size()], O_RDONLY | O_DIRECTORY);
    };
    constexpr auto kQuickSync = std::chrono::microseconds(200);
    std::size_t next = 0;
    while (next < total) {
        const auto start = std::chrono::steady_clock::now();
        run(next++);
        if (std::chrono::steady_clock::now() - start > kQuickSync)
            break;
    }
    {
        struct Joined {
            std::vector<std::thread> threads;
            ~Joined()
            {
                for (std::thread& t : threads)
                    t.join();
            }
        } started;
        for (std::size_t i = next + 1; i < total; ++i) {
            try {
                started.threads.emplace_back(run, i);
            } catch (const std::system_error&) {
                run(i); // no thread to be had: this one waits its turn
            }
        }
        if (next < total)
            run(next);
    }
    for (std::size_t i = 0; i < files.size(); ++i) {
        if (errors[i] != 0)
            throw fileIoError(
                "No se puede guardar en el disco el archivo «" + text::pathToUtf8(files[i].filename()) + "».",
                files[i], systemText(errors[i]));
    }
    for (std::size_t i = 0; i < folders.size(); ++i)
        folderSynced(folders[i], errors[files.size() + i]);
}

void startWriteBack(std::FILE* stream) noexcept
{
#if defined(__linux__)
    if (stream)
        ::sync_file_range(fileno(stream), 0, 0, SYNC_FILE_RANGE_WRITE);
#else
    (void)stream;
#endif
}

void syncFolder(const std::filesystem::path& folder)
{
    folderSynced(folder, fsyncPath(folderToSync(folder), O_RDONLY | O_DIRECTORY));
}

bool renameBlockedByOpenHandles(const std::filesystem::path&)
{
    return false;
}

int folderWriteError(const std::filesystem::path& folder)
{
    struct stat st { };
    if (::stat(folder.c_str(), &st) != 0)
        return errno;
    if (!S_ISDIR(st.st_mode))
        return ENOTDIR;
    // Creating, renaming and removing entries takes write and search rights on the
    // folder; a read-only mount refuses them even to root.
    if (::access(folder.c_str(), W_OK | X_OK) != 0)
        return errno;
    return 0;
}

void renameFile(const std::filesystem::path& from, const std::filesystem::path& to, const std::string& what)
{
    if (::rename(from.c_str(), to.c_str()) != 0) {
        const int err = errno;
        throw Error(ErrorCode::FileIo, what,
            text::pathToUtf8(from) + " -> " + text::pathToUtf8(to) + ": " + systemText(err));
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

namespace {

constexpr std::string_view kTemporaryInfix = ".tmp";

bool allDigits(std::string_view text)
{
    return !text.empty()
        && std::all_of(text.begin(), text.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// The process a name that temporaryPathBeside() gave beside a file named `fileName`
// was given for: "<fileName>.tmp<pid>-<n>". Nothing for any other name.
std::optional<std::uint64_t> temporaryFileProcess(std::string_view name, std::string_view fileName)
{
    if (name.size() <= fileName.size() + kTemporaryInfix.size() || !name.starts_with(fileName)
        || name.substr(fileName.size(), kTemporaryInfix.size()) != kTemporaryInfix)
        return std::nullopt;
    const std::string_view rest = name.substr(fileName.size() + kTemporaryInfix.size());
    const std::size_t dash = rest.find('-');
    if (dash == std::string_view::npos || !allDigits(rest.substr(0, dash))
        || !allDigits(rest.substr(dash + 1)))
        return std::nullopt;
    std::uint64_t pid = 0;
    const auto [end, ec] = std::from_chars(rest.data(), rest.data() + dash, pid);
    if (ec != std::errc() || end != rest.data() + dash)
        return std::nullopt;
    return pid;
}

} // namespace

std::filesystem::path temporaryPathBeside(const std::filesystem::path& file)
{
    // The process id keeps the names of different processes apart, and tells a later
    // run whether the writer of a name left behind can still be writing it.
    static std::atomic<unsigned> counter { 0 };
    std::filesystem::path tmp = file;
    tmp += std::string(kTemporaryInfix) + std::to_string(currentProcessId()) + "-"
        + std::to_string(counter++);
    return tmp;
}

void removeStaleTemporaryFiles(const std::filesystem::path& file, const IoHooks* io)
{
    const IoHooks& hooks = hooksOrSystem(io);
    const std::string fileName = text::pathToUtf8(file.filename());
    const std::filesystem::path folder
        = file.parent_path().empty() ? std::filesystem::path(".") : file.parent_path();
    const std::uint64_t self = currentProcessId();
    std::vector<std::filesystem::path> stale;
    std::error_code ec;
    for (auto it = std::filesystem::directory_iterator(folder, ec);
         !ec && it != std::filesystem::directory_iterator(); it.increment(ec)) {
        std::error_code typeEc;
        if (it->symlink_status(typeEc).type() != std::filesystem::file_type::regular)
            continue;
        const auto pid = temporaryFileProcess(text::pathToUtf8(it->path().filename()), fileName);
        // This process's own may belong to a run on another of its threads.
        if (pid && *pid != self && !processExists(*pid))
            stale.push_back(it->path());
    }
    for (const auto& path : stale) {
        try {
            hooks.remove(path, "No se puede borrar un archivo temporal abandonado.");
        } catch (const Error&) {
            // Left for the next time: the run it belongs to is over either way.
        }
    }
}

void replaceFile(const std::filesystem::path& from, const std::filesystem::path& to, const IoHooks* io)
{
    // The new contents must be on disk before the name points at them, or a crash
    // right after the rename could leave an empty file where the user's data was.
    const IoHooks& hooks = hooksOrSystem(io);
    hooks.sync({ from }, {});
    hooks.rename(from, to, "No se puede reemplazar el archivo «" + text::pathToUtf8(to.filename()) + "».");
    hooks.sync({}, { to.parent_path() });
}

} // namespace tramazel::platform
