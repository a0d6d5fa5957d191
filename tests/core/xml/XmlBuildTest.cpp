// SPDX-License-Identifier: GPL-3.0-or-later
#include "Error.h"
#include "TestSupport.h"
#include "xml/XmlDocument.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <fstream>
#include <string>

using tramazel::ErrorCode;
using tramazel::test::expectError;
using tramazel::test::readFile;
using tramazel::test::snapshot;
using tramazel::test::TempDir;
using tramazel::test::writeFile;
using tramazel::xml::XmlDocument;
using tramazel::xml::XmlElement;

namespace fs = std::filesystem;

namespace {

// Every cp1252 byte from the space up, in the middle of a value so the read's
// trimming leaves it whole.
std::string allPrintableBytes()
{
    std::string s(1, '[');
    for (int b = 0x20; b < 0x100; ++b)
        s.push_back(static_cast<char>(b));
    s.push_back('\t');
    s.push_back(']');
    return s;
}

XmlDocument sampleDocument()
{
    XmlDocument doc;
    XmlElement root = doc.createRoot("HORARI");
    XmlElement sessions = root.appendChild("SESSIONS");
    for (int i = 0; i < 3; ++i) {
        XmlElement s = sessions.appendChild("SESSIO");
        const char professor[] = { 'P', static_cast<char>('0' + i), '\0' };
        s.setAttribute("professor", professor);
        s.setAttribute("curs", "");
        s.setAttribute("dia", "1");
        s.setAttribute("curs", "C\xE0t"); // replaces in place
    }
    sessions.appendChild("SESSIO").setAttribute("text", allPrintableBytes());
    return doc;
}

} // namespace

TEST(XmlBuild, SaveWritesUtf8ThatLoadsBackToTheSameValues)
{
    TempDir dir;
    const XmlDocument doc = sampleDocument();
    doc.save(dir / "SolucioHorari.xml");

    const std::string bytes = readFile(dir / "SolucioHorari.xml");
    EXPECT_EQ(0u, bytes.find("<?xml version=\"1.0\" encoding=\"UTF-8\"?>"));
    EXPECT_EQ(bytes, doc.toUtf8());
    // Attributes keep the order they were first set in; a second set replaces in place.
    EXPECT_NE(std::string::npos, bytes.find("<SESSIO professor=\"P0\" curs=\"C\xC3\xA0t\" dia=\"1\""));

    const XmlDocument back = XmlDocument::load(dir / "SolucioHorari.xml");
    const auto sessions = back.select("/HORARI/SESSIONS/SESSIO");
    ASSERT_EQ(4u, sessions.size());
    EXPECT_EQ("P2", sessions[2].attribute("professor"));
    EXPECT_EQ("C\xE0t", sessions[2].attribute("curs"));
    std::size_t replaced = 0;
    EXPECT_EQ(allPrintableBytes(), sessions[3].attribute("text", &replaced));
    EXPECT_EQ(0u, replaced);
    EXPECT_EQ(fs::path("SolucioHorari.xml"), fs::directory_iterator(dir.path())->path().filename());
}

TEST(XmlBuild, AppendedAttributesKeepTheirOrderAndConvertLikeSetOnes)
{
    XmlDocument doc;
    XmlElement e = doc.createRoot("SESSIO");
    e.appendAttribute("placa", "P1");
    e.appendAttribute("curs", "");
    e.appendAttribute("aula", "Aula d'm\xFAsica \x01");
    e.setAttribute("curs", "C1"); // a later set still finds an appended attribute
    EXPECT_NE(
        doc.toUtf8().find(R"(<SESSIO placa="P1" curs="C1" aula="Aula d'música ?" />)"), std::string::npos)
        << doc.toUtf8();
}

TEST(XmlBuild, ControlCharactersNeverMakeTheFileUnreadable)
{
    XmlDocument doc;
    doc.createRoot("A").setAttribute("v",
        std::string("a\x01"
                    "b\0c\x1F"
                    "d",
            7));
    const XmlDocument back = XmlDocument::parse(doc.toUtf8());
    EXPECT_EQ("a?b?c?d", back.root().attribute("v"));
}

TEST(XmlBuild, DeepDocumentsAreWrittenWithoutIndentation)
{
    // Indenting 100000 levels would take some ten gigabytes.
    std::string deep;
    for (int i = 0; i < 100000; ++i)
        deep += "<a>";
    for (int i = 0; i < 100000; ++i)
        deep += "</a>";
    const std::string saved = XmlDocument::parse(deep).toUtf8();
    EXPECT_LT(saved.size(), 2 * deep.size());
    EXPECT_EQ(1u, XmlDocument::parse(saved).select("/a/a/a/a").size());
}

TEST(XmlBuild, MisuseIsReported)
{
    XmlDocument doc;
    doc.createRoot("A");
    expectError(ErrorCode::InvalidArgument, [&] { doc.createRoot("B"); });
    XmlElement null;
    expectError(ErrorCode::InvalidArgument, [&] { null.appendChild("B"); });
    expectError(ErrorCode::InvalidArgument, [&] { null.setAttribute("v", "1"); });
    EXPECT_EQ("", null.attribute("v"));
    EXPECT_TRUE(null.children("B").empty());
    EXPECT_TRUE(XmlDocument().root().isNull());
    EXPECT_TRUE(XmlDocument().select("/A").empty());
}

TEST(XmlBuild, SaveReplacesAnExistingFile)
{
    TempDir dir;
    writeFile(dir / "out.xml",
        "old contents, longer than the new document will be ........................"
        "..............................................................................");
    XmlDocument doc;
    doc.createRoot("HORARI");
    doc.save(dir / "out.xml");
    EXPECT_EQ(doc.toUtf8(), readFile(dir / "out.xml"));
    EXPECT_EQ(1, std::distance(fs::directory_iterator(dir.path()), fs::directory_iterator()));
}

TEST(XmlBuild, FailedSaveLeavesEverythingAsItWas)
{
    const XmlDocument doc = sampleDocument();
    {
        TempDir dir;
        expectError(ErrorCode::FileIo, [&] { doc.save(dir / "missing-folder" / "out.xml"); });
        EXPECT_TRUE(fs::is_empty(dir.path()));
    }
    {
        // The write succeeds but the rename cannot put the file in place.
        TempDir dir;
        fs::create_directory(dir / "SolucioHorari.xml");
        writeFile(dir / "SolucioHorari.xml" / "inside", "kept");
        const auto before = snapshot(dir.path());
        expectError(ErrorCode::FileIo, [&] { doc.save(dir / "SolucioHorari.xml"); });
        EXPECT_EQ(before, snapshot(dir.path()));
    }
}

TEST(XmlBuild, FailedSaveInAReadOnlyFolderKeepsTheOldFile)
{
    const XmlDocument doc = sampleDocument();
    {
        // A folder we may not write into, holding the file to be replaced.
        TempDir dir;
        const fs::path folder = dir / "locked";
        fs::create_directory(folder);
        writeFile(folder / "SolucioHorari.xml", "previous solution");
        fs::permissions(folder, fs::perms::owner_read | fs::perms::owner_exec);
        const bool enforced = !std::ofstream(folder / "probe");
        fs::remove(folder / "probe");
        if (enforced) {
            const auto before = snapshot(folder);
            expectError(ErrorCode::FileIo, [&] { doc.save(folder / "SolucioHorari.xml"); });
            EXPECT_EQ(before, snapshot(folder));
        }
        fs::permissions(folder, fs::perms::owner_all);
        if (!enforced)
            GTEST_SKIP() << "folder permissions are not enforced for this user";
    }
}
