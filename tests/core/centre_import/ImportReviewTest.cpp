// SPDX-License-Identifier: GPL-3.0-or-later
// The look before the tables are replaced: records matched by each table's code,
// counted as added, removed and changed; and the import asking for it at the right
// moment, a declined replacement leaving the directory byte for byte as it was.
#include "centre_import/ImportReview.h"
#include "Error.h"
#include "TestSupport.h"
#include "WarningTexts.h"
#include "ZelvanoTables.h"
#include "centre_import/ImportCentreFile.h"
#include "dbf/DbfTable.h"
#include "xml/XmlDocument.h"

#include <gtest/gtest.h>

#include <array>
#include <string>
#include <vector>

using namespace tramazel;
using namespace tramazel::centre_import;
using tramazel::test::snapshot;
using tramazel::test::TempDir;
using tramazel::test::writeFile;
namespace fs = std::filesystem;
namespace z = tramazel::zelvano;

namespace {

// A teacher post: CODI, NOMBRE, DEPART.
using Teacher = std::array<std::string, 3>;

void writeTeachers(const fs::path& dir, const std::vector<Teacher>& teachers)
{
    dbf::DbfTable table = dbf::DbfTable::create(dir, z::proft::kTable, z::proft::fields());
    for (const Teacher& t : teachers) {
        table.append();
        table.setText(z::proft::kCodi, t[0]);
        table.setText(z::proft::kNombre, t[1]);
        table.setText(z::proft::kDepart, t[2]);
        table.post();
    }
    table.close();
}

// A subject line: CASIG, CGRUP, CPROF.
using Line = std::array<std::string, 3>;

void writeLines(const fs::path& dir, const std::vector<Line>& lines)
{
    dbf::DbfTable table = dbf::DbfTable::create(dir, z::asigt::kTable, z::asigt::fields());
    for (const Line& l : lines) {
        table.append();
        table.setText(z::asigt::kCAsig, l[0]);
        table.setText(z::asigt::kCGrup, l[1]);
        table.setText(z::asigt::kCProf, l[2]);
        table.post();
    }
    table.close();
}

using Names = std::vector<std::string>;

} // namespace

TEST(ImportReview, RecordsAreMatchedByTheTablesCode)
{
    const Teacher ana { "101", "Ana Pons", "MAT" };
    const Teacher joan { "102", "Joan Mas", "FIS" };
    const Teacher pep { "103", "Pep Coll", "HIS" };
    struct Case {
        const char* name;
        std::vector<Teacher> before;
        std::vector<Teacher> after;
        std::size_t added, removed, changed;
        Names addedNames, removedNames, changedNames;
        std::string line;
    };
    const Case cases[] = {
        { "the same records in another order", { ana, joan }, { joan, ana }, 0, 0, 0, {}, {}, {},
            "PROFT (por CODI): sin cambios (2 registros)" },
        { "a new code is added, a missing one removed", { ana, joan }, { ana, pep }, 1, 1, 0, { "Pep Coll" },
            { "Joan Mas" }, {}, "PROFT (por CODI): 1 nuevo, 1 quitado (2 registros)" },
        { "the same code with another department is changed", { ana, joan },
            { { "101", "Ana Pons", "FIS" }, joan }, 0, 0, 1, {}, {}, { "Ana Pons" },
            "PROFT (por CODI): 1 cambiado (2 registros)" },
        { "a renamed post is changed, named as it will be", { ana }, { { "101", "Ana Pons Vidal", "MAT" } },
            0, 0, 1, {}, {}, { "Ana Pons Vidal" }, "PROFT (por CODI): 1 cambiado (1 registro)" },
        { "a name is matched by nothing but its code", { ana }, { { "999", "Ana Pons", "MAT" } }, 1, 1, 0,
            { "Ana Pons" }, { "Ana Pons" }, {}, "PROFT (por CODI): 1 nuevo, 1 quitado (1 registro)" },
        { "a blank name shows the code", { { "104", "", "MAT" } }, {}, 0, 1, 0, {}, { "104" }, {},
            "PROFT (por CODI): 1 quitado (de 1 a 0 registros)" },
        { "many added: the first few named", {}, { ana, joan, pep, { "104", "Rosa Vich", "MAT" } }, 4, 0, 0,
            { "Ana Pons", "Joan Mas", "Pep Coll" }, {}, {},
            "PROFT (por CODI): 4 nuevos (de 0 a 4 registros)" },
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TempDir live;
        TempDir staged;
        writeTeachers(live.path(), c.before);
        writeTeachers(staged.path(), c.after);
        const std::vector<std::string> tables { "PROFT" };
        const ImportReview review = ImportReview::compare(live.path(), staged.path(), tables);
        ASSERT_EQ(review.tables().size(), 1u);
        const ImportReview::TableChanges& t = review.tables()[0];
        EXPECT_TRUE(t.existed);
        EXPECT_FALSE(review.firstImport());
        EXPECT_EQ(t.before, c.before.size());
        EXPECT_EQ(t.after, c.after.size());
        EXPECT_EQ(
            (std::array { t.added, t.removed, t.changed }), (std::array { c.added, c.removed, c.changed }));
        EXPECT_EQ(t.addedNames, c.addedNames);
        EXPECT_EQ(t.removedNames, c.removedNames);
        EXPECT_EQ(t.changedNames, c.changedNames);
        EXPECT_EQ(review.lines(), Names { c.line });
    }
}

// ASIGT has no code: a line is a subject taught to a group, and a pair the user split
// into several lines is matched line by line in stored order.
TEST(ImportReview, SubjectLinesAreMatchedBySubjectAndGroup)
{
    TempDir live;
    TempDir staged;
    writeLines(live.path(), { { "MAT", "1A", "P1" }, { "MAT", "1A", "P2" }, { "FIS", "1A", "P3" } });
    writeLines(staged.path(), { { "MAT", "1A", "P1" }, { "FIS", "1A", "P4" }, { "FIS", "1B", "P3" } });
    const std::vector<std::string> tables { "ASIGT" };
    const ImportReview review = ImportReview::compare(live.path(), staged.path(), tables);
    const ImportReview::TableChanges& t = review.tables().at(0);
    EXPECT_EQ(t.key, "CASIG y CGRUP");
    EXPECT_EQ((std::array { t.added, t.removed, t.changed }), (std::array<std::size_t, 3> { 1, 1, 1 }));
    EXPECT_EQ(t.addedNames, Names { "FIS/1B" });
    EXPECT_EQ(t.removedNames, Names { "MAT/1A" });
    EXPECT_EQ(t.changedNames, Names { "FIS/1A" });
    const Names detailed = { "ASIGT (por CASIG y CGRUP): 1 nuevo, 1 quitado, 1 cambiado (3 registros)",
        "  nuevos: FIS/1B", "  quitados: MAT/1A", "  cambiados: FIS/1A" };
    EXPECT_EQ(review.detailedLines(), detailed);
}

// Records removed are named as stored, counting live records only: deleted records
// (which a directory's table may hold) are neither compared nor named. Many records
// of one code are matched in stored order however long their run.
TEST(ImportReview, RemovedRecordsAreNamedPastDeletedOnesAndLongRunsOfOneCode)
{
    std::vector<Teacher> before { { "300", "Rosa Vich", "MAT" } }; // deleted below
    std::vector<Teacher> after;
    for (int i = 1; i <= 40; ++i) {
        const Teacher copy { "200", "Dup " + std::to_string(i), "MAT" };
        before.push_back(copy);
        if (i <= 38)
            after.push_back(i == 5 ? Teacher { "200", "Dup 5", "FIS" } : copy);
    }
    const std::size_t marcRoig = before.size() + 1; // deleted too
    before.insert(before.end(),
        { { "101", "Ana Pons", "MAT" }, { "301", "Marc Roig", "MAT" }, { "102", "Joan Mas", "FIS" },
            { "103", "Pep Coll", "HIS" } });
    after.push_back({ "102", "Joan Mas", "FIS" });

    TempDir live;
    TempDir staged;
    writeTeachers(live.path(), before);
    writeTeachers(staged.path(), after);
    const fs::path file = live.path() / "PROFT.DBF";
    std::string bytes = tramazel::test::readFile(file);
    const std::size_t headerLength = static_cast<unsigned char>(bytes[8])
        | static_cast<std::size_t>(static_cast<unsigned char>(bytes[9])) << 8;
    const std::size_t recordLength = static_cast<unsigned char>(bytes[10])
        | static_cast<std::size_t>(static_cast<unsigned char>(bytes[11])) << 8;
    for (const std::size_t deleted : { std::size_t { 0 }, marcRoig })
        bytes[headerLength + deleted * recordLength] = '*';
    writeFile(file, bytes);

    const std::vector<std::string> tables { "PROFT" };
    const ImportReview review = ImportReview::compare(live.path(), staged.path(), tables);
    const ImportReview::TableChanges& t = review.tables().at(0);
    EXPECT_EQ(t.before, 43u);
    EXPECT_EQ((std::array { t.added, t.removed, t.changed }), (std::array<std::size_t, 3> { 0, 4, 1 }));
    EXPECT_EQ(t.removedNames, (Names { "Dup 39", "Dup 40", "Ana Pons" }));
    EXPECT_EQ(t.changedNames, Names { "Dup 5" });
}

// No table yet: counts only. A table the engine cannot read is replaced whole. A
// table made from the centre file that held records and gets none is said first.
TEST(ImportReview, NewUnreadableAndEmptiedTables)
{
    TempDir live;
    TempDir staged;
    writeTeachers(staged.path(), { { "101", "Ana Pons", "MAT" } });
    writeLines(staged.path(), {});
    const std::vector<std::string> tables { "PROFT", "ASIGT" };

    const ImportReview first = ImportReview::compare(live.path(), staged.path(), tables);
    EXPECT_TRUE(first.firstImport());
    EXPECT_EQ(first.lines(), (Names { "PROFT: tabla nueva, 1 registro", "ASIGT: tabla nueva, 0 registros" }));
    EXPECT_TRUE(first.emptiedTables().empty());

    writeFile(live / "PROFT.DBF", "not a table");
    const ImportReview unreadable = ImportReview::compare(live.path(), staged.path(), tables);
    EXPECT_FALSE(unreadable.firstImport());
    EXPECT_TRUE(unreadable.tables()[0].unreadable);
    EXPECT_EQ(unreadable.lines()[0],
        "PROFT: la tabla actual no se puede comparar y se sustituye entera (1 registro)");

    // PROFT and ASIGT both lose their records; only PROFT comes from the centre
    // file's elements (ASIGT follows the person's answer).
    writeTeachers(live.path(), { { "101", "Ana Pons", "MAT" }, { "102", "Joan Mas", "FIS" } });
    writeLines(live.path(), { { "MAT", "1A", "P1" } });
    writeTeachers(staged.path(), {});
    const ImportReview emptied = ImportReview::compare(live.path(), staged.path(), tables);
    EXPECT_EQ(emptied.emptiedTables(), Names { "PROFT (2 registros)" });
}

namespace {

// The review as the window sees it: answered from a script, everything it was shown kept.
struct ReviewingPrompts : ImportPrompts {
    bool answer = true;
    int reviews = 0;
    std::vector<std::string> lines;
    std::vector<std::string> emptied;
    std::size_t warningKinds = 0;

    void editCourseLevels(CourseLevelGrid&) override { }
    bool askQuestion(std::string_view, std::string_view) override { return true; }
    bool confirmReplacement(const ImportReview& review) override
    {
        ++reviews;
        lines = review.lines();
        emptied = review.emptiedTables();
        warningKinds = review.warnings().kinds().size();
        return answer;
    }
};

} // namespace

TEST(ImportReviewInTheRun, ADeclinedReplacementLeavesTheDirectoryAsItWas)
{
    TempDir dir;
    const fs::path qtemp = dir / "qtemp";
    fs::create_directories(qtemp);
    xml::XmlDocument doc;
    ReviewingPrompts prompts;
    const fs::path centre = test::fixture("centre/one-line.xml");

    // The first import: counts only, and the person's yes puts the tables in place.
    const auto first = importCentreFile(centre, qtemp, doc, prompts);
    ASSERT_TRUE(first);
    EXPECT_EQ(prompts.reviews, 1);
    ASSERT_FALSE(prompts.lines.empty());
    EXPECT_NE(prompts.lines[0].find("tabla nueva"), std::string::npos) << prompts.lines[0];
    EXPECT_TRUE(first->review.firstImport());

    // A second import of the same file that the person declines, and one of an empty
    // <CENTRE/>: either way, nothing changes.
    const fs::path empty = dir / "empty.xml";
    writeFile(empty, "<CENTRE/>");
    const auto before = snapshot(qtemp);
    prompts.answer = false;
    for (const fs::path& file : { centre, empty }) {
        SCOPED_TRACE(file.filename().string());
        test::expectError(ErrorCode::Cancelled, [&] { importCentreFile(file, qtemp, doc, prompts); });
        EXPECT_EQ(snapshot(qtemp), before);
    }
    EXPECT_EQ(prompts.reviews, 3);
    // The empty file's review said which tables it would empty, and warned.
    EXPECT_EQ(prompts.emptied.size(), 6u);
    EXPECT_GE(prompts.warningKinds, 1u);

    // A dry run asks nothing and leaves the directory alone; its review says what a
    // real run would change.
    CentreFileImportOptions dryRun;
    dryRun.dryRun = true;
    const auto simulated = importCentreFile(empty, qtemp, doc, prompts, dryRun);
    ASSERT_TRUE(simulated);
    EXPECT_EQ(prompts.reviews, 3);
    EXPECT_EQ(snapshot(qtemp), before);
    EXPECT_EQ(simulated->review.emptiedTables().size(), 6u);
    EXPECT_EQ(simulated->warnings.count(warning::kEmptiedTable), 6u);
}
