// SPDX-License-Identifier: GPL-3.0-or-later
#include "BuilderRun.h"

#include "dbf/DbfTable.h"

#include <gtest/gtest.h>

namespace tramazel::centre_import::test {

void NoPrompts::editCourseLevels(CourseLevelGrid&)
{
    ADD_FAILURE() << "unexpected course-level dialog";
}

bool NoPrompts::askQuestion(std::string_view, std::string_view)
{
    ADD_FAILURE() << "unexpected question";
    return false;
}

void runBuilder(void (*builder)(ImportContext&), std::string_view xmlUtf8, const std::filesystem::path& dir,
    Warnings& warnings)
{
    const xml::XmlDocument doc = xml::XmlDocument::parse(xmlUtf8, "centre.xml");
    NoPrompts prompts;
    ImportContext ctx { doc, dir, prompts, warnings };
    builder(ctx);
}

std::vector<Row> readRows(const std::filesystem::path& dir, std::string_view table)
{
    dbf::DbfTable t = dbf::DbfTable::open(dir, table, dbf::Access::Shared);
    std::vector<Row> rows;
    for (t.first(); !t.eof(); t.next()) {
        Row row;
        for (std::size_t i = 0; i < t.fields().size(); ++i) {
            if (t.isBlank(i))
                row.emplace_back();
            else if (t.fields()[i].type == 'L')
                row.emplace_back(t.logical(i) ? "T" : "F");
            else
                row.push_back(t.text(i));
        }
        rows.push_back(std::move(row));
    }
    return rows;
}

std::vector<std::string> readLayout(const std::filesystem::path& dir, std::string_view table)
{
    dbf::DbfTable t = dbf::DbfTable::open(dir, table, dbf::Access::Shared);
    std::vector<std::string> layout;
    for (const dbf::FieldInfo& f : t.fields())
        layout.push_back(f.name + ":" + f.type + ":" + std::to_string(f.width));
    return layout;
}

} // namespace tramazel::centre_import::test
