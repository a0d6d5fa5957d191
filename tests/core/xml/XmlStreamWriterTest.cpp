// SPDX-License-Identifier: GPL-3.0-or-later
#include "xml/XmlStreamWriter.h"
#include "Error.h"
#include "TestIo.h"
#include "TestSupport.h"
#include "platform/IoHooks.h"
#include "platform/Platform.h"
#include "xml/XmlDocument.h"

#include <gtest/gtest.h>

#include <cerrno>

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

using namespace tramazel;
namespace fs = std::filesystem;
using test::readFile;
using test::TempDir;

namespace {

// One element of a small tree, built both ways.
struct Node {
    std::string name;
    std::vector<std::pair<std::string, std::string>> attributes; // cp1252 values
    std::vector<Node> children;
};

void build(xml::XmlElement parent, const Node& n)
{
    xml::XmlElement e = parent.appendChild(n.name);
    for (const auto& [name, value] : n.attributes)
        e.appendAttribute(name, value);
    for (const Node& c : n.children)
        build(e, c);
}

void stream(xml::XmlStreamWriter& out, const Node& n)
{
    out.startElement(n.name);
    for (const auto& [name, value] : n.attributes)
        out.attribute(name, value);
    for (const Node& c : n.children)
        stream(out, c);
    out.endElement();
}

// What XmlDocument saves for `root`, the reference the writer must match byte for byte.
std::string savedByDocument(const Node& root)
{
    xml::XmlDocument doc;
    xml::XmlElement r = doc.createRoot(root.name);
    for (const auto& [name, value] : root.attributes)
        r.appendAttribute(name, value);
    for (const Node& c : root.children)
        build(r, c);
    return doc.toUtf8();
}

std::string writtenByStream(const Node& root, const fs::path& file)
{
    xml::XmlStreamWriter out(file);
    stream(out, root);
    out.commit();
    return readFile(file);
}

std::string everyByte()
{
    std::string s;
    for (int b = 1; b < 256; ++b)
        s += static_cast<char>(b);
    return s;
}

std::vector<fs::path> entries(const fs::path& dir)
{
    std::vector<fs::path> out;
    for (const auto& e : fs::directory_iterator(dir))
        out.push_back(e.path().filename());
    return out;
}

} // namespace

TEST(XmlStreamWriter, WritesTheBytesTheDocumentSaves)
{
    struct Case {
        const char* name;
        Node root;
    };
    const std::string big(3 << 20, 'x'); // more than one write's worth
    const std::vector<Case> cases = {
        { "a lone root", { "HORARI", {}, {} } },
        { "an empty child", { "HORARI", {}, { { "SESSIONS", {}, {} } } } },
        { "nested, with attributes",
            { "HORARI", {},
                { { "SESSIONS", {},
                    { { "SESSIO", { { "placa", "1" }, { "curs", "" }, { "activitat", "GUARDIA" } }, {} },
                        { "SESSIO", { { "placa", "2" } }, {} } } } } } },
        { "attributes on an element with children",
            { "A", { { "x", "1" } }, { { "B", { { "y", "2" } }, { { "C", {}, {} } } }, { "D", {}, {} } } } },
        { "markup and quotes", { "A", { { "v", "a&b<c>d\"e'f" } }, {} } },
        { "every byte as cp1252", { "A", { { "v", everyByte() } }, {} } },
        { "plain text with tab and line breaks", { "A", { { "v", "a\tb\nc\rd" } }, {} } },
        { "accents only", { "A", { { "v", "M\xC0R \x80 \xFF" } }, {} } },
        { "a value beyond the write size", { "A", { { "v", big } }, { { "B", { { "w", big } }, {} } } } },
    };
    TempDir dir;
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(writtenByStream(c.root, dir / "out.xml"), savedByDocument(c.root));
    }
}

TEST(XmlStreamWriter, CommitClosesWhatIsStillOpen)
{
    TempDir dir;
    {
        xml::XmlStreamWriter out(dir / "out.xml");
        out.startElement("HORARI");
        out.startElement("SESSIONS");
        out.commit();
    }
    EXPECT_EQ(readFile(dir / "out.xml"), savedByDocument({ "HORARI", {}, { { "SESSIONS", {}, {} } } }));
}

TEST(XmlStreamWriter, LeavesTheOldFileWhenNotCommittedOrWhenWritingFails)
{
    TempDir dir;
    test::writeFile(dir / "out.xml", "old");
    {
        xml::XmlStreamWriter out(dir / "out.xml");
        out.startElement("A");
        out.attribute("v", std::string(3 << 20, 'x')); // reaches the file before the end
        out.endElement();
    } // dropped, as when producing the contents fails
    EXPECT_EQ(readFile(dir / "out.xml"), "old");
    EXPECT_EQ(entries(dir.path()), std::vector<fs::path> { "out.xml" }) << "no temporary file is left";

    // A folder that does not exist: the failure waits for commit().
    xml::XmlStreamWriter out(dir / "missing" / "out.xml");
    out.startElement("A");
    out.attribute("v", std::string(3 << 20, 'x'));
    out.endElement();
    const auto e = test::expectError(ErrorCode::FileIo, [&] { out.commit(); });
    ASSERT_TRUE(e);
    EXPECT_NE(std::string(e->what()).find("No se puede guardar el archivo"), std::string::npos) << e->what();
    EXPECT_EQ(entries(dir.path()), std::vector<fs::path> { "out.xml" });
}

TEST(XmlStreamWriter, SyncsTheFileBeforeRenamingIt)
{
    TempDir dir;
    test::DurableSteps durable(dir.path());
    xml::XmlStreamWriter out(dir / "out.xml", durable.hooks());
    out.startElement("A");
    out.commit();
    const std::vector<std::string>& steps = durable.steps();
    ASSERT_GE(steps.size(), 2u);
    ASSERT_TRUE(steps[0].starts_with("sync out.xml.tmp")) << steps[0];
    const std::string temporary = steps[0].substr(std::string_view("sync ").size());
    EXPECT_EQ(steps[1], "rename " + temporary + " > out.xml");
}

// A write the system refuses names its reason, in Spanish, whatever the locale.
TEST(XmlStreamWriter, AFailedSaveSaysWhyTheSystemRefused)
{
    struct Case {
        int errorNumber;
        const char* reason;
    };
    const Case cases[] = {
        { ENOSPC, ": no queda espacio en el disco." }, { EROFS, ": el disco es de solo lectura." },
        { 0, "»." }, // a failure the system gave no reason for
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.reason);
        tramazel::test::TempDir dir;
        tramazel::platform::IoHooks io;
        io.write = [&](std::FILE*, const void*, std::size_t) -> std::size_t {
            errno = c.errorNumber;
            return 0;
        };
        const auto error = tramazel::test::expectError(tramazel::ErrorCode::FileIo, [&] {
            tramazel::xml::XmlStreamWriter out(dir / "SolucioHorari.xml", &io);
            out.startElement("HORARI");
            out.commit();
        });
        ASSERT_TRUE(error);
        const std::string& message = error->message();
        EXPECT_TRUE(message.ends_with(c.reason)) << message;
        EXPECT_NE(message.find("SolucioHorari.xml"), std::string::npos) << message;
    }
}
