// SPDX-License-Identifier: GPL-3.0-or-later
#include "centre_import/CentreImport.h"

#include "Error.h"
#include "WarningTexts.h"
#include "centre_import/PreviousCourseLevels.h"
#include "dbf/DbfTable.h"
#include "dbf/TableFiles.h"

#include <algorithm>
#include <array>
#include <string>
#include <utility>

namespace tramazel::centre_import {

namespace fs = std::filesystem;

namespace {

// Position among the tables the import writes; other names after them.
std::size_t importRank(std::string_view table)
{
    return static_cast<std::size_t>(
        std::find(kImportTables.begin(), kImportTables.end(), table) - kImportTables.begin());
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

void CentreImport::setIo(const platform::IoHooks* io)
{
    m_io = io;
}

void CentreImport::setKeepLevels(bool keep)
{
    m_keepLevels = keep;
}

void CentreImport::setDryRun(bool dryRun)
{
    m_dryRun = dryRun;
}

std::vector<TableWritten> CentreImport::run(
    const xml::XmlDocument& doc, ImportPrompts& prompts, Warnings& warnings)
{
    m_review = ImportReview {};
    // The run lists each folder once; its own changes keep the names up to date.
    dbf::FolderListingScope listingScope;
    TableTransaction transaction(m_qtempDir, m_io);
    // Finishing an interrupted run would change the directory a dry run promises to
    // leave alone.
    transaction.begin(
        kImportTables, m_dryRun ? TableTransaction::Leftovers::Refuse : TableTransaction::Leftovers::Resolve);
    std::vector<TableWritten> written;
    bool replace = true;
    try {
        const std::vector<std::string> tables = runBuilders(transaction, doc, prompts, warnings);
        written = verifyStaged(transaction, tables);
        m_review = ImportReview::compare(m_qtempDir, transaction.stagingDir(), tables, m_io);
        noteEmptiedTables(warnings);
        m_review.setWarnings(warnings);
        if (m_dryRun) {
            transaction.discard();
        } else {
            replace = prompts.confirmReplacement(m_review);
            if (replace)
                transaction.commit();
            else
                transaction.discard();
        }
    } catch (...) {
        transaction.rollBackAndRethrow();
    }
    if (!replace)
        throw Error(
            ErrorCode::Cancelled, "Importación cancelada: las tablas de Zelvano no se han modificado");
    return written;
}

// Runs the builders into the staging folder; returns the tables in the order they
// were written.
std::vector<std::string> CentreImport::runBuilders(
    TableTransaction& transaction, const xml::XmlDocument& doc, ImportPrompts& prompts, Warnings& warnings)
{
    // Read before anything replaces the table; the builders write elsewhere.
    CourseLevelsByCode previousLevels;
    if (m_keepLevels)
        previousLevels = readPreviousCourseLevels(m_qtempDir);

    const fs::path& staging = transaction.stagingDir();
    m_notes = ImportNotes {};
    ImportContext ctx { doc, staging, prompts, warnings, &m_notes, m_keepLevels ? &previousLevels : nullptr };
    std::vector<std::string> order;
    for (const BuilderStep& step : m_builders) {
        transaction.step(std::string("builder:") + step.name);
        step.run(ctx);
        // A step may write files by other means than the engine: look afresh.
        dbf::forgetFolderListing(staging);
        std::vector<std::string> fresh;
        for (std::string& table : transaction.stagedTables()) {
            if (std::find(order.begin(), order.end(), table) == order.end())
                fresh.push_back(std::move(table));
        }
        // A builder that writes several tables writes them in the usual order.
        std::stable_sort(fresh.begin(), fresh.end(),
            [](const std::string& a, const std::string& b) { return importRank(a) < importRank(b); });
        order.insert(order.end(), fresh.begin(), fresh.end());
    }
    return order;
}

// A staged table the engine cannot open never replaces a good one.
std::vector<TableWritten> CentreImport::verifyStaged(
    TableTransaction& transaction, const std::vector<std::string>& tables)
{
    std::vector<TableWritten> written;
    for (const std::string& table : tables) {
        transaction.step("verify:" + table);
        dbf::DbfTable staged
            = dbf::DbfTable::open(transaction.stagingDir(), table, dbf::Access::Shared, m_io);
        written.push_back({ table, staged.recordCount() });
    }
    return written;
}

// A centre file that brings none of a kind (an empty <CENTRE/>, a file exported
// without its teachers) empties tables that may hold a school's data: said, table
// by table. ASIGT depends on the user's answer and DIASHORAST is always new and
// empty, so only the tables made from the centre file's elements count.
void CentreImport::noteEmptiedTables(Warnings& warnings) const
{
    for (const std::string& table : m_review.emptiedTables())
        warnings.add(warning::kEmptiedTable, table);
}

} // namespace tramazel::centre_import
