// SPDX-License-Identifier: GPL-3.0-or-later
#include "centre_import/SubjectHours.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

namespace tramazel::centre_import {
namespace {

// `lead` followed by `n` ones.
std::string ones(std::size_t n, std::string lead = {})
{
    return lead.append(n, '1');
}

struct HoursCase {
    const char* text;
    HoursReading reading;
    double value;
    std::string sessions;
};

TEST(SubjectHours, ReadsHoursAndDerivesSessions)
{
    const HoursCase cases[] = {
        { "4", HoursReading::Number, 4, "1111" },
        // The point and the comma both separate decimals, whatever the locale.
        { "2.5", HoursReading::Number, 2.5, "111" },
        { "2,5", HoursReading::Number, 2.5, "111" },
        { "0.1", HoursReading::Number, 0.1, "1" },
        { "13", HoursReading::Number, 13, ones(13) },
        { "14", HoursReading::Number, 14, ones(13, "1") },
        { "15", HoursReading::Number, 15, ones(13, "2") },
        { "30", HoursReading::Number, 30, ones(13, "17") },
        { "0", HoursReading::Number, 0, "" },
        { "-2", HoursReading::Number, -2, "" },
        { "+3", HoursReading::Number, 3, "111" },
        { "  3  ", HoursReading::Number, 3, "111" },
        { "1e1", HoursReading::Number, 10, ones(10) },
        { "2,5E1", HoursReading::Number, 25, ones(13, "12") },
        { ",5", HoursReading::Number, 0.5, "1" },
        { "5.", HoursReading::Number, 5, "11111" },
        // HORAS keeps four decimals; the sessions follow what it keeps.
        { "2.00001", HoursReading::Number, 2, "11" },
        { "0,00001", HoursReading::Number, 0, "" },
        // Counts far beyond 13 (and beyond 32 bits) are written exactly, then cut to 20.
        { "1e3", HoursReading::Number, 1000, ones(13, "987") },
        { "3e9", HoursReading::Number, 3e9, ones(10, "2999999987") },
        { "99999999", HoursReading::Number, 99999999, ones(12, "99999986") },
        { "1e13", HoursReading::Number, 1e13, ones(7, "9999999999987") },
        { "1e-400", HoursReading::Number, 0, "" },
        // Empty: HORAS stays blank and counts as no hours.
        { "", HoursReading::Empty, 0, "" },
        // Anything that is not a whole number text gives one hour.
        { "abc", HoursReading::NotANumber, 1, "1" },
        { "2,5h", HoursReading::NotANumber, 1, "1" },
        { "h2", HoursReading::NotANumber, 1, "1" },
        { "1.2.3", HoursReading::NotANumber, 1, "1" },
        { "1 000", HoursReading::NotANumber, 1, "1" },
        { "   ", HoursReading::NotANumber, 1, "1" },
        { ",", HoursReading::NotANumber, 1, "1" },
        { "-", HoursReading::NotANumber, 1, "1" },
        { "1e", HoursReading::NotANumber, 1, "1" },
        { "1e+", HoursReading::NotANumber, 1, "1" },
        { "++1", HoursReading::NotANumber, 1, "1" },
        { "inf", HoursReading::NotANumber, 1, "1" },
        { "nan", HoursReading::NotANumber, 1, "1" },
        { "0x10", HoursReading::NotANumber, 1, "1" },
        { "\t4", HoursReading::NotANumber, 1, "1" },
        // Beyond what HORAS holds (or beyond double): one hour, like an unreadable text.
        { "1e14", HoursReading::OutOfRange, 1, "1" },
        { "-99999999999999.99999", HoursReading::OutOfRange, 1, "1" },
        { "99999999999999.98", HoursReading::Number, 99999999999999.98, ones(6, "99999999999987") },
        { "-1e300", HoursReading::OutOfRange, 1, "1" },
        { "9e99999", HoursReading::OutOfRange, 1, "1" },
    };
    for (const HoursCase& c : cases) {
        SCOPED_TRACE(std::string("hours text «") + c.text + "»");
        const Hours hours = readHours(c.text);
        EXPECT_EQ(c.reading, hours.reading);
        EXPECT_DOUBLE_EQ(c.value, hours.value);
        EXPECT_EQ(c.sessions, sessionPattern(hours.value));
    }
}

TEST(SubjectHours, SessionPatternIsExactBeyondSixtyFourBits)
{
    struct Case {
        double hours;
        std::string sessions;
    };
    const Case cases[] = {
        { 4.5e18, ones(1, "4499999999999999987") },
        { 9.5e18, ones(1, "9499999999999999987") },
        { 1e20, "99999999999999999987" },
        { 1e300, "10000000000000000525" },
        { std::numeric_limits<double>::max(), "17976931348623157081" },
        { std::numeric_limits<double>::infinity(), "" },
        { -std::numeric_limits<double>::infinity(), "" },
        { std::numeric_limits<double>::quiet_NaN(), "" },
        { std::numeric_limits<double>::denorm_min(), "1" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.hours);
        EXPECT_EQ(c.sessions, sessionPattern(c.hours));
    }
}

} // namespace
} // namespace tramazel::centre_import
