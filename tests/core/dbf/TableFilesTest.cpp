// SPDX-License-Identifier: GPL-3.0-or-later
#include "DbfTestSupport.h"

#include "dbf/DbfTable.h"
#include "dbf/TableFiles.h"

#include <gtest/gtest.h>

#include <algorithm>

using namespace tramazel;
using namespace tramazel::dbf;
using namespace tramazel::test;
namespace fs = std::filesystem;

TEST(TableFiles, BaseNameDropsExtensionInAnyCase)
{
    EXPECT_EQ(tableBaseName("asignomt"), "ASIGNOMT");
    EXPECT_EQ(tableBaseName("Asignomt.Dbf"), "ASIGNOMT");
    EXPECT_EQ(tableBaseName("PROFT.DBF"), "PROFT");
    EXPECT_EQ(tableBaseName(".dbf"), ".DBF"); // no name left: not an extension
}

TEST(TableFiles, FindsAnyLetterCasePreferringUpperCase)
{
    TRAMAZEL_SKIP_ON_WINDOWS("file names ignore letter case there: one spelling is every spelling");
    TempDir dir;
    writeFile(dir / "asignomt.dbf", "x");
    auto found = findTableFile(dir.path(), "ASIGNOMT", ".DBF");
    ASSERT_TRUE(found);
    EXPECT_EQ(found->filename(), "asignomt.dbf");
    writeFile(dir / "ASIGNOMT.DBF", "y");
    EXPECT_EQ(findTableFile(dir.path(), "asignomt", ".dbf")->filename(), "ASIGNOMT.DBF");
    EXPECT_FALSE(findTableFile(dir.path(), "PROFT", ".DBF"));
    EXPECT_FALSE(findTableFile(dir / "missing", "PROFT", ".DBF"));
}

TEST(TableFiles, DeleteRemovesEveryCaseVariantOfBothFiles)
{
    TempDir dir;
    for (const char* name : { "MATIB.DBF", "matib.dbf", "Matib.Dbf", "MATIB.MDX", "matib.mdx", "MATIB.DBT",
             "MATIBX.DBF", "OTHER.DBF" })
        writeFile(dir / name, "x");
    deleteTable(dir.path(), "matib.DBF");
    std::vector<std::string> left;
    for (auto& e : fs::directory_iterator(dir.path()))
        left.push_back(e.path().filename().string());
    std::sort(left.begin(), left.end());
    EXPECT_EQ(left, (std::vector<std::string> { "MATIB.DBT", "MATIBX.DBF", "OTHER.DBF" }));
    deleteTable(dir.path(), "MATIB"); // nothing there: no error
    deleteTable(dir / "missing", "MATIB");
}

TEST(TableFiles, TablesOpenThroughAnyLetterCase)
{
    TRAMAZEL_SKIP_ON_WINDOWS("file names ignore letter case there: one spelling is every spelling");
    TempDir dir;
    DbfTable::create(dir.path(), "AULAT", { { "COD", FieldKind::Character, 4 } }).close();
    fs::rename(dir / "AULAT.DBF", dir / "aulat.dbf");
    auto t = DbfTable::open(dir.path(), "Aulat.DBF", Access::Exclusive);
    EXPECT_EQ(t.path().filename(), "aulat.dbf");
    t.close();
    // Recreating replaces the lower-case file instead of adding a second table.
    DbfTable::create(dir.path(), "aulat", { { "COD", FieldKind::Character, 4 } }).close();
    std::vector<std::string> names;
    for (auto& e : fs::directory_iterator(dir.path()))
        names.push_back(e.path().filename().string());
    EXPECT_EQ(names, std::vector<std::string> { "AULAT.DBF" });
    expectError(ErrorCode::FileNotFound, [&] { DbfTable::open(dir.path(), "PROFT", Access::Shared); });
}

TEST(TableFiles, CreateReplacesEveryLetterCaseVariantOfBothFiles)
{
    // The builders rely on this: they create their tables without deleting first.
    struct Case {
        const char* name;
        std::vector<IndexSpec> indexes;
        std::vector<std::string> left;
    };
    const Case cases[] = {
        { "without an index", {}, { "MATIB.DBT", "MATIB.DBF", "MATIBX.MDX" } },
        { "with an index", { { "ABREV", "ABREV" } },
            { "MATIB.DBT", "MATIB.DBF", "MATIB.MDX", "MATIBX.MDX" } },
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir dir;
        for (const char* name :
            { "matib.dbf", "Matib.Dbf", "MATIB.DBF", "matib.mdx", "Matib.MDX", "MATIB.DBT", "MATIBX.MDX" })
            writeFile(dir / name, "old");
        DbfTable::create(dir.path(), "Matib", { { "ABREV", FieldKind::Character, 4 } }, c.indexes).close();
        std::vector<std::string> left;
        for (auto& e : fs::directory_iterator(dir.path()))
            left.push_back(e.path().filename().string());
        std::sort(left.begin(), left.end());
        auto expected = c.left;
        std::sort(expected.begin(), expected.end());
        EXPECT_EQ(left, expected);
        EXPECT_NE(readFile(dir / "MATIB.DBF"), "old");
    }
}

TEST(TableFiles, AListingScopeRemembersNamesAndFollowsTheEnginesOwnChanges)
{
    TempDir dir;
    auto variants = [&](const char* base) { return tableFileVariants(dir.path(), base, ".DBF").size(); };
    {
        FolderListingScope scope;
        writeFile(dir / "prof.dbf", "x");
        EXPECT_EQ(variants("PROF"), 1u);
        // Listed once: a file another program adds stays unseen until the listing is dropped.
        writeFile(dir / "OTHER.DBF", "x");
        EXPECT_EQ(variants("OTHER"), 0u);
        forgetFolderListing(dir.path() / ""); // the same folder, spelled with a separator
        EXPECT_EQ(variants("OTHER"), 1u);
        // The engine's own creates and deletions are seen at once.
        DbfTable::create(dir.path(), "AULAT", { { "COD", FieldKind::Character, 4 } }, { { "COD", "COD" } })
            .close();
        EXPECT_EQ(variants("AULAT"), 1u);
        EXPECT_EQ(tableFileVariants(dir.path(), "AULAT", ".MDX").size(), 1u);
        EXPECT_NO_THROW(DbfTable::open(dir.path(), "AULAT", Access::Shared));
        {
            FolderListingScope nested;
            deleteTable(dir.path(), "aulat");
        }
        EXPECT_EQ(variants("AULAT"), 0u);
        EXPECT_EQ(tableFileVariants(dir.path(), "AULAT", ".MDX").size(), 0u);
        fs::remove(dir / "prof.dbf");
        EXPECT_EQ(variants("PROF"), 1u);
    }
    // Outside a scope every look lists the folder.
    EXPECT_EQ(variants("PROF"), 0u);
    writeFile(dir / "NEW.DBF", "x");
    EXPECT_EQ(variants("NEW"), 1u);
}
