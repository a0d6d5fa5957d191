// SPDX-License-Identifier: GPL-3.0-or-later
#include "CoursesTestSupport.h"

#include "ZelvanoTables.h"
#include "centre_import/Builders.h"
#include "centre_import/CourseLevelGrid.h"
#include "dbf/DbfTable.h"
#include "text/Cp1252.h"
#include "xml/XmlDocument.h"

#include <stdexcept>

namespace tramazel::centre_import::test {

void ScriptedPrompts::editCourseLevels(CourseLevelGrid& grid)
{
    using G = CourseLevelGrid;
    ++gridShown;
    gridLines.clear();
    for (int row = 0; row < grid.rowCount(); ++row) {
        gridLines.push_back({ grid.codeAsStored(row), text::utf8ToCp1252(grid.text(row, G::Description)),
            text::utf8ToCp1252(grid.text(row, G::Level)),
            text::utf8ToCp1252(grid.text(row, G::CourseNumber)) });
        const auto line = static_cast<std::size_t>(row);
        if (line < typed.size()) {
            grid.set(row, G::Level, text::cp1252ToUtf8(typed[line].first));
            grid.set(row, G::CourseNumber, text::cp1252ToUtf8(typed[line].second));
        }
    }
}

bool ScriptedPrompts::askQuestion(std::string_view caption, std::string_view text)
{
    questions.emplace_back(caption, text);
    return answer;
}

SubjectLines ScriptedPrompts::askSubjectLines(std::string_view caption, std::string_view text)
{
    if (!askQuestion(caption, text))
        return SubjectLines::None;
    return namedGroupsOnly ? SubjectLines::NamedGroups : SubjectLines::All;
}

std::string centreWithCourses(std::string_view courses)
{
    return "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n<CENTRE><CURSOS>" + std::string(courses)
        + "</CURSOS></CENTRE>";
}

void writeSubjects(const std::filesystem::path& dir, const std::vector<Row>& rows)
{
    namespace a = zelvano::asignomt;
    dbf::DbfTable table = dbf::DbfTable::create(dir, a::kTable, a::fields());
    const std::string_view names[] = { a::kCod, a::kCodLargo, a::kNombre, a::kCodi, a::kHoras, a::kCodiCurs };
    for (const Row& row : rows) {
        if (row.size() != 7)
            throw std::invalid_argument("an ASIGNOMT row has seven values");
        table.append();
        for (std::size_t i = 0; i < 6; ++i)
            table.setText(names[i], row[i]);
        table.setLogical(a::kEsTarea, row[6] == "T");
        table.post();
    }
    table.close();
}

void writeEmptyTable(const std::filesystem::path& dir, std::string_view table)
{
    if (table == zelvano::proft::kTable)
        dbf::DbfTable::create(dir, table, zelvano::proft::fields()).close();
    else if (table == zelvano::aulat::kTable)
        dbf::DbfTable::create(dir, table, zelvano::aulat::fields()).close();
    else
        throw std::invalid_argument("no layout for " + std::string(table));
}

void runCourses(std::string_view xmlUtf8, const std::filesystem::path& dir, ImportPrompts& prompts,
    Warnings& warnings, const CourseLevelsByCode* previousLevels)
{
    const xml::XmlDocument doc = xml::XmlDocument::parse(xmlUtf8, "centre.xml");
    ImportContext ctx { doc, dir, prompts, warnings, nullptr, previousLevels };
    TransformarCursos(ctx);
}

void runLines(const std::filesystem::path& dir, ImportPrompts& prompts, Warnings& warnings,
    std::string_view xmlUtf8, ImportNotes* notes)
{
    const xml::XmlDocument doc
        = xmlUtf8.empty() ? xml::XmlDocument() : xml::XmlDocument::parse(xmlUtf8, "centre.xml");
    ImportContext ctx { doc, dir, prompts, warnings, notes };
    TransformarLineas(ctx);
}

} // namespace tramazel::centre_import::test
