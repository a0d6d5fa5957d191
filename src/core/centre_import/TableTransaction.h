// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "centre_import/DirectoryLock.h"

#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tramazel::platform {
class FileLock;
struct IoHooks;
} // namespace tramazel::platform

namespace tramazel::centre_import {

/// Working folders and marker files of a transaction, inside the timetable directory.
/// Their names start with a dot and end in no table extension, so no table lookup
/// ever takes them for tables.
inline constexpr std::string_view kStagingDirName = ".tramazel-staging"; ///< new tables are written here
inline constexpr std::string_view kBackupDirName = ".tramazel-backup"; ///< old tables during the swap
inline constexpr std::string_view kJournalFileName = ".tramazel-journal"; ///< swap in progress
inline constexpr std::string_view kCommittedFileName = ".tramazel-committed"; ///< swap complete
/// The lock file older versions kept in their staging folder while their transaction
/// lived; now the directory's lock (DirectoryLock) is held instead, and one found is
/// part of the staging folder's leftovers.
inline constexpr std::string_view kOlderRunLockFileName = "run.lock";

/// What TableTransaction::recover() found in the timetable directory.
enum class Recovery {
    Nothing, ///< no leftovers
    CleanedUp, ///< a run had stopped before replacing anything: its staging folder was removed
    RolledBack, ///< a run had stopped while replacing tables: the old tables were put back
    Completed, ///< a run had stopped after replacing every table: its leftovers were removed
    Busy, ///< another run holds the directory: nothing was touched
};

/// The all-or-nothing replacement of tables in the timetable directory. The new table
/// files are written into a staging folder inside it; commit() moves them into place,
/// the old ones (every letter-case variant, with their indexes) kept aside in a backup
/// folder until every move has succeeded. A journal makes a swap that a kill or power
/// cut interrupted finish or roll back deterministically at the next recover().
///
/// What a power cut may leave is decided by what reached the disk, so the commit
/// syncs in three batches, each finished before the next step relies on it:
///   1. the new tables whole, and the journal's contents;
///   2. the journal in place, and the old tables aside;
///   3. the new tables in place, and the mark of the commit.
/// Within a batch the order in which the entries reach the disk does not matter:
/// after 2, a journal that did not make it leaves old tables in the backup folder and
/// none installed, which the next start puts back as well; after 3, a commit mark that
/// made it without some of the moves in place is finished by the next start from the
/// staging folder, whose tables are on disk since 1. So the next start finds the old
/// set of tables or the new one, whole.
///
/// The transaction holds the directory's lock (DirectoryLock, for changing) from
/// before it creates anything until it is destroyed, so it never meets another run's
/// files, and from the last check until the new tables are in place it holds every
/// file it replaces locked against other programs' writes.
///
/// Every open, write, sync, rename and removal goes through the I/O hooks given, and
/// each step that changes a file is announced to their step hook first.
class TableTransaction {
public:
    /// How begin() treats what an interrupted transaction left behind.
    enum class Leftovers {
        Resolve, ///< finish or roll it back first (recover())
        Refuse, ///< refuse to begin, touching nothing: a dry run's promise
    };

    /// A transaction on the tables of `dir`; nothing happens until begin(). File
    /// operations go through `io` when given (it must outlive the transaction).
    explicit TableTransaction(std::filesystem::path dir, const platform::IoHooks* io = nullptr);
    /// Releases its locks and leaves the files as they are, as a killed process
    /// would: a transaction that failed is undone by rollBackAndRethrow(), one that
    /// was stopped by the next recover().
    ~TableTransaction();
    TableTransaction(const TableTransaction&) = delete;
    TableTransaction& operator=(const TableTransaction&) = delete;

    /// Finishes or rolls back what an interrupted transaction left in `dir`, holding
    /// the directory's lock for changing meanwhile (taken only when there is something
    /// to do). While another run holds it nothing is touched (Busy). Safe to call at
    /// any time: the window calls it when it starts. Throws Error when a leftover
    /// cannot be dealt with (the directory is then left for the next attempt).
    static Recovery recover(const std::filesystem::path& dir, const platform::IoHooks* io = nullptr);

    /// Holds `dir` for a run that reads its tables (the export, `show`) until the
    /// result dies: its lock for reading, or for changing when an interrupted
    /// transaction's leftovers had to be dealt with first (as recover() does). Nothing
    /// is held when `dir` does not exist, or when the lock file can be neither made nor
    /// opened there and there is nothing to recover (a folder this user may only
    /// read). Throws Error: TableLocked (naming `dir`) when another run holds the
    /// directory, nothing touched; as recover() when a leftover cannot be dealt with.
    static std::optional<DirectoryLock> lockForReading(
        const std::filesystem::path& dir, const platform::IoHooks* io = nullptr);

    /// Checks, creating and changing nothing, what would stop begin() before the person
    /// is asked anything: that `dir` is a folder this user may write in, that no other
    /// run holds it, and that no other program holds one of `tables` (their .DBF and
    /// .MDX files are only opened, locked and let go at once). Throws Error as begin()
    /// does: FileNotFound, FileIo (naming the folder and the system's reason),
    /// TableLocked (naming the table, its file and what to do).
    static void checkCanBegin(const std::filesystem::path& dir, std::span<const std::string_view> tables,
        const platform::IoHooks* io = nullptr);

    /// Starts the transaction: takes the directory's lock, deals with leftovers as
    /// `leftovers` says, creates the staging folder, then refuses while another
    /// program holds one of `tables` (base names; their .DBF and .MDX files) open.
    /// Throws Error: FileNotFound when `dir` is no folder; FileIo when this user may not
    /// write in it; TableLocked when another run
    /// holds the directory, when leftovers are refused, or when a table is held.
    /// After a failure the directory is as it was.
    void begin(std::span<const std::string_view> tables, Leftovers leftovers);

    /// Where the new tables are written: the staging folder.
    const std::filesystem::path& stagingDir() const noexcept { return m_staging; }
    /// The tables (upper-case base names) whose .DBF is in the staging folder now,
    /// in the order of their file names.
    std::vector<std::string> stagedTables() const;
    /// Tells the step hook that the run reaches `name` ("builder:TransformarAulas").
    void step(std::string_view name) const;

    /// Puts every staged table file in place of the files of the tables of the same
    /// names, then tidies up. The files replaced stay locked from the check that no
    /// other program holds them (TableLocked otherwise) until the new ones are in
    /// place. Throws Error before the commit is on disk: undo with
    /// rollBackAndRethrow(). Whatever tidying up leaves is for the next recover().
    void commit();
    /// Throws the staging folder away, leaving the directory as begin() found it (the
    /// end of a dry run). Throws Error (FileIo).
    void discard();

    /// For a catch block after begin(): puts the old tables back, removes the folders
    /// of the transaction and rethrows the exception being handled, an Error with a
    /// last sentence saying whether the tables are as they were. When putting them
    /// back fails, the journal stays for the next recover(). A SimulatedCrash goes
    /// through untouched.
    [[noreturn]] void rollBackAndRethrow();

    /// The files a swap moves (names inside their folders), in the order of the journal.
    struct Journal {
        std::vector<std::string> backups; ///< from the timetable directory to the backup folder
        std::vector<std::string> installs; ///< from the staging folder to the timetable directory
    };

private:
    std::vector<std::string> stagedFiles() const;
    void requireFolder() const;
    void refuseLeftovers() const;
    void resolveLeftovers() const;
    void createStagingFolder();
    void planSwap();
    void holdOldTables();
    void writeJournal();
    void moveOldTablesAside();
    void installNewTables();
    void markCommitted();
    void tidyUp();
    bool rollBack();

    const platform::IoHooks& m_io;
    std::filesystem::path m_dir;
    std::filesystem::path m_staging;
    std::filesystem::path m_backup;
    std::filesystem::path m_journalFile;
    std::filesystem::path m_journalTemp;
    std::filesystem::path m_committed;
    std::optional<DirectoryLock> m_directoryLock;
    // The files the swap replaces, from the last check until the new ones are in place.
    std::vector<std::unique_ptr<platform::FileLock>> m_heldTables;
    Journal m_journal;
    // What this run made, and a rollback may therefore remove.
    bool m_createdStaging = false;
    bool m_createdBackup = false;
    bool m_wroteJournal = false;
    bool m_markedCommitted = false;
    bool m_swapStarted = false;
};

} // namespace tramazel::centre_import
