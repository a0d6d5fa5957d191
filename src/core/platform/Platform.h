// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <cstdio>
#include <filesystem>
#include <memory>
#include <string>
#include <vector>

/// The few operating-system services the core needs that the C++ standard library
/// lacks. The only place with POSIX (or Win32) calls.
namespace tramazel::platform {

struct IoHooks;

/// An advisory lock on an open file, shared or exclusive, that conflicts across
/// processes and across separate opens in the same process. It is of the kinds other
/// programs test: on Linux an flock() lock and a byte-range (fcntl) lock over the
/// whole file; on Windows a LockFileEx lock, and for ExclusiveNoWrites the handle's
/// share mode too.
class FileLock {
public:
    enum class Mode {
        Shared, ///< beside other shared locks, for reading
        /// Alone; this process may still read and write the file through other handles.
        Exclusive,
        /// Alone, and no handle writes the file while the lock is held, this process's
        /// included; it may still be read, and renamed. For a file that is only read or
        /// moved meanwhile: on Windows, where byte-range locks are enforced, the data
        /// is locked against writes and a program that has the file open for writing
        /// refuses the lock.
        ExclusiveNoWrites,
    };
    /// What tryLock() does when the file does not exist.
    enum class Missing {
        Fail, ///< throws Error (FileNotFound on Linux, FileIo on Windows)
        Create, ///< creates it, empty
    };
    /// Opens `file` and locks it without waiting. Returns null when another handle
    /// holds a conflicting lock (or, for ExclusiveNoWrites on Windows, has the file
    /// open for writing); throws Error on other failures.
    static std::unique_ptr<FileLock> tryLock(
        const std::filesystem::path& file, Mode mode, Missing missing = Missing::Fail);
    ~FileLock();
    FileLock(const FileLock&) = delete;
    FileLock& operator=(const FileLock&) = delete;

private:
    FileLock() = default;
    long long m_handle = -1;
    bool m_dataLocked = false; // Windows: the data range is locked for as long as the lock lives
};

/// A name for a temporary file beside `file`, in its folder: `file`'s name followed by
/// ".tmp<process id>-<n>", which no other call of this process gives and no other
/// running process uses. Write there, then replaceFile() it over `file`.
std::filesystem::path temporaryPathBeside(const std::filesystem::path& file);

/// Removes the temporary files beside `file` that temporaryPathBeside() named for
/// processes no longer running (a killed run's partial output): regular files in
/// `file`'s folder named exactly as it names them, never one of this process or of a
/// process that may still be running. One that cannot be removed stays for the next
/// time; nothing throws. Removals go through `io` when given.
void removeStaleTemporaryFiles(const std::filesystem::path& file, const IoHooks* io = nullptr);

/// The id the system gives the running process.
std::uint64_t currentProcessId();

/// False when no process with id `pid` is running on this computer; true when one
/// is, or may be.
bool processExists(std::uint64_t pid);

/// Replaces `to` by `from` in one step (rename over an existing file), durably: the
/// contents of `from` reach the device before the name points at them, and the
/// folder's new entry after. The sync, rename and sync go through `io` when given.
/// Throws Error (FileIo); `to` is then as it was.
void replaceFile(
    const std::filesystem::path& from, const std::filesystem::path& to, const IoHooks* io = nullptr);

/// Renames `from` to `to` (replacing a file there) in one step. Throws Error (FileIo)
/// with `what` as its message. Not durable by itself: sync the folders after.
void renameFile(const std::filesystem::path& from, const std::filesystem::path& to, const std::string& what);

/// Why this user could not create, rename or remove entries in `folder`, as an errno
/// value for systemErrorText() (EACCES, EROFS, ENOENT, ENOTDIR, …); 0 when it may. Only
/// asks the system: nothing is created in the folder, not even for a moment.
int folderWriteError(const std::filesystem::path& folder);

/// True when another handle has `file` open in a way that forbids renaming it: on
/// Windows, opened without FILE_SHARE_DELETE, as many programs open the tables they
/// show. Always false where an open file never stops a rename (Linux). Only opens the
/// file and closes it again.
bool renameBlockedByOpenHandles(const std::filesystem::path& file);

/// Sends the contents of `file` to the device (fsync; FlushFileBuffers on Windows).
/// Throws Error (FileIo) when the system cannot: the contents are then unknown.
void syncFile(const std::filesystem::path& file);

/// syncFile() for each of `files` and syncFolder() for each of `folders`, all at
/// once, for steps that do not depend on each other: returns when every one is on the
/// device. A device that flushes its cache once per sync costs about one flush for
/// the lot instead of one each. Throws as syncFile() and syncFolder() do, naming the
/// first that failed.
void syncTogether(
    const std::vector<std::filesystem::path>& files, const std::vector<std::filesystem::path>& folders = {});

/// Starts writing the contents of `stream` (unbuffered, or flushed) out to the device
/// without waiting, so that a later syncFile() finds most of it there. Does nothing
/// where the system offers no such call; never fails.
void startWriteBack(std::FILE* stream) noexcept;

/// Sends the entries of `folder` (files created, renamed or removed in it) to the
/// device. Throws Error (FileIo) on failure. File systems that cannot sync a folder
/// (and Windows, whose renames are written through) make it do nothing.
void syncFolder(const std::filesystem::path& folder);

/// The full path of the running executable.
std::filesystem::path executablePath();

/// std::fopen for a path in any script (wide names on Windows). Null on failure.
std::FILE* openFile(const std::filesystem::path& file, const char* mode);

/// Moves `stream` to byte `offset` from the start, beyond 2 GiB too. False on failure.
bool seekFile(std::FILE* stream, std::uint64_t offset);

} // namespace tramazel::platform
