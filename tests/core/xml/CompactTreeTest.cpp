// SPDX-License-Identifier: GPL-3.0-or-later
// Documents in the plain shape are read into a compact tree, everything else into a
// pugixml DOM with the full checks. These tests hold the two readings to each other:
// the same elements and values where the compact tree is built, and the full reading
// (with its exact errors) wherever it is not.
#include "xml/CompactTree.h"
#include "Error.h"
#include "TestSupport.h"
#include "xml/XmlDocument.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

using tramazel::Error;
using tramazel::ErrorCode;
using tramazel::test::expectError;
using tramazel::xml::XmlDocument;
using tramazel::xml::XmlElement;
using tramazel::xml::detail::parseCompact;
using tramazel::xml::detail::parseFully;

namespace {

struct Case {
    const char* name;
    std::string text;
};

bool readsCompact(const std::string& text)
{
    return parseCompact(text).has_value();
}

// Names that share a length, their first or last eight bytes, or all but one byte,
// with each other or with the names the documents below use.
const char* const kNames[]
    = { "a", "b", "ab", "ba", "aba", "codi", "curs", "cod", "codis", "x:y", "descripcio", "descripcia",
          "abcdefgh", "abcdefgi", "abcdefghijklmnop", "abcdefghijklmnoq", "abcdefgh_abcdefgh",
          "abcdefgh.abcdefgh", "abcdefghXYZijklmnop", "abcdefghXYWijklmnop", "n0", "n63", "", "missing" };

// Every attribute read the builders make, in document order, as one text.
std::string readings(const XmlElement& element)
{
    std::string out = std::string(element.name()) + "(";
    std::string scratch;
    for (const char* name : kNames) {
        std::size_t replaced = 0, replacedView = 0;
        const std::string value = element.attribute(name, &replaced);
        out += value + "|" + std::to_string(replaced) + (element.hasAttribute(name) ? "+" : "-") + ",";
        // The read without a copy gives the same.
        EXPECT_EQ(value, element.attribute(name, scratch, &replacedView)) << name;
        EXPECT_EQ(replaced, replacedView) << name;
    }
    out += ")";
    for (const char* child : { "A", "B", "C" }) {
        for (const XmlElement& e : element.children(child))
            out += readings(e);
    }
    return out;
}

} // namespace

// The compact tree gives what the full parse gives: elements, attribute values as
// stored (references decoded, blanks made spaces), the root's position, the document
// written back, and the values the builders read.
TEST(CompactTree, PlainDocumentsReadAsTheFullParseReadsThem)
{
    const Case cases[] = {
        { "declaration and nesting",
            "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<A a=\"1\">\n  <B b=\"2\"/>\n  <B "
            "b=\"3\"><C/></B>\n</A>\n" },
        { "no declaration, one line", "<A><B a='x'/><C a='y'/><B a='z'/></A>" },
        { "predefined entities", "<A a=\"&lt;&gt;&amp;&quot;&apos;\" b='x&amp;y'/>" },
        { "character references", "<A a=\"&#233;&#xE9;&#xe9;&#x1F600;&#0065;\" b='&#9;t&#10;n&#13;r'/>" },
        { "blanks in values", "<A a=\"x\ty\nz\rw\r\nv\" b=\"\r\n\" codi=\"end\r\"/>" },
        { "quotes inside values", "<A a=\"d'ESO\" b='say \"hi\"'/>" },
        { "blanks around = and before >", "<A  a = \"1\"\tb\n=\n'2' ><B a=\"3\" /></A >" },
        { "line breaks between elements", "<?xml version='1.0'?>\r\n<A>\r\n\t<B/>\r\n</A>\r\n\r\n" },
        { "names with all name characters", "<A x:y=\"1\" a.b-c_9=\"2\"><B_1.x-y/></A>" },
        { "empty and blank values", "<A a=\"\" b=\"   \" codi=\" \t \"/>" },
        { "values to trim", "<A a=\" x\" b=\"x \" codi='&#32;y&#9;' x:y='&#xA0;z&#xA0;'/>" },
        { "references to ASCII and beyond", "<A a='&#65;&amp;' b='&#xE0;' codi='&#8364;' x:y='&#x1F600;'/>" },
        { "names alike",
            "<A abcdefgh='1' abcdefghijklmnop='2' abcdefgh_abcdefgh='3' abcdefghXYZijklmnop='4' aba='5' "
            "descripcio='6' ab='7' cod='8'><B abcdefgi='9' abcdefghijklmnoq='10' abcdefgh.abcdefgh='11' "
            "abcdefghXYWijklmnop='12' ba='13' descripcia='14' codis='15' curs='16'/></A>" },
        { "UTF-8 values",
            "<A a=\"Matem\xC3\xA0tiques\" b=\"\xE2\x82\xAC \xF0\x9F\x98\x80\" codi=\"\xEF\xBB\xBF\"/>" },
        { "deep nesting",
            [] {
                std::string s;
                for (int i = 0; i < 100; ++i)
                    s += "<A a=\"" + std::to_string(i) + "\">";
                for (int i = 0; i < 100; ++i)
                    s += "</A>";
                return s;
            }() },
        { "U+FEFF after other characters beyond ASCII",
            "<A a='\xC3\xA0xxxxxxxxxxxxxxxxxxxx\xEF\xBB\xBF\xC3\xA0'/>                    " },
        { "names like the one before",
            "<A><B abcdefgh='1' abcdefghijklmnop='2' ab='3'/><B abcdefgi='4' abcdefghijklmnoq='5' aba='6'/>"
            "<B abcdefgh_abcdefgh='7' abcdefghijklmnop='8' a='9'/><B abcdefgh.abcdefgh='10' b='11'/>"
            "<BB/><B/><BBBBBBBB/><BBBBBBBBB/><BBBBBBBC/><B/><C b='1' a='2'/><C a='3' b='4' a.b='5'/></A>"
            "                                " },
        { "markup and non-ASCII at every offset of a value",
            [] {
                std::string s = "<A>";
                for (std::size_t k = 0; k < 40; ++k) {
                    const std::string run(k, 'x');
                    s += "<B a='" + run + "&amp;' b=\"" + run + "\xC3\xA0\" codi='" + run + "\t' x:y='" + run
                        + "\"'/>";
                }
                return s + "</A>";
            }() },
        { "longest value",
            "<A a='" + std::string(32765, 'x') + "\xC3\xA0' b=' " + std::string(32765, 'y') + " '/>" },
        { "sixty-four attributes",
            [] {
                std::string s = "<A";
                for (int i = 0; i < 64; ++i)
                    s += " n" + std::to_string(i) + "=\"" + std::to_string(i) + "\"";
                return s + "/>";
            }() },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ASSERT_TRUE(readsCompact(c.text));
        const XmlDocument compact = XmlDocument::parse(c.text);
        const XmlDocument full = parseFully(c.text, {});
        EXPECT_EQ(full.toUtf8(), compact.toUtf8());
        EXPECT_EQ(full.rootPosition(), compact.rootPosition());
        EXPECT_EQ(readings(full.root()), readings(compact.root()));
        for (const char* path : { "/A", "/A/B", "/A/B/C", "/A/C", "/B", "/A/D", "/A/B/D" }) {
            EXPECT_EQ(full.select(path).size(), compact.select(path).size()) << path;
            EXPECT_EQ(full.selectSingle(path).isNull(), compact.selectSingle(path).isNull()) << path;
        }
    }
}

// Anything outside the plain shape, and every fault, is left to the full parse: the
// well-formed documents still load, the others fail with the full parse's message.
TEST(CompactTree, OtherDocumentsAreLeftToTheFullParse)
{
    struct Other {
        const char* name;
        std::string text;
        bool wellFormed;
    };
    const std::string tooManyAttributes = [] {
        std::string s = "<A";
        for (int i = 0; i < 65; ++i)
            s += " n" + std::to_string(i) + "='1'";
        return s + "/>";
    }();
    const Other cases[] = {
        { "comment", "<A><!-- c --><B/></A>", true },
        { "comment in the prolog", "<!-- c --><A/>", true },
        { "DOCTYPE", "<!DOCTYPE A [<!ENTITY e \"x\">]><A a=\"&e;\"/>", true },
        { "text content", "<A>text</A>", true },
        { "reference in content", "<A>&amp;</A>", true },
        { "CDATA", "<A><![CDATA[x]]></A>", true },
        { "processing instruction", "<A><?pi x?></A>", true },
        { "declaration without blank", "<?xml-stylesheet href='a'?><A/>", true },
        { "byte-order mark twice", "\xEF\xBB\xBF\xEF\xBB\xBF<A/>", true },
        { "non-ASCII element name", "<\xC3\x80/>", true },
        { "non-ASCII attribute name", "<A \xC3\xA0='1'/>", true },
        { "more than sixty-four attributes", tooManyAttributes, true },
        { "value longer than 32767 bytes", "<A a='" + std::string(32768, 'x') + "'/>", true },
        { "value longer than 65535 bytes", "<A a='" + std::string(70000, 'x') + "'/>", true },
        { "repeated attribute", "<A a='1' a='2'/>", false },
        { "repeated attribute far apart", "<A a='1' b='2' c='3' a='4'/>", false },
        { "repeated attribute after an element like it", "<A><B a='1' b='2'/><B a='1' a='2'/></A>      ",
            false },
        { "end tag mismatch", "<A><B></A></B>", false },
        { "end tag longer", "<A></AB>", false },
        { "unclosed", "<A><B/>", false },
        { "two roots", "<A/><B/>", false },
        { "text after the root", "<A/>x", false },
        { "less-than in a value", "<A a='<'/>", false },
        { "bare ampersand", "<A a='&'/>", false },
        { "undeclared entity", "<A a='&e;'/>", false },
        { "reference without semicolon", "<A a='&amp'/>", false },
        { "reference to an excluded character", "<A a='&#1;'/>", false },
        { "reference beyond Unicode", "<A a='&#x110000;'/>", false },
        { "uppercase X in a reference", "<A a='&#X41;'/>", false },
        { "excluded control character", "<A a='\x01'/>", false },
        { "U+FFFE", "<A a='\xEF\xBF\xBE'/>", false },
        { "U+FFFF after other characters beyond ASCII",
            "<A a='\xC3\xA0xxxxxxxxxxxxxxxxxxxx\xEF\xBF\xBF'/>                    ", false },
        { "nul character", std::string("<A a='x\0'/>", 10), false },
        { "attributes without blank between", "<A a='1'b='2'/>", false },
        { "attribute without value", "<A a/>", false },
        { "unquoted value", "<A a=1/>", false },
        { "unterminated value", "<A a='1", false },
        { "slash without >", "<A/ >", false },
        { "declaration not closed", "<?xml version='1.0'<A/>", false },
        { "control character in the declaration", "<?xml version='1.0\x02'?><A/>", false },
        { "no element", "<?xml version='1.0'?>", false },
        { "empty", "", false },
    };
    for (const Other& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_FALSE(readsCompact(c.text));
        if (c.wellFormed) {
            EXPECT_EQ(parseFully(c.text, {}).toUtf8(), XmlDocument::parse(c.text).toUtf8());
            continue;
        }
        const auto full = expectError(ErrorCode::XmlMalformed, [&] { parseFully(c.text, "f.xml"); });
        const auto error = expectError(ErrorCode::XmlMalformed, [&] { XmlDocument::parse(c.text, "f.xml"); });
        ASSERT_TRUE(full && error);
        EXPECT_EQ(full->what(), std::string(error->what()));
        EXPECT_EQ(full->position(), error->position());
    }
}

// The reads without a list or a copy give what the old reads give, on both kinds of
// document; elements of a loaded document cannot be changed.
TEST(CompactTree, LightReadsMatchAndLoadedElementsAreReadOnly)
{
    const std::string text = "<A><B a=' x '/><C/><B a='Matem\xC3\xA0tiques \xE2\x84\xA2'/><B/>"
                             "<C a='\xD7\x90'/><B a='last'/></A>";
    for (const bool compact : { true, false }) {
        SCOPED_TRACE(compact ? "compact tree" : "pugixml DOM");
        const XmlDocument doc = compact ? XmlDocument::parse(text) : parseFully(text, {});
        const XmlElement root = doc.root();
        std::vector<std::string> visited;
        root.forEachChild("B", [&](const XmlElement& b) {
            std::string scratch;
            std::size_t replacedOld = 0, replacedNew = 0;
            const std::string old = b.attribute("a", &replacedOld);
            EXPECT_EQ(old, b.attribute("a", scratch, &replacedNew));
            EXPECT_EQ(replacedOld, replacedNew);
            visited.push_back(old);
        });
        EXPECT_EQ((std::vector<std::string> { "x", "Matem\xE0tiques \x99", "", "last" }), visited);
        std::size_t count = 0;
        for (XmlElement c = root.firstChild("C"); !c.isNull(); c = c.nextSibling("C"))
            ++count;
        EXPECT_EQ(2u, count);
        EXPECT_TRUE(root.firstChild("D").isNull());
        std::string scratch;
        std::size_t replaced = 0;
        EXPECT_EQ("?", root.children("C")[1].attribute("a", scratch, &replaced));
        EXPECT_EQ(1u, replaced);
        EXPECT_EQ("", root.attribute("a", scratch));
    }
    XmlDocument loaded = XmlDocument::parse(text);
    XmlElement root = loaded.root();
    expectError(ErrorCode::InvalidArgument, [&] { root.appendChild("D"); });
    expectError(ErrorCode::InvalidArgument, [&] { root.setAttribute("a", "1"); });
    expectError(ErrorCode::InvalidArgument, [&] { root.appendAttribute("z", "1"); });
    expectError(ErrorCode::InvalidArgument, [&] { loaded.createRoot("R"); });
}

// A name looked up once reads what the name reads: on both kinds of document, for
// names the document lacks, and with elements of another document.
TEST(CompactTree, NamesLookedUpOnceReadAsTheNamesRead)
{
    const std::string text = "<A a=' x ' codi='1'><B a='Matem\xC3\xA0tiques' b='\xD7\x90'/><B codi='2' "
                             "abcdefghijklmnop='3' abcdefgh_abcdefgh='4'/><B a='y'/></A>";
    const std::string other = "<A><B b='z' a='w' codi='&#233;'/></A>";
    const XmlDocument docs[] = { XmlDocument::parse(text), parseFully(text, {}), XmlDocument::parse(other) };
    for (const XmlDocument& lookedUpIn : docs) {
        for (const XmlDocument& readFrom : docs) {
            std::vector<XmlElement> elements = readFrom.root().children("B");
            elements.push_back(readFrom.root());
            for (const char* name : kNames) {
                SCOPED_TRACE(name);
                const auto looked = lookedUpIn.attributeName(name);
                EXPECT_EQ(name, looked.text());
                for (const XmlElement& e : elements) {
                    std::string scratch, scratchByName;
                    std::size_t replaced = 0, replacedByName = 0;
                    EXPECT_EQ(e.attribute(name, scratchByName, &replacedByName),
                        e.attribute(looked, scratch, &replaced));
                    EXPECT_EQ(replacedByName, replaced);
                }
            }
        }
    }
}
