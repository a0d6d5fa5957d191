// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <ostream>
#include <string_view>

namespace tramazel::dbf {
class DbfTable;
}

namespace tramazel::platform {
struct IoHooks;
}

namespace tramazel::cli {

/// Writes the live records of `table` as UTF-8 text: the field names as a header,
/// then one record per line. Aligned columns (numbers to the right), or CSV (comma
/// separated, quoted where needed) when `csv` is set.
void printTable(dbf::DbfTable& table, std::ostream& out, bool csv);

/// The `show` command: prints the table `name` of the timetable directory `qtempDir`
/// as printTable() does, holding the directory for reading
/// (centre_import::TableTransaction::lockForReading): a table half way through an
/// interrupted import is never shown, and while an import runs the command is
/// refused (TableLocked). Reads through `io` when given. Throws Error.
void showTable(const std::filesystem::path& qtempDir, std::string_view name, std::ostream& out, bool csv,
    const platform::IoHooks* io = nullptr);

} // namespace tramazel::cli
