// SPDX-License-Identifier: GPL-3.0-or-later
#include "DbfTestSupport.h"
#include "OtherProcessLock.h"

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

// Another process tries a lock: by default an exclusive one of the same kind as the
// engine's; "write-head" / "read-head" a byte-range lock on bytes 0–999, as a
// Windows program under Wine would.
std::string otherProcessTries(const std::filesystem::path& file, const std::string& kind = "flock")
{
    std::string script = "import fcntl,sys\n"
                         "f=open(sys.argv[1],'r+b')\n"
                         "k=sys.argv[2]\n"
                         "try:\n"
                         "    if k=='flock': fcntl.flock(f,fcntl.LOCK_EX|fcntl.LOCK_NB)\n"
                         "    elif k=='write-head': fcntl.lockf(f,fcntl.LOCK_EX|fcntl.LOCK_NB,1000,0)\n"
                         "    else: fcntl.lockf(f,fcntl.LOCK_SH|fcntl.LOCK_NB,1000,0)\n"
                         "    print('locked')\n"
                         "except OSError: print('busy')\n";
    return run(std::string(TRAMAZEL_SYSTEM_PYTHON) + " -c " + shellQuote(script) + " "
        + shellQuote(file.string()) + " " + kind)
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

TEST(DbfLocking, OtherProcessesSeeTheLockAsAByteRange)
{
    TRAMAZEL_SKIP_ON_WINDOWS("the other program is a python3 process holding POSIX locks; on Windows the "
                             "Windows programs' test holds LockFileEx from a second process");
    TempDir dir;
    makeTable(dir.path(), "PROFT");
    const auto file = dir / "PROFT.DBF";
    struct Case {
        const char* name;
        Access held;
        const char* tried;
        const char* outcome;
    };
    const Case cases[] = {
        { "write range beside a shared handle", Access::Shared, "write-head", "busy\n" },
        { "read range beside a shared handle", Access::Shared, "read-head", "locked\n" },
        { "write range beside an exclusive handle", Access::Exclusive, "write-head", "busy\n" },
        { "read range beside an exclusive handle", Access::Exclusive, "read-head", "busy\n" },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(otherProcessTries(file, c.tried), "locked\n");
        {
            auto t = DbfTable::open(dir.path(), "PROFT", c.held);
            EXPECT_EQ(otherProcessTries(file, c.tried), c.outcome);
        }
        EXPECT_EQ(otherProcessTries(file, c.tried), "locked\n");
    }
}

// Whatever kind of lock another program holds, a table is neither opened against it
// nor replaced under it; a shared hold lets shared readers in.
TEST(DbfLocking, LocksOtherProgramsHoldAreSeen)
{
    TRAMAZEL_SKIP_ON_WINDOWS("the other program is a python3 process holding POSIX locks; on Windows the "
                             "Windows programs' test holds LockFileEx from a second process");
    struct Case {
        ForeignLock held;
        bool sharedOpens; // a shared open succeeds beside it
    };
    const Case cases[] = {
        { ForeignLock::FlockExclusive, false },
        { ForeignLock::FlockShared, true },
        { ForeignLock::RangeWriteHead, false },
        { ForeignLock::RangeReadHead, true },
        { ForeignLock::RangeWriteFar, false },
        { ForeignLock::OfdWriteWhole, false },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(OtherProcessLock::kindName(c.held));
        TempDir dir;
        makeTable(dir.path(), "PROFT");
        const auto before = readFile(dir / "PROFT.DBF");
        {
            OtherProcessLock other(dir / "PROFT.DBF", c.held);
            expectError(
                ErrorCode::TableLocked, [&] { DbfTable::open(dir.path(), "PROFT", Access::Exclusive); });
            if (c.sharedOpens) {
                EXPECT_EQ(DbfTable::open(dir.path(), "PROFT", Access::Shared).text("COD"), "A");
            } else {
                expectError(
                    ErrorCode::TableLocked, [&] { DbfTable::open(dir.path(), "PROFT", Access::Shared); });
            }
            expectError(ErrorCode::TableLocked, [&] {
                DbfTable::create(dir.path(), "PROFT", { { "X", FieldKind::Integer, 0 } });
            });
            deleteTable(dir.path(), "PROFT");
            EXPECT_EQ(readFile(dir / "PROFT.DBF"), before);
            EXPECT_EQ(
                platform::FileLock::tryLock(dir / "PROFT.DBF", platform::FileLock::Mode::Exclusive), nullptr);
        }
        // Released when the other program lets go.
        DbfTable::open(dir.path(), "PROFT", Access::Exclusive).close();
    }
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

// Syncs made together succeed for files and folders alike; one that fails names its file.
TEST(Platform, SyncsMadeTogetherNameTheFileThatFailed)
{
    TempDir dir;
    std::vector<std::filesystem::path> files;
    for (const char* name : { "A.DBF", "B.DBF", "C.MDX" }) {
        writeFile(dir / name, name);
        files.push_back(dir / name);
    }
    std::filesystem::create_directory(dir / "sub");
    platform::syncTogether(files, { dir / "sub", dir.path() / "" });

    files.insert(files.begin() + 1, dir / "missing.DBF");
    const auto error = expectError(ErrorCode::FileIo, [&] { platform::syncTogether(files); });
    ASSERT_TRUE(error);
    EXPECT_NE(error->detail().find("missing.DBF"), std::string::npos) << error->detail();
}

TEST(Platform, ExecutablePathIsThisProgram)
{
    auto exe = platform::executablePath();
    EXPECT_TRUE(exe.is_absolute());
    EXPECT_TRUE(std::filesystem::is_regular_file(exe));
}
