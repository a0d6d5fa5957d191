// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Warnings.h"
#include "centre_import/Builders.h"
#include "centre_import/ImportContext.h"
#include "centre_import/ImportReview.h"
#include "centre_import/TableTransaction.h"

#include <array>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tramazel::xml {
class XmlDocument;
}

namespace tramazel::platform {
struct IoHooks;
}

namespace tramazel::centre_import {

/// The tables the centre import writes, in the order the builders write them.
inline constexpr std::array<std::string_view, 8> kImportTables
    = { "ASIGNOMT", "PROFT", "AULAT", "CURSOST", "GRUPOST", "MATIB", "ASIGT", "DIASHORAST" };

/// One table the run put in place.
struct TableWritten {
    std::string name; ///< upper-case table name, e.g. "ASIGNOMT"
    std::uint32_t records = 0;
};

/// The centre import as one all-or-nothing run: the builders write into the staging
/// folder of a TableTransaction; only when all of them completed and every table they
/// wrote opens is the transaction committed, and whatever fails rolls it back.
class CentreImport {
public:
    explicit CentreImport(std::filesystem::path qtempDir);

    /// The builders to run (default: builderSequence()).
    void setBuilders(std::span<const BuilderStep> builders);
    /// The I/O hooks of the run (default: none, the system's calls); they must outlive
    /// run(). The step hook hears "builder:NAME" before each builder, "verify:TABLE"
    /// before each table written is checked, and the transaction's steps.
    void setIo(const platform::IoHooks* io);
    /// Whether the course-level grid starts from the levels the timetable directory's
    /// CURSOST has (default: no, it starts blank).
    void setKeepLevels(bool keep);
    /// A dry run builds and checks every table in the staging folder as a real run
    /// does, then throws the staging folder away: the timetable directory is left
    /// byte for byte as it was. It finishes no interrupted run either: leftovers of
    /// one stop it with ErrorCode::TableLocked.
    void setDryRun(bool dryRun);

    /// Finishes or rolls back an interrupted run (TableTransaction::recover), runs the
    /// builders over `doc`, compares the new tables with the directory's (review())
    /// and, once `prompts` confirm the replacement (a dry run asks nothing), replaces
    /// the tables. Returns the tables put in place, in the order they were written.
    /// Throws Error; afterwards the timetable directory is exactly as it was.
    /// ErrorCode::TableLocked when a table to replace is held by another program, or
    /// another run is in progress; Cancelled when the replacement was declined.
    std::vector<TableWritten> run(const xml::XmlDocument& doc, ImportPrompts& prompts, Warnings& warnings);

    /// What the builders of the last run() reported besides tables and warnings.
    const ImportNotes& notes() const noexcept { return m_notes; }
    /// What the last run() changed, or would have changed, in the tables.
    const ImportReview& review() const noexcept { return m_review; }

private:
    std::vector<std::string> runBuilders(TableTransaction& transaction, const xml::XmlDocument& doc,
        ImportPrompts& prompts, Warnings& warnings);
    std::vector<TableWritten> verifyStaged(
        TableTransaction& transaction, const std::vector<std::string>& tables);
    void noteEmptiedTables(Warnings& warnings) const;

    std::filesystem::path m_qtempDir;
    std::span<const BuilderStep> m_builders;
    const platform::IoHooks* m_io = nullptr;
    bool m_keepLevels = false;
    bool m_dryRun = false;
    ImportNotes m_notes;
    ImportReview m_review;
};

} // namespace tramazel::centre_import
