// SPDX-License-Identifier: GPL-3.0-or-later
// Inputs a lenient reading would load, each read differently from what the file
// says: bytes that are not text of the encoding they claim, names XML does not allow,
// declarations that say something the reading does not do. Each is refused where it
// lies, by both parse paths alike, with a message that names what is wrong.
#include "Error.h"
#include "TestSupport.h"
#include "text/SourceEncoding.h"
#include "xml/XmlDocument.h"

#include <gtest/gtest.h>

#include <string>
#include <string_view>

using tramazel::ErrorCode;
using tramazel::TextPosition;
using tramazel::test::expectError;
using tramazel::xml::XmlDocument;
using tramazel::xml::detail::parseFully;

namespace {

constexpr std::string_view kBom8 = "\xEF\xBB\xBF";

// ASCII text as UTF-16 (`bigEndian` or not), after the mark when `mark`.
std::string utf16(std::string_view ascii, bool bigEndian, bool mark)
{
    std::string out;
    if (mark)
        out = bigEndian ? "\xFE\xFF" : "\xFF\xFE";
    for (const char c : ascii) {
        out.push_back(bigEndian ? '\0' : c);
        out.push_back(bigEndian ? c : '\0');
    }
    return out;
}

std::string utf16le(std::string_view ascii, bool mark = true)
{
    return utf16(ascii, false, mark);
}

struct Refused {
    const char* name;
    std::string bytes;
    TextPosition position;
    // What the message must quote: the name, value or character at fault.
    const char* names;
};

// Both parse paths refuse `bytes` alike, at `position`, naming the file and `names`.
void expectRefused(const Refused& c)
{
    SCOPED_TRACE(c.name);
    const auto loaded
        = expectError(ErrorCode::XmlMalformed, [&] { XmlDocument::parse(c.bytes, "prueba.xml"); });
    const auto full = expectError(ErrorCode::XmlMalformed, [&] { parseFully(c.bytes, "prueba.xml"); });
    ASSERT_TRUE(loaded && full);
    EXPECT_EQ(c.position, loaded->position()) << loaded->message();
    EXPECT_EQ(loaded->message(), full->message());
    EXPECT_NE(std::string::npos, loaded->message().find("prueba.xml")) << loaded->message();
    EXPECT_NE(std::string::npos, loaded->message().find(c.names)) << loaded->message();
}

} // namespace

// Without a byte-order mark such bytes were refused already; after one they read as
// "?" or dropped the element.
TEST(XmlStrictness, InvalidUtf8AfterAByteOrderMarkIsRefused)
{
    const Refused cases[] = {
        { "cp1252 byte in a value",
            std::string(kBom8) + "<CENTRE>\n<AULA descripcio=\"Gimn\xE0s\"/></CENTRE>", { 2, 23 }, "UTF-8" },
        { "cp1252 byte in an element name", std::string(kBom8) + "<CENTRE>\n<AULA\xE0 codi='1'/></CENTRE>",
            { 2, 6 }, "UTF-8" },
        { "cp1252 byte in text", std::string(kBom8) + "<A>\nGimn\xE0s</A>", { 2, 5 }, "UTF-8" },
        { "cut sequence at the end", std::string(kBom8) + "<A/>\xC3", { 1, 5 }, "UTF-8" },
    };
    for (const Refused& c : cases)
        expectRefused(c);
}

// Element and attribute names hold only the characters XML allows in names; any
// other made the element or attribute one no builder asks for.
TEST(XmlStrictness, NamesWithCharactersXmlExcludesAreRefused)
{
    const Refused cases[] = {
        { "no-break space ending an element name", "<CENTRE>\n<AULA\xC2\xA0 codi='1'/></CENTRE>", { 2, 6 },
            "U+00A0" },
        { "multiplication sign in an element name", "<CENTRE>\n<AULA\xC3\x97 codi='1'/></CENTRE>", { 2, 6 },
            "U+00D7" },
        { "C1 control in an element name", "<CENTRE>\n<AULA\xC2\x81 codi='1'/></CENTRE>", { 2, 6 },
            "U+0081" },
        { "no-break space in an attribute name", "<CENTRE>\n<AULA descripcio\xC2\xA0='x'/></CENTRE>",
            { 2, 17 }, "«descripcio»" },
        { "in the root's name", "<CENTRE\xC2\xA0/>", { 1, 8 }, "«CENTRE»" },
        { "element name starting with a character allowed only later",
            "<A>\n<\xC2\xB7"
            "B/></A>",
            { 2, 2 }, "U+00B7" },
        { "attribute name starting with a combining accent", "<A \xCC\x81v='1'/>", { 1, 4 }, "U+0301" },
        { "after characters beyond ASCII that names allow", "<A \xC3\xA0\xC3\xA9\xE2\x81\x81=''/>", { 1, 6 },
            "U+2041" },
        { "no-break space between attributes", "<A v='1' \xC2\xA0w='2'/>", { 1, 10 }, "U+00A0" },
        { "processing instruction's target", "<A><?pi\xC2\xA0 x?></A>", { 1, 8 }, "U+00A0" },
        { "DOCTYPE's name", "<!DOCTYPE \xC3\x97><A/>", { 1, 11 }, "U+00D7" },
        { "entity's name", "<!DOCTYPE A [<!ENTITY e\xC3\x97 'x'>]><A v='&e\xC3\x97;'/>", { 1, 24 },
            "U+00D7" },
        { "attribute-list declaration's names", "<!DOCTYPE A [<!ATTLIST A v\xC2\xA0 CDATA #IMPLIED>]><A/>",
            { 1, 27 }, "U+00A0" },
    };
    for (const Refused& c : cases)
        expectRefused(c);
}

TEST(XmlStrictness, DeclarationsTheReadingDoesNotFollowAreRefused)
{
    const Refused cases[] = {
        { "version 2.0", "<?xml version=\"2.0\"?>\n<A/>", { 1, 16 }, "«2.0»" },
        { "version 1 without minor", "<?xml version='1'?><A/>", { 1, 16 }, "«1»" },
        { "no version", "<?xml encoding=\"UTF-8\"?>\n<A/>", { 1, 7 }, "versión" },
        { "nothing at all", "<?xml ?><A/>", { 1, 7 }, "versión" },
        { "nothing, not even a blank", "<?xml?><A/>", { 1, 6 }, "versión" },
        { "standalone maybe", "<?xml version=\"1.0\" standalone=\"maybe\"?><A/>", { 1, 33 }, "«maybe»" },
        { "encoding after standalone", "<?xml version='1.0' standalone='yes' encoding='UTF-8'?><A/>",
            { 1, 38 }, "«encoding»" },
        { "unknown pseudo-attribute", "<?xml version='1.0' foo='bar'?><A/>", { 1, 21 }, "«foo»" },
        { "no blank between", "<?xml version='1.0'encoding='UTF-8'?><A/>", { 1, 20 }, "declaración XML" },
        { "unquoted value", "<?xml version=1.0?><A/>", { 1, 15 }, "declaración XML" },
        { "empty encoding name", "<?xml version='1.0' encoding=''?><A/>", { 1, 31 }, "«»" },
        { "upper case XML", "<?XML version='1.0'?><A/>", { 1, 1 }, "<?xml" },
        { "unknown declaration in the internal subset", "<!DOCTYPE A [<!FOO bar>]><A/>", { 1, 14 },
            "«<!FOO»" },
        { "conditional section in the internal subset", "<!DOCTYPE A [<![INCLUDE[<!ELEMENT A ANY>]]>]><A/>",
            { 1, 14 }, "«<![INCLUDE»" },
        { "keyword running into its name", "<!DOCTYPE A [<!ELEMENTA ANY>]><A/>", { 1, 14 }, "«<!ELEMENTA»" },
    };
    for (const Refused& c : cases)
        expectRefused(c);
}

// The encoding a file names must be the one its bytes are read in, and one we read.
TEST(XmlStrictness, EncodingsThatContradictTheBytesAreRefused)
{
    const std::string declaring = "<?xml version=\"1.0\" encoding=\""; // the name at column 31
    const Refused cases[] = {
        { "UTF-16 LE mark, ISO-8859-1 declared", utf16le(declaring + "ISO-8859-1\"?><A/>"), { 1, 31 },
            "«ISO-8859-1»" },
        { "UTF-16 BE mark, windows-1252 declared", utf16(declaring + "windows-1252\"?><A/>", true, true),
            { 1, 31 }, "«windows-1252»" },
        { "UTF-16 without a mark, UTF-8 declared", utf16le(declaring + "UTF-8\"?><A/>", false), { 1, 31 },
            "«UTF-8»" },
        { "UTF-8 mark, ISO-8859-1 declared",
            std::string(kBom8) + declaring + "ISO-8859-1\"?><A v='\xC3\xA0'/>", { 1, 31 }, "«ISO-8859-1»" },
        { "UTF-8 mark, UTF-16 declared", std::string(kBom8) + declaring + "UTF-16\"?><A/>", { 1, 31 },
            "«UTF-16»" },
        { "UTF-8 bytes declaring UTF-16", declaring + "UTF-16\"?>\n<A v='\xC3\xA0'/>", { 1, 31 },
            "«UTF-16»" },
        { "UTF-8 bytes declaring UTF-16LE", declaring + "utf-16le\"?><A/>", { 1, 31 }, "«utf-16le»" },
        { "unknown encoding, ASCII only", declaring + "KOI8-R\"?>\n<A v='x'/>", { 1, 31 }, "«KOI8-R»" },
        { "unknown encoding, single quotes", "<?xml version='1.0' encoding='iso-8859-2'?><A/>", { 1, 31 },
            "«iso-8859-2»" },
        { "unpaired high surrogate in a value", utf16le("<A v='") + "\x3D\xD8" + utf16le("x'/>", false),
            { 1, 7 }, "UTF-16" },
        { "unpaired low surrogate in text",
            utf16("<A>\n", true, true) + std::string("\xDE\x00", 2) + utf16("</A>", true, false), { 2, 1 },
            "UTF-16" },
        { "high surrogate at the end", utf16le("<A/>") + "\x3D\xD8", { 1, 5 }, "UTF-16" },
        { "odd last byte", utf16le("<A/>\n") + "\n", { 2, 1 }, "UTF-16" },
    };
    for (const Refused& c : cases)
        expectRefused(c);
}

// A default would give an element an attribute its start tag lacks, which a
// validating reader reads and the builders would not.
TEST(XmlStrictness, AttributeDefaultsAreRefused)
{
    const Refused cases[] = {
        { "literal default", "<!DOCTYPE CENTRE [\n<!ATTLIST AULA descripcio CDATA 'Gimnas'>\n]><CENTRE/>",
            { 2, 33 }, "«descripcio»" },
        { "fixed default", "<!DOCTYPE A [\n<!ATTLIST A v CDATA #FIXED \"x\">]><A/>", { 2, 21 }, "«A»" },
        { "second of several", "<!DOCTYPE A [\n<!ATTLIST A v CDATA #IMPLIED w NMTOKEN 'x'>]><A/>", { 2, 40 },
            "«w»" },
        { "enumeration with a default", "<!DOCTYPE A [\n<!ATTLIST A t (x | y) \"x\">]><A/>", { 2, 23 },
            "«t»" },
        { "notation with a default",
            "<!DOCTYPE A [\n<!NOTATION n SYSTEM 'n'><!ATTLIST A t NOTATION (n) 'n'>]><A/>", { 2, 52 },
            "«t»" },
        { "unknown attribute type", "<!DOCTYPE A [\n<!ATTLIST A v STRING #IMPLIED>]><A/>", { 2, 15 },
            "tipo de documento" },
        { "default without its keyword", "<!DOCTYPE A [\n<!ATTLIST A v CDATA #DEFAULT>]><A/>", { 2, 21 },
            "tipo de documento" },
    };
    for (const Refused& c : cases)
        expectRefused(c);
}

// What XML allows next to those faults still loads.
TEST(XmlStrictness, WellFormedNeighboursStillLoad)
{
    const std::string declaring = "<?xml version=\"1.0\" encoding=\"";
    struct Case {
        const char* name;
        std::string bytes;
    };
    const Case cases[] = {
        { "version 1.1", "<?xml version='1.1'?><A v='x'/>" },
        { "version 1.10", "<?xml version=\"1.10\" ?><A v='x'/>" },
        { "all three, blanks around =",
            "<?xml version = '1.0'\tencoding = \"UTF-8\"\r\nstandalone='no' ?><A v='x'/>" },
        { "standalone yes", "<?xml version='1.0' standalone='yes'?><A v='x'/>" },
        { "another instruction named like it", "<?xml-stylesheet href='a'?><A v='x'/>" },
        { "UTF-16 LE mark, UTF-16 declared", utf16le(declaring + "UTF-16\"?><A v='x'/>") },
        { "UTF-16 LE mark, UTF-16LE declared", utf16le(declaring + "utf-16le\"?><A v='x'/>") },
        { "UTF-16 BE mark, UTF-16BE declared", utf16(declaring + "UTF-16BE\"?><A v='x'/>", true, true) },
        { "UTF-16 without a mark, UTF-16 declared", utf16le(declaring + "UTF-16\"?><A v='x'/>", false) },
        { "UTF-16 without a mark, no encoding", utf16("<?xml version='1.0'?><A v='x'/>", true, false) },
        { "UTF-16 surrogate pair",
            utf16le("<A v='x' w='") + std::string("\x3D\xD8\x00\xDE", 4) + utf16le("'/>", false) },
        { "UTF-8 mark, UTF-8 declared", std::string(kBom8) + declaring + "utf-8\"?><A v='x' w='\xC3\xA0'/>" },
        { "UTF-8 mark, no declaration", std::string(kBom8) + "<A v='x' w='\xE2\x82\xAC'/>" },
        { "names beyond ASCII XML allows",
            "<\xC3\x80\xC2\xB7 \xC3\xA0\xCC\x81-1='1' \xF0\x90\x80\x80='2' v='x'>"
            "</\xC3\x80\xC2\xB7>" },
        { "no-break space in a value",
            "<A v='x' w='a\xC2\xA0"
            "b'/>" },
        { "internal subset of every kind",
            "<!DOCTYPE A [\n"
            "  <!ELEMENT A (#PCDATA)>\n"
            "  <!ATTLIST A v CDATA #IMPLIED w ID #REQUIRED\n"
            "              t (x|y) #IMPLIED n NOTATION ( n ) #IMPLIED>\n"
            "  <!ATTLIST A>\n"
            "  <!NOTATION n SYSTEM 'n'>\n"
            "  <!ENTITY e 'x'>\n"
            "  <?pi x?>\n"
            "  <!-- c -->\n"
            "]>\n"
            "<A v='&e;'/>" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ("x", XmlDocument::parse(c.bytes).root().attribute("v"));
        EXPECT_EQ("x", parseFully(c.bytes, {}).root().attribute("v"));
    }
}

// A name or value from the file is quoted cut short: a file of one huge name does not
// make a message of its size. The message stays valid UTF-8 whatever the file held.
TEST(XmlStrictness, MessagesQuoteNamesAndValuesCutShort)
{
    const std::string huge(1 << 20, 'n');
    const Refused cases[] = {
        { "repeated attribute", "<A " + huge + "='1' " + huge + "='2'/>", { 1, 2 }, "…»" },
        { "undeclared entity", "<A v='&" + huge + ";'/>", { 1, 7 }, "…»" },
        { "reference without its semicolon", "<A v='&" + huge + "'/>", { 1, 1048584 }, "…»" },
        { "unknown encoding", "<?xml version='1.0' encoding='X" + huge + "'?><A/>", { 1, 31 }, "…»" },
        { "version", "<?xml version='1." + huge + "'?><A/>", { 1, 16 }, "…»" },
        { "name before a character names exclude", "<A " + huge + "\xC2\xA0='1'/>", { 1, 1048580 }, "…»" },
        { "attribute default", "<!DOCTYPE A [<!ATTLIST " + huge + " v CDATA 'x'>]><A/>", { 1, 1048609 },
            "…»" },
        { "unknown declaration", "<!DOCTYPE A [<!" + huge + ">]><A/>", { 1, 14 }, "…»" },
        { "entity declared external",
            "<!DOCTYPE A [<!ENTITY " + huge + " SYSTEM 'x'>]><A v='&" + huge + ";'/>", { 1, 1048619 }, "…»" },
        { "bytes beyond UTF-8 in an encoding's name", "<?xml version='1.0' encoding='\xE9\xFF\xC3'?><A/>",
            { 1, 31 }, "«???»" },
    };
    for (const Refused& c : cases) {
        expectRefused(c);
        const auto error
            = expectError(ErrorCode::XmlMalformed, [&] { XmlDocument::parse(c.bytes, "prueba.xml"); });
        ASSERT_TRUE(error);
        EXPECT_LT(error->message().size(), 400u) << c.name;
        EXPECT_EQ(std::string_view::npos, tramazel::text::firstInvalidUtf8(error->message())) << c.name;
    }
    // The service's other errors quote what the caller gave it the same way.
    const XmlDocument doc = XmlDocument::parse("<A/>");
    for (const std::string& path : { "A" + huge, "/A//" + huge }) {
        const auto error = expectError(ErrorCode::InvalidArgument, [&] { doc.select(path); });
        ASSERT_TRUE(error);
        EXPECT_LT(error->message().size(), 400u);
    }
}

// A file cut short (a copy or a download that stopped) says so, rather than naming
// the construct the cut happened to fall in; a fault with text after it keeps its own.
TEST(XmlStrictness, AFileCutShortSaysItEndsEarly)
{
    const Refused cut[] = {
        { "in an attribute value", "<CENTRE><MATERIES><MATERIA codi=\"1\" descripcio=\"Mat", { 1, 49 },
            "termina antes" },
        { "after a child's end", "<CENTRE><MATERIES><MATERIA codi=\"1\"/>", { 1, 37 }, "termina antes" },
        { "after the root's start and blanks", "<CENTRE>\n  \n", { 2, 3 }, "termina antes" },
        { "inside a tag", "<CENTRE><AULES><AULA codi", { 1, 26 }, "termina antes" },
    };
    for (const Refused& c : cut)
        expectRefused(c);
    const Refused notCut { "a mismatch with text after it", "<CENTRE></AULES>\n", { 1, 11 },
        "no corresponde" };
    expectRefused(notCut);
}
