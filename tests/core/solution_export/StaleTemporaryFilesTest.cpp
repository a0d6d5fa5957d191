// SPDX-License-Identifier: GPL-3.0-or-later
// An export killed while it wrote leaves its partial solution file beside the target;
// the next export into that folder removes it, and only it.
#include "ExportTables.h"
#include "TestSupport.h"
#include "platform/Platform.h"
#include "solution_export/SolutionExport.h"

#include <gtest/gtest.h>

#include <string>

using namespace tramazel;
using tramazel::test::readFile;
using tramazel::test::TempDir;
using tramazel::test::writeFile;
namespace fs = std::filesystem;

TEST(StaleTemporaryFiles, TheNextExportRemovesThoseOfAKilledExportAndNoOtherFile)
{
    TempDir qtemp;
    TempDir target;
    test::exporting::writeCentre(qtemp.path(), {});
    test::exporting::writeSoluc(qtemp.path(), {});
    // 2147483647 is no process's id (see TemporaryFilesTest).
    const std::string killed = "SolucioHorari.xml.tmp2147483647-0";
    const std::string live = "SolucioHorari.xml.tmp" + std::to_string(platform::currentProcessId()) + "-99";
    for (const std::string& name : { killed, live, std::string("Other.xml.tmp2147483647-0") })
        writeFile(target / name, "<?xml version=\"1.0\"?><HORARI><SESS");

    const auto result = solution_export::exportSolutionToTarget(qtemp.path(), target.path());
    ASSERT_TRUE(result);
    EXPECT_FALSE(fs::exists(target / killed));
    EXPECT_TRUE(fs::exists(target / live));
    EXPECT_TRUE(fs::exists(target / "Other.xml.tmp2147483647-0"));
    EXPECT_NE(readFile(target / "SolucioHorari.xml").find("SESSIONS"), std::string::npos);
}
