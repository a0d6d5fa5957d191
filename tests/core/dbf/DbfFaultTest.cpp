// SPDX-License-Identifier: GPL-3.0-or-later
// Write failures injected one operation at a time into the engine's file layer: each
// must reach the caller as FileIo, and what is left on disk must be what close()
// promises, never a table that reads as complete but holds something else.
#include "DbfTestSupport.h"
#include "TestIo.h"

#include "dbf/DbfTable.h"
#include "dbf/RecordImage.h"

#include <gtest/gtest.h>

#include <cstdio>
#include <optional>

using namespace tramazel;
using namespace tramazel::dbf;
using namespace tramazel::test;
namespace fs = std::filesystem;

namespace {

// Enough records to fill the engine's write block more than once, so that some
// writes happen while appending and not only when closing.
constexpr std::uint32_t kAppended = 3000;
constexpr std::uint32_t kExisting = 40;

std::string codeOf(std::uint32_t row)
{
    char code[8];
    std::snprintf(code, sizeof code, "K%03u", (row * 7919u) % 1000u); // unsorted, some repeated
    return code;
}

std::string nameOf(std::uint32_t row)
{
    return "Registro " + std::to_string(row) + std::string(row % 80, 'x');
}

void appendRows(DbfTable& t, std::uint32_t from, std::uint32_t to)
{
    for (std::uint32_t row = from; row < to; ++row) {
        t.append();
        t.setText("COD", codeOf(row));
        t.setText("NOMBRE", nameOf(row));
        t.post();
    }
}

// The same records stored whole: the first few one by one, the rest in one block
// larger than the engine's write block, which goes to the file directly.
void appendWholeRows(DbfTable& t, std::uint32_t from, std::uint32_t to)
{
    RecordImage record(t);
    std::string block;
    for (std::uint32_t row = from; row < to; ++row) {
        record.setText(t.fieldIndex("COD"), codeOf(row));
        record.setText(t.fieldIndex("NOMBRE"), nameOf(row));
        if (row < from + 300)
            t.appendRecord(record);
        else
            block += record.bytes();
    }
    t.appendRecords(block);
}

DbfTable createTable(const fs::path& dir, const platform::IoHooks* io = nullptr)
{
    return DbfTable::create(dir, "FAULT",
        { { "COD", FieldKind::Character, 4 }, { "NOMBRE", FieldKind::Character, 100 } }, { { "COD", "COD" } },
        io);
}

struct Scenario {
    const char* name;
    std::uint32_t before; // records the table holds before the run that fails
    void (*prepare)(const fs::path& dir);
    void (*run)(const fs::path& dir, const platform::IoHooks* io);
};

const Scenario kScenarios[] = {
    { "create, append, close", 0, [](const fs::path&) {},
        [](const fs::path& dir, const platform::IoHooks* io) {
            auto t = createTable(dir, io);
            appendRows(t, 0, kAppended);
            t.close();
        } },
    { "create, append whole records, close", 0, [](const fs::path&) {},
        [](const fs::path& dir, const platform::IoHooks* io) {
            auto t = createTable(dir, io);
            appendWholeRows(t, 0, kAppended);
            t.close();
        } },
    { "open, append, close", kExisting,
        [](const fs::path& dir) {
            auto t = createTable(dir);
            appendRows(t, 0, kExisting);
            t.close();
        },
        [](const fs::path& dir, const platform::IoHooks* io) {
            auto t = DbfTable::open(dir, "FAULT", Access::Exclusive, io);
            appendRows(t, kExisting, kExisting + kAppended);
            t.close();
        } },
};

// The promise of create() and close(): no table at all (create failed), or a table
// that counts either the records of its last successful close or every record,
// holds exactly those, and has either no index or one that lists exactly them.
void expectWhatClosePromises(const fs::path& dir, const Scenario& s)
{
    if (!fs::exists(dir / "FAULT.DBF")) {
        EXPECT_EQ(s.before, 0u) << "an existing table disappeared";
        EXPECT_FALSE(fs::exists(dir / "FAULT.MDX")) << "an index without its table";
        return;
    }
    auto t = DbfTable::open(dir, "FAULT", Access::Shared);
    const std::uint32_t count = t.recordCount();
    EXPECT_TRUE(count == s.before || count == s.before + kAppended) << "count " << count;
    std::vector<std::string> keys;
    std::uint32_t row = 0;
    for (t.first(); !t.eof(); t.next(), ++row) {
        ASSERT_EQ(t.text("COD"), codeOf(row)) << "record " << row + 1;
        ASSERT_EQ(t.text("NOMBRE"), nameOf(row)) << "record " << row + 1;
        keys.push_back(codeOf(row));
    }
    EXPECT_EQ(row, count);
    t.close();
    if (fs::exists(dir / "FAULT.MDX")) {
        EXPECT_EQ(walkIndex(dir / "FAULT.MDX").entries, expectedOrder(keys));
    } else {
        auto w = DbfTable::open(dir, "FAULT", Access::Exclusive);
        expectError(ErrorCode::TableUnsupported, [&] { w.append(); });
    }
}

} // namespace

TEST(DbfFaults, EveryFailedWriteFlushOrCloseIsReportedAndLeavesWhatCloseDescribes)
{
    const std::pair<const char*, FailingIo::Mode> modes[] = {
        { "one operation fails", FailingIo::Mode::Once },
        { "every operation fails from then on", FailingIo::Mode::FromThenOn },
    };
    for (const auto& scenario : kScenarios) {
        SCOPED_TRACE(scenario.name);
        // The operations of a run that nothing fails, which ends with the table whole.
        std::uint64_t operations = 0;
        {
            TempDir dir;
            scenario.prepare(dir.path());
            FailingIo counting;
            scenario.run(dir.path(), counting.hooks());
            operations = counting.operations();
            auto t = DbfTable::open(dir.path(), "FAULT", Access::Shared);
            EXPECT_EQ(t.recordCount(), scenario.before + kAppended);
            t.close();
            expectWhatClosePromises(dir.path(), scenario);
        }
        EXPECT_GT(operations, 1u) << "no operation passed through the hooks";
        for (const auto& [modeName, mode] : modes) {
            SCOPED_TRACE(modeName);
            for (std::uint64_t k = 1; k <= operations; ++k) {
                SCOPED_TRACE("failing operation " + std::to_string(k));
                TempDir dir;
                scenario.prepare(dir.path());
                FailingIo failing(k, mode);
                const auto error
                    = expectError(ErrorCode::FileIo, [&] { scenario.run(dir.path(), failing.hooks()); });
                EXPECT_TRUE(failing.fired());
                if (error) {
                    EXPECT_NE(error->message().find("FAULT."), std::string::npos) << error->message();
                }
                expectWhatClosePromises(dir.path(), scenario);
            }
        }
    }
}
