// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DbfFormat.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tramazel::platform {
struct IoHooks;
}

/// The dBASE IV multiple index file (.MDX) of a table: every tag's B-tree is built
/// from scratch from the keys of all records, deleted ones included.
namespace tramazel::dbf {

/// One tag with the keys of every record of the table.
struct MdxTagKeys {
    std::string name; ///< tag name, at most 10 characters
    std::string expression; ///< the indexed field's name
    std::size_t keyLength = 0; ///< the field's width
    /// Record r's key (1-based r) at bytes [(r-1)·keyLength, r·keyLength).
    std::string keys;
};

/// A tag as described by an existing index file.
struct MdxTagInfo {
    std::string name;
    std::string expression;
    char keyType = kTypeCharacter;
    std::size_t keyLength = 0;
};

class MdxFile {
public:
    /// Writes `file` holding `tags` for the table `tableName` (base name, upper case)
    /// whose language driver byte is `languageDriver`. Keys are ordered by their bytes,
    /// equal keys by record number. Throws Error(FileIo). The file is written through
    /// `io` when given.
    static void write(const std::filesystem::path& file, std::string_view tableName,
        std::uint8_t languageDriver, const std::vector<MdxTagKeys>& tags,
        const platform::IoHooks* io = nullptr);

    /// The tags of an existing dBASE IV index file. Throws Error(TableCorrupt) when the
    /// file is not one, Error(FileIo) when it cannot be read. Read through `io` when given.
    static std::vector<MdxTagInfo> readTags(
        const std::filesystem::path& file, const platform::IoHooks* io = nullptr);

    /// Item length of a node entry for a key of `keyLength` bytes: the record or page
    /// pointer plus the key, rounded up to a multiple of 4.
    static std::size_t itemLength(std::size_t keyLength) { return (4 + keyLength + 3) / 4 * 4; }
    /// Most keys one node holds.
    static std::size_t maxKeysPerNode(std::size_t keyLength);
};

} // namespace tramazel::dbf
