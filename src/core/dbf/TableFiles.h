// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>
#include <system_error>
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

/// One entry of a folder, as a listing found it.
struct FolderEntry {
    std::string name; ///< the file name (UTF-8)
    bool regularFile = false;
};

/// The entries of `dir`, in no particular order: those the current FolderListingScope
/// remembers, else a listing made into `storage`. Valid until the folder or the scope
/// changes. `ec` reports a folder that cannot be listed (the entries read before the
/// failure are returned).
const std::vector<FolderEntry>& folderEntries(
    const std::filesystem::path& dir, std::vector<FolderEntry>& storage, std::error_code& ec);

/// While one is alive on a thread, the engine lists each folder once and remembers
/// its names, instead of listing it again for every table it opens or creates there.
/// The engine's own creates and deletions keep the names up to date; whoever changes
/// a folder by other means calls forgetFolderListing(). Files that other programs add
/// or remove meanwhile may go unseen, so a scope covers one run, never longer.
/// Scopes nest; the names are dropped when the outermost one ends.
class FolderListingScope {
public:
    FolderListingScope();
    ~FolderListingScope();
    FolderListingScope(const FolderListingScope&) = delete;
    FolderListingScope& operator=(const FolderListingScope&) = delete;
};

/// Drops what the current scope remembers of `dir`: the next look lists it again.
void forgetFolderListing(const std::filesystem::path& dir) noexcept;
/// Tells the current scope that the engine created (or removed) the file `file`.
void noteFileCreated(const std::filesystem::path& file) noexcept;
void noteFileRemoved(const std::filesystem::path& file) noexcept;

/// Deletes the table's .DBF and .MDX files, every letter-case variant, if present.
/// Failures to delete are ignored, as the builders expect (create reports them).
void deleteTable(const std::filesystem::path& dir, std::string_view name) noexcept;

} // namespace tramazel::dbf
