// SPDX-License-Identifier: GPL-3.0-or-later
// The export around its reading of the tables: the tables are held against other
// programs' writes while it reads them, and what an export killed while it wrote left
// beside the target goes at the next export.
#include "ExportTables.h"
#include "LockingProgram.h"
#include "TestSupport.h"
#include "ZelvanoTables.h"
#include "platform/IoHooks.h"
#include "platform/Platform.h"
#include "solution_export/SolutionExport.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

using namespace tramazel;
using tramazel::test::readFile;
using tramazel::test::TempDir;
using tramazel::test::writeFile;
namespace fs = std::filesystem;

// Another program that has the tables open (Zelvano under Wine, a dBASE tool) gets no
// lock of any kind on one, and so does not start writing it, while the export reads.
TEST(ExportTarget, TheTablesAreLockedAgainstOtherProgramsWhileTheExportReadsThem)
{
#ifdef _WIN32
    GTEST_SKIP() << "the other program is a python3 process taking POSIX locks";
#else
    TempDir qtemp;
    TempDir target;
    test::exporting::writeCentre(qtemp.path(), {});
    test::exporting::writeSoluc(qtemp.path(), {});
    namespace z = zelvano;
    std::vector<std::string> names;
    std::vector<fs::path> files;
    for (std::string_view table : { z::soluc::kTable, z::proft::kTable, z::aulat::kTable, z::asignomt::kTable,
             z::grupost::kTable, z::diashorast::kTable }) {
        names.push_back(std::string(table) + ".DBF");
        files.push_back(qtemp / names.back());
    }
    test::LockingProgram other(files);
    const std::vector<std::string> everyLock = test::LockingProgram::allKinds(names);
    ASSERT_EQ(other.lockable(), everyLock);

    // The first file closed is the first table, once every one has been read: each is
    // still open, and locked, then.
    platform::IoHooks watching;
    std::optional<std::vector<std::string>> whileReading;
    watching.close = [&](std::FILE* stream) {
        if (!whileReading)
            whileReading = other.lockable();
        return platform::systemIo().close(stream);
    };
    ASSERT_TRUE(solution_export::exportSolutionToTarget(qtemp.path(), target.path(), &watching));
    ASSERT_TRUE(whileReading);
    EXPECT_EQ(*whileReading, std::vector<std::string> {});
    EXPECT_EQ(other.lockable(), everyLock);
#endif
}

// An export killed while it wrote leaves its partial solution file beside the target;
// the next export into that folder removes it, and only it.
TEST(ExportTarget, TheNextExportRemovesWhatAKilledExportLeftAndNoOtherFile)
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
