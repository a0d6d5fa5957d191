// SPDX-License-Identifier: GPL-3.0-or-later
#include "TableFiles.h"

#include "DbfFormat.h"
#include "platform/Platform.h"
#include "text/Ascii.h"
#include "text/PathText.h"

#include <system_error>

namespace tramazel::dbf {

namespace fs = std::filesystem;

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
    for (fs::directory_iterator it(dir, ec), end; !ec && it != end; it.increment(ec)) {
        if (text::equalsIgnoringAsciiCase(text::pathToUtf8(it->path().filename()), wanted))
            found.push_back(it->path());
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
            fs::remove(table, ec);
        }
        if (inUse)
            return;
        for (auto& index : tableFileVariants(dir, base, kMdxExtension)) {
            std::error_code ec;
            fs::remove(index, ec);
        }
    } catch (...) {
        // Deleting is best effort by contract.
    }
}

} // namespace tramazel::dbf
