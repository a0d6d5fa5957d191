// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "MdxFile.h"
#include "TableLayout.h"

#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

namespace tramazel::platform {
struct IoHooks;
}

/// The upkeep of a table's production index (.MDX): which fields carry tags and,
/// once the table is changed, every record's keys, from which the index file is
/// built again on closing. Tags on expressions other than one character field are
/// not kept up: a table that has them refuses changes.
namespace tramazel::dbf {

class BlockFile;
class DbfHeader;

class ProductionIndex {
public:
    /// No index.
    ProductionIndex() = default;

    /// The tags of a new table `base` in `dir` with `fields`; ready for keys. Throws
    /// InvalidArgument when a tag is not on a character field, or named twice. The
    /// index file is read and written through `io` when given (as the table's file).
    static ProductionIndex define(const std::filesystem::path& dir, const std::string& base,
        const std::vector<FieldInfo>& fields, const std::vector<IndexSpec>& indexes,
        const platform::IoHooks* io = nullptr);

    /// The index of an opened table whose header does (`announced`) or does not
    /// announce one; `file` is the .MDX found beside the table. Nothing is read
    /// until prepareForChanges(). `io` as for define().
    static ProductionIndex attach(
        bool announced, std::optional<std::filesystem::path> file, const platform::IoHooks* io = nullptr);

    /// True when there are tags to keep up.
    bool hasTags() const noexcept { return !m_tags.empty(); }
    /// The fields that carry a tag, in the order of the tags.
    const std::vector<std::size_t>& indexedFields() const noexcept { return m_tagFields; }
    /// The index file (where it is, or where a new one goes).
    const std::optional<std::filesystem::path>& file() const noexcept { return m_file; }

    /// Before the first change to the opened table `table`: reads the tags from the
    /// index file and every record's keys from `records`. Does nothing after the
    /// first call, or when there is no index. Throws TableUnsupported when the index
    /// cannot be kept up (missing file, level 7, expressions), TableCorrupt or FileIo.
    void prepareForChanges(const DbfHeader& header, BlockFile& records, const std::filesystem::path& table);

    /// The keys of a record stored at the end (`record` with its deleted flag).
    void recordAppended(const std::vector<FieldInfo>& fields, const char* record);
    /// The keys of record `index` (0-based), changed in place.
    void recordChanged(const std::vector<FieldInfo>& fields, std::uint32_t index, const char* record);

    /// Writes the index file for the table `base` with `languageDriver`. Throws
    /// FileIo; a file that could not be written whole is removed.
    void write(const std::string& base, std::uint8_t languageDriver) const;
    /// Removes the index file, ignoring failures: a stale index must not stay beside
    /// a table it no longer describes.
    void removeFile() const noexcept;

private:
    const platform::IoHooks* m_io = nullptr;
    bool m_ready = false;
    bool m_announced = false;
    std::optional<std::filesystem::path> m_file;
    std::vector<MdxTagKeys> m_tags;
    std::vector<std::size_t> m_tagFields;
};

} // namespace tramazel::dbf
