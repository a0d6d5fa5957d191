// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

/// The hours of a subject line and its session pattern, as TransformarLineas derives
/// them from the text of ASIGNOMT.HORAS.
namespace tramazel::centre_import {

/// How an hours text was read.
enum class HoursReading {
    Empty, ///< the text is empty: HORAS stays blank (and counts as 0)
    Number, ///< a number HORAS can hold
    NotANumber, ///< not a number: HORAS takes 1
    OutOfRange, ///< a number beyond what HORAS holds: HORAS takes 1
};

struct Hours {
    HoursReading reading = HoursReading::Empty;
    /// The value HORAS holds: the number rounded to the field's four decimals, 1 for
    /// NotANumber and OutOfRange, 0 for Empty.
    double value = 0.0;
};

/// Magnitude from which a number no longer fits HORAS (a numeric field of 20
/// characters with 4 decimals, sign included).
inline constexpr double kHoursLimit = 1e14;

/// Reads an hours text. Every "." counts as the decimal comma, so "2.5" and "2,5"
/// both give 2.5 whatever the machine's locale. Accepted: blanks, an optional sign,
/// digits with at most one decimal comma, an optional exponent (e/E, optional sign,
/// digits), blanks. Anything else, trailing letters included ("2,5h"), is not a
/// number.
Hours readHours(std::string_view text);

/// The session pattern of `hours`: one "1" per hour of its ceiling, at most thirteen,
/// preceded by the count beyond thirteen in decimal; cut to 20 characters. Zero,
/// negative and non-finite values give an empty pattern; the count is exact for any
/// finite value (no 32-bit limit).
std::string sessionPattern(double hours);

} // namespace tramazel::centre_import
