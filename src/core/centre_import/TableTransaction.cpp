// SPDX-License-Identifier: GPL-3.0-or-later
#include "centre_import/TableTransaction.h"

#include "Error.h"
#include "dbf/DbfFormat.h"
#include "dbf/TableFiles.h"
#include "platform/IoHooks.h"
#include "platform/Platform.h"
#include "platform/SystemErrorText.h"
#include "text/Ascii.h"
#include "text/PathText.h"

#include <algorithm>
#include <system_error>
#include <utility>

namespace tramazel::centre_import {

namespace fs = std::filesystem;

namespace {

using Journal = TableTransaction::Journal;

constexpr std::string_view kBackupTag = "backup";
constexpr std::string_view kInstallTag = "install";
// Last line of a journal. A journal without it (cut short by a power cut before its
// bytes reached the disk) is never acted on: an empty list would let the old tables
// in the backup folder be thrown away.
constexpr std::string_view kJournalEnd = "end";
constexpr std::string_view kJournalTempSuffix = ".new";

fs::path inFolder(const fs::path& folder, std::string_view name)
{
    return folder / text::pathFromUtf8(name);
}

bool hasExtension(std::string_view name, std::string_view extension)
{
    return name.size() >= extension.size()
        && text::equalsIgnoringAsciiCase(name.substr(name.size() - extension.size()), extension);
}

// The table a file (.DBF or .MDX) belongs to: its name without the extension, upper case.
std::string baseName(std::string_view fileName)
{
    return text::toAsciiUpper(fileName.substr(0, fileName.rfind('.')));
}

std::string withFullStop(std::string message)
{
    if (!message.empty() && message.back() != '.')
        message += '.';
    return message;
}

// "What (path): why", so that the person sees which file and the system's reason.
Error ioError(const std::string& what, const fs::path& path, const std::error_code& ec)
{
    return Error(ErrorCode::FileIo,
        what + " (" + text::pathToUtf8(path) + "): " + platform::systemErrorText(ec),
        text::pathToUtf8(path) + ": " + ec.message());
}

// A run of an older version, which kept its lock in its staging folder, is alive.
Error olderRunInProgress(const fs::path& dir, const fs::path& detail)
{
    return Error(ErrorCode::TableLocked,
        "Otra importación está en curso en el directorio de horarios " + text::pathToUtf8(dir)
            + "; espere a que termine.",
        text::pathToUtf8(detail));
}

// Regular files of `dir` whose names equal `name` ignoring ASCII case. Inside the
// run's listing scope the folder is listed once, not once per name.
std::vector<std::string> variantsOf(const fs::path& dir, std::string_view name)
{
    std::vector<std::string> found;
    std::error_code ec;
    std::vector<dbf::FolderEntry> storage;
    for (const dbf::FolderEntry& entry : dbf::folderEntries(dir, storage, ec)) {
        if (entry.regularFile && text::equalsIgnoringAsciiCase(entry.name, name))
            found.push_back(entry.name);
    }
    if (ec)
        throw ioError("No se puede leer el directorio de horarios", dir, ec);
    std::sort(found.begin(), found.end());
    return found;
}

// A journal entry names a file directly inside a folder of the run; anything else
// would let a damaged journal reach outside the timetable directory.
bool isPlainFileName(std::string_view name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos
        && name.find('\\') == std::string_view::npos && name.find(':') == std::string_view::npos
        && name.find('\0') == std::string_view::npos;
}

std::string formatJournal(const Journal& journal)
{
    std::string text;
    for (const auto& name : journal.backups)
        text += std::string(kBackupTag) + " " + name + "\n";
    for (const auto& name : journal.installs)
        text += std::string(kInstallTag) + " " + name + "\n";
    text += std::string(kJournalEnd) + "\n";
    return text;
}

Journal parseJournal(std::string_view text, const fs::path& file)
{
    const Error damaged(ErrorCode::TableCorrupt,
        "El diario de una importación interrumpida está dañado; revise el directorio de horarios a mano",
        text::pathToUtf8(file));
    Journal journal;
    bool ended = false;
    std::size_t pos = 0;
    while (pos < text.size()) {
        const std::size_t nl = text.find('\n', pos);
        if (nl == std::string_view::npos || ended)
            throw damaged;
        const std::string_view line = text.substr(pos, nl - pos);
        pos = nl + 1;
        if (line == kJournalEnd) {
            ended = true;
            continue;
        }
        const std::size_t space = line.find(' ');
        const std::string_view tag = line.substr(0, space);
        const std::string_view name
            = space == std::string_view::npos ? std::string_view() : line.substr(space + 1);
        if (!isPlainFileName(name) || (tag != kBackupTag && tag != kInstallTag))
            throw damaged;
        (tag == kBackupTag ? journal.backups : journal.installs).emplace_back(name);
    }
    if (!ended)
        throw damaged;
    return journal;
}

Journal readJournal(const platform::IoHooks& io, const fs::path& file)
{
    std::FILE* stream = io.open(file, "rb");
    if (!stream)
        throw Error(ErrorCode::FileIo, "No se puede leer el diario de una importación interrumpida",
            text::pathToUtf8(file));
    std::string text;
    char buffer[4096];
    for (std::size_t got; (got = io.read(stream, buffer, sizeof buffer)) > 0;)
        text.append(buffer, got);
    io.close(stream);
    return parseJournal(text, file);
}

void writeFileWhole(const platform::IoHooks& io, const fs::path& file, const std::string& bytes)
{
    std::FILE* stream = io.open(file, "wb");
    bool written = stream != nullptr;
    if (stream) {
        written = bytes.empty() || io.write(stream, bytes.data(), bytes.size()) == bytes.size();
        written = io.close(stream) == 0 && written;
    }
    if (!written)
        throw Error(
            ErrorCode::FileIo, "No se puede escribir en el directorio de horarios", text::pathToUtf8(file));
    dbf::noteFileCreated(file);
}

void moveFile(const platform::IoHooks& io, const fs::path& from, const fs::path& to, const std::string& what)
{
    io.rename(from, to, what);
    dbf::noteFileRemoved(from);
    dbf::noteFileCreated(to);
}

void removeTree(const platform::IoHooks& io, const fs::path& dir)
{
    io.remove(dir, "No se puede borrar una carpeta de trabajo de la importación");
    dbf::forgetFolderListing(dir);
}

void removeFile(const platform::IoHooks& io, const fs::path& file)
{
    io.remove(file, "No se puede borrar un archivo de trabajo de la importación");
    dbf::noteFileRemoved(file);
}

Error tableHeld(std::string_view base, const fs::path& file)
{
    return Error(ErrorCode::TableLocked,
        "Otro programa, por ejemplo Zelvano, tiene abierta la tabla " + std::string(base) + " ("
            + text::pathToUtf8(file) + "). Ciérrela en ese programa y vuelva a importar",
        text::pathToUtf8(file));
}

// The lock that keeps other programs from writing a file the swap replaces (and, on
// Windows, refuses while one has it open for writing). Null when another holds it, or
// has it open in a way that would stop the swap from moving it aside: Zelvano keeps
// the tables it shows open without letting them be renamed.
std::unique_ptr<platform::FileLock> lockAgainstWriters(const fs::path& file)
{
    auto lock = platform::FileLock::tryLock(file, platform::FileLock::Mode::ExclusiveNoWrites);
    if (lock && platform::renameBlockedByOpenHandles(file))
        return nullptr;
    return lock;
}

// The import creates its folders in the timetable directory and replaces its tables
// there: a folder this user may not change is said at once, with the system's reason.
void requireWritableFolder(const platform::IoHooks& io, const fs::path& dir)
{
    const int error = io.folderWriteError(dir);
    if (error != 0)
        throw Error(ErrorCode::FileIo,
            "No se puede escribir en el directorio de horarios " + text::pathToUtf8(dir) + ": "
                + platform::systemErrorText(error)
                + ". La importación necesita crear y sustituir archivos en él",
            text::pathToUtf8(dir));
}

// Refuses the run while another program holds one of the tables `bases`: each .DBF
// and .MDX, every letter-case variant, is locked and let go at once.
void refuseHeldTables(const fs::path& dir, std::span<const std::string_view> bases)
{
    for (std::string_view base : bases) {
        for (std::string_view extension : { dbf::kDbfExtension, dbf::kMdxExtension }) {
            for (const std::string& file : variantsOf(dir, std::string(base) + std::string(extension))) {
                const fs::path path = inFolder(dir, file);
                if (!lockAgainstWriters(path))
                    throw tableHeld(base, path);
            }
        }
    }
}

// The places of a transaction in the timetable directory `dir`.
struct Places {
    explicit Places(const fs::path& d)
        : dir(d)
        , staging(inFolder(d, kStagingDirName))
        , backup(inFolder(d, kBackupDirName))
        , journal(inFolder(d, kJournalFileName))
        , journalTemp(fs::path(journal) += kJournalTempSuffix)
        , committed(inFolder(d, kCommittedFileName))
    {
    }

    fs::path dir;
    fs::path staging;
    fs::path backup;
    fs::path journal;
    fs::path journalTemp;
    fs::path committed;
};

bool hasLeftovers(const Places& at)
{
    std::error_code ec;
    for (const fs::path* leftover :
        { &at.staging, &at.backup, &at.journal, &at.journalTemp, &at.committed }) {
        if (fs::exists(*leftover, ec))
            return true;
    }
    return false;
}

// Undoes a swap described by `journal`: the new files that reached the timetable
// directory are removed, the old ones come back from the backup folder. Each step
// looks at what is on disk, so running it again after an interruption is harmless.
void rollBackSwap(const platform::IoHooks& io, const Places& at, const Journal& journal)
{
    std::error_code ec;
    // Every old file was moved aside before the first new one came in, so a new file
    // missing from the staging folder is the one now in the timetable directory.
    for (auto it = journal.installs.rbegin(); it != journal.installs.rend(); ++it) {
        const fs::path placed = inFolder(at.dir, *it);
        if (!fs::exists(inFolder(at.staging, *it), ec) && fs::exists(placed, ec)) {
            io.remove(placed, "No se puede retirar una tabla nueva del directorio de horarios");
            dbf::noteFileRemoved(placed);
        }
    }
    for (const std::string& name : journal.backups) {
        const fs::path saved = inFolder(at.backup, name);
        if (fs::exists(saved, ec))
            moveFile(io, saved, inFolder(at.dir, name), "No se puede devolver una tabla a su sitio");
    }
    // The old tables are back for good before the journal that says where they were goes.
    io.sync({}, { at.dir });
}

// Finishes a committed swap: every new file still in the staging folder goes to the
// timetable directory, over whatever stands there under its name.
void rollForward(const platform::IoHooks& io, const Places& at, const Journal& journal)
{
    std::error_code ec;
    bool moved = false;
    for (const std::string& name : journal.installs) {
        const fs::path staged = inFolder(at.staging, name);
        if (fs::exists(staged, ec)) {
            moveFile(io, staged, inFolder(at.dir, name), "No se puede poner en su sitio una tabla nueva");
            moved = true;
        }
    }
    // The new tables are in place for good before the old ones go.
    if (moved)
        io.sync({}, { at.dir });
}

// The backup folder without a journal is no state a run leaves; should one appear,
// its files go back where no file of that name stands. A file that cannot go back
// stays there and the folder is kept for a person to look at: nothing is thrown away.
void restoreOrphanBackup(const platform::IoHooks& io, const Places& at)
{
    std::error_code ec;
    bool leftBehind = false;
    std::vector<fs::path> files;
    for (auto it = fs::directory_iterator(at.backup, ec); !ec && it != fs::directory_iterator();
         it.increment(ec))
        files.push_back(it->path());
    for (const fs::path& file : files) {
        const fs::path target = at.dir / file.filename();
        std::error_code existsEc;
        if (fs::exists(target, existsEc) || existsEc)
            leftBehind = true;
        else
            moveFile(io, file, target, "No se puede devolver una tabla a su sitio");
    }
    if (leftBehind || ec)
        throw Error(ErrorCode::TableCorrupt,
            "Quedan tablas antiguas de una importación interrumpida en la carpeta "
                + text::pathToUtf8(at.backup) + "; revíselas a mano",
            text::pathToUtf8(at.backup));
    removeTree(io, at.backup);
}

// Finishes or rolls back what an interrupted transaction left, for a caller that
// holds the directory's lock for changing.
Recovery recoverLeftovers(const platform::IoHooks& hooks, const Places& at)
{
    std::error_code ec;
    const bool hasStaging = fs::exists(at.staging, ec);
    const bool hasBackup = fs::exists(at.backup, ec);
    const bool hasJournal = fs::exists(at.journal, ec);
    const bool hasJournalTemp = fs::exists(at.journalTemp, ec);
    const bool hasCommitted = fs::exists(at.committed, ec);
    if (!hasStaging && !hasBackup && !hasJournal && !hasJournalTemp && !hasCommitted)
        return Recovery::Nothing;

    // An older version knows nothing of the directory's lock: a run of one that is
    // still alive holds the lock file in its staging folder. One nobody holds is a
    // leftover like the rest of the folder.
    std::unique_ptr<platform::FileLock> olderRun;
    const fs::path olderLock = inFolder(at.staging, kOlderRunLockFileName);
    if (fs::exists(olderLock, ec)) {
        olderRun = platform::FileLock::tryLock(olderLock, platform::FileLock::Mode::Exclusive);
        if (!olderRun)
            return Recovery::Busy;
    }

    Recovery outcome = Recovery::CleanedUp;
    if (hasCommitted) {
        // The run committed: the new tables it had not yet put in place wait, whole, in
        // the staging folder. They go in before the old ones are thrown away.
        rollForward(hooks, at, readJournal(hooks, at.committed));
        removeTree(hooks, at.backup);
        olderRun.reset();
        removeTree(hooks, at.staging);
        if (hasJournal)
            removeFile(hooks, at.journal);
        removeFile(hooks, at.committed);
        outcome = Recovery::Completed;
    } else if (hasJournal) {
        rollBackSwap(hooks, at, readJournal(hooks, at.journal));
        removeTree(hooks, at.backup);
        removeFile(hooks, at.journal);
        olderRun.reset();
        removeTree(hooks, at.staging);
        outcome = Recovery::RolledBack;
    } else {
        // The run stopped before its first move: nothing in the timetable directory changed.
        if (hasBackup)
            restoreOrphanBackup(hooks, at);
        olderRun.reset();
        removeTree(hooks, at.staging);
    }
    if (hasJournalTemp)
        removeFile(hooks, at.journalTemp);
    return outcome;
}

} // namespace

TableTransaction::TableTransaction(fs::path dir, const platform::IoHooks* io)
    : m_io(platform::hooksOrSystem(io))
    , m_dir(std::move(dir))
{
    const Places at(m_dir);
    m_staging = at.staging;
    m_backup = at.backup;
    m_journalFile = at.journal;
    m_journalTemp = at.journalTemp;
    m_committed = at.committed;
}

TableTransaction::~TableTransaction() = default;

Recovery TableTransaction::recover(const fs::path& dir, const platform::IoHooks* io)
{
    const Places at(dir);
    // Nothing is created, not even the lock file, where there is nothing to do.
    if (!hasLeftovers(at))
        return Recovery::Nothing;
    const auto lock = DirectoryLock::tryTake(dir, DirectoryLock::Use::Change);
    if (!lock)
        return Recovery::Busy;
    return recoverLeftovers(platform::hooksOrSystem(io), at);
}

std::optional<DirectoryLock> TableTransaction::lockForReading(
    const fs::path& dir, const platform::IoHooks* io)
{
    std::error_code ec;
    if (!fs::is_directory(dir, ec))
        return std::nullopt; // the run finds no table there and says so
    const Places at(dir);
    std::optional<DirectoryLock> lock;
    try {
        lock = DirectoryLock::take(dir, DirectoryLock::Use::Read);
    } catch (const Error& e) {
        // A folder where the lock file can be neither made nor opened is one no run of
        // this user changes; a reader reads it as it is, unless it must be recovered.
        if (e.code() == ErrorCode::TableLocked || hasLeftovers(at)
            || fs::exists(inFolder(dir, kLockFileName), ec))
            throw;
        return std::nullopt;
    }
    if (!hasLeftovers(at))
        return lock;
    // Leftovers are dealt with alone. The lock is given up to be taken for changing:
    // a run that takes it in between finds them itself, and this one is refused.
    lock.reset();
    lock = DirectoryLock::take(dir, DirectoryLock::Use::Change);
    if (recoverLeftovers(platform::hooksOrSystem(io), at) == Recovery::Busy)
        throw olderRunInProgress(dir, at.staging);
    return lock;
}

void TableTransaction::checkCanBegin(
    const fs::path& dir, std::span<const std::string_view> tables, const platform::IoHooks* io)
{
    TableTransaction probe(dir, io);
    probe.requireFolder();
    requireWritableFolder(probe.m_io, dir);
    DirectoryLock::requireFree(dir);
    refuseHeldTables(dir, tables);
}

void TableTransaction::begin(std::span<const std::string_view> tables, Leftovers leftovers)
{
    requireFolder();
    requireWritableFolder(m_io, m_dir);
    // Before anything is looked at or made: what is found under the lock is no live
    // run's, and what is made is no other run's to take for a leftover.
    m_directoryLock = DirectoryLock::take(m_dir, DirectoryLock::Use::Change);
    try {
        if (leftovers == Leftovers::Refuse)
            refuseLeftovers();
        else
            resolveLeftovers();
        createStagingFolder();
    } catch (...) {
        // A run refused before it made anything holds nothing either: on Windows an
        // open lock file would keep the folder from being moved or removed.
        m_directoryLock.reset();
        throw;
    }
    try {
        // Refused early, before anyone fills in a dialog, and again before the swap.
        step("check-tables");
        refuseHeldTables(m_dir, tables);
    } catch (...) {
        rollBackAndRethrow();
    }
}

void TableTransaction::requireFolder() const
{
    std::error_code ec;
    if (!fs::is_directory(m_dir, ec))
        throw Error(ErrorCode::FileNotFound, "No existe el directorio de horarios " + text::pathToUtf8(m_dir),
            text::pathToUtf8(m_dir));
}

void TableTransaction::refuseLeftovers() const
{
    std::error_code ec;
    for (const fs::path& leftover : { m_staging, m_backup, m_journalFile, m_journalTemp, m_committed }) {
        if (fs::exists(leftover, ec))
            throw Error(ErrorCode::TableLocked,
                "Hay otra importación en curso o una interrumpida sin resolver en el directorio de horarios "
                    + text::pathToUtf8(m_dir) + "; la simulación no lo modifica",
                text::pathToUtf8(leftover));
    }
}

void TableTransaction::resolveLeftovers() const
{
    if (recoverLeftovers(m_io, Places(m_dir)) == Recovery::Busy)
        throw olderRunInProgress(m_dir, m_staging);
}

void TableTransaction::createStagingFolder()
{
    std::error_code ec;
    if (fs::create_directory(m_staging, ec)) {
        m_createdStaging = true;
        return;
    }
    // Under the directory's lock, after the leftovers were dealt with, none can stand
    // there but one that could not be removed.
    throw ioError("No se puede crear la carpeta de trabajo de la importación en el directorio de horarios",
        m_staging, ec ? ec : std::make_error_code(std::errc::file_exists));
}

// The table files (.DBF, .MDX) in the staging folder, by file name, sorted.
std::vector<std::string> TableTransaction::stagedFiles() const
{
    std::vector<std::string> names;
    std::error_code ec;
    std::vector<dbf::FolderEntry> storage;
    for (const dbf::FolderEntry& entry : dbf::folderEntries(m_staging, storage, ec)) {
        if (entry.regularFile
            && (hasExtension(entry.name, dbf::kDbfExtension) || hasExtension(entry.name, dbf::kMdxExtension)))
            names.push_back(entry.name);
    }
    if (ec)
        throw ioError("No se puede leer la carpeta de trabajo de la importación", m_staging, ec);
    std::sort(names.begin(), names.end());
    return names;
}

std::vector<std::string> TableTransaction::stagedTables() const
{
    std::vector<std::string> tables;
    for (const std::string& file : stagedFiles()) {
        if (hasExtension(file, dbf::kDbfExtension))
            tables.push_back(baseName(file));
    }
    return tables;
}

void TableTransaction::step(std::string_view name) const
{
    m_io.step(name);
}

void TableTransaction::commit()
{
    planSwap();
    step("check-tables-again");
    holdOldTables();
    writeJournal();
    moveOldTablesAside();
    installNewTables();
    // The old files are only in the backup folder now: a program that locks a table
    // from here on locks the new one.
    m_heldTables.clear();
    markCommitted();
    tidyUp();
}

// The files of the swap, from a listing of the timetable directory taken right before it.
void TableTransaction::planSwap()
{
    dbf::forgetFolderListing(m_dir);
    m_journal.installs = stagedFiles();
    std::vector<std::string> tables;
    for (const std::string& file : m_journal.installs) {
        if (std::find(tables.begin(), tables.end(), baseName(file)) == tables.end())
            tables.push_back(baseName(file));
    }
    for (const std::string& table : tables) {
        // The old index goes too when the new table has none, as a rebuilt table's would.
        for (std::string_view extension : { dbf::kDbfExtension, dbf::kMdxExtension }) {
            for (std::string& file : variantsOf(m_dir, table + std::string(extension)))
                m_journal.backups.push_back(std::move(file));
        }
    }
}

// The last check that no other program holds a file the swap replaces, and the lock
// that keeps it so: a program that asks for a lock before it writes gets none until
// the new files are in place, so no edit of its is thrown away with the old file.
// Renaming a file held open is allowed everywhere: on Windows the lock's handle lets
// others delete and rename the file (FileLock::Mode::ExclusiveNoWrites).
void TableTransaction::holdOldTables()
{
    for (const std::string& name : m_journal.backups) {
        const fs::path path = inFolder(m_dir, name);
        auto lock = lockAgainstWriters(path);
        if (!lock)
            throw tableHeld(baseName(name), path);
        m_heldTables.push_back(std::move(lock));
    }
}

// Batch 1: the new tables whole and the journal's contents on disk; then the journal
// takes its name, and from then on a stop is rolled back by the next recover().
void TableTransaction::writeJournal()
{
    step("journal");
    m_wroteJournal = true;
    writeFileWhole(m_io, m_journalTemp, formatJournal(m_journal));
    std::vector<fs::path> toSync;
    for (const std::string& name : m_journal.installs)
        toSync.push_back(inFolder(m_staging, name));
    toSync.push_back(m_journalTemp);
    m_io.sync(toSync, { m_staging });
    moveFile(m_io, m_journalTemp, m_journalFile, "No se puede escribir en el directorio de horarios");
    m_swapStarted = true;
}

// Batch 2: the journal in place and the old tables aside, on disk before the first
// new table comes in: an old table whose move aside was lost would be overwritten.
void TableTransaction::moveOldTablesAside()
{
    // With no old table to keep (a first import) there is no backup folder to make.
    std::vector<fs::path> swapFolders { m_dir };
    if (!m_journal.backups.empty()) {
        std::error_code ec;
        m_createdBackup = fs::create_directory(m_backup, ec);
        if (!m_createdBackup)
            throw ioError("No se puede crear la carpeta de copia de seguridad en el directorio de horarios",
                m_backup, ec ? ec : std::make_error_code(std::errc::file_exists));
        for (const std::string& name : m_journal.backups) {
            step("backup:" + name);
            const fs::path path = inFolder(m_dir, name);
            try {
                moveFile(m_io, path, inFolder(m_backup, name),
                    "No se puede apartar la tabla " + baseName(name) + " (" + text::pathToUtf8(path) + ")");
            } catch (const Error& e) {
                // A program that opened the table after the last check stops the move.
                if (e.code() == ErrorCode::FileIo && platform::renameBlockedByOpenHandles(path))
                    throw tableHeld(baseName(name), path);
                throw;
            }
        }
        swapFolders.push_back(m_backup);
    }
    m_io.sync({}, swapFolders);
}

void TableTransaction::installNewTables()
{
    for (const std::string& name : m_journal.installs) {
        step("install:" + name);
        moveFile(m_io, inFolder(m_staging, name), inFolder(m_dir, name),
            "No se puede poner en su sitio la tabla nueva " + baseName(name));
    }
}

// Batch 3: the new tables in place and the mark of the commit. A mark that reaches the
// disk before some of the moves is finished from the staging folder.
void TableTransaction::markCommitted()
{
    step("commit");
    m_markedCommitted = true;
    moveFile(m_io, m_journalFile, m_committed, "No se puede escribir en el directorio de horarios");
    m_io.sync({}, { m_staging, m_dir });
}

// Committed: the new tables are in place. What remains is tidying up; whatever fails
// here is finished by the next recover().
void TableTransaction::tidyUp()
{
    try {
        step("cleanup");
        removeTree(m_io, m_backup);
        removeTree(m_io, m_staging);
        removeFile(m_io, m_committed);
    } catch (const platform::SimulatedCrash&) {
        throw;
    } catch (...) {
    }
}

void TableTransaction::discard()
{
    removeTree(m_io, m_staging);
}

// Puts the old tables back and removes what the transaction made. False when putting
// back failed: the journal then stays so that the next start finishes the job.
bool TableTransaction::rollBack()
{
    try {
        if (m_swapStarted)
            rollBackSwap(m_io, Places(m_dir), m_journal);
    } catch (const platform::SimulatedCrash&) {
        throw;
    } catch (...) {
        return false;
    }
    // The old files are back in their places; their holds end there.
    m_heldTables.clear();
    std::vector<fs::path> made;
    if (m_createdBackup)
        made.push_back(m_backup);
    if (m_wroteJournal) {
        made.push_back(m_journalFile);
        made.push_back(m_journalTemp);
    }
    if (m_markedCommitted)
        made.push_back(m_committed);
    if (m_createdStaging)
        made.push_back(m_staging);
    for (const fs::path& leftover : made) {
        try {
            m_io.remove(leftover, "No se puede borrar un archivo de trabajo de la importación");
        } catch (const Error&) {
            // What cannot be removed now is removed by the next recover().
        }
    }
    return true;
}

void TableTransaction::rollBackAndRethrow()
{
    try {
        throw;
    } catch (const platform::SimulatedCrash&) {
        throw; // a killed process puts nothing back
    } catch (...) {
    }
    const std::string note = rollBack()
        ? " Las tablas del directorio de horarios no se han modificado"
        : " No se han podido devolver todas las tablas a su sitio; se hará al volver a abrir el programa";
    try {
        throw;
    } catch (const Error& e) {
        throw Error(e.code(), withFullStop(e.message()) + note, e.detail());
    }
}

} // namespace tramazel::centre_import
