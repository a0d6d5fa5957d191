// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <optional>
#include <string_view>
#include <vector>

/// Finding and deleting the files of a table. Zelvano may run under a compatibility
/// layer that writes lower-case names, so a table's files are found without regard
/// to letter case: ASIGNOMT.DBF, asignomt.dbf and Asignomt.Dbf are the same table.
namespace tramazel::dbf {

/// The table's name without a ".DBF" extension (any case), upper-cased (ASCII).
std::string tableBaseName(std::string_view name);

/// The existing file `base` + `extension` in `dir` (extension like ".DBF"), matched
/// without regard to ASCII letter case; the exact upper-case name is preferred.
std::optional<std::filesystem::path> findTableFile(
    const std::filesystem::path& dir, std::string_view base, std::string_view extension);

/// Every file in `dir` whose name equals `base` + `extension` ignoring ASCII case.
std::vector<std::filesystem::path> tableFileVariants(
    const std::filesystem::path& dir, std::string_view base, std::string_view extension);

/// Deletes the table's .DBF and .MDX files, every letter-case variant, if present.
/// Failures to delete are ignored, as the builders expect (create reports them).
void deleteTable(const std::filesystem::path& dir, std::string_view name) noexcept;

} // namespace tramazel::dbf
