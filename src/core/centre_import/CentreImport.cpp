// SPDX-License-Identifier: GPL-3.0-or-later
#include "centre_import/CentreImport.h"

#include "Error.h"
#include "centre_import/PreviousCourseLevels.h"
#include "dbf/DbfTable.h"
#include "dbf/TableFiles.h"
#include "platform/Platform.h"
#include "text/Ascii.h"
#include "text/PathText.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <memory>
#include <system_error>
#include <utility>

namespace tramazel::centre_import {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kBackupTag = "backup";
constexpr std::string_view kInstallTag = "install";
// Last line of a journal. A journal without it (cut short by a power cut before its
// bytes reached the disk) is never acted on: an empty list would let the old tables
// in the backup folder be thrown away.
constexpr std::string_view kJournalEnd = "end";
constexpr std::string_view kTableExt = ".DBF";
constexpr std::string_view kIndexExt = ".MDX";

bool endsWithIgnoringCase(std::string_view s, std::string_view suffix)
{
    return s.size() >= suffix.size() && text::toAsciiUpper(s.substr(s.size() - suffix.size())) == suffix;
}

std::string withFullStop(std::string message)
{
    if (!message.empty() && message.back() != '.')
        message += '.';
    return message;
}

Error ioError(std::string what, const fs::path& path, const std::error_code& ec)
{
    return Error(ErrorCode::FileIo, std::move(what), text::pathToUtf8(path) + ": " + ec.message());
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

// Table files (.DBF, .MDX) in the staging folder, by file name, sorted.
std::vector<std::string> stagedTableFiles(const fs::path& staging)
{
    std::vector<std::string> names;
    std::error_code ec;
    std::vector<dbf::FolderEntry> storage;
    for (const dbf::FolderEntry& entry : dbf::folderEntries(staging, storage, ec)) {
        if (entry.regularFile
            && (endsWithIgnoringCase(entry.name, kTableExt) || endsWithIgnoringCase(entry.name, kIndexExt)))
            names.push_back(entry.name);
    }
    if (ec)
        throw ioError("No se puede leer la carpeta de trabajo de la importación", staging, ec);
    std::sort(names.begin(), names.end());
    return names;
}

// Position among the tables the import writes; other names after them.
std::size_t importRank(std::string_view table)
{
    return static_cast<std::size_t>(
        std::find(kImportTables.begin(), kImportTables.end(), table) - kImportTables.begin());
}

std::string baseName(std::string_view fileName)
{
    return text::toAsciiUpper(fileName.substr(0, fileName.size() - 4));
}

// A journal entry names a file directly inside a folder of the run; anything else
// would let a damaged journal reach outside the timetable directory.
bool isPlainFileName(std::string_view name)
{
    return !name.empty() && name != "." && name != ".." && name.find('/') == std::string_view::npos
        && name.find('\\') == std::string_view::npos && name.find(':') == std::string_view::npos
        && name.find('\0') == std::string_view::npos;
}

struct Journal {
    std::vector<std::string> backups; // file names moved from the timetable directory to the backup folder
    std::vector<std::string> installs; // file names moved from the staging folder to the timetable directory
};

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

Journal readJournal(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw Error(ErrorCode::FileIo, "No se puede leer el diario de una importación interrumpida",
            text::pathToUtf8(file));
    const std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    const Error damaged(ErrorCode::TableCorrupt,
        "El diario de una importación interrumpida está dañado; revise el directorio de horarios a mano",
        text::pathToUtf8(file));
    Journal journal;
    bool ended = false;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t nl = text.find('\n', pos);
        if (nl == std::string::npos || ended)
            throw damaged;
        const std::string_view line(text.data() + pos, nl - pos);
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

void writeFileWhole(const fs::path& file, const std::string& bytes)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    out.close();
    if (!out)
        throw Error(
            ErrorCode::FileIo, "No se puede escribir en el directorio de horarios", text::pathToUtf8(file));
    dbf::noteFileCreated(file);
}

void moveFile(const fs::path& from, const fs::path& to, const std::string& what)
{
    platform::renameFile(from, to, what);
    dbf::noteFileRemoved(from);
    dbf::noteFileCreated(to);
}

// Refuses the run while another program holds one of `bases` (exclusive opening of
// each .DBF, every letter-case variant).
template <typename Names> void refuseHeldTables(const fs::path& qtemp, const Names& bases)
{
    for (const auto& base : bases) {
        for (const std::string& file : variantsOf(qtemp, std::string(base) + std::string(kTableExt))) {
            const fs::path path = qtemp / text::pathFromUtf8(file);
            if (!platform::FileLock::tryLock(path, platform::FileLock::Mode::Exclusive))
                throw Error(ErrorCode::TableLocked,
                    "La tabla " + std::string(base)
                        + " está abierta en otro programa; ciérrela y repita la importación",
                    text::pathToUtf8(path));
        }
    }
}

// Undoes a swap described by `journal`: the new files that reached the timetable
// directory are removed, the old ones come back from the backup folder. Each step
// looks at what is on disk, so running it again after an interruption is harmless.
void rollBack(const fs::path& qtemp, const Journal& journal)
{
    const fs::path staging = qtemp / text::pathFromUtf8(kStagingDirName);
    const fs::path backup = qtemp / text::pathFromUtf8(kBackupDirName);
    std::error_code ec;
    // Every old file was moved aside before the first new one came in, so a new file
    // missing from the staging folder is the one now in the timetable directory.
    for (auto it = journal.installs.rbegin(); it != journal.installs.rend(); ++it) {
        const fs::path staged = staging / text::pathFromUtf8(*it);
        const fs::path placed = qtemp / text::pathFromUtf8(*it);
        if (!fs::exists(staged, ec) && fs::exists(placed, ec)) {
            if (!fs::remove(placed, ec) && ec)
                throw ioError("No se puede retirar una tabla nueva del directorio de horarios", placed, ec);
            dbf::noteFileRemoved(placed);
        }
    }
    for (const std::string& name : journal.backups) {
        const fs::path saved = backup / text::pathFromUtf8(name);
        if (fs::exists(saved, ec))
            moveFile(saved, qtemp / text::pathFromUtf8(name), "No se puede devolver una tabla a su sitio");
    }
    // The old tables are back for good before the journal that says where they were goes.
    platform::syncFolder(qtemp);
}

// Finishes a committed swap: every new file still in the staging folder goes to the
// timetable directory, over whatever stands there under its name.
void rollForward(const fs::path& qtemp, const Journal& journal)
{
    const fs::path staging = qtemp / text::pathFromUtf8(kStagingDirName);
    std::error_code ec;
    bool moved = false;
    for (const std::string& name : journal.installs) {
        const fs::path staged = staging / text::pathFromUtf8(name);
        if (fs::exists(staged, ec)) {
            moveFile(
                staged, qtemp / text::pathFromUtf8(name), "No se puede poner en su sitio una tabla nueva");
            moved = true;
        }
    }
    // The new tables are in place for good before the old ones go.
    if (moved)
        platform::syncFolder(qtemp);
}

void removeTree(const fs::path& dir)
{
    std::error_code ec;
    fs::remove_all(dir, ec);
    dbf::forgetFolderListing(dir);
    if (ec)
        throw ioError("No se puede borrar una carpeta de trabajo de la importación", dir, ec);
}

void removeFile(const fs::path& file)
{
    std::error_code ec;
    fs::remove(file, ec);
    dbf::noteFileRemoved(file);
    if (ec)
        throw ioError("No se puede borrar un archivo de trabajo de la importación", file, ec);
}

// The backup folder without a journal is no state a run leaves; should one appear,
// its files go back where no file of that name stands. A file that cannot go back
// stays there and the folder is kept for a person to look at: nothing is thrown away.
void restoreOrphanBackup(const fs::path& qtemp, const fs::path& backup)
{
    std::error_code ec;
    bool leftBehind = false;
    std::vector<fs::path> files;
    for (auto it = fs::directory_iterator(backup, ec); !ec && it != fs::directory_iterator();
         it.increment(ec))
        files.push_back(it->path());
    for (const fs::path& file : files) {
        const fs::path target = qtemp / file.filename();
        std::error_code existsEc;
        if (fs::exists(target, existsEc) || existsEc)
            leftBehind = true;
        else
            moveFile(file, target, "No se puede devolver una tabla a su sitio");
    }
    if (leftBehind || ec)
        throw Error(ErrorCode::TableCorrupt,
            "Quedan tablas antiguas de una importación interrumpida en la carpeta " + text::pathToUtf8(backup)
                + "; revíselas a mano",
            text::pathToUtf8(backup));
    removeTree(backup);
}

} // namespace

CentreImport::CentreImport(fs::path qtempDir)
    : m_qtempDir(std::move(qtempDir))
    , m_builders(builderSequence())
{
}

void CentreImport::setBuilders(std::span<const BuilderStep> builders)
{
    m_builders = builders;
}

void CentreImport::setFaultHook(FaultHook hook)
{
    m_faultHook = std::move(hook);
}

void CentreImport::setKeepLevels(bool keep)
{
    m_keepLevels = keep;
}

void CentreImport::setDryRun(bool dryRun)
{
    m_dryRun = dryRun;
}

void CentreImport::fault(std::string_view step) const
{
    if (!m_faultHook)
        return;
    switch (m_faultHook(step)) {
    case FaultAction::Proceed:
        return;
    case FaultAction::Fail:
        throw Error(
            ErrorCode::Interrupted, "La importación se ha interrumpido en el paso " + std::string(step));
    case FaultAction::Crash:
        throw SimulatedCrash();
    }
}

Recovery CentreImport::recover(const fs::path& qtemp)
{
    const fs::path staging = qtemp / text::pathFromUtf8(kStagingDirName);
    const fs::path backup = qtemp / text::pathFromUtf8(kBackupDirName);
    const fs::path journalFile = qtemp / text::pathFromUtf8(kJournalFileName);
    const fs::path journalTemp = fs::path(journalFile) += ".new";
    const fs::path committed = qtemp / text::pathFromUtf8(kCommittedFileName);

    std::error_code ec;
    const bool hasStaging = fs::exists(staging, ec);
    const bool hasBackup = fs::exists(backup, ec);
    const bool hasJournal = fs::exists(journalFile, ec);
    const bool hasJournalTemp = fs::exists(journalTemp, ec);
    const bool hasCommitted = fs::exists(committed, ec);
    if (!hasStaging && !hasBackup && !hasJournal && !hasJournalTemp && !hasCommitted)
        return Recovery::Nothing;

    // A run that is still alive holds the lock file of its staging folder.
    std::unique_ptr<platform::FileLock> runLock;
    const fs::path lockFile = staging / text::pathFromUtf8(kRunLockFileName);
    if (fs::exists(lockFile, ec)) {
        runLock = platform::FileLock::tryLock(lockFile, platform::FileLock::Mode::Exclusive);
        if (!runLock)
            return Recovery::Busy;
    }

    Recovery outcome = Recovery::CleanedUp;
    if (hasCommitted) {
        // The run committed: the new tables it had not yet put in place wait, whole, in
        // the staging folder. They go in before the old ones are thrown away.
        rollForward(qtemp, readJournal(committed));
        removeTree(backup);
        runLock.reset();
        removeTree(staging);
        if (hasJournal)
            removeFile(journalFile);
        removeFile(committed);
        outcome = Recovery::Completed;
    } else if (hasJournal) {
        rollBack(qtemp, readJournal(journalFile));
        removeTree(backup);
        removeFile(journalFile);
        runLock.reset();
        removeTree(staging);
        outcome = Recovery::RolledBack;
    } else {
        // The run stopped before its first move: nothing in the timetable directory changed.
        if (hasBackup)
            restoreOrphanBackup(qtemp, backup);
        runLock.reset();
        removeTree(staging);
    }
    if (hasJournalTemp)
        removeFile(journalTemp);
    return outcome;
}

std::vector<TableWritten> CentreImport::run(
    const xml::XmlDocument& doc, ImportPrompts& prompts, Warnings& warnings)
{
    const fs::path& qtemp = m_qtempDir;
    std::error_code ec;
    if (!fs::is_directory(qtemp, ec))
        throw Error(ErrorCode::FileNotFound, "No existe el directorio de horarios " + text::pathToUtf8(qtemp),
            text::pathToUtf8(qtemp));

    const fs::path staging = qtemp / text::pathFromUtf8(kStagingDirName);
    const fs::path backup = qtemp / text::pathFromUtf8(kBackupDirName);
    const fs::path journalFile = qtemp / text::pathFromUtf8(kJournalFileName);
    const fs::path journalTemp = fs::path(journalFile) += ".new";
    const fs::path committed = qtemp / text::pathFromUtf8(kCommittedFileName);

    if (m_dryRun) {
        // Finishing an interrupted run would change the directory a dry run promises
        // to leave alone.
        for (const fs::path& leftover : { staging, backup, journalFile, journalTemp, committed }) {
            if (fs::exists(leftover, ec))
                throw Error(ErrorCode::TableLocked,
                    "Hay otra importación en curso o una interrumpida sin resolver en el directorio de "
                    "horarios "
                        + text::pathToUtf8(qtemp) + "; la simulación no lo modifica",
                    text::pathToUtf8(leftover));
        }
    } else if (recover(qtemp) == Recovery::Busy) {
        throw Error(ErrorCode::TableLocked,
            "Ya hay otra importación en curso sobre el directorio de horarios " + text::pathToUtf8(qtemp),
            text::pathToUtf8(qtemp));
    }

    // The run lists each folder once; its own changes keep the names up to date.
    dbf::FolderListingScope listingScope;
    if (!fs::create_directory(staging, ec)) {
        if (ec)
            throw ioError(
                "No se puede crear la carpeta de trabajo de la importación en el directorio de horarios",
                staging, ec);
        throw Error(ErrorCode::TableLocked,
            "Ya hay otra importación en curso sobre el directorio de horarios " + text::pathToUtf8(qtemp),
            text::pathToUtf8(staging));
    }
    std::unique_ptr<platform::FileLock> runLock;
    bool swapStarted = false;
    Journal journal;
    std::vector<TableWritten> written;
    try {
        const fs::path lockFile = staging / text::pathFromUtf8(kRunLockFileName);
        writeFileWhole(lockFile, std::string());
        runLock = platform::FileLock::tryLock(lockFile, platform::FileLock::Mode::Exclusive);
        if (!runLock)
            throw Error(ErrorCode::TableLocked,
                "Ya hay otra importación en curso sobre el directorio de horarios " + text::pathToUtf8(qtemp),
                text::pathToUtf8(lockFile));

        // Refused early, before anyone fills in a dialog, and again before the swap.
        fault("check-tables");
        refuseHeldTables(qtemp, kImportTables);

        // Read before anything replaces the table; the builders write elsewhere.
        CourseLevelsByCode previousLevels;
        if (m_keepLevels)
            previousLevels = readPreviousCourseLevels(qtemp);

        m_notes = ImportNotes {};
        ImportContext ctx { doc, staging, prompts, warnings, &m_notes,
            m_keepLevels ? &previousLevels : nullptr };
        std::vector<std::string> order; // tables in the order the builders wrote them
        for (const BuilderStep& step : m_builders) {
            fault(std::string("builder:") + step.name);
            step.run(ctx);
            // A step may write files by other means than the engine: look afresh.
            dbf::forgetFolderListing(staging);
            std::vector<std::string> fresh;
            for (const std::string& file : stagedTableFiles(staging)) {
                if (endsWithIgnoringCase(file, kTableExt)
                    && std::find(order.begin(), order.end(), baseName(file)) == order.end())
                    fresh.push_back(baseName(file));
            }
            // A builder that writes several tables writes them in the usual order.
            std::stable_sort(fresh.begin(), fresh.end(),
                [](const std::string& a, const std::string& b) { return importRank(a) < importRank(b); });
            order.insert(order.end(), fresh.begin(), fresh.end());
        }

        // A staged table the engine cannot open never replaces a good one.
        for (const std::string& table : order) {
            fault("verify:" + table);
            dbf::DbfTable staged = dbf::DbfTable::open(staging, table, dbf::Access::Shared);
            written.push_back({ table, staged.recordCount() });
        }
        if (m_dryRun) {
            runLock.reset();
            removeTree(staging);
            return written;
        }

        // The tables that go aside are found in a fresh listing, taken right before the swap.
        dbf::forgetFolderListing(qtemp);
        journal.installs = stagedTableFiles(staging);
        std::vector<std::string> bases;
        for (const std::string& file : journal.installs) {
            if (std::find(bases.begin(), bases.end(), baseName(file)) == bases.end())
                bases.push_back(baseName(file));
        }
        for (const std::string& base : bases) {
            // The old index goes too when the new table has none, as a rebuilt table's would.
            for (std::string_view ext : { kTableExt, kIndexExt }) {
                for (std::string& file : variantsOf(qtemp, base + std::string(ext)))
                    journal.backups.push_back(std::move(file));
            }
        }
        fault("check-tables-again");
        refuseHeldTables(qtemp, bases);

        // What a power cut may leave is decided by what reached the disk. Three batches
        // of syncs, each finished before the next step relies on it:
        //   1. the new tables whole, and the journal's contents;
        //   2. the journal in place, and the old tables aside;
        //   3. the new tables in place, and the mark of the commit.
        // Within a batch the order in which the entries reach the disk does not matter:
        // after 2, a journal that did not make it leaves old tables in the backup folder
        // and none installed, which the next start puts back as well; after 3, a commit
        // mark that made it without some of the moves in place is finished by the next
        // start from the staging folder, whose tables are on disk since 1. So the next
        // start finds the old set of tables or the new one, whole.
        fault("journal");
        writeFileWhole(journalTemp, formatJournal(journal));
        std::vector<fs::path> toSync;
        for (const std::string& name : journal.installs)
            toSync.push_back(staging / text::pathFromUtf8(name));
        toSync.push_back(journalTemp);
        platform::syncTogether(toSync, { staging });
        moveFile(journalTemp, journalFile, "No se puede escribir en el directorio de horarios");
        swapStarted = true;
        // With no old table to keep (a first import) there is no backup folder to make.
        std::vector<fs::path> swapFolders { qtemp };
        if (!journal.backups.empty()) {
            if (!fs::create_directory(backup, ec) && ec)
                throw ioError(
                    "No se puede crear la carpeta de copia de seguridad en el directorio de horarios", backup,
                    ec);
            for (const std::string& name : journal.backups) {
                fault("backup:" + name);
                moveFile(qtemp / text::pathFromUtf8(name), backup / text::pathFromUtf8(name),
                    "No se puede apartar la tabla " + baseName(name));
            }
            swapFolders.push_back(backup);
        }
        // An old table whose move aside was lost would be overwritten by the new one.
        platform::syncTogether({}, swapFolders);
        for (const std::string& name : journal.installs) {
            fault("install:" + name);
            moveFile(staging / text::pathFromUtf8(name), qtemp / text::pathFromUtf8(name),
                "No se puede poner en su sitio la tabla nueva " + baseName(name));
        }
        fault("commit");
        moveFile(journalFile, committed, "No se puede escribir en el directorio de horarios");
        platform::syncTogether({}, { staging, qtemp });
    } catch (const SimulatedCrash&) {
        throw;
    } catch (...) {
        // Puts the old tables back and removes the run's folders. When putting back
        // fails, the journal stays so that the next start finishes the job.
        bool restored = true;
        try {
            if (swapStarted)
                rollBack(qtemp, journal);
        } catch (...) {
            restored = false;
        }
        if (restored) {
            runLock.reset();
            std::error_code cleanupEc;
            fs::remove_all(backup, cleanupEc);
            fs::remove(journalFile, cleanupEc);
            fs::remove(journalTemp, cleanupEc);
            fs::remove(committed, cleanupEc);
            fs::remove_all(staging, cleanupEc);
        }
        const std::string note = restored
            ? " Las tablas del directorio de horarios no se han modificado"
            : " No se han podido devolver todas las tablas a su sitio; se hará al volver a abrir el programa";
        try {
            throw;
        } catch (const Error& e) {
            throw Error(e.code(), withFullStop(e.message()) + note, e.detail());
        }
    }

    // Committed: the new tables are in place. What remains is tidying up; whatever
    // fails here is finished by the next recover().
    try {
        fault("cleanup");
        removeTree(backup);
        runLock.reset();
        removeTree(staging);
        removeFile(committed);
    } catch (const SimulatedCrash&) {
        throw;
    } catch (...) {
    }
    return written;
}

} // namespace tramazel::centre_import
