// SPDX-License-Identifier: GPL-3.0-or-later
#include "centre_import/Builders.h"

#include "WarningTexts.h"
#include "ZelvanoTables.h"
#include "centre_import/CentreFormat.h"
#include "centre_import/CodeRules.h"
#include "centre_import/TableHazards.h"
#include "dbf/DbfTable.h"
#include "text/Cp1252.h"
#include "text/FirstMatchIndex.h"
#include "xml/XmlDocument.h"

#include <string>
#include <unordered_set>

namespace tramazel::centre_import {

namespace {

std::string utf8(std::string_view cp1252)
{
    return text::cp1252ToUtf8(cp1252);
}

/// What a group takes from its course's CURSOST record.
struct CourseValues {
    std::string nivel;
    std::string curso;
    std::string descripcio;
};

/// What a subject takes from its course's first group.
struct GroupValues {
    std::string nivel;
    std::string curso;
};

// Pass 1: one CURSOST record per course element, level and course number blank or
// as the course had them before.
void writeCourses(ImportContext& ctx, dbf::DbfTable& courses)
{
    namespace t = zelvano::cursost;
    using namespace gestib;

    const std::size_t fCodi = courses.fieldIndex(t::kCodi);
    const std::size_t fDescripcio = courses.fieldIndex(t::kDescripcio);
    const std::size_t fNivel = courses.fieldIndex(t::kNivel);
    const std::size_t fCurso = courses.fieldIndex(t::kCurso);

    TableHazards hazards(t::kTable, ctx.warnings);
    std::unordered_set<std::string> seen;
    for (const xml::XmlElement& course : ctx.doc.select(kPathCurs)) {
        const std::string codi = hazards.read(course, kAttrCodi);
        const std::string descripcio = hazards.read(course, kAttrDescripcio);
        hazards.noteCut(t::kCodi, codi, t::kCodiWidth);
        hazards.noteCut(t::kDescripcio, descripcio, t::kDescripcioWidth);
        if (!seen.insert(codi).second)
            ctx.warnings.add(warning::kDuplicateCourse, utf8(codi));

        courses.append();
        courses.setText(fCodi, codi);
        courses.setText(fDescripcio, descripcio);
        if (ctx.previousLevels) {
            // Matched by the code as CURSOST stores it.
            if (const CourseLevel* previous = ctx.previousLevels->find(courses.text(fCodi))) {
                courses.setText(fNivel, previous->nivel);
                courses.setText(fCurso, previous->curso);
            }
        }
        courses.post();
    }
}

// The values the user left in CURSOST, first record per code; notes the courses
// still without level or course number.
text::FirstMatchIndex<CourseValues> readCourseValues(ImportContext& ctx, dbf::DbfTable& courses)
{
    namespace t = zelvano::cursost;
    const std::size_t fCodi = courses.fieldIndex(t::kCodi);
    const std::size_t fDescripcio = courses.fieldIndex(t::kDescripcio);
    const std::size_t fNivel = courses.fieldIndex(t::kNivel);
    const std::size_t fCurso = courses.fieldIndex(t::kCurso);

    text::FirstMatchIndex<CourseValues> index;
    for (courses.first(); !courses.eof(); courses.next()) {
        CourseValues values { courses.text(fNivel), courses.text(fCurso), courses.text(fDescripcio) };
        const std::string codi = courses.text(fCodi);
        if (values.nivel.empty() || values.curso.empty())
            ctx.warnings.add(warning::kCourseWithoutLevel, utf8(codi));
        index.add(codi, std::move(values));
    }
    return index;
}

// Pass 2: one GRUPOST record per group element, course by course.
void writeGroups(ImportContext& ctx, const text::FirstMatchIndex<CourseValues>& courseValues)
{
    namespace t = zelvano::grupost;
    using namespace gestib;

    dbf::DbfTable groups = dbf::DbfTable::create(ctx.dir, t::kTable, t::fields());
    const std::size_t fAbrev = groups.fieldIndex(t::kAbrev);
    const std::size_t fNivel = groups.fieldIndex(t::kNivel);
    const std::size_t fCurso = groups.fieldIndex(t::kCurso);
    const std::size_t fGrupo = groups.fieldIndex(t::kGrupo);
    const std::size_t fCodi = groups.fieldIndex(t::kCodi);
    const std::size_t fCodiCurs = groups.fieldIndex(t::kCodiCurs);
    const std::size_t fDescrip = groups.fieldIndex(t::kDescrip);

    TableHazards hazards(t::kTable, ctx.warnings);
    const CourseValues none;
    // The course elements are read afresh from the document, not from CURSOST.
    for (const xml::XmlElement& course : ctx.doc.select(kPathCurs)) {
        const std::string courseCode = course.attribute(kAttrCodi);
        const CourseValues* found = courseValues.find(courseCode);
        const CourseValues& values = found ? *found : none;

        const std::vector<xml::XmlElement> members = course.children(kGrup);
        if (members.empty())
            ctx.warnings.add(warning::kCourseWithoutGroups, utf8(courseCode));

        for (const xml::XmlElement& group : members) {
            const std::string codi = hazards.read(group, kAttrCodi);
            const std::string nom = hazards.read(group, kAttrNom);
            const std::string_view abbreviation = rules::lastFour(codi);
            hazards.noteCut(t::kCodi, codi, t::kCodiWidth);
            hazards.noteKey(abbreviation, t::kAbrevWidth, warning::kSharedGroupAbbreviation, codi);
            if (!found)
                ctx.warnings.add(
                    warning::kGroupWithoutCourse, utf8(codi) + " (curso " + utf8(courseCode) + ")");

            // TURNO stays blank.
            groups.append();
            groups.setText(fAbrev, abbreviation);
            groups.setText(fNivel, values.nivel);
            groups.setText(fCurso, values.curso);
            groups.setText(fGrupo, nom);
            groups.setText(fCodi, codi);
            groups.setText(fCodiCurs, courseCode);
            groups.setText(fDescrip, values.descripcio + " - " + nom);
            groups.post();
        }
    }
    groups.close();
}

// Pass 3: the subject catalogue, one record per ASIGNOMT record whose course has
// a group; level and course number come from the course's first group.
void writeCatalogue(ImportContext& ctx)
{
    namespace m = zelvano::matib;
    namespace g = zelvano::grupost;
    namespace a = zelvano::asignomt;

    dbf::DbfTable catalogue = dbf::DbfTable::create(ctx.dir, m::kTable, m::fields(), m::indexes());
    const std::size_t fAbrev = catalogue.fieldIndex(m::kAbrev);
    const std::size_t fAbrev8 = catalogue.fieldIndex(m::kAbrev8);
    const std::size_t fNombre = catalogue.fieldIndex(m::kNombre);
    const std::size_t fNivel = catalogue.fieldIndex(m::kNivel);
    const std::size_t fCurso = catalogue.fieldIndex(m::kCurso);

    dbf::DbfTable groups = dbf::DbfTable::open(ctx.dir, g::kTable, dbf::Access::Exclusive);
    dbf::DbfTable subjects = dbf::DbfTable::open(ctx.dir, a::kTable, dbf::Access::Exclusive);

    text::FirstMatchIndex<GroupValues> groupByCourse;
    {
        const std::size_t gCodiCurs = groups.fieldIndex(g::kCodiCurs);
        const std::size_t gNivel = groups.fieldIndex(g::kNivel);
        const std::size_t gCurso = groups.fieldIndex(g::kCurso);
        for (groups.first(); !groups.eof(); groups.next())
            groupByCourse.add(
                groups.text(gCodiCurs), GroupValues { groups.text(gNivel), groups.text(gCurso) });
    }

    const std::size_t sCodiCurs = subjects.fieldIndex(a::kCodiCurs);
    const std::size_t sCod = subjects.fieldIndex(a::kCod);
    const std::size_t sCodLargo = subjects.fieldIndex(a::kCodLargo);
    const std::size_t sNombre = subjects.fieldIndex(a::kNombre);
    const std::size_t sEsTarea = subjects.fieldIndex(a::kEsTarea);
    for (subjects.first(); !subjects.eof(); subjects.next()) {
        const std::string codiCurs = subjects.text(sCodiCurs);
        const GroupValues* group = groupByCourse.find(codiCurs);
        if (!group) {
            // Activities carry no course by design; only subjects are worth a word.
            if (!subjects.logical(sEsTarea))
                ctx.warnings.add(warning::kSubjectWithoutGroup,
                    utf8(subjects.text(sCod)) + " (curso «" + utf8(codiCurs) + "»)");
            continue;
        }
        catalogue.append();
        catalogue.setText(fAbrev, subjects.text(sCod));
        catalogue.setText(fAbrev8, subjects.text(sCodLargo));
        catalogue.setText(fNombre, subjects.text(sNombre));
        catalogue.setText(fNivel, group->nivel);
        catalogue.setText(fCurso, group->curso);
        catalogue.post();
    }

    catalogue.close();
    groups.close();
    subjects.close();
}

} // namespace

void TransformarCursos(ImportContext& ctx)
{
    namespace t = zelvano::cursost;

    dbf::DbfTable courses = dbf::DbfTable::create(ctx.dir, t::kTable, t::fields());
    writeCourses(ctx, courses);

    // The user fills NIVEL and CURSO in place; whatever was posted is what the groups
    // take, however the dialog was closed.
    courses.first();
    ctx.prompts.editCourseLevels(courses);

    const text::FirstMatchIndex<CourseValues> courseValues = readCourseValues(ctx, courses);
    writeGroups(ctx, courseValues);
    courses.close();

    writeCatalogue(ctx);
}

} // namespace tramazel::centre_import
