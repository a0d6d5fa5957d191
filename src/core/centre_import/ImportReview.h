// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Warnings.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <span>
#include <string>
#include <vector>

namespace tramazel::platform {
struct IoHooks;
}

namespace tramazel::centre_import {

/// What putting an import's new tables in place of the timetable directory's would
/// change, table by table: records added, removed and changed, matched by each
/// table's code, with the names of the first few. Built once the new tables are
/// staged and verified, before they replace anything; the person reviews it, the
/// command line prints it. Names and texts are UTF-8.
class ImportReview {
public:
    /// Names kept for each of a table's lists (added, removed, changed).
    static constexpr std::size_t kExamplesPerList = 3;

    struct TableChanges {
        std::string table; ///< upper-case name, e.g. "PROFT"
        std::string key; ///< the fields records are matched by, e.g. "CODI", "CASIG y CGRUP"
        bool existed = false; ///< the directory held a table of this name
        bool unreadable = false; ///< it held one the engine cannot read: replaced whole, not compared
        std::uint32_t before = 0; ///< live records of the directory's table
        std::uint32_t after = 0; ///< records of the new table
        std::size_t added = 0;
        std::size_t removed = 0;
        std::size_t changed = 0; ///< same code, some field of the new layout differs
        std::vector<std::string> addedNames; ///< the first kExamplesPerList of each
        std::vector<std::string> removedNames;
        std::vector<std::string> changedNames;

        bool unchanged() const noexcept { return existed && !unreadable && added + removed + changed == 0; }
    };

    /// Compares each table of `tables` (upper-case names) staged in `stagingDir` with the table of the
    /// same name in `liveDir` (absent or unreadable ones are noted as such), reading
    /// each file once (a directory's table with records removed is skimmed again up to
    /// the last one named). Files are read through `io` when given. Throws Error when a
    /// staged table cannot be read.
    static ImportReview compare(const std::filesystem::path& liveDir, const std::filesystem::path& stagingDir,
        std::span<const std::string> tables, const platform::IoHooks* io = nullptr);

    const std::vector<TableChanges>& tables() const noexcept { return m_tables; }
    /// The warnings of the run, shown with the changes.
    const Warnings& warnings() const noexcept { return m_warnings; }
    void setWarnings(const Warnings& warnings) { m_warnings = warnings; }

    /// None of the tables existed yet: there is nothing to compare, only counts.
    bool firstImport() const noexcept;
    /// Tables made from the centre file's elements that hold records and would be
    /// left empty (an empty <CENTRE/>): "PROFT (80 registros)". A replacement that
    /// empties one is always put to the person.
    std::vector<std::string> emptiedTables() const;

    /// One line per table: "PROFT (por CODI): 3 nuevos, 1 quitado, 2 cambiados; 80 → 82
    /// registros", "DIASHORAST: tabla nueva, 0 registros", … (counts only on a first import).
    std::vector<std::string> lines() const;
    /// The lines with, under each table, the names of the first records added,
    /// removed and changed ("  nuevos: Ana Pons, Joan Mas, …"): what the command line
    /// prints after the table counts.
    std::vector<std::string> detailedLines() const;

private:
    std::vector<TableChanges> m_tables;
    Warnings m_warnings;
};

} // namespace tramazel::centre_import
