// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <ctime>
#include <filesystem>
#include <string>
#include <string_view>

/// Byte-level facts of dBASE tables (.DBF) and dBASE IV production indexes (.MDX),
/// shared by the engine's reader and writers. Outside the dbf folder only the field
/// type letters are meant for use (to interpret FieldInfo::type).
namespace tramazel::dbf {

inline constexpr std::string_view kDbfExtension = ".DBF";
inline constexpr std::string_view kMdxExtension = ".MDX";

// Version byte (DBF offset 0).
inline constexpr std::uint8_t kVersionDbase = 0x03; ///< dBASE III/IV/5, no memo
inline constexpr std::uint8_t kVersionDbase3Memo = 0x83;
inline constexpr std::uint8_t kVersionDbase4Memo = 0x8B;
inline constexpr std::uint8_t kVersionLevel7 = 0x04;
inline constexpr std::uint8_t kVersionLevel7Memo = 0x8C;
inline constexpr std::uint8_t kVersionVisualFoxPro = 0x30;
inline constexpr std::uint8_t kVersionVisualFoxProAutoinc = 0x31;
inline constexpr std::uint8_t kVersionFoxProMemo = 0xF5;

/// Windows ANSI (cp1252) language driver with byte-order collation.
inline constexpr std::uint8_t kLanguageDriverWindowsAnsi = 0x57;

// Field type letters (descriptor byte 11; byte 32 at level 7).
inline constexpr char kTypeCharacter = 'C';
inline constexpr char kTypeNumeric = 'N'; ///< ASCII number, right-aligned
inline constexpr char kTypeFloat = 'F'; ///< dBASE IV float, stored exactly like N
inline constexpr char kTypeLogical = 'L';
inline constexpr char kTypeDate = 'D'; ///< YYYYMMDD
inline constexpr char kTypeMemo = 'M';
inline constexpr char kTypeGeneral = 'G'; ///< OLE object memo
inline constexpr char kTypePicture = 'P'; ///< FoxPro picture memo
inline constexpr char kTypeLong = 'I'; ///< 4-byte integer (byte order depends on the variant)
inline constexpr char kTypeAutoincrement = '+'; ///< level 7, stored like I
inline constexpr char kTypeDouble = 'O'; ///< level 7 8-byte double
inline constexpr char kTypeBinary = 'B'; ///< FoxPro double; dBASE binary memo
inline constexpr char kTypeCurrency = 'Y'; ///< FoxPro, 64-bit in units of 1/10000
inline constexpr char kTypeDateTime = 'T'; ///< FoxPro
inline constexpr char kTypeTimestamp = '@'; ///< level 7
inline constexpr char kTypeNullFlags = '0'; ///< FoxPro's hidden null-flags field

/// True for the marks a logical field stores for true: T, t, Y and y.
constexpr bool isTrueMark(char mark) noexcept
{
    return mark == 'T' || mark == 't' || mark == 'Y' || mark == 'y';
}

/// True for the types whose values read as numbers (integer() / number()): N, F and
/// the binary I, +, O and B the reader decodes.
constexpr bool isNumericType(char type) noexcept
{
    switch (type) {
    case kTypeNumeric:
    case kTypeFloat:
    case kTypeLong:
    case kTypeDouble:
    case kTypeBinary:
    case kTypeAutoincrement:
        return true;
    default:
        return false;
    }
}

// File header, levels 3/4/5 (32 bytes).
inline constexpr std::size_t kHeaderSize = 32;
inline constexpr std::size_t kOffVersion = 0;
inline constexpr std::size_t kOffDate = 1;
inline constexpr std::size_t kOffRecordCount = 4;
inline constexpr std::size_t kOffHeaderLength = 8;
inline constexpr std::size_t kOffRecordLength = 10;
inline constexpr std::size_t kOffMdxFlag = 28;
inline constexpr std::size_t kOffLanguageDriver = 29;

// Level 7: a language driver name at 32..63, descriptors from 68.
inline constexpr std::size_t kOffLevel7DriverName = 32;
inline constexpr std::size_t kLevel7DriverNameSize = 32;
inline constexpr std::size_t kLevel7HeaderSize = 68;

// Field descriptor, levels 3/4/5 (32 bytes).
inline constexpr std::size_t kDescriptorSize = 32;
inline constexpr std::size_t kDescName = 0; ///< 11 bytes, NUL-padded
inline constexpr std::size_t kDescNameSize = 11;
inline constexpr std::size_t kDescType = 11;
inline constexpr std::size_t kDescWidth = 16;
inline constexpr std::size_t kDescDecimals = 17;
inline constexpr std::size_t kDescMdxFlag = 31;

// Field descriptor, level 7 (48 bytes).
inline constexpr std::size_t kDesc7Size = 48;
inline constexpr std::size_t kDesc7NameSize = 32;
inline constexpr std::size_t kDesc7Type = 32;
inline constexpr std::size_t kDesc7Width = 33;
inline constexpr std::size_t kDesc7Decimals = 34;

// FoxPro 0x30/0x31 keep a 263-byte backlink after the terminator; the header
// length at offset 8 already includes it.
inline constexpr std::uint8_t kHeaderTerminator = 0x0D;
inline constexpr std::uint8_t kEndOfFile = 0x1A;
inline constexpr char kRecordLive = ' ';
inline constexpr char kRecordDeleted = '*';

inline constexpr int kMaxNameLength = 10;
inline constexpr int kMaxCharacterWidth = 254;
inline constexpr int kMaxCreateCharacterWidth = 100;
inline constexpr int kMaxNumericWidth = 20;
inline constexpr int kIntegerWidth = 11;
inline constexpr int kFloatWidth = 20;
inline constexpr int kFloatDecimals = 4;

// MDX (dBASE IV): 512-byte pages, 1024-byte blocks.
inline constexpr std::size_t kMdxPageSize = 512;
inline constexpr std::size_t kMdxBlockSize = 1024;
inline constexpr std::uint32_t kMdxPagesPerBlock = 2;
inline constexpr std::size_t kMdxTagSlots = 48;
inline constexpr std::size_t kMdxTagEntrySize = 32;
inline constexpr std::size_t kMdxTagTableOffset = 512; ///< entry 0 (unused); tag k at 512 + 32·k
inline constexpr std::uint32_t kMdxFirstTagPage = 4; ///< pages 0..3 hold the file header and tag table
inline constexpr std::size_t kMdxNodeHeader = 8; ///< key count (u32) + bookkeeping (u32)
inline constexpr std::size_t kMdxMaxExpression = 220;

/// True when `name` can name a field or an index tag: 1 to 10 ASCII letters,
/// digits or underscores.
constexpr bool validFieldName(std::string_view name) noexcept
{
    if (name.empty() || name.size() > static_cast<std::size_t>(kMaxNameLength))
        return false;
    for (char c : name) {
        if (!((c >= 'A' && c <= 'Z') || (c >= 'a' && c <= 'z') || (c >= '0' && c <= '9') || c == '_'))
            return false;
    }
    return true;
}

/// Today's local date as three bytes: year - 1900 (mod 256), month, day; the form
/// of the DBF header's last-update date (offset 1) and the MDX dates. Left as it
/// was when the clock cannot be read.
inline void writeToday(unsigned char* p)
{
    // The local date is worked out once a minute at most: every table and index a run
    // closes asks for it, and the C library may look at the time zone file each time.
    // Time zone offsets and their changes fall on whole minutes.
    struct Stamp {
        std::time_t minute = -1;
        unsigned char date[3] = {};
    };
    thread_local Stamp last;
    const std::time_t now = std::time(nullptr);
    if (now == static_cast<std::time_t>(-1))
        return;
    if (now / 60 != last.minute) {
        const std::tm* t = std::localtime(&now);
        if (!t)
            return;
        last.minute = now / 60;
        last.date[0] = static_cast<unsigned char>(t->tm_year % 256);
        last.date[1] = static_cast<unsigned char>(t->tm_mon + 1);
        last.date[2] = static_cast<unsigned char>(t->tm_mday);
    }
    p[0] = last.date[0];
    p[1] = last.date[1];
    p[2] = last.date[2];
}

} // namespace tramazel::dbf
