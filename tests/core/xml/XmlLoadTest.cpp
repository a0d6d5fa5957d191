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
            std::string("<\0?\0x\0m\0l\0 \0?\0>\0<\0A\0 \0v\0=\0'\0\xE7\0'\0/\0>\0", 36), "\xE7" },
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
        { "invalid UTF-8 after a byte-order mark is left to the parser", "\xEF\xBB\xBF<A v='\xB7'>\n</B>",
            { 2, 3 } },
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

TEST(XmlSelect, AbsolutePathsInDocumentOrder)
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

TEST(XmlAttribute, TrimmedConvertedAndEmptyWhenMissing)
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
