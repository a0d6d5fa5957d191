// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <memory>
#include <optional>
#include <string_view>

namespace tramazel {
class Error;
}

namespace tramazel::platform {
class FileLock;
} // namespace tramazel::platform

namespace tramazel::centre_import {

/// The lock file of a timetable directory, directly inside it: a name that starts
/// with a dot and ends in no table extension, so no table lookup ever takes it for a
/// table. Created, empty, by the first run that needs it and never removed: a file
/// removed while another run opens it to lock it would leave the two runs holding
/// locks on different files.
inline constexpr std::string_view kLockFileName = ".tramazel-lock";

/// A run's hold on a timetable directory: the lock of its file kLockFileName, for as
/// long as the object lives. A run that creates, moves or removes anything in the
/// directory holds it for changing (exclusively): the import, its dry run, and a
/// recovery of an interrupted import. A run that only reads the tables may hold it
/// for reading (shared), beside other readers. Held before anything is created, so
/// no run ever finds another's files half made and takes them for leftovers.
class DirectoryLock {
public:
    enum class Use {
        Read, ///< beside other readers
        Change, ///< alone
    };

    /// Takes the lock of `dir` for `use` without waiting, creating the lock file when
    /// missing. Nothing when another run holds it in a way that excludes `use`.
    /// Throws Error (FileIo, FileNotFound) when the lock file can be neither made nor
    /// opened.
    static std::optional<DirectoryLock> tryTake(const std::filesystem::path& dir, Use use);
    /// As tryTake(), but throws Error (TableLocked, naming `dir`, asking the person to
    /// wait) when another run holds it.
    static DirectoryLock take(const std::filesystem::path& dir, Use use);

    /// Throws Error (TableLocked) as take(`dir`, Use::Change) would when another run holds
    /// the lock of `dir`; takes nothing and creates nothing (no lock file, no run).
    /// Throws Error (FileIo) when the lock file exists but cannot be opened.
    static void requireFree(const std::filesystem::path& dir);

    Use use() const noexcept { return m_use; }

    DirectoryLock(DirectoryLock&&) noexcept;
    DirectoryLock& operator=(DirectoryLock&&) noexcept;
    ~DirectoryLock(); ///< releases the lock; the file stays
    DirectoryLock(const DirectoryLock&) = delete;
    DirectoryLock& operator=(const DirectoryLock&) = delete;

private:
    static Error busy(const std::filesystem::path& dir, Use use);
    DirectoryLock(std::unique_ptr<platform::FileLock> lock, Use use);

    std::unique_ptr<platform::FileLock> m_lock;
    Use m_use;
};

} // namespace tramazel::centre_import
