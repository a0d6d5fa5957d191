// SPDX-License-Identifier: GPL-3.0-or-later
// Temporary files beside a file: named for the process that writes them, and removed
// by a later run once that process has ended, never while it may still write.
#include "TestSupport.h"
#include "platform/Platform.h"

#include <gtest/gtest.h>

#include <string>

using namespace tramazel;
using tramazel::test::TempDir;
using tramazel::test::writeFile;
namespace fs = std::filesystem;

namespace {

// No process ever has this id: above the largest id Linux gives (2^22), and odd where
// Windows gives multiples of four.
constexpr std::uint64_t kNoProcess = 2147483647;

} // namespace

TEST(TemporaryFiles, ANameBesideAFileNamesItsProcess)
{
    TempDir dir;
    const fs::path file = dir / "SolucioHorari.xml";
    const fs::path first = platform::temporaryPathBeside(file);
    const fs::path second = platform::temporaryPathBeside(file);
    EXPECT_NE(first, second);
    EXPECT_EQ(first.parent_path(), dir.path());
    const std::string prefix = "SolucioHorari.xml.tmp" + std::to_string(platform::currentProcessId()) + "-";
    EXPECT_EQ(first.filename().string().rfind(prefix, 0), 0u) << first;
    EXPECT_EQ(second.filename().string().rfind(prefix, 0), 0u) << second;
}

TEST(TemporaryFiles, OnlyThoseOfProcessesThatEndedAreRemoved)
{
    ASSERT_FALSE(platform::processExists(kNoProcess));
    ASSERT_TRUE(platform::processExists(platform::currentProcessId()));
    const std::string gone = std::to_string(kNoProcess);
    const std::string self = std::to_string(platform::currentProcessId());
    struct Case {
        std::string name;
        bool removed;
    };
    const std::vector<Case> cases = {
        { "SolucioHorari.xml.tmp" + gone + "-0", true }, { "SolucioHorari.xml.tmp" + gone + "-17", true },
        { "SolucioHorari.xml.tmp123456789-0", true }, // an older version's name, its stamp no process
        // This process may be writing it on another thread.
        { "SolucioHorari.xml.tmp" + self + "-0", false },
#ifndef _WIN32
        { "SolucioHorari.xml.tmp1-0", false }, // the first process, alive as long as the system
#endif
        // Another file's, or no name of the pattern.
        { "Other.xml.tmp" + gone + "-0", false }, { "XSolucioHorari.xml.tmp" + gone + "-0", false },
        { "SolucioHorari.xml", false }, { "SolucioHorari.xml.tmp" + gone, false },
        { "SolucioHorari.xml.tmp" + gone + "-", false }, { "SolucioHorari.xml.tmp-" + gone + "-0", false },
        { "SolucioHorari.xml.tmp" + gone + "-0.bak", false },
        { "SolucioHorari.xml.tmp" + gone + "-x", false },
        { "SolucioHorari.xml.tmp99999999999999999999999-0", false }, // no process id at all
    };
    TempDir dir;
    for (const Case& c : cases)
        writeFile(dir / c.name, "partial");
    fs::create_directory(dir / ("SolucioHorari.xml.tmp" + gone + "-1")); // a folder is no temporary file
    fs::create_directory(dir / "sub");
    writeFile(dir / "sub" / ("SolucioHorari.xml.tmp" + gone + "-2"), "elsewhere");

    platform::removeStaleTemporaryFiles(dir / "SolucioHorari.xml");
    for (const Case& c : cases)
        EXPECT_EQ(fs::exists(dir / c.name), !c.removed) << c.name;
    EXPECT_TRUE(fs::is_directory(dir / ("SolucioHorari.xml.tmp" + gone + "-1")));
    EXPECT_TRUE(fs::exists(dir / "sub" / ("SolucioHorari.xml.tmp" + gone + "-2")));

    // A folder that does not exist has nothing to remove.
    platform::removeStaleTemporaryFiles(dir / "missing" / "SolucioHorari.xml");
}
