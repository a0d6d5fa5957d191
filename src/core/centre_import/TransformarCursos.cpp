// SPDX-License-Identifier: GPL-3.0-or-later
#include "centre_import/Builders.h"

#include "WarningTexts.h"
#include "ZelvanoTables.h"
#include "centre_import/CentreFormat.h"
#include "centre_import/CodeRules.h"
#include "centre_import/CourseLevelGrid.h"
#include "centre_import/TableHazards.h"
#include "centre_import/TableScan.h"
#include "dbf/DbfTable.h"
#include "dbf/RecordImage.h"
#include "text/CodeSet.h"
#include "text/Cp1252.h"
#include "text/FirstMatchIndex.h"
#include "xml/XmlDocument.h"

#include <array>
#include <cstring>
#include <span>
#include <string>
#include <vector>

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

// Records are stored in blocks of about this many bytes.
constexpr std::size_t kBlockBytes = 256 * 1024;
// Records whose lookups are made together.
constexpr std::size_t kBatchRecords = 512;

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
    text::CodeSet seen(text::CodeSet::LetterCase::Significant);
    // Each attribute name is looked up once in the document, not once per element.
    const xml::XmlAttributeName attrCodi = ctx.doc.attributeName(kAttrCodi);
    const xml::XmlAttributeName attrDescripcio = ctx.doc.attributeName(kAttrDescripcio);
    std::string codiScratch, descripcioScratch;
    for (const xml::XmlElement& course : ctx.doc.select(kPathCurs)) {
        const std::string_view codi = hazards.read(course, attrCodi, codiScratch);
        const std::string_view descripcio = hazards.read(course, attrDescripcio, descripcioScratch);
        hazards.noteCut(t::kCodi, codi, t::kCodiWidth);
        hazards.noteCut(t::kDescripcio, descripcio, t::kDescripcioWidth);
        if (!seen.add(codi))
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
    // TURNO stays blank; NIVEL, CURSO and CODICURS are the course's.
    dbf::RecordImage record(groups);
    std::string descrip;
    // Each attribute name is looked up once in the document, not once per element.
    const xml::XmlAttributeName attrCodi = ctx.doc.attributeName(kAttrCodi);
    const xml::XmlAttributeName attrNom = ctx.doc.attributeName(kAttrNom);
    std::string courseCodeScratch, codiScratch, nomScratch;
    // The course elements are read afresh from the document, not from CURSOST.
    for (const xml::XmlElement& course : ctx.doc.select(kPathCurs)) {
        const std::string_view courseCode = course.attribute(attrCodi, courseCodeScratch);
        // CURSOST holds the code cut to CODI's width: the course is found as stored.
        const CourseValues* found
            = courseValues.find(rules::storedKey(courseCode, zelvano::cursost::kCodiWidth));
        const CourseValues& values = found ? *found : none;

        xml::XmlElement group = course.firstChild(kGrup);
        if (group.isNull())
            ctx.warnings.add(warning::kCourseWithoutGroups, utf8(courseCode));

        record.setText(fNivel, values.nivel);
        record.setText(fCurso, values.curso);
        record.setText(fCodiCurs, courseCode);
        for (; !group.isNull(); group = group.nextSibling(kGrup)) {
            const std::string_view codi = hazards.read(group, attrCodi, codiScratch);
            const std::string_view nom = hazards.read(group, attrNom, nomScratch);
            const std::string_view abbreviation = rules::lastFour(codi);
            hazards.noteCut(t::kCodi, codi, t::kCodiWidth);
            hazards.noteKey(t::kAbrev, abbreviation, t::kAbrevWidth, warning::kSharedGroupAbbreviation, codi);
            if (!found)
                ctx.warnings.add(
                    warning::kGroupWithoutCourse, utf8(codi) + " (curso " + utf8(courseCode) + ")");

            record.setText(fAbrev, abbreviation);
            record.setText(fGrupo, nom);
            record.setText(fCodi, codi);
            descrip.assign(values.descripcio).append(" - ").append(nom);
            record.setText(fDescrip, descrip);
            groups.appendRecord(record);
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

    // The first group of every course, its level and course number already as MATIB
    // holds them.
    dbf::RecordImage record(catalogue);
    text::FirstMatchIndex<std::uint32_t> groupByCourse;
    std::string levels;
    {
        enum { kCodiCurs, kNivel, kCurso };
        const std::array<std::size_t, 3> fields { groups.fieldIndex(g::kCodiCurs),
            groups.fieldIndex(g::kNivel), groups.fieldIndex(g::kCurso) };
        // A course's groups follow one another: most records repeat the last course.
        std::string lastCourse;
        forEachRecord(groups, fields, [&](const std::array<std::string_view, 3>& group) {
            const std::string_view codiCurs = group[kCodiCurs];
            if ((groupByCourse.size() != 0 && codiCurs == lastCourse)
                || !groupByCourse.add(codiCurs, static_cast<std::uint32_t>(levels.size())))
                return;
            lastCourse.assign(codiCurs);
            record.setText(fNivel, group[kNivel]);
            record.setText(fCurso, group[kCurso]);
            levels += record.field(fNivel);
            levels += record.field(fCurso);
        });
    }
    const std::size_t nivelAt = record.fieldOffset(fNivel);
    const std::size_t nivelWidth = record.field(fNivel).size();
    const std::size_t cursoAt = record.fieldOffset(fCurso);
    const std::size_t cursoWidth = record.field(fCurso).size();

    enum { kCodiCurs, kCod, kCodLargo, kNombre, kEsTarea };
    const std::array<std::size_t, 5> subjectFields { subjects.fieldIndex(a::kCodiCurs),
        subjects.fieldIndex(a::kCod), subjects.fieldIndex(a::kCodLargo), subjects.fieldIndex(a::kNombre),
        subjects.fieldIndex(a::kEsTarea) };

    // Subjects come in no particular order of course: their courses are looked up
    // a batch at a time, each subject's record put together while it waits.
    const std::size_t length = catalogue.recordLength();
    text::KeyBatch courses;
    text::KeyBatch codes; // COD of each waiting subject, for the warning
    std::vector<char> activity;
    std::string waiting; // the records of the batch
    std::vector<const std::uint32_t*> found;
    std::vector<char> block;
    auto storeBatch = [&] {
        const std::span<const std::string_view> keys = courses.keys();
        found.resize(keys.size());
        groupByCourse.findAll(keys, found);
        const std::span<const std::string_view> cods = codes.keys();
        for (std::size_t i = 0; i < keys.size(); ++i) {
            if (!found[i]) {
                // Activities carry no course by design; only subjects are worth a word.
                if (!activity[i])
                    ctx.warnings.add(
                        warning::kSubjectWithoutGroup, utf8(cods[i]) + " (curso «" + utf8(keys[i]) + "»)");
                continue;
            }
            const std::size_t at = block.size();
            block.insert(block.end(), waiting.begin() + static_cast<std::ptrdiff_t>(i * length),
                waiting.begin() + static_cast<std::ptrdiff_t>((i + 1) * length));
            std::memcpy(block.data() + at + nivelAt, levels.data() + *found[i], nivelWidth);
            std::memcpy(block.data() + at + cursoAt, levels.data() + *found[i] + nivelWidth, cursoWidth);
        }
        if (block.size() >= kBlockBytes) {
            catalogue.appendRecords(block);
            block.clear();
        }
        courses.clear();
        codes.clear();
        activity.clear();
        waiting.clear();
    };
    forEachRecord(subjects, subjectFields, [&](const std::array<std::string_view, 5>& subject) {
        courses.add(subject[kCodiCurs]);
        codes.add(subject[kCod]);
        activity.push_back(subject[kEsTarea].empty() ? 0 : 1);
        record.setText(fAbrev, subject[kCod]);
        record.setText(fAbrev8, subject[kCodLargo]);
        record.setText(fNombre, subject[kNombre]);
        waiting += record.bytes();
        if (courses.size() == kBatchRecords)
            storeBatch();
    });
    storeBatch();
    catalogue.appendRecords(block);

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
    {
        CourseLevelGrid grid(courses);
        ctx.prompts.editCourseLevels(grid);
    }

    const text::FirstMatchIndex<CourseValues> courseValues = readCourseValues(ctx, courses);
    writeGroups(ctx, courseValues);
    courses.close();

    writeCatalogue(ctx);
}

} // namespace tramazel::centre_import
