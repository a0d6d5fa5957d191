// SPDX-License-Identifier: GPL-3.0-or-later
#include "TablePrinter.h"

#include "TestSupport.h"
#include "centre_import/TableTransaction.h"
#include "dbf/DbfTable.h"

#include <gtest/gtest.h>

#include <sstream>

using namespace tramazel;
using tramazel::test::TempDir;
namespace fs = std::filesystem;

namespace {

void writeTeachers(const fs::path& dir, const char* abrev)
{
    auto t = dbf::DbfTable::create(dir, "PROFT", { { "ABREV", dbf::FieldKind::Character, 4 } });
    t.append();
    t.setText("ABREV", abrev);
    t.post();
    t.close();
}

} // namespace

// A table half way through an interrupted import is never shown: `show` rolls the
// import back first and shows the table it put back.
TEST(ShowTable, RollsBackAnInterruptedImportFirst)
{
    TempDir dir;
    const fs::path qtemp = dir.path();
    // What a kill after PROFT's move in leaves: the old table aside, the new one in
    // place, the journal that says so.
    fs::create_directories(qtemp / ".tramazel-staging");
    fs::create_directories(qtemp / ".tramazel-backup");
    writeTeachers(qtemp / ".tramazel-backup", "OLD");
    writeTeachers(qtemp, "NEW");
    test::writeFile(qtemp / ".tramazel-journal", "backup PROFT.DBF\ninstall PROFT.DBF\nend\n");

    std::ostringstream out;
    cli::showTable(qtemp, "proft", out, true);
    EXPECT_EQ(out.str(), "ABREV\nOLD\n");
    EXPECT_EQ(centre_import::TableTransaction::recover(qtemp), centre_import::Recovery::Nothing);
}
