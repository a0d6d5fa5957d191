// SPDX-License-Identifier: GPL-3.0-or-later
#include "centre_import/PreviousCourseLevels.h"

#include "Error.h"
#include "ZelvanoTables.h"
#include "dbf/DbfTable.h"

namespace tramazel::centre_import {

CourseLevelsByCode readPreviousCourseLevels(const std::filesystem::path& dir)
{
    namespace t = zelvano::cursost;
    CourseLevelsByCode levels;
    try {
        dbf::DbfTable courses = dbf::DbfTable::open(dir, t::kTable, dbf::Access::Shared);
        const std::size_t fCodi = courses.fieldIndex(t::kCodi);
        const std::size_t fNivel = courses.fieldIndex(t::kNivel);
        const std::size_t fCurso = courses.fieldIndex(t::kCurso);
        for (courses.first(); !courses.eof(); courses.next())
            levels.add(courses.text(fCodi), CourseLevel { courses.text(fNivel), courses.text(fCurso) });
    } catch (const Error&) {
        return {};
    }
    return levels;
}

} // namespace tramazel::centre_import
