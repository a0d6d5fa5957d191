// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "BuilderRun.h"
#include "centre_import/ImportContext.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tramazel::centre_import::test {

/// A person scripted for the course-level grid and the question box.
class ScriptedPrompts : public ImportPrompts {
public:
    /// Level and course number typed on each line of the grid, in record order
    /// (cp1252); lines beyond the list are left as they are.
    std::vector<std::pair<std::string, std::string>> typed;
    /// The answer to the question box.
    bool answer = true;
    /// With answer, the check box of the subject-lines question: lines only for the
    /// groups a subject's name designates.
    bool namedGroupsOnly = false;

    int gridShown = 0;
    /// CURSOST as the grid found it: CODI, DESCRIPCIO, NIVEL, CURSO per line.
    std::vector<Row> gridLines;
    std::vector<std::pair<std::string, std::string>> questions; ///< caption, text

    void editCourseLevels(CourseLevelGrid& grid) override;
    bool askQuestion(std::string_view caption, std::string_view text) override;
    SubjectLines askSubjectLines(std::string_view caption, std::string_view text) override;
};

/// `<CENTRE><CURSOS>courses</CURSOS></CENTRE>`.
std::string centreWithCourses(std::string_view courses);

/// Writes ASIGNOMT with one record per row: COD, CODLARGO, NOMBRE, CODI, HORAS,
/// CODICURS, ESTAREA ("T" or "F").
void writeSubjects(const std::filesystem::path& dir, const std::vector<Row>& rows);

/// Writes an empty table with the layout the import gives it.
void writeEmptyTable(const std::filesystem::path& dir, std::string_view table);

/// Runs TransformarCursos over `xmlUtf8` in `dir`, the grid starting from
/// `previousLevels` when given.
void runCourses(std::string_view xmlUtf8, const std::filesystem::path& dir, ImportPrompts& prompts,
    Warnings& warnings, const CourseLevelsByCode* previousLevels = nullptr);

/// Runs TransformarLineas in `dir` over the centre file `xmlUtf8` (read only for the
/// names in full when lines go to the groups a name designates; none by default).
void runLines(const std::filesystem::path& dir, ImportPrompts& prompts, Warnings& warnings,
    std::string_view xmlUtf8 = {}, ImportNotes* notes = nullptr);

} // namespace tramazel::centre_import::test
