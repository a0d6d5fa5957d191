// SPDX-License-Identifier: GPL-3.0-or-later
#include "centre_import/Builders.h"

#include "WarningTexts.h"
#include "ZelvanoTables.h"
#include "centre_import/CentreFormat.h"
#include "centre_import/GroupsInSubjectName.h"
#include "centre_import/SubjectHours.h"
#include "dbf/DbfTable.h"
#include "text/Cp1252.h"
#include "text/FirstMatchIndex.h"
#include "xml/XmlDocument.h"

#include <algorithm>
#include <string>
#include <vector>

namespace tramazel::centre_import {

namespace {

constexpr std::string_view kCaption = "Creación automática de Líneas de Asignaturas";
// Five lines; the box shows them one under the other.
constexpr std::string_view kQuestion = "¿Quiere crear automáticamente las Líneas de Asignaturas \n"
                                       "que esta aplicación estime necesarias para cada Grupo? \n"
                                       "Seguramente se crearán más líneas de las necesarias, \n"
                                       "pero podrá eliminar las que considere innecesarias. \n"
                                       "                            ¿Crear Líneas?";

/// One ASIGNOMT record as its lines need it; hours and sessions worked out once.
struct Subject {
    std::string cod;
    Hours hours;
    std::string sessions;
    std::string codi; ///< GestIB code, as ASIGNOMT stores it
    std::string nombre; ///< ASIGNOMT's NOMBRE, the name when the centre file has none
    std::vector<std::string> namedGroups; ///< the groups its name designates; empty: all
};

/// ASIGNOMT grouped by CODICURS: every course's subjects in record order.
struct SubjectsByCourse {
    text::FirstMatchIndex<std::size_t> bucketOf;
    std::vector<std::vector<Subject>> buckets;
};

SubjectsByCourse readSubjects(ImportContext& ctx, dbf::DbfTable& subjects)
{
    namespace a = zelvano::asignomt;
    const std::size_t fCodiCurs = subjects.fieldIndex(a::kCodiCurs);
    const std::size_t fCod = subjects.fieldIndex(a::kCod);
    const std::size_t fHoras = subjects.fieldIndex(a::kHoras);
    const std::size_t fCodi = subjects.fieldIndex(a::kCodi);
    const std::size_t fNombre = subjects.fieldIndex(a::kNombre);

    SubjectsByCourse result;
    for (subjects.first(); !subjects.eof(); subjects.next()) {
        const std::string codiCurs = subjects.text(fCodiCurs);
        const std::size_t* bucket = result.bucketOf.find(codiCurs);
        std::size_t at = bucket ? *bucket : result.buckets.size();
        if (!bucket) {
            result.bucketOf.add(codiCurs, at);
            result.buckets.emplace_back();
        }

        const std::string horas = subjects.text(fHoras);
        Subject subject { subjects.text(fCod), readHours(horas), {}, subjects.text(fCodi),
            subjects.text(fNombre), {} };
        subject.sessions = sessionPattern(subject.hours.value);
        if (subject.hours.reading == HoursReading::NotANumber)
            ctx.warnings.add(warning::kHoursNotANumber, text::cp1252ToUtf8(subject.cod + " «" + horas + "»"));
        else if (subject.hours.reading == HoursReading::OutOfRange)
            ctx.warnings.add(warning::kHoursOutOfRange, text::cp1252ToUtf8(subject.cod + " «" + horas + "»"));
        result.buckets[at].push_back(std::move(subject));
    }
    return result;
}

// A GestIB code as a table stores it: cut to the field's width, without the blanks
// that pad it.
std::string storedKey(std::string value, int width)
{
    if (value.size() > static_cast<std::size_t>(width))
        value.resize(static_cast<std::size_t>(width));
    while (!value.empty() && value.back() == ' ')
        value.pop_back();
    return value;
}

// The names in full, as the centre file has them: a subject's description can be
// longer than NOMBRE and a group's name longer than GRUPO.
struct CentreNames {
    text::FirstMatchIndex<std::string> subjectByCodi;
    text::FirstMatchIndex<std::string> groupByCodi;
};

CentreNames readCentreNames(const xml::XmlDocument& doc)
{
    using namespace gestib;
    CentreNames names;
    for (const xml::XmlElement& subject : doc.select(kPathMateria))
        names.subjectByCodi.add(storedKey(subject.attribute(kAttrCodi), zelvano::asignomt::kCodiWidth),
            subject.attribute(kAttrDescripcio));
    for (const xml::XmlElement& course : doc.select(kPathCurs)) {
        for (const xml::XmlElement& group : course.children(kGrup))
            names.groupByCodi.add(storedKey(group.attribute(kAttrCodi), zelvano::grupost::kCodiWidth),
                group.attribute(kAttrNom));
    }
    return names;
}

/// One GRUPOST record: what its lines copy, and its name in full.
struct Group {
    std::string abrev;
    std::string turno;
    std::string nivel;
    std::string curso;
    std::string grupo;
    std::string codiCurs;
    std::string name;
};

std::vector<Group> readGroups(dbf::DbfTable& groups, const CentreNames& names)
{
    namespace g = zelvano::grupost;
    const std::size_t gAbrev = groups.fieldIndex(g::kAbrev);
    const std::size_t gTurno = groups.fieldIndex(g::kTurno);
    const std::size_t gNivel = groups.fieldIndex(g::kNivel);
    const std::size_t gCurso = groups.fieldIndex(g::kCurso);
    const std::size_t gGrupo = groups.fieldIndex(g::kGrupo);
    const std::size_t gCodi = groups.fieldIndex(g::kCodi);
    const std::size_t gCodiCurs = groups.fieldIndex(g::kCodiCurs);

    std::vector<Group> result;
    for (; !groups.eof(); groups.next()) {
        Group group { groups.text(gAbrev), groups.text(gTurno), groups.text(gNivel), groups.text(gCurso),
            groups.text(gGrupo), groups.text(gCodiCurs), {} };
        const std::string* name = names.groupByCodi.find(groups.text(gCodi));
        group.name = name ? *name : group.grupo;
        result.push_back(std::move(group));
    }
    return result;
}

// Works out, for every subject, the groups of its course its name designates.
// Returns how many subjects have such groups.
std::uint32_t chooseNamedGroups(
    SubjectsByCourse& byCourse, const std::vector<Group>& groups, const CentreNames& names)
{
    std::vector<std::vector<std::string>> groupNames(byCourse.buckets.size());
    for (const Group& group : groups) {
        if (const std::size_t* bucket = byCourse.bucketOf.find(group.codiCurs))
            groupNames[*bucket].push_back(group.name);
    }
    std::uint32_t naming = 0;
    for (std::size_t b = 0; b < byCourse.buckets.size(); ++b) {
        if (groupNames[b].empty())
            continue;
        for (Subject& subject : byCourse.buckets[b]) {
            const std::string* description = names.subjectByCodi.find(subject.codi);
            subject.namedGroups
                = groupsNamedInSubject(description ? *description : subject.nombre, groupNames[b]);
            if (!subject.namedGroups.empty())
                ++naming;
        }
    }
    return naming;
}

bool linesFor(const Subject& subject, const Group& group)
{
    return subject.namedGroups.empty()
        || std::find(subject.namedGroups.begin(), subject.namedGroups.end(), group.name)
        != subject.namedGroups.end();
}

} // namespace

void TransformarLineas(ImportContext& ctx)
{
    namespace t = zelvano::asigt;
    namespace g = zelvano::grupost;

    dbf::DbfTable lines = dbf::DbfTable::create(ctx.dir, t::kTable, t::fields());

    // PROFT and AULAT are not read, but they must exist and be free.
    dbf::DbfTable groups = dbf::DbfTable::open(ctx.dir, g::kTable, dbf::Access::Exclusive);
    dbf::DbfTable teachers = dbf::DbfTable::open(ctx.dir, zelvano::proft::kTable, dbf::Access::Exclusive);
    dbf::DbfTable rooms = dbf::DbfTable::open(ctx.dir, zelvano::aulat::kTable, dbf::Access::Exclusive);
    dbf::DbfTable subjects = dbf::DbfTable::open(ctx.dir, zelvano::asignomt::kTable, dbf::Access::Exclusive);
    groups.first();

    // Asked in every run, even with no group; on Cancel ASIGT stays empty.
    const SubjectLines answer = ctx.prompts.askSubjectLines(kCaption, kQuestion);
    if (ctx.notes)
        ctx.notes->linesForNamedGroups = answer == SubjectLines::NamedGroups;
    if (answer != SubjectLines::None) {
        SubjectsByCourse byCourse = readSubjects(ctx, subjects);
        const CentreNames names
            = answer == SubjectLines::NamedGroups ? readCentreNames(ctx.doc) : CentreNames {};
        const std::vector<Group> courseGroups = readGroups(groups, names);
        std::uint32_t naming = 0;
        if (answer == SubjectLines::NamedGroups)
            naming = chooseNamedGroups(byCourse, courseGroups, names);

        const std::size_t fCAsig = lines.fieldIndex(t::kCAsig);
        const std::size_t fCGrup = lines.fieldIndex(t::kCGrup);
        const std::size_t fTurno = lines.fieldIndex(t::kTurno);
        const std::size_t fNivel = lines.fieldIndex(t::kNivel);
        const std::size_t fCurso = lines.fieldIndex(t::kCurso);
        const std::size_t fGrupo = lines.fieldIndex(t::kGrupo);
        const std::size_t fHoras = lines.fieldIndex(t::kHoras);
        const std::size_t fSesiones = lines.fieldIndex(t::kSesiones);

        std::uint32_t written = 0;
        for (const Group& group : courseGroups) {
            const std::size_t* bucket = byCourse.bucketOf.find(group.codiCurs);
            if (!bucket)
                continue;
            for (const Subject& subject : byCourse.buckets[*bucket]) {
                if (!linesFor(subject, group))
                    continue;
                // CPROF and CAULA stay blank: teacher and room are Zelvano's to fill.
                lines.append();
                lines.setText(fCAsig, subject.cod);
                lines.setText(fCGrup, group.abrev);
                lines.setText(fTurno, group.turno);
                lines.setText(fNivel, group.nivel);
                lines.setText(fCurso, group.curso);
                lines.setText(fGrupo, group.grupo);
                if (subject.hours.reading != HoursReading::Empty)
                    lines.setNumber(fHoras, subject.hours.value);
                lines.setText(fSesiones, subject.sessions);
                lines.post();
                ++written;
            }
        }
        if (ctx.notes) {
            ctx.notes->subjectLines = written;
            ctx.notes->subjectsNamingGroups = naming;
        }
    }

    lines.close();
    groups.close();
    teachers.close();
    rooms.close();
    subjects.close();
}

} // namespace tramazel::centre_import
