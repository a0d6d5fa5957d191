// SPDX-License-Identifier: GPL-3.0-or-later
#include "centre_import/SubjectHours.h"

#include <algorithm>
#include <array>
#include <charconv>
#include <cmath>
#include <cstdint>
#include <system_error>

namespace tramazel::centre_import {

namespace {

constexpr std::size_t kPatternWidth = 20; // SESIONES is C(20)
constexpr std::int64_t kMaxOnes = 13;

bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

// The number's shape, checked by hand: std::from_chars alone would also take
// "inf", "nan" and hexadecimal digits, and refuses a leading "+".
struct Shape {
    bool valid = false;
    std::string normalised; // for from_chars: "." as separator, no "+"
    // Decimal exponent of the first significant digit (only meaningful when the
    // mantissa is not zero): tells an overflow from an underflow.
    std::int64_t magnitude = 0;
    bool zeroMantissa = true;
};

Shape examine(std::string_view s)
{
    Shape shape;
    std::size_t i = 0;
    const std::size_t n = s.size();
    if (i < n && (s[i] == '+' || s[i] == '-')) {
        if (s[i] == '-')
            shape.normalised += '-';
        ++i;
    }
    std::size_t intDigits = 0;
    std::size_t fracDigits = 0;
    std::int64_t significantInt = 0; // integer digits from the first non-zero one
    std::int64_t leadingFracZeros = 0; // zeros after the comma before any non-zero digit
    while (i < n && isDigit(s[i])) {
        if (s[i] != '0' || significantInt > 0) {
            ++significantInt;
            shape.zeroMantissa = shape.zeroMantissa && s[i] == '0';
        }
        shape.normalised += s[i++];
        ++intDigits;
    }
    if (i < n && s[i] == ',') {
        shape.normalised += '.';
        ++i;
        bool seenNonZero = false;
        while (i < n && isDigit(s[i])) {
            if (s[i] != '0')
                seenNonZero = true;
            else if (!seenNonZero)
                ++leadingFracZeros;
            if (s[i] != '0')
                shape.zeroMantissa = false;
            shape.normalised += s[i++];
            ++fracDigits;
        }
    }
    if (intDigits + fracDigits == 0)
        return shape;
    std::int64_t exponent = 0;
    if (i < n && (s[i] == 'e' || s[i] == 'E')) {
        shape.normalised += 'e';
        ++i;
        bool negative = false;
        if (i < n && (s[i] == '+' || s[i] == '-')) {
            negative = s[i] == '-';
            if (negative)
                shape.normalised += '-';
            ++i;
        }
        const std::size_t start = i;
        while (i < n && isDigit(s[i])) {
            // Saturate: only the sign of the final magnitude matters beyond this.
            if (exponent < 1'000'000'000)
                exponent = exponent * 10 + (s[i] - '0');
            shape.normalised += s[i++];
        }
        if (i == start)
            return shape;
        if (negative)
            exponent = -exponent;
    }
    if (i != n)
        return shape;
    shape.valid = true;
    shape.magnitude = significantInt > 0 ? exponent + significantInt - 1 : exponent - leadingFracZeros - 1;
    return shape;
}

// The value as HORAS stores it: rounded to four decimals, so that the session
// count agrees with what a reader of the table sees.
double roundedToField(double v)
{
    std::array<char, 64> buffer {};
    auto written
        = std::to_chars(buffer.data(), buffer.data() + buffer.size(), v, std::chars_format::fixed, 4);
    if (written.ec != std::errc())
        return v;
    double rounded = v;
    std::from_chars(buffer.data(), written.ptr, rounded);
    return rounded;
}

// `digits` (a decimal whole number > 13, no sign, no leading zeros) minus 13.
std::string minusThirteen(std::string digits)
{
    int borrow = 0;
    int subtrahend = 13;
    for (std::size_t k = digits.size(); k-- > 0;) {
        int d = (digits[k] - '0') - (subtrahend % 10) - borrow;
        subtrahend /= 10;
        borrow = d < 0 ? 1 : 0;
        digits[k] = static_cast<char>('0' + (d + 10 * borrow));
        if (subtrahend == 0 && borrow == 0)
            break;
    }
    const auto first = digits.find_first_not_of('0');
    return first == std::string::npos ? std::string("0") : digits.substr(first);
}

} // namespace

Hours readHours(std::string_view text)
{
    if (text.empty())
        return { HoursReading::Empty, 0.0 };

    // Every "." is read as the decimal comma (the comma then serves as separator).
    std::string commas(text);
    for (char& c : commas)
        if (c == '.')
            c = ',';

    std::string_view s = commas;
    while (!s.empty() && s.front() == ' ')
        s.remove_prefix(1);
    while (!s.empty() && s.back() == ' ')
        s.remove_suffix(1);

    const Hours notANumber { HoursReading::NotANumber, 1.0 };
    const Hours outOfRange { HoursReading::OutOfRange, 1.0 };

    const Shape shape = examine(s);
    if (!shape.valid)
        return notANumber;

    double value = 0.0;
    const char* begin = shape.normalised.data();
    const char* end = begin + shape.normalised.size();
    const auto parsed = std::from_chars(begin, end, value, std::chars_format::general);
    if (parsed.ec == std::errc::result_out_of_range) {
        if (shape.zeroMantissa || shape.magnitude < 0)
            return { HoursReading::Number, 0.0 }; // too small to tell from zero
        return outOfRange;
    }
    if (parsed.ec != std::errc() || parsed.ptr != end)
        return notANumber;
    if (!std::isfinite(value) || std::fabs(value) >= kHoursLimit)
        return outOfRange;
    // Rounding to four decimals can carry a value just below the limit onto it.
    const double stored = roundedToField(value);
    if (std::fabs(stored) >= kHoursLimit)
        return outOfRange;
    return { HoursReading::Number, stored };
}

std::string sessionPattern(double hours)
{
    if (!std::isfinite(hours) || !(hours > 0.0))
        return {};
    const double ceiling = std::ceil(hours);

    std::string pattern;
    std::int64_t ones = 0;
    if (ceiling <= static_cast<double>(kMaxOnes)) {
        ones = static_cast<std::int64_t>(ceiling);
    } else if (ceiling < 9.0e18) {
        pattern = std::to_string(static_cast<std::int64_t>(ceiling) - kMaxOnes);
        ones = kMaxOnes;
    } else {
        // Beyond 64 bits the ceiling is the double itself, a whole number: write out its
        // exact decimal value and subtract in decimal.
        std::array<char, 400> buffer {};
        auto written
            = std::to_chars(buffer.data(), buffer.data() + buffer.size(), ceiling, std::chars_format::fixed);
        pattern = minusThirteen(std::string(buffer.data(), written.ptr));
        ones = kMaxOnes;
    }
    if (pattern.size() < kPatternWidth)
        pattern.append(
            std::min<std::size_t>(static_cast<std::size_t>(ones), kPatternWidth - pattern.size()), '1');
    if (pattern.size() > kPatternWidth)
        pattern.resize(kPatternWidth);
    return pattern;
}

} // namespace tramazel::centre_import
