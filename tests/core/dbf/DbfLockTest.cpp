// SPDX-License-Identifier: GPL-3.0-or-later
#include "DbfTestSupport.h"

#include "dbf/DbfTable.h"
#include "dbf/TableFiles.h"
#include "platform/Platform.h"

#include <gtest/gtest.h>

using namespace tramazel;
using namespace tramazel::dbf;
using namespace tramazel::test;

namespace {

void makeTable(const std::filesystem::path& dir, const char* name)
{
    auto t = DbfTable::create(dir, name, { { "COD", FieldKind::Character, 4 } });
    t.append();
    t.setText("COD", "A");
    t.post();
}

// Another process tries an exclusive lock of the same kind as the engine's.
std::string otherProcessTries(const std::filesystem::path& file)
{
    std::string script = "import fcntl,sys\n"
                         "f=open(sys.argv[1],'rb')\n"
                         "try:\n"
                         "    fcntl.flock(f,fcntl.LOCK_EX|fcntl.LOCK_NB); print('locked')\n"
                         "except OSError: print('busy')\n";
    return run(
        std::string(TRAMAZEL_SYSTEM_PYTHON) + " -c " + shellQuote(script) + " " + shellQuote(file.string()))
        .output;
}

} // namespace

TEST(DbfLocking, ExclusiveUseConflictsWithEveryOtherHandle)
{
    TempDir dir;
    makeTable(dir.path(), "GRUPOST");
    struct Case {
        const char* name;
        Access held;
        Access wanted;
        bool refused;
    };
    const Case cases[] = {
        { "shared beside shared", Access::Shared, Access::Shared, false },
        { "exclusive while shared", Access::Shared, Access::Exclusive, true },
        { "shared while exclusive", Access::Exclusive, Access::Shared, true },
        { "exclusive while exclusive", Access::Exclusive, Access::Exclusive, true },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        auto held = DbfTable::open(dir.path(), "GRUPOST", c.held);
        if (c.refused) {
            auto e = expectError(
                ErrorCode::TableLocked, [&] { DbfTable::open(dir.path(), "grupost", c.wanted); });
            if (e) {
                EXPECT_NE(e->message().find("GRUPOST"), std::string::npos) << e->message();
            }
        } else {
            auto second = DbfTable::open(dir.path(), "GRUPOST", c.wanted);
            EXPECT_EQ(second.text("COD"), "A");
        }
        held.close();
        // Released on close: exclusive use is possible again.
        DbfTable::open(dir.path(), "GRUPOST", Access::Exclusive).close();
    }
}

TEST(DbfLocking, OtherProcessesSeeTheLock)
{
    // Under Wine the Windows build meets another Windows process in tests/win.
    TRAMAZEL_SKIP_ON_WINDOWS("the other process is a Linux program");
    TempDir dir;
    makeTable(dir.path(), "PROFT");
    EXPECT_EQ(otherProcessTries(dir / "PROFT.DBF"), "locked\n");
    {
        auto t = DbfTable::open(dir.path(), "PROFT", Access::Shared);
        EXPECT_EQ(otherProcessTries(dir / "PROFT.DBF"), "busy\n");
    }
    {
        auto t = DbfTable::create(dir.path(), "PROFT", { { "COD", FieldKind::Character, 4 } });
        EXPECT_EQ(otherProcessTries(dir / "PROFT.DBF"), "busy\n");
    }
    EXPECT_EQ(otherProcessTries(dir / "PROFT.DBF"), "locked\n");
}

TEST(DbfLocking, TableInUseIsNeitherDeletedNorReplaced)
{
    TempDir dir;
    makeTable(dir.path(), "AULAT");
    auto reader = DbfTable::open(dir.path(), "AULAT", Access::Shared);
    const auto before = readFile(dir / "AULAT.DBF");
    deleteTable(dir.path(), "AULAT");
    expectError(ErrorCode::TableLocked, [&] {
        DbfTable::create(dir.path(), "AULAT", { { "X", FieldKind::Integer, 0 } });
    });
    EXPECT_EQ(readFile(dir / "AULAT.DBF"), before);
    reader.first();
    EXPECT_EQ(reader.text("COD"), "A");
}

TEST(Platform, ReplaceFileSwapsContentsInOneStep)
{
    TempDir dir;
    writeFile(dir / "new.tmp", "new");
    writeFile(dir / "target.xml", "old");
    platform::replaceFile(dir / "new.tmp", dir / "target.xml");
    EXPECT_EQ(readFile(dir / "target.xml"), "new");
    EXPECT_FALSE(std::filesystem::exists(dir / "new.tmp"));
    expectError(ErrorCode::FileIo, [&] { platform::replaceFile(dir / "missing", dir / "target.xml"); });
    EXPECT_EQ(readFile(dir / "target.xml"), "new");
}

TEST(Platform, ExecutablePathIsThisProgram)
{
    auto exe = platform::executablePath();
    EXPECT_TRUE(exe.is_absolute());
    EXPECT_TRUE(std::filesystem::is_regular_file(exe));
}
