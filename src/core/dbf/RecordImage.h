// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <string_view>
#include <vector>

namespace tramazel::dbf {

class DbfTable;

/// One record of a table put together apart from the handle, to be stored whole
/// with DbfTable::appendRecord or, with others, DbfTable::appendRecords. For writers
/// of many records that fill most fields once and change a few per record: the set*
/// functions store values exactly as the handle's do (cut, padded, converted to the
/// table's code page), with the same errors, and may be called again on any field.
/// The image keeps the table's layout, not the handle: it outlives a closed table.
class RecordImage {
public:
    /// A live record of `table` (open) with every field blank. Throws InvalidArgument
    /// when the handle is closed.
    explicit RecordImage(const DbfTable& table);

    /// As DbfTable::setText and the others; FieldNotFound for a field beyond the last.
    void setText(std::size_t field, std::string_view value);
    void setInteger(std::size_t field, std::int64_t value);
    void setNumber(std::size_t field, double value);
    void setLogical(std::size_t field, bool value);
    void setBlank(std::size_t field);

    /// The bytes of `field` as the table will hold them.
    std::string_view field(std::size_t field) const;
    /// Where `field`'s bytes start in bytes() (the deleted flag is byte 0).
    std::size_t fieldOffset(std::size_t field) const;
    /// The whole record, deleted flag first: DbfTable::recordLength() bytes.
    std::string_view bytes() const noexcept { return { m_bytes.data(), m_bytes.size() }; }

private:
    struct Layout;
    const Layout& checked(std::size_t field) const;

    std::shared_ptr<const Layout> m_layout;
    std::vector<char> m_bytes;
};

} // namespace tramazel::dbf
