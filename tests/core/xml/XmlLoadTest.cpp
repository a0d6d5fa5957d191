// SPDX-License-Identifier: GPL-3.0-or-later
#include "Error.h"
#include "TestSupport.h"
#include "xml/XmlDocument.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <set>
#include <string>
#include <vector>

using tramazel::ErrorCode;
using tramazel::TextPosition;
using tramazel::test::expectError;
using tramazel::test::fixture;
using tramazel::test::TempDir;
using tramazel::xml::XmlDocument;
using tramazel::xml::XmlElement;

namespace {

// Every file in fixtures/xml is named in one of these two tables: the well-formed
// shapes of one centre document, and broken files with where their error lies. A file
// added to the folder fails FixtureFolderHoldsOnlyFilesOfTheTables until it is listed.
struct ShapeFixture {
    const char* file;
    TextPosition root; // the root element's start tag
};
const ShapeFixture kShapeFixtures[] = {
    { "utf8-bom-no-declaration.xml", { 1, 1 } },
    { "utf8-declaration-per-line.xml", { 2, 1 } },
    { "utf8-one-line.xml", { 1, 22 } },
    { "utf16le-bom.xml", { 2, 1 } },
    { "utf16be-bom.xml", { 2, 1 } },
    { "iso-8859-1.xml", { 2, 1 } },
    { "windows-1252.xml", { 2, 1 } },
};

struct MalformedFixture {
    const char* file;
    TextPosition error;
};
const MalformedFixture kMalformedFixtures[] = {
    { "malformed-mismatch.xml", { 5, 5 } },
    { "malformed-invalid-utf8.xml", { 2, 24 } },
    { "malformed-unsupported-encoding.xml", { 3, 21 } },
    { "malformed-windows-1252-attribute.xml", { 2, 32 } },
    { "malformed-utf16le-two-roots.xml", { 2, 25 } },
};

// Files of the fixture folder that are data, not documents.
const std::set<std::string> kNotDocuments = { "README.md", "make-fixtures.py" };

} // namespace

// The same centre document in every byte shape the loader accepts reads the same.
TEST(XmlLoad, EveryEncodingShapeReadsTheSameCp1252Values)
{
    for (const ShapeFixture& shape : kShapeFixtures) {
        SCOPED_TRACE(shape.file);
        const XmlDocument doc = XmlDocument::load(fixture(std::string("xml/") + shape.file));
        ASSERT_EQ("CENTRE", doc.root().name());
        EXPECT_EQ(shape.root, doc.rootPosition());
        EXPECT_EQ("IES Sa Col\xF2nia", doc.root().attribute("nom"));

        const auto materies = doc.select("/CENTRE/MATERIES/MATERIA");
        ASSERT_EQ(2u, materies.size());
        EXPECT_EQ("101", materies[0].attribute("codi"));
        EXPECT_EQ("Llengua catalana i literatura", materies[0].attribute("descripcio"));
        EXPECT_EQ("102", materies[1].attribute("codi"));
        std::size_t replaced = 0;
        EXPECT_EQ(
            "Educaci\xF3 f\xEDsica \xB7 Col\xB7legi \xF1", materies[1].attribute("descripcio", &replaced));
        EXPECT_EQ(0u, replaced);

        const auto aules = doc.select("/CENTRE/AULES/AULA");
        ASSERT_EQ(1u, aules.size());
        EXPECT_EQ("Aula d'inform\xE0tica", aules[0].attribute("descripcio"));
    }
}

TEST(XmlLoad, SingleByteDeclarationsDecodeTheirOwnBytes)
{
    struct Case {
        const char* name;
        std::string bytes;
        std::string expected; // cp1252
    };
    const Case cases[] = {
        { "windows-1252 euro and quote",
            "<?xml version=\"1.0\" encoding=\"windows-1252\"?><A v=\"\x80 \x92\"/>", "\x80 \x92" },
        { "cp1252 spelling, any case", "<?xml version=\"1.0\" encoding=\"CP1252\"?><A v=\"\x8A\"/>", "\x8A" },
        { "latin1 spelling", "<?xml version='1.0' encoding='Latin1'?><A v='\xE7'/>", "\xE7" },
        { "ISO-8859-1 read as its Windows superset",
            "<?xml version=\"1.0\" encoding=\"iso-8859-1\"?><A v=\"\x80\"/>", "\x80" },
        { "ISO-8859-15 euro", "<?xml version=\"1.0\" encoding=\"ISO-8859-15\"?><A v=\"\xA4\"/>", "\x80" },
        { "UTF-8 declared", "<?xml version=\"1.0\" encoding=\"UTF-8\"?><A v=\"\xC3\xA7\"/>", "\xE7" },
        { "UTF-16 LE without mark",
            std::string("<\0?\0x\0m\0l\0 \0v\0e\0r\0s\0i\0o\0n\0=\0'\0"
                        "1\0.\0"
                        "0\0'\0?\0>\0<\0A\0 \0v\0=\0'\0\xE7\0'\0/\0>\0",
                62),
            "\xE7" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const XmlDocument doc = XmlDocument::parse(c.bytes);
        EXPECT_EQ(c.expected, doc.root().attribute("v"));
    }
}

TEST(XmlLoad, MalformedDocumentsReportLineAndColumn)
{
    struct Case {
        const char* name;
        std::string bytes;
        TextPosition position;
    };
    const Case cases[] = {
        { "unclosed element", "<A>\n  <B>\n</A>\n", { 3, 3 } },
        { "unterminated start tag", "<A>\n<B v='1'\n", { 2, 9 } },
        { "bad attribute", "<A\r\n  v=1/>", { 2, 5 } },
        { "no element at all", "<?xml version=\"1.0\"?>\n", { 2, 1 } },
        { "empty", "", { 1, 1 } },
        { "two root elements", "<A/>\n<B/>", { 2, 2 } },
        { "text before the root", "texto\n<A/>", { 1, 1 } },
        { "text after the root", "<A/>\n  texto", { 2, 3 } },
        { "repeated attribute", "<A>\n <B v='1' v='2'/></A>", { 2, 3 } },
        { "invalid UTF-8 byte", "<A>\n<B v='Col\xB7legi'/></A>", { 2, 10 } },
        { "invalid UTF-8 after a byte-order mark", "\xEF\xBB\xBF<A v='\xB7'>\n</B>", { 1, 7 } },
        { "column counts characters", "<A v='\xC3\xA0\xC3\xA0' w=x/>", { 1, 13 } },
        { "unknown encoding with bytes", "<?xml version=\"1.0\" encoding=\"KOI8-R\"?><A v='\xE9'/>",
            { 1, 46 } },
        { "nul character", std::string("<A v='1'/>\n\0<B/>", 15), { 2, 1 } },
        { "UTF-16 ending inside the root", std::string("\xFF\xFE<\0A\0>\0", 8), { 1, 3 } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto error
            = expectError(ErrorCode::XmlMalformed, [&] { XmlDocument::parse(c.bytes, "prueba.xml"); });
        ASSERT_TRUE(error);
        EXPECT_EQ(c.position, error->position());
    }
}

// What XML forbids and a lenient parser lets through, each refused where it lies.
TEST(XmlLoad, DocumentsXmlForbidsAreRefused)
{
    struct Case {
        const char* name;
        std::string bytes;
        TextPosition position;
    };
    const Case cases[] = {
        { "bare ampersand in an attribute", "<A>\n<B codi='A & B'/></A>", { 2, 12 } },
        { "bare ampersand in text", "<A>x & y</A>", { 1, 6 } },
        { "undefined entity", "<A v='&foo;'/>", { 1, 7 } },
        { "undefined entity in text", "<A>\n &foo;</A>", { 2, 2 } },
        { "&lt without its semicolon", "<A v='&lt'/>", { 1, 10 } },
        { "less-than in an attribute", "<A v='a<b'/>", { 1, 8 } },
        { "comment containing two dashes", "<A><!-- a -- b --></A>", { 1, 11 } },
        { "comment ending in three dashes", "<A><!-- a ---></A>", { 1, 11 } },
        { "]]> in text", "<A>\nx ]]> y</A>", { 2, 3 } },
        { "DOCTYPE after the root", "<A/>\n<!DOCTYPE A>", { 2, 1 } },
        { "two DOCTYPEs", "<!DOCTYPE A>\n<!DOCTYPE A><A/>", { 2, 1 } },
        { "XML declaration after a comment", "<!-- c --><?xml version=\"1.0\"?><A/>", { 1, 11 } },
        { "XML declaration after blanks", "\n<?xml version=\"1.0\"?><A/>", { 2, 1 } },
        { "XML declaration inside the root", "<A><?XML version=\"1.0\"?></A>", { 1, 4 } },
        { "reference to U+0000 cuts nothing", "<A v='AB&#0;CD'/>", { 1, 9 } },
        { "reference to a surrogate", "<A v='&#xD800;'/>", { 1, 7 } },
        { "reference beyond U+10FFFF", "<A v='&#x110000;'/>", { 1, 7 } },
        { "reference to U+FFFE", "<A v='&#xFFFE;'/>", { 1, 7 } },
        { "reference to a control", "<A>&#1;</A>", { 1, 4 } },
        { "huge reference", "<A v='&#99999999999999999999;'/>", { 1, 7 } },
        { "reference without digits", "<A v='&#;'/>", { 1, 7 } },
        { "decimal reference with hex digits", "<A v='&#1F;'/>", { 1, 7 } },
        { "control character in a value", "<A v='a\x01'/>", { 1, 8 } },
        { "control character in text", "<A>\x1F</A>", { 1, 4 } },
        { "control character in a comment", "<A><!-- \x02 --></A>", { 1, 9 } },
        { "U+FFFF written out", "<A v='\xEF\xBF\xBF'/>", { 1, 7 } },
        { "CDATA outside the root", "<![CDATA[x]]><A/>", { 1, 1 } },
        { "parameter entity used", "<!DOCTYPE A [<!ENTITY % p 'x'> %p;]><A/>", { 1, 32 } },
        { "external entity used", "<!DOCTYPE A [<!ENTITY e SYSTEM 'file:///etc/passwd'>]>\n<A v='&e;'/>",
            { 2, 7 } },
        { "entity referring to itself", "<!DOCTYPE A [<!ENTITY e 'a&e;'>]>\n<A v='&e;'/>", { 2, 7 } },
        { "entities referring to each other", "<!DOCTYPE A [<!ENTITY e '&f;'><!ENTITY f '&e;'>]>\n<A>&e;</A>",
            { 2, 4 } },
        { "entity with markup in text", "<!DOCTYPE A [<!ENTITY e '<B/>'>]>\n<A>&e;</A>", { 2, 4 } },
        { "entity with less-than in an attribute", "<!DOCTYPE A [<!ENTITY e '&#60;'>]>\n<A v='&e;'/>",
            { 2, 7 } },
        { "entity using an undeclared one", "<!DOCTYPE A [<!ENTITY e '&f;'>]>\n<A v='&e;'/>", { 2, 7 } },
        { "bare ampersand in an entity value", "<!DOCTYPE A [<!ENTITY e 'a & b'>]><A/>", { 1, 28 } },
        { "earlier parser fault wins", "<A>\n</B>\n<C v='&x;'/>", { 2, 3 } },
        { "earlier scan fault wins", "<A v='&x;'>\n</B>", { 1, 7 } },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const auto error
            = expectError(ErrorCode::XmlMalformed, [&] { XmlDocument::parse(c.bytes, "prueba.xml"); });
        ASSERT_TRUE(error);
        EXPECT_EQ(c.position, error->position());
        EXPECT_NE(std::string::npos, error->message().find("prueba.xml")) << error->message();
    }
}

// What XML allows near those faults still loads.
TEST(XmlLoad, WellFormedNeighboursStillLoad)
{
    struct Case {
        const char* name;
        std::string bytes;
        std::string expected; // attribute v, cp1252
    };
    const Case cases[] = {
        { "escaped ampersand and less-than", "<A v='A &amp; B &lt; C'/>", "A & B < C" },
        { "greater-than in a value", "<A v='a>b'/>", "a>b" },
        { "]] without > in text", "<A v='x'>a ]] b ]></A>", "x" },
        { "]]> inside CDATA's end only", "<A v='x'><![CDATA[a ] ]] b]]></A>", "x" },
        { "comment with single dashes", "<!-- a - b --><A v='x'><!----></A>", "x" },
        { "declaration, comment, DOCTYPE, root", "<?xml version='1.0'?><!-- c --><!DOCTYPE A><A v='x'/>",
            "x" },
        { "other processing instruction anywhere", "<?xml-stylesheet href='a'?><A v='x'><?xmlx y?></A>",
            "x" },
        { "largest references", "<A v='&#xFFFD;&#x10FFFF;&#1114111;'/>", "???" },
        { "tab, line feed and carriage return references", "<A v='&#9;a&#10;b&#13;'/>", "a\nb" },
        { "DOCTYPE with an external subset, never read", "<!DOCTYPE A SYSTEM 'no-existe.dtd'><A v='x'/>",
            "x" },
        { "declared external entity, never used",
            "<!DOCTYPE A [<!ENTITY e SYSTEM 'file:///etc/passwd'>]><A v='x'/>", "x" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const XmlDocument doc = XmlDocument::parse(c.bytes);
        EXPECT_EQ(c.expected, doc.root().attribute("v"));
    }
}

// Internal entities a DOCTYPE declares are expanded, never kept as "&name;".
TEST(XmlLoad, InternalEntitiesAreExpanded)
{
    const std::string doctype = "<!DOCTYPE CENTRE [\n"
                                "  <!ELEMENT CENTRE ANY>\n"
                                "  <!ATTLIST A v CDATA #IMPLIED>\n"
                                "  <!-- a comment -->\n"
                                "  <!ENTITY lol \"lol\">\n"
                                "  <!ENTITY lol \"second declaration, ignored\">\n"
                                "  <!ENTITY two '&lol;&lol;'>\n"
                                "  <!ENTITY amp2 '&#38;#38;'>\n"
                                "  <!ENTITY quotes '\"&apos;&lt;&gt;'>\n"
                                "  <!ENTITY accent '&#xE0;'>\n"
                                "  <!ENTITY empty ''>\n"
                                "  <!ENTITY % param 'unused'>\n"
                                "]>\n";
    struct Case {
        const char* name;
        const char* value; // as written in the attribute (double quotes around it)
        std::string expected; // cp1252
    };
    const Case cases[] = {
        { "one entity", "x&lol;y", "xloly" },
        { "nested", "&two;", "lollol" },
        { "character references first, then entities", "&amp2;", "&" },
        { "quotes and markup characters as text", "&quotes;", "\"'<>" },
        { "character reference in the value", "&accent;", "\xE0" },
        { "empty entity", "a&empty;b", "ab" },
        { "several in one value", "&lol; &amp; &lol;", "lol & lol" },
    };
    std::string xml = doctype + "<CENTRE>\n";
    for (const Case& c : cases)
        xml += std::string("  <A v=\"") + c.value + "\">&lol;</A>\n";
    xml += "  <B v='&lol;'>\n  </B x>\n</CENTRE>";
    // The fault after the expansions is reported where it lies in the file.
    const auto error = expectError(ErrorCode::XmlMalformed, [&] { XmlDocument::parse(xml); });
    ASSERT_TRUE(error);
    EXPECT_EQ(TextPosition({ 23, 7 }), error->position());

    xml = doctype + "<CENTRE>\n";
    for (const Case& c : cases)
        xml += std::string("  <A v=\"") + c.value + "\">&lol;</A>\n";
    xml += "</CENTRE>";
    const XmlDocument doc = XmlDocument::parse(xml);
    EXPECT_EQ(TextPosition({ 14, 1 }), doc.rootPosition());
    const auto elements = doc.select("/CENTRE/A");
    ASSERT_EQ(std::size(cases), elements.size());
    for (std::size_t i = 0; i < elements.size(); ++i) {
        SCOPED_TRACE(cases[i].name);
        EXPECT_EQ(cases[i].expected, elements[i].attribute("v"));
    }
}

// Entities that would grow without bound are refused, quickly.
TEST(XmlLoad, EntityExpansionIsBounded)
{
    std::string laughs = "<!DOCTYPE A [<!ENTITY l0 'lol'>";
    for (int i = 1; i < 10; ++i)
        laughs += "<!ENTITY l" + std::to_string(i) + " '" + [&] {
            std::string refs;
            for (int k = 0; k < 10; ++k)
                refs += "&l" + std::to_string(i - 1) + ";";
            return refs;
        }() + "'>";
    laughs += "]><A v='&l9;'/>";
    std::string empties = "<!DOCTYPE A [<!ENTITY e0 ''>";
    for (int i = 1; i < 8; ++i)
        empties += "<!ENTITY e" + std::to_string(i) + " '" + [&] {
            std::string refs;
            for (int k = 0; k < 100; ++k)
                refs += "&e" + std::to_string(i - 1) + ";";
            return refs;
        }() + "'>";
    empties += "]><A v='&e7;'/>";
    std::string deep = "<!DOCTYPE A [<!ENTITY d0 'x'>";
    for (int i = 1; i <= 20; ++i)
        deep += "<!ENTITY d" + std::to_string(i) + " '&d" + std::to_string(i - 1) + ";'>";
    deep += "]><A v='&d20;'/>";
    for (const std::string* bomb : { &laughs, &empties, &deep }) {
        const auto error = expectError(ErrorCode::XmlMalformed, [&] { XmlDocument::parse(*bomb); });
        ASSERT_TRUE(error);
        EXPECT_EQ(1, error->position()->line);
    }
}

TEST(XmlLoad, FixtureFolderHoldsOnlyFilesOfTheTables)
{
    std::set<std::string> known(kNotDocuments);
    for (const ShapeFixture& shape : kShapeFixtures)
        known.insert(shape.file);
    for (const MalformedFixture& malformed : kMalformedFixtures)
        known.insert(malformed.file);
    for (const auto& entry : std::filesystem::directory_iterator(fixture("xml"))) {
        const std::string name = entry.path().filename().string();
        EXPECT_TRUE(known.contains(name)) << name << " is in no table of this test";
        known.erase(name);
    }
    for (const std::string& missing : known)
        ADD_FAILURE() << missing << " is named in a table but missing from the folder";
}

TEST(XmlLoad, MalformedFixturesFailWhereTheTableSays)
{
    for (const MalformedFixture& malformed : kMalformedFixtures) {
        SCOPED_TRACE(malformed.file);
        const auto error = expectError(ErrorCode::XmlMalformed,
            [&] { XmlDocument::load(fixture(std::string("xml/") + malformed.file)); });
        ASSERT_TRUE(error);
        EXPECT_EQ(malformed.error, error->position());
    }
}

// The user reads the position in the message: its words are the user's, not a test's
// business, except that the file, the line and the column must be there.
TEST(XmlLoad, MessageNamesTheFileLineAndColumn)
{
    const auto error = expectError(
        ErrorCode::XmlMalformed, [] { XmlDocument::load(fixture("xml/malformed-mismatch.xml")); });
    ASSERT_TRUE(error);
    EXPECT_NE(std::string::npos, error->message().find("malformed-mismatch.xml")) << error->message();
    EXPECT_NE(std::string::npos, error->message().find("línea 5, columna 5")) << error->message();
}

TEST(XmlLoad, FileProblemsHaveTheirOwnCodes)
{
    TempDir dir;
    expectError(ErrorCode::FileNotFound, [&] { XmlDocument::load(dir / "no-existe.xml"); });
    expectError(ErrorCode::FileIo, [&] { XmlDocument::load(dir.path()); });
}

TEST(XmlSelect, SelectsAbsolutePathsInDocumentOrder)
{
    const XmlDocument doc = XmlDocument::parse(R"(<?xml version="1.0"?>
<CENTRE>
  <CURSOS>
    <CURS codi="1"><GRUP codi="1A"/><GRUP codi="1B"/><ALTRE/><GRUP codi="1C"/></CURS>
    <CURS codi="2"/>
  </CURSOS>
  <!-- a comment between -->
  <MATERIES><MATERIA codi="M"/></MATERIES>
  <CURSOS>
    <CURS codi="3"><GRUP codi="3A"/></CURS>
  </CURSOS>
  <CURS codi="not under CURSOS"/>
</CENTRE>)");

    auto codes = [](const std::vector<XmlElement>& elements) {
        std::string out;
        for (const XmlElement& e : elements)
            out += e.attribute("codi") + ";";
        return out;
    };
    struct Case {
        const char* path;
        const char* codes;
    };
    const Case cases[] = {
        { "/CENTRE/CURSOS/CURS", "1;2;3;" },
        { "/CENTRE/CURSOS/CURS/GRUP", "1A;1B;1C;3A;" },
        { "/CENTRE/MATERIES/MATERIA", "M;" },
        { "/CENTRE/CURS", "not under CURSOS;" },
        { "/CENTRE", ";" },
        { "/CENTRE/AULES/AULA", "" },
        { "/HORARI/CURSOS/CURS", "" },
        { "/CURSOS/CURS", "" },
        { "/centre/cursos/curs", "" },
    };
    for (const Case& c : cases) {
        EXPECT_EQ(c.codes, codes(doc.select(c.path))) << c.path;
        const XmlElement single = doc.selectSingle(c.path);
        EXPECT_EQ(std::string(c.codes).empty(), single.isNull()) << c.path;
    }
    EXPECT_EQ("3",
        doc.selectSingle("/CENTRE/CURSOS/CURS/GRUP").isNull()
            ? ""
            : doc.select("/CENTRE/CURSOS/CURS")[2].attribute("codi"));
    EXPECT_EQ("1A", doc.selectSingle("/CENTRE/CURSOS/CURS/GRUP").attribute("codi"));

    const auto cursos = doc.select("/CENTRE/CURSOS/CURS");
    EXPECT_EQ("1A;1B;1C;", codes(cursos[0].children("GRUP")));
    EXPECT_EQ("", codes(cursos[1].children("GRUP")));

    for (const char* bad : { "", "CENTRE", "/", "/CENTRE//CURS", "/CENTRE/" }) {
        SCOPED_TRACE(bad);
        expectError(ErrorCode::InvalidArgument, [&] { doc.select(bad); });
        expectError(ErrorCode::InvalidArgument, [&] { doc.selectSingle(bad); });
    }
}

TEST(XmlAttribute, IsTrimmedConvertedAndEmptyWhenMissing)
{
    const XmlDocument doc = XmlDocument::parse("<A"
                                               " spaces='  Aula 1  '"
                                               " tabs='&#9;x&#9;'"
                                               " breaks='&#13;&#10; y &#13;&#10;'"
                                               " literal='\r\n\tz\r\n'"
                                               " inner='a  b'"
                                               " blank='   '"
                                               " empty=''"
                                               " nbsp='&#160;n&#160;'"
                                               " euro='&#8364;5'"
                                               " lacking='&#1488;x&#x1F600;'"
                                               " entities='&lt;&amp;&gt;&quot;&apos;'"
                                               "/>");
    struct Case {
        const char* name;
        std::string expected;
        std::size_t replaced;
    };
    const Case cases[] = {
        { "spaces", "Aula 1", 0 },
        { "tabs", "x", 0 },
        { "breaks", "y", 0 },
        { "literal", "z", 0 },
        { "inner", "a  b", 0 },
        { "blank", "", 0 },
        { "empty", "", 0 },
        { "nbsp", "\xA0n\xA0", 0 },
        { "euro",
            "\x80"
            "5",
            0 },
        { "lacking", "?x?", 2 },
        { "entities", "<&>\"'", 0 },
        { "missing", "", 0 },
    };
    const XmlElement a = doc.root();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::size_t replaced = 0;
        EXPECT_EQ(c.expected, a.attribute(c.name, &replaced));
        EXPECT_EQ(c.replaced, replaced);
        EXPECT_EQ(std::string(c.name) != "missing", a.hasAttribute(c.name));
    }
}
