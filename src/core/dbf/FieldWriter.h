// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CodePage.h"
#include "FieldCodec.h"
#include "TableLayout.h"

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <filesystem>
#include <string_view>

// Storing values into the bytes of one field, shared by a handle's current record
// and by RecordImage so that both store exactly the same bytes and report the same
// errors. Internal to the dbf folder.
namespace tramazel::dbf::detail {

/// A field as the writers need it: how its bytes hold a value, and the table the
/// errors name.
struct FieldTarget {
    const std::filesystem::path& table;
    const FieldInfo& field;
    codec::Encoding encoding;
    CodePage codePage;
};

/// Stores `value` in a text field of `width` bytes as its bytes are: its first
/// characters, padded with blanks (no code page conversion).
inline void storeText(char* out, std::size_t width, std::string_view value) noexcept
{
    const std::size_t n = std::min(value.size(), width);
    if (n != 0) // an empty string_view may carry a null pointer
        std::memcpy(out, value.data(), n);
    std::memset(out + n, ' ', width - n);
}

/// `bytes` of a text field as read: without the trailing blanks and NULs that pad it.
inline std::string_view trimmedText(const char* bytes, std::size_t width) noexcept
{
    return trimmedStoredText(bytes, width);
}

/// True when `encoding` in `codePage` stores a text as its very bytes.
inline bool plainText(codec::Encoding encoding, CodePage codePage) noexcept
{
    return encoding == codec::Encoding::Text && codePage == CodePage::Windows1252;
}

/// The writers behind DbfTable::setText, setInteger, setNumber and setLogical: `out`
/// holds the field's bytes. Same rules, same errors.
void writeText(const FieldTarget& target, char* out, std::string_view value);
void writeInteger(const FieldTarget& target, char* out, std::int64_t value);
void writeNumber(const FieldTarget& target, char* out, double value);
void writeLogical(const FieldTarget& target, char* out, bool value);

} // namespace tramazel::dbf::detail
