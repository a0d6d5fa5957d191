// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

/// Conversions between a field's stored bytes and values. Pure functions, no I/O;
/// the table reports failures with its own names. Locale-independent throughout.
namespace tramazel::dbf::codec {

/// How a field's bytes hold its value.
enum class Encoding {
    Text, ///< C: cp1252, blank-padded
    Decimal, ///< N, F: right-aligned ASCII number
    Logical, ///< L: T/F/Y/N/?/blank
    Date, ///< D: YYYYMMDD
    Int32LittleEndian, ///< FoxPro I
    Int32Level7, ///< level-7 I and +: big-endian, sign bit inverted, all zero = null
    DoubleLittleEndian, ///< FoxPro B
    DoubleLevel7, ///< level-7 O: big-endian, sortable sign handling, all zero = null
    CurrencyLittleEndian, ///< FoxPro Y: int64 in units of 1/10000
    Opaque, ///< memo pointers, null flags, timestamps: read as empty
};

/// `s` without trailing blanks and NULs.
std::string_view trimRight(std::string_view s) noexcept;
/// `s` without leading and trailing blanks and NULs.
std::string_view trim(std::string_view s) noexcept;

/// True when `s` (already trimmed, not empty) is a decimal number: an optional sign,
/// digits with an optional point, an optional exponent.
bool isNumberText(std::string_view s) noexcept;

/// The number in `s` (a valid number text) without padding zeros: "2.5000" -> "2.5",
/// "3.0000" -> "3", "-0.00" -> "0", "007" -> "7". Exponent forms are kept as stored.
std::string canonicalNumberText(std::string_view s);

/// The value of a valid number text.
double parseNumber(std::string_view s) noexcept;

/// The whole part of a valid number text, cut toward zero; nothing if it does not fit.
std::optional<std::int64_t> parseWholePart(std::string_view s) noexcept;

/// Decoders of the binary kinds; `p` holds the field's width in bytes. Nothing = null.
std::optional<std::int64_t> decodeInteger(Encoding e, const unsigned char* p) noexcept;
std::optional<double> decodeDouble(Encoding e, const unsigned char* p) noexcept;

/// Writes `value` right-aligned with exactly `decimals` decimals into `out`
/// (`width` bytes). False, with `out` untouched, when it does not fit or is not finite.
bool formatNumber(double value, int width, int decimals, char* out) noexcept;
/// The same for a whole number, which is written exactly, however large.
bool formatWhole(std::int64_t value, int width, int decimals, char* out) noexcept;

} // namespace tramazel::dbf::codec
