// SPDX-License-Identifier: GPL-3.0-or-later
#include "centre_import/CourseLevelGrid.h"
#include "Error.h"
#include "TestSupport.h"
#include "ZelvanoTables.h"
#include "dbf/DbfTable.h"
#include "text/Cp1252.h"

#include <gtest/gtest.h>

#include <optional>
#include <string>
#include <vector>

namespace tramazel::centre_import {
namespace {

namespace t = zelvano::cursost;
using G = CourseLevelGrid;
using test::TempDir;

/// CURSOST as the courses builder leaves it for the grid: one record per course,
/// levels blank.
dbf::DbfTable coursesTable(const TempDir& dir, const std::vector<std::string>& descriptionsUtf8)
{
    auto table = dbf::DbfTable::create(dir.path(), t::kTable, t::fields());
    int n = 0;
    for (const std::string& description : descriptionsUtf8) {
        table.append();
        table.setText(t::kCodi, "C" + std::to_string(++n));
        table.setText(t::kDescripcio, text::utf8ToCp1252(description));
        table.post();
    }
    return table;
}

std::vector<std::string> stored(dbf::DbfTable& table)
{
    std::vector<std::string> rows;
    for (table.first(); !table.eof(); table.next())
        rows.push_back(
            text::cp1252ToUtf8(table.text(t::kNivel)) + "|" + text::cp1252ToUtf8(table.text(t::kCurso)));
    return rows;
}

TEST(CourseLevelGrid, ColumnsFollowTheFieldsOfCursost)
{
    ASSERT_EQ(G::columns().size(), 3u);
    EXPECT_EQ(G::column(G::Description).field, t::kDescripcio);
    EXPECT_EQ(G::column(G::Level).field, t::kNivel);
    EXPECT_EQ(G::column(G::CourseNumber).field, t::kCurso);
    // A cell takes as many characters as its field holds; the description none.
    EXPECT_EQ(G::column(G::Description).maxLength, 0);
    EXPECT_EQ(G::column(G::Level).maxLength, t::kNivelWidth);
    EXPECT_EQ(G::column(G::CourseNumber).maxLength, t::kCursoWidth);
    EXPECT_FALSE(G::isEditable(G::Description));
}

TEST(CourseLevelGrid, CutsWhatIsTypedInCharactersNotBytes)
{
    struct Case {
        int column;
        const char* typed;
        const char* kept;
    };
    const Case cases[] = {
        { G::Level, "ESO", "ESO" },
        { G::Level, "Batxillerat", "Batxi" },
        { G::Level, "Bàsicos", "Bàsic" }, // "à" is two bytes of UTF-8, one character
        { G::Level, "€€€€€€", "€€€€€" },
        { G::CourseNumber, "1234", "123" },
        { G::CourseNumber, "1r", "1r" },
        { G::CourseNumber, "", "" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.typed);
        EXPECT_EQ(G::cut(c.column, c.typed), c.kept);
    }
}

TEST(CourseLevelGrid, StoredCodesAreCutAsCodiHoldsThem)
{
    bool wasCut = true;
    EXPECT_EQ(G::storedCode("10000", &wasCut), "10000");
    EXPECT_FALSE(wasCut);
    EXPECT_EQ(G::storedCode("ABCDEFGHIJKLMNOPQRSTUVW", &wasCut), "ABCDEFGHIJKLMNOPQRST");
    EXPECT_TRUE(wasCut);
    // The blanks a cut leaves at the end go, as they do when CODI is read back.
    EXPECT_EQ(G::storedCode("ABCDEFGHIJKLMNOPQRS  X", &wasCut), "ABCDEFGHIJKLMNOPQRS");
    EXPECT_EQ(G::storedCode("Àrea"), "\xC0rea");
}

TEST(CourseLevelGrid, ShowsTheLinesInRecordOrderAndPostsWhatIsSet)
{
    TempDir dir;
    auto table = coursesTable(dir, { "1r ESO", "2n Batxillerat", "Formació bàsica" });
    G grid(table);
    ASSERT_EQ(grid.rowCount(), 3);
    EXPECT_EQ(grid.text(2, G::Description), "Formació bàsica");
    EXPECT_EQ(grid.codeAsStored(1), "C2");
    EXPECT_EQ(grid.text(0, G::Level), "");

    // Out of order, as a user moves with the mouse; each value reaches the table at once.
    grid.set(2, G::Level, "FPBàsica");
    grid.set(0, G::CourseNumber, "1");
    grid.set(0, G::Level, "ESO");
    grid.set(1, G::Description, "changed"); // read-only: ignored
    EXPECT_EQ(grid.text(2, G::Level), "FPBàs");
    EXPECT_EQ(grid.text(1, G::Description), "2n Batxillerat");
    EXPECT_EQ(stored(table), (std::vector<std::string> { "ESO|1", "|", "FPBàs|" }));
    // A character Windows-1252 lacks is stored as the table stores it, and shown so.
    grid.set(1, G::CourseNumber, "2→");
    EXPECT_EQ(grid.text(1, G::CourseNumber), "2?");
}

TEST(CourseLevelGrid, TabGoesThroughTheEditableCellsLineByLine)
{
    TempDir dir;
    auto table = coursesTable(dir, { "A", "B" });
    const G grid(table);
    EXPECT_EQ(grid.firstCell(), (G::Cell { 0, G::Level }));

    std::vector<G::Cell> forward;
    for (std::optional<G::Cell> cell = grid.firstCell(); cell; cell = grid.step(*cell, true))
        forward.push_back(*cell);
    const std::vector<G::Cell> expected { { 0, G::Level }, { 0, G::CourseNumber }, { 1, G::Level },
        { 1, G::CourseNumber } };
    EXPECT_EQ(forward, expected);
    EXPECT_EQ(grid.step({ 0, G::Level }, false), std::nullopt);
    EXPECT_EQ(grid.step({ 1, G::Level }, false), (G::Cell { 0, G::CourseNumber }));
    // From a description: on to its line's level, back to the line before.
    EXPECT_EQ(grid.step({ 1, G::Description }, true), (G::Cell { 1, G::Level }));
    EXPECT_EQ(grid.step({ 1, G::Description }, false), (G::Cell { 0, G::CourseNumber }));

    TempDir emptyDir;
    auto none = coursesTable(emptyDir, {});
    const G empty(none);
    EXPECT_EQ(empty.rowCount(), 0);
    EXPECT_EQ(empty.firstCell(), std::nullopt);
}

TEST(CourseLevelGrid, AFailedPostStopsFurtherInput)
{
    TempDir dir;
    auto table = coursesTable(dir, { "A", "B" });
    G grid(table);
    table.close(); // the engine now refuses every change
    test::expectError(ErrorCode::InvalidArgument, [&] { grid.set(0, G::Level, "ESO"); });
    EXPECT_TRUE(grid.failed());
    grid.set(1, G::Level, "BAT"); // no further post, no throw
    EXPECT_EQ(grid.text(1, G::Level), "");
}

} // namespace
} // namespace tramazel::centre_import
