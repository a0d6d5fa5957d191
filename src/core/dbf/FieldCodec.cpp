// SPDX-License-Identifier: GPL-3.0-or-later
#include "FieldCodec.h"

#include <bit>
#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

namespace tramazel::dbf::codec {

namespace {

bool isPad(char c)
{
    return c == ' ' || c == '\0';
}
bool isDigit(char c)
{
    return c >= '0' && c <= '9';
}

bool hasExponent(std::string_view s)
{
    for (char c : s) {
        if (c == 'e' || c == 'E')
            return true;
    }
    return false;
}

std::uint64_t loadBigEndian(const unsigned char* p, int n)
{
    std::uint64_t v = 0;
    for (int i = 0; i < n; ++i)
        v = (v << 8) | p[i];
    return v;
}

std::uint64_t loadLittleEndian(const unsigned char* p, int n)
{
    std::uint64_t v = 0;
    for (int i = n - 1; i >= 0; --i)
        v = (v << 8) | p[i];
    return v;
}

// Writes `text` right-aligned into `out` of `width` bytes.
bool placeRight(std::string_view text, int width, char* out)
{
    auto w = static_cast<std::size_t>(width);
    if (text.size() > w)
        return false;
    std::size_t pad = w - text.size();
    std::memset(out, ' ', pad);
    std::memcpy(out + pad, text.data(), text.size());
    return true;
}

} // namespace

std::string_view trimRight(std::string_view s) noexcept
{
    // Wide text fields are mostly padding: drop it eight blanks at a time first.
    static constexpr char kBlanks[8] = { ' ', ' ', ' ', ' ', ' ', ' ', ' ', ' ' };
    while (s.size() >= 8 && std::memcmp(s.data() + s.size() - 8, kBlanks, 8) == 0)
        s.remove_suffix(8);
    while (!s.empty() && isPad(s.back()))
        s.remove_suffix(1);
    return s;
}

std::string_view trim(std::string_view s) noexcept
{
    s = trimRight(s);
    while (!s.empty() && isPad(s.front()))
        s.remove_prefix(1);
    return s;
}

bool isNumberText(std::string_view s) noexcept
{
    std::size_t i = 0;
    if (i < s.size() && (s[i] == '-' || s[i] == '+'))
        ++i;
    std::size_t digits = 0;
    while (i < s.size() && isDigit(s[i])) {
        ++i;
        ++digits;
    }
    if (i < s.size() && s[i] == '.') {
        ++i;
        while (i < s.size() && isDigit(s[i])) {
            ++i;
            ++digits;
        }
    }
    if (digits == 0)
        return false;
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        ++i;
        if (i < s.size() && (s[i] == '-' || s[i] == '+'))
            ++i;
        std::size_t expDigits = 0;
        while (i < s.size() && isDigit(s[i])) {
            ++i;
            ++expDigits;
        }
        if (expDigits == 0)
            return false;
    }
    return i == s.size();
}

std::string canonicalNumberText(std::string_view s)
{
    if (hasExponent(s))
        return std::string(s);
    bool negative = false;
    if (!s.empty() && (s.front() == '-' || s.front() == '+')) {
        negative = s.front() == '-';
        s.remove_prefix(1);
    }
    std::string_view whole = s;
    std::string_view fraction;
    if (auto dot = s.find('.'); dot != std::string_view::npos) {
        whole = s.substr(0, dot);
        fraction = s.substr(dot + 1);
    }
    while (!whole.empty() && whole.front() == '0')
        whole.remove_prefix(1);
    while (!fraction.empty() && fraction.back() == '0')
        fraction.remove_suffix(1);
    std::string out;
    out.reserve(s.size() + 2);
    if (negative && !(whole.empty() && fraction.empty()))
        out += '-';
    if (whole.empty())
        out += '0';
    else
        out += whole;
    if (!fraction.empty()) {
        out += '.';
        out += fraction;
    }
    return out;
}

double parseNumber(std::string_view s) noexcept
{
    if (!s.empty() && s.front() == '+')
        s.remove_prefix(1);
    // from_chars needs a digit before the point; ".5" and "-.5" are valid stored numbers.
    char buffer[64];
    if (s.size() + 2 < sizeof buffer) {
        std::size_t n = 0;
        std::size_t i = 0;
        if (i < s.size() && s[i] == '-')
            buffer[n++] = s[i++];
        if (i < s.size() && s[i] == '.')
            buffer[n++] = '0';
        std::memcpy(buffer + n, s.data() + i, s.size() - i);
        n += s.size() - i;
        double v = 0;
        std::from_chars(buffer, buffer + n, v);
        return v;
    }
    double v = 0;
    auto r = std::from_chars(s.data(), s.data() + s.size(), v);
    if (r.ec == std::errc::result_out_of_range)
        return s.front() == '-' ? -std::numeric_limits<double>::infinity()
                                : std::numeric_limits<double>::infinity();
    return v;
}

std::optional<std::int64_t> parseWholePart(std::string_view s) noexcept
{
    if (hasExponent(s)) {
        double v = std::trunc(parseNumber(s));
        // 2^63 is exactly representable; anything at or beyond it does not fit.
        if (!(v >= -9223372036854775808.0 && v < 9223372036854775808.0))
            return std::nullopt;
        return static_cast<std::int64_t>(v);
    }
    if (!s.empty() && s.front() == '+')
        s.remove_prefix(1);
    bool negative = !s.empty() && s.front() == '-';
    std::string_view digits = negative ? s.substr(1) : s;
    digits = digits.substr(0, digits.find('.'));
    while (!digits.empty() && digits.front() == '0')
        digits.remove_prefix(1);
    if (digits.empty())
        return 0;
    std::uint64_t magnitude = 0;
    auto r = std::from_chars(digits.data(), digits.data() + digits.size(), magnitude);
    if (r.ec != std::errc())
        return std::nullopt;
    constexpr auto maxPositive = static_cast<std::uint64_t>(std::numeric_limits<std::int64_t>::max());
    if (negative) {
        if (magnitude > maxPositive + 1)
            return std::nullopt;
        return static_cast<std::int64_t>(0 - magnitude);
    }
    if (magnitude > maxPositive)
        return std::nullopt;
    return static_cast<std::int64_t>(magnitude);
}

std::optional<std::int64_t> decodeInteger(Encoding e, const unsigned char* p) noexcept
{
    switch (e) {
    case Encoding::Int32LittleEndian:
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(loadLittleEndian(p, 4)));
    case Encoding::Int32Level7: {
        auto raw = static_cast<std::uint32_t>(loadBigEndian(p, 4));
        if (raw == 0)
            return std::nullopt;
        return static_cast<std::int32_t>(raw ^ 0x80000000u);
    }
    default:
        return std::nullopt;
    }
}

std::optional<double> decodeDouble(Encoding e, const unsigned char* p) noexcept
{
    switch (e) {
    case Encoding::DoubleLittleEndian:
        return std::bit_cast<double>(loadLittleEndian(p, 8));
    case Encoding::DoubleLevel7: {
        std::uint64_t raw = loadBigEndian(p, 8);
        if (raw == 0)
            return std::nullopt;
        // Stored so that the bytes sort like the numbers: positives with the sign bit
        // set, negatives with every bit inverted.
        constexpr std::uint64_t sign = 0x8000000000000000ull;
        raw = (raw & sign) ? (raw ^ sign) : ~raw;
        return std::bit_cast<double>(raw);
    }
    case Encoding::CurrencyLittleEndian:
        return static_cast<double>(static_cast<std::int64_t>(loadLittleEndian(p, 8))) / 10000.0;
    default:
        return std::nullopt;
    }
}

bool formatNumber(double value, int width, int decimals, char* out) noexcept
{
    if (!std::isfinite(value))
        return false;
    // Most values are whole multiples of 10^-decimals (2.5, 0.25, 12): then the scaled
    // value is an exact integer and the digits come from an integer conversion. Below
    // 2^43 a double's spacing is under 2^-10, so an integral product proves the exact
    // decimal value rounds to that same integer.
    static constexpr double kPowers[] = { 1, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9 };
    if (decimals >= 0 && decimals <= 9) {
        const double scaled = value * kPowers[decimals];
        if (std::fabs(scaled) < 8.0e12 && scaled == std::trunc(scaled)) {
            auto units = static_cast<std::int64_t>(scaled);
            char digits[32];
            char* end = digits + sizeof digits;
            char* p = end;
            std::uint64_t magnitude
                = units < 0 ? 0 - static_cast<std::uint64_t>(units) : static_cast<std::uint64_t>(units);
            for (int i = 0; i < decimals; ++i) {
                *--p = static_cast<char>('0' + magnitude % 10);
                magnitude /= 10;
            }
            if (decimals > 0)
                *--p = '.';
            do {
                *--p = static_cast<char>('0' + magnitude % 10);
                magnitude /= 10;
            } while (magnitude > 0);
            if (units < 0)
                *--p = '-';
            return placeRight(std::string_view(p, static_cast<std::size_t>(end - p)), width, out);
        }
    }
    char buffer[400]; // fixed notation of the largest double fits
    auto r = std::to_chars(buffer, buffer + sizeof buffer, value, std::chars_format::fixed, decimals);
    if (r.ec != std::errc())
        return false;
    std::string_view text(buffer, static_cast<std::size_t>(r.ptr - buffer));
    // A value that rounds to zero is stored as zero, never as "-0.00".
    if (text.front() == '-' && text.find_first_not_of("-0.") == std::string_view::npos)
        text.remove_prefix(1);
    return placeRight(text, width, out);
}

bool formatWhole(std::int64_t value, int width, int decimals, char* out) noexcept
{
    char buffer[64];
    auto r = std::to_chars(buffer, buffer + 24, value);
    char* end = r.ptr;
    if (decimals > 0) {
        if (decimals > 32)
            return false;
        *end++ = '.';
        std::memset(end, '0', static_cast<std::size_t>(decimals));
        end += decimals;
    }
    return placeRight(std::string_view(buffer, static_cast<std::size_t>(end - buffer)), width, out);
}

} // namespace tramazel::dbf::codec
