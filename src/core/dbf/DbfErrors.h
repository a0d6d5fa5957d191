// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Error.h"

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>

/// Every error the table engine reports, with its Spanish message for the user and
/// technical detail. `table` is the .DBF file (its name appears in the message),
/// `index` the .MDX file, `base` a table's upper-case name without extension.
namespace tramazel::dbf {

struct FieldInfo;

namespace errors {

// Reading a table file.
/// TableCorrupt: the file is not a table this engine can make sense of. `reason` says
/// what is wrong, in Spanish, for the message; `detail` the same for the technical detail.
Error tableCorrupt(const std::filesystem::path& table, const std::string& reason, const std::string& detail);
/// TableCorrupt: fewer bytes than the header promises at byte `offset`.
Error tableCutShort(const std::filesystem::path& table, std::uint64_t offset);
/// TableUnsupported: a version byte of a variant that cannot be read.
Error unsupportedVersion(const std::filesystem::path& table, std::uint8_t version);
/// TableUnsupported: a field type letter that cannot be read.
Error unsupportedFieldType(const std::filesystem::path& table, const FieldInfo& field);
/// FileIo.
Error tableUnreadable(const std::filesystem::path& table);
/// FileIo.
Error tableUnwritable(const std::filesystem::path& table);

// Values. `record` is 1-based.
/// TableCorrupt: a numeric field whose bytes are not a number.
Error badStoredValue(const std::filesystem::path& table, std::uint32_t record, const FieldInfo& field,
    std::string_view stored);
/// ValueOutOfRange: a character field read as a number does not hold one.
Error notANumber(
    const std::filesystem::path& table, std::uint32_t record, const FieldInfo& field, std::string_view shown);
/// ValueOutOfRange: a number beyond the range of a 64-bit integer.
Error numberTooLarge(
    const std::filesystem::path& table, std::uint32_t record, const FieldInfo& field, std::string_view shown);
/// ValueOutOfRange: a value that does not fit the field.
Error doesNotFit(const std::filesystem::path& table, const FieldInfo& field, std::string_view value);
/// InvalidArgument: a value of a kind the field cannot hold (`operation` names the call).
Error wrongKind(const std::filesystem::path& table, const FieldInfo& field, std::string_view operation);
/// TableUnsupported: a field type the engine reads but does not write.
Error unsupportedWrite(const std::filesystem::path& table, const FieldInfo& field);

// Using a handle.
/// InvalidArgument: an operation on a closed (or moved-from) handle.
Error tableClosed();
/// InvalidArgument: a setter or post() with no record started.
Error notEditing(const std::filesystem::path& table);
/// InvalidArgument: edit() at the end of the table.
Error noCurrentRecord(const std::filesystem::path& table);
/// FieldNotFound, by name.
Error fieldNotFound(const std::filesystem::path& table, std::string_view name);
/// FieldNotFound, by a position beyond the last field.
Error fieldIndexOutOfRange(const std::filesystem::path& table, std::size_t field);
/// FileIo: a change to a table opened read-only.
Error readOnly(const std::filesystem::path& table);
/// TableUnsupported: a change to a table whose production index cannot be kept up.
Error indexNotMaintainable(const std::filesystem::path& table, const std::string& detail);
/// ValueOutOfRange: an append beyond the largest record count.
Error tableFull(const std::filesystem::path& table);
/// InvalidArgument: bytes given as whole records that are not a whole number of them.
Error notWholeRecords(const std::filesystem::path& table, std::size_t size, std::size_t recordLength);

// Opening and creating.
/// InvalidArgument: `name` cannot name a table file.
Error invalidTableName(std::string_view name);
/// FileNotFound.
Error tableNotFound(const std::filesystem::path& dir, const std::string& base);
/// TableLocked, when opening.
Error tableInUse(const std::string& base, const std::filesystem::path& table, bool exclusiveWanted);
/// InvalidArgument: a definition create() refuses.
Error invalidDefinition(const std::string& base, const std::string& detail);
/// FileNotFound: the folder to create the table in does not exist.
Error folderMissing(const std::string& base, const std::filesystem::path& dir);
/// TableLocked, when creating over a table in use.
Error createOverTableInUse(const std::string& base, const std::filesystem::path& table);
/// FileIo: an old file of the table could not be removed.
Error cannotReplace(
    const std::string& base, const std::filesystem::path& dir, const std::filesystem::path& leftover);
/// FileIo: the new table file could not be made.
Error cannotCreate(
    const std::string& base, const std::filesystem::path& dir, const std::filesystem::path& table);

// Index files.
/// TableCorrupt. `reason` says what is wrong, in Spanish; `detail` for the technical detail.
Error indexCorrupt(const std::filesystem::path& index, const std::string& reason, const std::string& detail);
/// FileIo.
Error indexUnreadable(const std::filesystem::path& index);
/// FileIo.
Error indexUnwritable(const std::filesystem::path& index);
/// FileIo: the index file could not be made.
Error indexCannotCreate(const std::filesystem::path& index);

} // namespace errors
} // namespace tramazel::dbf
