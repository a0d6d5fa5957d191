// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/HostIni.h"
#include "Error.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <filesystem>

using namespace tramazel;
using namespace tramazel::shell;
using tramazel::test::readFile;
using tramazel::test::TempDir;
using tramazel::test::writeFile;

TEST(HostIniText, SetsTheValueAndKeepsEveryOtherByte)
{
    struct Case {
        const char* name;
        std::string before;
        std::string after;
    };
    const Case cases[] = {
        { "new file", "", "[Transformadores]\r\nTransformado=1\r\n" },
        { "other section only", "; Zelvano\r\n[Zelvano]\r\nRuta=C:\\QTEMP\r\n",
            "; Zelvano\r\n[Zelvano]\r\nRuta=C:\\QTEMP\r\n[Transformadores]\r\nTransformado=1\r\n" },
        { "value replaced in place",
            "[A]\r\nx=1\r\n[Transformadores]\r\nTransformado=0\r\nOtra=2\r\n; fin\r\n",
            "[A]\r\nx=1\r\n[Transformadores]\r\nTransformado=1\r\nOtra=2\r\n; fin\r\n" },
        { "names in other case, blanks kept", "[transformadores]\nTRANSFORMADO = -1\n",
            "[transformadores]\nTRANSFORMADO = 1\n" },
        { "key missing: after the section's last entry", "[Transformadores]\nA=1\n\n[B]\nk=v\n",
            "[Transformadores]\nA=1\nTransformado=1\n\n[B]\nk=v\n" },
        { "same key in another section untouched", "[B]\nTransformado=7\n[Transformadores]\nTransformado=0\n",
            "[B]\nTransformado=7\n[Transformadores]\nTransformado=1\n" },
        { "last line without line end", "[Transformadores]\nTransformado=0",
            "[Transformadores]\nTransformado=1" },
        { "section last, no line end", "[Transformadores]", "[Transformadores]\r\nTransformado=1\r\n" },
        { "byte-order mark before the section", "\xEF\xBB\xBF[Transformadores]\r\nTransformado=0\r\n",
            "\xEF\xBB\xBF[Transformadores]\r\nTransformado=1\r\n" },
        { "commented-out key is not the key", "[Transformadores]\n;Transformado=5\n",
            "[Transformadores]\n;Transformado=5\nTransformado=1\n" },
        { "cp1252 bytes kept", "[Centro]\nNom=Escola d'Art \xC0\n",
            "[Centro]\nNom=Escola d'Art \xC0\n[Transformadores]\nTransformado=1\n" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(setIniValue(c.before, kHostIniSection, kHostIniKey, "1"), c.after) << c.name;
}

TEST(HostIniFile, WritesBesideTheExecutableAndPreservesTheRest)
{
    TempDir dir;
    const auto exeDir = dir / "bin";
    std::filesystem::create_directories(exeDir);
    const auto ini = hostIniPath(exeDir);
    EXPECT_EQ(ini, exeDir / "Zelvano.ini");

    writeHostResult(ini, -1);
    EXPECT_EQ(readFile(ini), "[Transformadores]\r\nTransformado=-1\r\n");

    writeFile(ini, "; host\r\n[Zelvano]\r\nA=1\r\n[Transformadores]\r\nTransformado=-1\r\n");
    writeHostResult(ini, 1);
    EXPECT_EQ(readFile(ini), "; host\r\n[Zelvano]\r\nA=1\r\n[Transformadores]\r\nTransformado=1\r\n");
    // No temporary file is left beside it.
    EXPECT_EQ(test::snapshot(exeDir).size(), 1u);
}

TEST(HostIniFile, FailureReportsThePathAndLeavesTheFileAlone)
{
    TempDir dir;
    // Written paths fail whoever runs the test: a folder that does not exist, and
    // a folder standing where the file should be.
    const auto missingFolder = dir / "missing" / "Zelvano.ini";
    const auto folderInTheWay = dir / "Zelvano.ini";
    std::filesystem::create_directories(folderInTheWay);
    writeFile(folderInTheWay / "keep.txt", "kept");
    for (const auto& ini : { missingFolder, folderInTheWay }) {
        const auto before = test::snapshot(dir.path());
        SCOPED_TRACE(ini);
        const auto error = test::expectError(ErrorCode::FileIo, [&] { writeHostResult(ini, 1); });
        ASSERT_TRUE(error);
        EXPECT_NE(error->message().find("«" + ini.string() + "»"), std::string::npos) << error->message();
        EXPECT_EQ(test::snapshot(dir.path()), before);
    }
}

// An installed program's INI is a link, in a folder users cannot write, to a file in
// one they can: the file is written (created the first time) and the link stays. A
// link to a link is not followed.
TEST(HostIniFile, LinkedFileIsWrittenAndTheLinkStays)
{
    TRAMAZEL_SKIP_ON_WINDOWS("the INI reached through a link is the Linux package's layout");
    TempDir dir;
    const auto exeDir = dir / "lib";
    const auto stateDir = dir / "state";
    std::filesystem::create_directories(exeDir);
    std::filesystem::create_directories(stateDir);
    const auto ini = hostIniPath(exeDir);
    std::filesystem::create_symlink(stateDir / "Zelvano.ini", ini);

    writeHostResult(ini, -1);
    EXPECT_TRUE(std::filesystem::is_symlink(ini));
    EXPECT_EQ(readFile(stateDir / "Zelvano.ini"), "[Transformadores]\r\nTransformado=-1\r\n");
    writeHostResult(ini, 1);
    EXPECT_TRUE(std::filesystem::is_symlink(ini));
    EXPECT_EQ(readFile(stateDir / "Zelvano.ini"), "[Transformadores]\r\nTransformado=1\r\n");
    EXPECT_EQ(test::snapshot(stateDir).size(), 1u) << "no temporary file left";

    // Someone put a link where the file should be: refused, nothing written there.
    std::filesystem::remove(stateDir / "Zelvano.ini");
    writeFile(dir / "other.txt", "not an INI");
    std::filesystem::create_symlink(dir / "other.txt", stateDir / "Zelvano.ini");
    EXPECT_TRUE(test::expectError(ErrorCode::FileIo, [&] { writeHostResult(ini, 1); }));
    EXPECT_EQ(readFile(dir / "other.txt"), "not an INI");
}
