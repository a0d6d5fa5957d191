// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/TimetableDirectory.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <map>

using namespace tramazel::shell;
using tramazel::test::TempDir;
using tramazel::test::writeFile;
namespace fs = std::filesystem;

namespace {
[[maybe_unused]] EnvLookup envOf(std::map<std::string, std::string> vars)
{
    return [vars](const char* name) -> std::optional<std::string> {
        auto it = vars.find(name);
        if (it == vars.end())
            return std::nullopt;
        return it->second;
    };
}
} // namespace

#ifndef _WIN32
TEST(TimetableDirectory, FromTheEnvironmentOrTheCompatibilityPrefix)
{
    TempDir dir;
    const fs::path prefix = dir / "prefix";
    const fs::path home = dir / "home";
    fs::create_directories(prefix / "Drive_C" / "qtemp");
    fs::create_directories(home / ".wine" / "drive_c");

    struct Case {
        const char* name;
        std::map<std::string, std::string> env;
        fs::path expected;
    };
    const Case cases[] = {
        { "variable wins", { { "TRAMAZEL_QTEMP", "/data/horarios" }, { "WINEPREFIX", prefix.string() } },
            "/data/horarios" },
        { "empty variable ignored", { { "TRAMAZEL_QTEMP", "" }, { "WINEPREFIX", prefix.string() } },
            prefix / "Drive_C" / "qtemp" },
        { "prefix folders in any case", { { "WINEPREFIX", prefix.string() } }, prefix / "Drive_C" / "qtemp" },
        { "home prefix, QTEMP not there yet", { { "HOME", home.string() } },
            home / ".wine" / "drive_c" / "QTEMP" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(timetableDirectory(envOf(c.env)), c.expected) << c.name;
}
#else
TEST(TimetableDirectory, AlwaysTheQtempFolderOfDriveC)
{
    EXPECT_EQ(timetableDirectory(envOf({ { "TRAMAZEL_QTEMP", "D:\\horarios" }, { "WINEPREFIX", "Z:\\p" } })),
        fs::path("C:\\QTEMP"));
}
#endif

TEST(TimetableDirectory, SagaFolderInAnyCase)
{
    TempDir dir;
    EXPECT_TRUE(tramazel::test::samePath(sagaDirectory(dir.path()), dir / "saga"));
    fs::create_directories(dir / "SAGA");
    EXPECT_TRUE(tramazel::test::samePath(sagaDirectory(dir.path()), dir / "SAGA"));
}

TEST(TimetableDirectory, FileDialogOpensInSagaWhenItExistsElseInTheTimetableDirectory)
{
    TempDir dir;
    EXPECT_EQ(fileDialogDirectory(dir.path()), dir.path());
    writeFile(dir / "saga", "a file, not a folder");
    EXPECT_EQ(fileDialogDirectory(dir.path()), dir.path());
    fs::remove(dir / "saga");
    fs::create_directories(dir / "Saga");
    EXPECT_TRUE(tramazel::test::samePath(fileDialogDirectory(dir.path()), dir / "Saga"))
        << fileDialogDirectory(dir.path());
}
