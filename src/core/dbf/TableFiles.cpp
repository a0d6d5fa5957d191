// SPDX-License-Identifier: GPL-3.0-or-later
#include "TableFiles.h"

#include "DbfFormat.h"
#include "platform/Platform.h"
#include "text/Ascii.h"
#include "text/PathText.h"

#include <algorithm>
#include <map>
#include <system_error>

namespace tramazel::dbf {

namespace fs = std::filesystem;

namespace {

struct ListingCache {
    int depth = 0;
    std::map<fs::path, std::vector<FolderEntry>> folders;
};

ListingCache& listingCache()
{
    thread_local ListingCache cache;
    return cache;
}

// The same folder spelled "q" or "q/" is one key: the parent of a name inside it,
// which is also how a file's path leads back to its folder.
fs::path folderKey(const fs::path& dir)
{
    return (dir / "x").parent_path();
}

void listFolder(const fs::path& dir, std::vector<FolderEntry>& entries, std::error_code& ec)
{
    entries.clear();
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        std::error_code typeEc;
        entries.push_back({ text::pathToUtf8(it->path().filename()), it->is_regular_file(typeEc) });
    }
}

} // namespace

const std::vector<FolderEntry>& folderEntries(
    const fs::path& dir, std::vector<FolderEntry>& storage, std::error_code& ec)
{
    ec.clear();
    ListingCache& cache = listingCache();
    if (cache.depth == 0) {
        listFolder(dir, storage, ec);
        return storage;
    }
    fs::path key = folderKey(dir);
    if (const auto it = cache.folders.find(key); it != cache.folders.end())
        return it->second;
    listFolder(dir, storage, ec);
    if (ec)
        return storage;
    return cache.folders.emplace(std::move(key), std::move(storage)).first->second;
}

FolderListingScope::FolderListingScope()
{
    ++listingCache().depth;
}

FolderListingScope::~FolderListingScope()
{
    ListingCache& cache = listingCache();
    if (--cache.depth == 0)
        cache.folders.clear();
}

void forgetFolderListing(const fs::path& dir) noexcept
{
    ListingCache& cache = listingCache();
    if (cache.depth > 0)
        cache.folders.erase(folderKey(dir));
}

namespace {

// Applies `change` to the listing kept for the folder of `file`, if one is kept, with
// the file's name; a listing that cannot be brought up to date is dropped.
template <typename Change> void changeListing(const fs::path& file, Change change) noexcept
{
    ListingCache& cache = listingCache();
    if (cache.depth == 0)
        return;
    const auto it = cache.folders.find(file.parent_path());
    if (it == cache.folders.end())
        return;
    try {
        change(it->second, text::pathToUtf8(file.filename()));
    } catch (...) {
        cache.folders.erase(it);
    }
}

} // namespace

void noteFileCreated(const fs::path& file) noexcept
{
    changeListing(file, [](std::vector<FolderEntry>& entries, const std::string& name) {
        const auto same = std::find_if(
            entries.begin(), entries.end(), [&](const FolderEntry& e) { return e.name == name; });
        if (same == entries.end())
            entries.push_back({ name, true });
        else
            same->regularFile = true;
    });
}

void noteFileRemoved(const fs::path& file) noexcept
{
    changeListing(file, [](std::vector<FolderEntry>& entries, const std::string& name) {
        std::erase_if(entries, [&](const FolderEntry& e) { return e.name == name; });
    });
}

std::string tableBaseName(std::string_view name)
{
    if (name.size() > kDbfExtension.size()
        && text::equalsIgnoringAsciiCase(name.substr(name.size() - kDbfExtension.size()), kDbfExtension))
        name.remove_suffix(kDbfExtension.size());
    return text::toAsciiUpper(name);
}

std::vector<fs::path> tableFileVariants(
    const fs::path& dir, std::string_view base, std::string_view extension)
{
    std::vector<fs::path> found;
    std::string wanted = std::string(base) + std::string(extension);
    std::error_code ec;
    std::vector<FolderEntry> storage;
    for (const FolderEntry& entry : folderEntries(dir, storage, ec)) {
        if (text::equalsIgnoringAsciiCase(entry.name, wanted))
            found.push_back(dir / text::pathFromUtf8(entry.name));
    }
    return found;
}

std::optional<fs::path> findTableFile(const fs::path& dir, std::string_view base, std::string_view extension)
{
    std::string exact = text::toAsciiUpper(base) + text::toAsciiUpper(extension);
    std::error_code ec;
    if (fs::is_regular_file(dir / text::pathFromUtf8(exact), ec))
        return dir / text::pathFromUtf8(exact);
    auto variants = tableFileVariants(dir, base, extension);
    // Directory order is arbitrary; pick the same variant every time.
    std::optional<fs::path> best;
    for (auto& p : variants) {
        if (!fs::is_regular_file(p, ec))
            continue;
        if (!best || p.filename() < best->filename())
            best = p;
    }
    return best;
}

void deleteTable(const fs::path& dir, std::string_view name) noexcept
{
    try {
        std::string base = tableBaseName(name);
        bool inUse = false;
        for (auto& table : tableFileVariants(dir, base, kDbfExtension)) {
            // A table held open by another handle is left alone, index included (the
            // file systems of the tables' original home refuse to delete an open
            // file); create() then reports it as locked instead of pulling it from
            // under its reader.
            bool locked = false;
            try {
                locked = platform::FileLock::tryLock(table, platform::FileLock::Mode::Exclusive) == nullptr;
            } catch (const std::exception&) {
                // Not lockable (unreadable, vanished): try to delete it anyway.
            }
            if (locked) {
                inUse = true;
                continue;
            }
            std::error_code ec;
            if (fs::remove(table, ec))
                noteFileRemoved(table);
            else if (ec)
                forgetFolderListing(dir);
        }
        if (inUse)
            return;
        for (auto& index : tableFileVariants(dir, base, kMdxExtension)) {
            std::error_code ec;
            if (fs::remove(index, ec))
                noteFileRemoved(index);
            else if (ec)
                forgetFolderListing(dir);
        }
    } catch (...) {
        // Deleting is best effort by contract.
    }
}

} // namespace tramazel::dbf
