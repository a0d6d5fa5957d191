// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "DbfFormat.h"

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

/// The layout of a table's records as every part of the engine sees it: the fields
/// asked for when creating a table, the fields found in a table file, and where a
/// field's bytes lie in a record.
namespace tramazel::dbf {

/// The bytes of a text field as read: without the trailing blanks and NULs that pad it.
inline std::string_view trimmedStoredText(const char* bytes, std::size_t width) noexcept
{
    // Most of a short code's field is blanks: skip them eight at a time.
    constexpr std::uint64_t kBlanks = 0x2020202020202020u;
    std::uint64_t word = 0;
    while (width >= 8 && (std::memcpy(&word, bytes + width - 8, 8), word == kBlanks))
        width -= 8;
    while (width > 0 && (bytes[width - 1] == ' ' || bytes[width - 1] == '\0'))
        --width;
    return { bytes, width };
}

/// One field's place in a record's bytes (as DbfTable::skimTo's test sees them).
struct StoredField {
    std::size_t offset = 0; ///< from the record's first byte, its deletion flag
    std::size_t width = 0;
    /// The field's bytes in `record`, without the trailing blanks and NULs that pad them.
    std::string_view text(const char* record) const noexcept
    {
        return trimmedStoredText(record + offset, width);
    }
};

/// The field kinds the converter creates.
enum class FieldKind {
    Character, ///< `C`, width 1..100
    Integer, ///< stored as N(11,0)
    Float, ///< stored as N(20,4)
    Logical, ///< `L`
};

struct FieldSpec {
    std::string name; ///< upper case, at most 10 ASCII characters
    FieldKind kind = FieldKind::Character;
    int width = 0; ///< Character only; ignored for the other kinds
};

struct IndexSpec {
    std::string tag; ///< tag name, at most 10 characters
    std::string field; ///< a Character field of the table
};

/// One field as found in a table file (any variant the reader accepts).
struct FieldInfo {
    std::string name;
    char type = kTypeCharacter; ///< the type letter as stored (the kType… names of DbfFormat.h)
    int width = 0;
    int decimals = 0;
    std::size_t offset = 0; ///< from the start of the record, after the deleted flag
};

} // namespace tramazel::dbf
