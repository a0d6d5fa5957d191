// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <ostream>

namespace tramazel::dbf {
class DbfTable;
}

namespace tramazel::cli {

/// Writes the live records of `table` as UTF-8 text: the field names as a header,
/// then one record per line. Aligned columns (numbers to the right), or CSV (comma
/// separated, quoted where needed) when `csv` is set.
void printTable(dbf::DbfTable& table, std::ostream& out, bool csv);

} // namespace tramazel::cli
