// SPDX-License-Identifier: GPL-3.0-or-later
#include "text/SourceEncoding.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <optional>
#include <ostream>
#include <string>

using namespace tramazel::text;
using tramazel::TextPosition;

namespace tramazel::text {
void PrintTo(SourceEncoding encoding, std::ostream* out)
{
    static constexpr const char* kNames[] = { "Utf8", "Utf16Le", "Utf16Be", "Cp1252", "Latin9" };
    *out << kNames[static_cast<int>(encoding)];
}
} // namespace tramazel::text

namespace {

constexpr std::size_t npos = std::string_view::npos;

// Bytes with embedded nuls: the length comes from the literal, not from strlen.
template <std::size_t N> std::string bytesOf(const char (&literal)[N])
{
    return std::string(literal, N - 1);
}

} // namespace

TEST(SourceEncoding, DecodesEachWayAFileTellsItsEncoding)
{
    struct Case {
        const char* name;
        std::string bytes;
        SourceEncoding encoding;
        std::string utf8;
        std::string declaredName = {};
        bool declaredNameKnown = true;
        std::size_t firstInvalid = npos;
    };
    const Case cases[] = {
        { "plain ASCII, no declaration", "<A/>", SourceEncoding::Utf8, "<A/>" },
        { "UTF-8 byte-order mark is skipped", "\xEF\xBB\xBF<A v='\xC3\xA7'/>", SourceEncoding::Utf8,
            "<A v='\xC3\xA7'/>" },
        { "text after a UTF-8 mark is taken as it is", "\xEF\xBB\xBF<A v='\xB7'/>", SourceEncoding::Utf8,
            "<A v='\xB7'/>" },
        { "UTF-16 LE mark", bytesOf("\xFF\xFE<\0A\0 \0v\0=\0'\0\xE7\0'\0/\0>\0"), SourceEncoding::Utf16Le,
            "<A v='\xC3\xA7'/>" },
        { "UTF-16 BE mark", bytesOf("\xFE\xFF\0<\0A\0/\0>\x20\xAC"), SourceEncoding::Utf16Be,
            "<A/>\xE2\x82\xAC" },
        { "UTF-16 LE without mark", bytesOf("<\0?\0x\0?\0>\0"), SourceEncoding::Utf16Le, "<?x?>" },
        { "UTF-16 BE without mark", bytesOf("\0<\0?\0x\0?\0>"), SourceEncoding::Utf16Be, "<?x?>" },
        { "UTF-16 surrogate pair", bytesOf("\xFF\xFE\x3D\xD8\x00\xDE"), SourceEncoding::Utf16Le,
            "\xF0\x9F\x98\x80" },
        { "UTF-16 unpaired surrogates become U+FFFD",
            bytesOf("\xFF\xFE\x00\xDE"
                    "A\0"
                    "\x3D\xD8"
                    "B\0"),
            SourceEncoding::Utf16Le,
            "\xEF\xBF\xBD"
            "A"
            "\xEF\xBF\xBD"
            "B" },
        { "UTF-16 high surrogate at the end",
            bytesOf("\xFF\xFE"
                    "A\0"
                    "\x3D\xD8"),
            SourceEncoding::Utf16Le, "A\xEF\xBF\xBD" },
        { "UTF-16 odd last byte dropped", bytesOf("\xFF\xFE<\0A\0>"), SourceEncoding::Utf16Le, "<A" },
        { "windows-1252 declared", "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\x80\x92",
            SourceEncoding::Cp1252,
            "<?xml version=\"1.0\" encoding=\"windows-1252\"?>\xE2\x82\xAC\xE2\x80\x99", "windows-1252" },
        { "ISO-8859-1 read as windows-1252", "<?xml encoding='ISO-8859-1'?>\x80\xE7", SourceEncoding::Cp1252,
            "<?xml encoding='ISO-8859-1'?>\xE2\x82\xAC\xC3\xA7", "ISO-8859-1" },
        { "ISO-8859-15 has its own eight letters",
            "<?xml encoding='latin-9'?>\xA4\xA6\xA8\xB4\xB8\xBC\xBD\xBE\xE7", SourceEncoding::Latin9,
            "<?xml "
            "encoding='latin-9'?>\xE2\x82\xAC\xC5\xA0\xC5\xA1\xC5\xBD\xC5\xBE\xC5\x92\xC5\x93\xC5\xB8\xC3"
            "\xA7",
            "latin-9" },
        { "UTF-8 declared and valid", "<?xml encoding=\"utf-8\"?>\xC3\xA7", SourceEncoding::Utf8,
            "<?xml encoding=\"utf-8\"?>\xC3\xA7", "utf-8" },
        { "UTF-16 declared without a mark is read as UTF-8", "<?xml encoding='UTF-16'?><A/>",
            SourceEncoding::Utf8, "<?xml encoding='UTF-16'?><A/>", "UTF-16" },
        { "invalid UTF-8 without a declaration", "<A v='\xB7'/>", SourceEncoding::Utf8, "<A v='\xB7'/>", "",
            true, 6 },
        { "unknown encoding, ASCII only", "<?xml encoding='KOI8-R'?><A/>", SourceEncoding::Utf8,
            "<?xml encoding='KOI8-R'?><A/>", "KOI8-R", false },
        { "unknown encoding with other bytes", "<?xml encoding='KOI8-R'?>\xE9", SourceEncoding::Utf8,
            "<?xml encoding='KOI8-R'?>\xE9", "KOI8-R", false, 25 },
        { "empty", "", SourceEncoding::Utf8, "" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const DecodedSource decoded = decodeSource(c.bytes);
        EXPECT_EQ(c.encoding, decoded.encoding());
        EXPECT_EQ(c.utf8, decoded.utf8());
        EXPECT_EQ(c.declaredName, decoded.declaredName());
        EXPECT_EQ(c.declaredNameKnown, decoded.declaredNameKnown());
        EXPECT_EQ(c.firstInvalid, decoded.firstInvalidByte());
    }
}

TEST(SourceEncoding, UnconvertedTextIsAViewOfTheBytes)
{
    const std::string bytes = "\xEF\xBB\xBF<A/>";
    const DecodedSource decoded = decodeSource(bytes);
    EXPECT_EQ(bytes.data() + 3, decoded.utf8().data());
    // A moved result still shows the text it converted.
    DecodedSource converted = decodeSource("<?xml encoding='cp1252'?>\x80");
    const DecodedSource moved = std::move(converted);
    EXPECT_EQ("<?xml encoding='cp1252'?>\xE2\x82\xAC", moved.utf8());
}

TEST(SourceEncoding, FindsTheDeclaredEncoding)
{
    struct Case {
        const char* bytes;
        const char* expected;
    };
    const Case cases[] = {
        { "<?xml version=\"1.0\" encoding=\"windows-1252\"?>", "windows-1252" },
        { "<?xml version='1.0' encoding='latin1' standalone='yes'?>", "latin1" },
        { "<?xml encoding \r\n=\t 'x-y'?>", "x-y" },
        { "<?xml version=\"1.0\"?><A encoding='cp1252'/>", "" }, // only inside the declaration
        { " <?xml encoding='cp1252'?>", "" }, // the declaration must come first
        { "<?xml encoding='cp1252'", "" }, // never closed
        { "<?xml encoding=cp1252?>", "" }, // no quotes
        { "<?xml encoding='cp1252\"?>", "" }, // quotes that do not match
        { "<?xml encoding?>", "" },
        { "<A/>", "" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, declaredEncoding(c.bytes)) << c.bytes;
}

TEST(SourceEncoding, KnowsTheNamesOfTheEncodingsItReads)
{
    struct Case {
        const char* name;
        std::optional<SourceEncoding> expected;
    };
    const Case cases[] = {
        { "windows-1252", SourceEncoding::Cp1252 },
        { "CP1252", SourceEncoding::Cp1252 },
        { "x-cp1252", SourceEncoding::Cp1252 },
        { "ISO-8859-1", SourceEncoding::Cp1252 },
        { "iso8859-1", SourceEncoding::Cp1252 },
        { "ISO_8859-1", SourceEncoding::Cp1252 },
        { "Latin1", SourceEncoding::Cp1252 },
        { "latin-1", SourceEncoding::Cp1252 },
        { "L1", SourceEncoding::Cp1252 },
        { "cp819", SourceEncoding::Cp1252 },
        { "ISO-8859-15", SourceEncoding::Latin9 },
        { "iso8859-15", SourceEncoding::Latin9 },
        { "iso_8859-15", SourceEncoding::Latin9 },
        { "LATIN9", SourceEncoding::Latin9 },
        { "latin-9", SourceEncoding::Latin9 },
        { "", SourceEncoding::Utf8 },
        { "UTF-8", SourceEncoding::Utf8 },
        { "utf8", SourceEncoding::Utf8 },
        { "US-ASCII", SourceEncoding::Utf8 },
        { "ascii", SourceEncoding::Utf8 },
        { "utf-16", SourceEncoding::Utf8 },
        { "KOI8-R", std::nullopt },
        { "iso-8859-2", std::nullopt },
        { "windows-1252 ", std::nullopt },
        { "utf-16le", std::nullopt },
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, encodingForDeclaredName(c.name)) << '"' << c.name << '"';
}

TEST(SourceEncoding, FindsTheFirstByteThatIsNotUtf8)
{
    struct Case {
        const char* name;
        std::string bytes;
        std::size_t expected;
    };
    const Case cases[] = {
        { "empty", "", npos },
        { "ASCII", "abcdefghijklmnopqrstuvwxyz", npos },
        { "two, three and four bytes", "\xC3\xA7\xE2\x82\xAC\xF0\x9F\x98\x80", npos },
        { "edges of the ranges",
            "\xC2\x80\xDF\xBF\xE0\xA0\x80\xED\x9F\xBF\xEE\x80\x80\xF0\x90\x80\x80\xF4\x8F\xBF\xBF", npos },
        { "lone continuation byte", "ab\x80", 2 },
        { "cp1252 byte after a long ASCII run", "0123456789abcdef\xB7", 16 },
        { "invalid byte inside the first eight",
            "0123\xE9"
            "56789abcdef",
            4 },
        { "overlong two bytes", "a\xC0\x80", 1 },
        { "overlong two bytes, C1", "a\xC1\xBF", 1 },
        { "overlong three bytes", "a\xE0\x9F\xBF", 1 },
        { "surrogate", "a\xED\xA0\x80", 1 },
        { "overlong four bytes", "a\xF0\x8F\xBF\xBF", 1 },
        { "beyond U+10FFFF", "a\xF4\x90\x80\x80", 1 },
        { "F5 lead", "a\xF5\x80\x80\x80", 1 },
        { "FF", "a\xFF", 1 },
        { "truncated at the end", "abc\xE2\x82", 3 },
        { "second continuation missing", "abc\xE2\x82z", 3 },
        { "after a valid character", "\xC3\xA7\xC3", 2 },
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, firstInvalidUtf8(c.bytes)) << c.name;
}

TEST(SourceEncoding, PositionsCountLinesAndCharacters)
{
    struct Case {
        const char* name;
        std::string utf8;
        std::size_t offset;
        TextPosition expected;
    };
    const Case cases[] = {
        { "start", "abc", 0, { 1, 1 } },
        { "same line", "abc", 2, { 1, 3 } },
        { "after LF", "ab\ncd", 4, { 2, 2 } },
        { "after CR LF", "ab\r\ncd", 5, { 2, 2 } },
        { "on the LF of CR LF", "ab\r\ncd", 3, { 1, 4 } },
        { "after a lone CR", "ab\rcd", 3, { 2, 1 } },
        { "CR at the very end", "ab\r", 3, { 2, 1 } },
        { "blank lines", "\n\r\n\r\nx", 5, { 4, 1 } },
        { "multibyte characters count once", "\xC3\xA0\xE2\x82\xAC\xF0\x9F\x98\x80x", 9, { 1, 4 } },
        { "past the end", "ab\nc", 99, { 2, 2 } },
    };
    for (const Case& c : cases)
        EXPECT_EQ(c.expected, positionInUtf8(c.utf8, c.offset)) << c.name;
}
