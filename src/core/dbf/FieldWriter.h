// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CodePage.h"
#include "DbfTable.h"
#include "FieldCodec.h"

#include <cstdint>
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

/// The writers behind DbfTable::setText, setInteger, setNumber and setLogical: `out`
/// holds the field's bytes. Same rules, same errors.
void writeText(const FieldTarget& target, char* out, std::string_view value);
void writeInteger(const FieldTarget& target, char* out, std::int64_t value);
void writeNumber(const FieldTarget& target, char* out, double value);
void writeLogical(const FieldTarget& target, char* out, bool value);

} // namespace tramazel::dbf::detail
