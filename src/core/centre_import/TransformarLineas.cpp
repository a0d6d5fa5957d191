// SPDX-License-Identifier: GPL-3.0-or-later
#include "centre_import/Builders.h"

#include "WarningTexts.h"
#include "ZelvanoTables.h"
#include "centre_import/CentreFormat.h"
#include "centre_import/CodeRules.h"
#include "centre_import/GroupsInSubjectName.h"
#include "centre_import/SubjectHours.h"
#include "centre_import/TableScan.h"
#include "dbf/DbfTable.h"
#include "dbf/RecordImage.h"
#include "text/Cp1252.h"
#include "text/FirstMatchIndex.h"
#include "xml/XmlDocument.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <limits>
#include <span>
#include <string>
#include <utility>
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

// Lines are stored in blocks of about this many bytes.
constexpr std::size_t kBlockBytes = 256 * 1024;
// Records whose lookups are made together.
constexpr std::size_t kBatchRecords = 512;

// A GestIB code as a table stores it: cut to the field's width, without the blanks
// that pad it.

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
    const xml::XmlAttributeName attrCodi = doc.attributeName(kAttrCodi);
    const xml::XmlAttributeName attrDescripcio = doc.attributeName(kAttrDescripcio);
    const xml::XmlAttributeName attrNom = doc.attributeName(kAttrNom);
    std::string codiScratch, nameScratch;
    for (const xml::XmlElement& subject : doc.select(kPathMateria))
        names.subjectByCodi.add(
            rules::storedKey(subject.attribute(attrCodi, codiScratch), zelvano::asignomt::kCodiWidth),
            std::string(subject.attribute(attrDescripcio, nameScratch)));
    for (const xml::XmlElement& course : doc.select(kPathCurs)) {
        course.forEachChild(kGrup, [&](const xml::XmlElement& group) {
            names.groupByCodi.add(
                rules::storedKey(group.attribute(attrCodi, codiScratch), zelvano::grupost::kCodiWidth),
                std::string(group.attribute(attrNom, nameScratch)));
        });
    }
    return names;
}

/// ASIGT's fields, by position.
struct LineFields {
    explicit LineFields(const dbf::DbfTable& lines)
    {
        namespace t = zelvano::asigt;
        cAsig = lines.fieldIndex(t::kCAsig);
        cGrup = lines.fieldIndex(t::kCGrup);
        turno = lines.fieldIndex(t::kTurno);
        nivel = lines.fieldIndex(t::kNivel);
        curso = lines.fieldIndex(t::kCurso);
        grupo = lines.fieldIndex(t::kGrupo);
        horas = lines.fieldIndex(t::kHoras);
        sesiones = lines.fieldIndex(t::kSesiones);
    }
    std::size_t cAsig, cGrup, turno, nivel, curso, grupo, horas, sesiones;
};

/// GRUPOST read once, in record order: each group's course, numbered in the order
/// the groups first name it, and the part of its lines that comes from the group.
struct GroupsByCourse {
    text::FirstMatchIndex<std::uint32_t> courseOf; ///< CODICURS to course number
    std::size_t courses = 0;
    std::vector<std::uint32_t> courseOfGroup;
    /// Per group, CGRUP through GRUPO of its lines as ASIGT stores them, partWidth
    /// bytes each; they start at partAt in a line.
    std::string parts;
    std::size_t partAt = 0;
    std::size_t partWidth = 0;
    /// With names: every course's group names in record order, and per group which
    /// of its course's names is its own.
    std::vector<std::vector<std::string>> names;
    std::vector<std::uint32_t> nameOfGroup;
};

// Reads GRUPOST; `line` is where a group's part of its lines is put together. With
// `names`, also keeps the name each group's lines are matched by.
GroupsByCourse readGroups(
    dbf::DbfTable& groups, const LineFields& l, dbf::RecordImage& line, const CentreNames* names)
{
    namespace g = zelvano::grupost;
    enum { kAbrev, kTurno, kNivel, kCurso, kGrupo, kCodiCurs, kCodi };
    const std::array<std::size_t, 7> fields { groups.fieldIndex(g::kAbrev), groups.fieldIndex(g::kTurno),
        groups.fieldIndex(g::kNivel), groups.fieldIndex(g::kCurso), groups.fieldIndex(g::kGrupo),
        groups.fieldIndex(g::kCodiCurs), groups.fieldIndex(g::kCodi) };

    GroupsByCourse result;
    // The group's fields lie together in a line; whatever else lies among them is
    // blank in every line, and is copied as such.
    std::size_t partEnd = 0;
    result.partAt = line.bytes().size();
    for (std::size_t f : { l.cGrup, l.turno, l.nivel, l.curso, l.grupo }) {
        result.partAt = std::min(result.partAt, line.fieldOffset(f));
        partEnd = std::max(partEnd, line.fieldOffset(f) + line.field(f).size());
    }
    result.partWidth = partEnd - result.partAt;

    // A course's groups follow one another: most records repeat the last course.
    std::string lastCourse;
    std::uint32_t course = 0;
    forEachRecord(groups, fields, [&](const std::array<std::string_view, 7>& group) {
        const std::string_view codiCurs = group[kCodiCurs];
        if (result.courseOfGroup.empty() || codiCurs != lastCourse) {
            course = static_cast<std::uint32_t>(result.courses);
            if (result.courseOf.add(codiCurs, course))
                ++result.courses;
            else
                course = *result.courseOf.find(codiCurs);
            lastCourse.assign(codiCurs);
        }
        result.courseOfGroup.push_back(course);
        line.setText(l.cGrup, group[kAbrev]);
        line.setText(l.turno, group[kTurno]);
        line.setText(l.nivel, group[kNivel]);
        line.setText(l.curso, group[kCurso]);
        line.setText(l.grupo, group[kGrupo]);
        result.parts += line.bytes().substr(result.partAt, result.partWidth);
        if (names) {
            if (course == result.names.size())
                result.names.emplace_back();
            std::vector<std::string>& ofCourse = result.names[course];
            result.nameOfGroup.push_back(static_cast<std::uint32_t>(ofCourse.size()));
            // Matched by its name in full, or by GRUPO when the centre file has none.
            const std::string* name = names->groupByCodi.find(group[kCodi]);
            ofCourse.emplace_back(name ? std::string_view(*name) : group[kGrupo]);
        }
    });
    return result;
}

/// The ASIGNOMT subjects of the groups' courses, course by course in the groups'
/// numbering, each course's in record order, with the bytes their lines take from
/// them, as ASIGT stores them.
struct SubjectsByCourse {
    /// Course c's subjects are numbers firstOfCourse[c] … firstOfCourse[c + 1] - 1.
    std::vector<std::uint32_t> firstOfCourse;
    std::string casig; ///< CASIG of every subject, casigWidth bytes each
    std::vector<std::uint32_t> hoursOf; ///< per subject, which of the hours parts
    std::string hoursParts; ///< HORAS then SESIONES of every distinct hours text
    /// Per subject, 0 when its lines go to every group of its course, otherwise 1 + which
    /// of namedGroups lists the only groups it goes to.
    std::vector<std::uint32_t> namedOf;
    std::vector<std::vector<std::string>> namedGroups;
    std::uint32_t naming = 0; ///< subjects whose name chose their groups
};

// The hours of every distinct HORAS text, read once: most subjects share a few.
struct HoursTexts {
    text::FirstMatchIndex<std::uint32_t> indexOf;
    std::vector<HoursReading> readings;
};

// Marks a subject whose course has no group: it has no lines.
constexpr std::uint32_t kNoCourse = std::numeric_limits<std::uint32_t>::max();

// Reads ASIGNOMT; `line` is where the subject's part of its lines is put together.
// With `names`, works out the groups each subject's name designates.
SubjectsByCourse readSubjects(ImportContext& ctx, dbf::DbfTable& subjects, const LineFields& l,
    dbf::RecordImage& line, const CentreNames* names, const GroupsByCourse& groups)
{
    namespace a = zelvano::asignomt;
    enum { kCodiCurs, kCod, kHoras, kCodi, kNombre };
    const std::array<std::size_t, 5> fields { subjects.fieldIndex(a::kCodiCurs), subjects.fieldIndex(a::kCod),
        subjects.fieldIndex(a::kHoras), subjects.fieldIndex(a::kCodi), subjects.fieldIndex(a::kNombre) };

    SubjectsByCourse result;
    HoursTexts hoursTexts;
    std::string lastHoras;
    std::uint32_t lastHours = 0;
    std::vector<std::uint32_t> courseOfSubject;
    std::vector<std::uint32_t> subjectsInCourse(groups.courses, 0);
    // Subjects come in no particular order of course: their courses are looked up a
    // batch at a time.
    text::KeyBatch pending;
    std::vector<const std::uint32_t*> found;
    auto numberBatch = [&] {
        const std::span<const std::string_view> keys = pending.keys();
        found.resize(keys.size());
        groups.courseOf.findAll(keys, found);
        for (const std::uint32_t* course : found) {
            courseOfSubject.push_back(course ? *course : kNoCourse);
            if (course)
                ++subjectsInCourse[*course];
        }
        pending.clear();
    };
    forEachRecord(subjects, fields, [&](const std::array<std::string_view, 5>& subject) {
        const std::string_view codiCurs = subject[kCodiCurs];
        pending.add(codiCurs);
        if (pending.size() == kBatchRecords)
            numberBatch();

        const std::string_view cod = subject[kCod];
        line.setText(l.cAsig, cod);
        result.casig += line.field(l.cAsig);

        const std::string_view horas = subject[kHoras];
        // Subjects one after another mostly have the same hours.
        const std::uint32_t* hours
            = hoursTexts.readings.empty() || horas != lastHoras ? hoursTexts.indexOf.find(horas) : &lastHours;
        const std::uint32_t hoursIndex
            = hours ? *hours : static_cast<std::uint32_t>(hoursTexts.readings.size());
        lastHoras.assign(horas);
        lastHours = hoursIndex;
        if (!hours) {
            const Hours read = readHours(horas);
            if (read.reading != HoursReading::Empty)
                line.setNumber(l.horas, read.value);
            else
                line.setBlank(l.horas);
            line.setText(l.sesiones, sessionPattern(read.value));
            result.hoursParts += line.field(l.horas);
            result.hoursParts += line.field(l.sesiones);
            hoursTexts.indexOf.add(horas, hoursIndex);
            hoursTexts.readings.push_back(read.reading);
        }
        result.hoursOf.push_back(hoursIndex);
        const HoursReading reading = hoursTexts.readings[hoursIndex];
        if (reading == HoursReading::NotANumber || reading == HoursReading::OutOfRange)
            ctx.warnings.add(
                reading == HoursReading::NotANumber ? warning::kHoursNotANumber : warning::kHoursOutOfRange,
                text::cp1252ToUtf8(std::string(cod) + " «" + std::string(horas) + "»"));

        if (names) {
            // Only the groups of the subject's course count; a course without groups
            // has no lines to choose among.
            std::uint32_t named = 0;
            if (const std::uint32_t* course = groups.courseOf.find(codiCurs)) {
                const std::string* description = names->subjectByCodi.find(subject[kCodi]);
                std::vector<std::string> chosen = groupsNamedInSubject(
                    description ? std::string_view(*description) : subject[kNombre], groups.names[*course]);
                if (!chosen.empty()) {
                    result.namedGroups.push_back(std::move(chosen));
                    named = static_cast<std::uint32_t>(result.namedGroups.size());
                    ++result.naming;
                }
            }
            result.namedOf.push_back(named);
        }
    });
    numberBatch();

    // Course by course, each course's subjects in record order.
    result.firstOfCourse.assign(subjectsInCourse.size() + 1, 0);
    for (std::size_t c = 0; c < subjectsInCourse.size(); ++c)
        result.firstOfCourse[c + 1] = result.firstOfCourse[c] + subjectsInCourse[c];
    subjectsInCourse = {};
    // Every subject's parts moved to its place, so that a course's lines read them
    // one after the other; a subject without lines is left out.
    const std::size_t placed = result.firstOfCourse.back();
    const std::size_t casigWidth = line.field(l.cAsig).size();
    std::vector<std::uint32_t> next(result.firstOfCourse.begin(), result.firstOfCourse.end() - 1);
    std::string casig(placed * casigWidth, ' ');
    std::vector<std::uint32_t> hoursOf(placed);
    std::vector<std::uint32_t> namedOf(result.namedOf.empty() ? 0 : placed);
    for (std::size_t s = 0; s < courseOfSubject.size(); ++s) {
        if (courseOfSubject[s] == kNoCourse)
            continue;
        const std::uint32_t place = next[courseOfSubject[s]]++;
        std::memcpy(casig.data() + std::size_t { place } * casigWidth, result.casig.data() + s * casigWidth,
            casigWidth);
        hoursOf[place] = result.hoursOf[s];
        if (!namedOf.empty())
            namedOf[place] = result.namedOf[s];
    }
    result.casig = std::move(casig);
    result.hoursOf = std::move(hoursOf);
    result.namedOf = std::move(namedOf);
    return result;
}

bool linesFor(const SubjectsByCourse& subjects, std::uint32_t subject, std::string_view group)
{
    if (subjects.namedOf.empty() || subjects.namedOf[subject] == 0)
        return true;
    const std::vector<std::string>& named = subjects.namedGroups[subjects.namedOf[subject] - 1];
    return std::find(named.begin(), named.end(), group) != named.end();
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

    // Asked in every run, even with no group; on Cancel ASIGT stays empty.
    const SubjectLines answer = ctx.prompts.askSubjectLines(kCaption, kQuestion);
    if (ctx.notes)
        ctx.notes->linesForNamedGroups = answer == SubjectLines::NamedGroups;
    if (answer != SubjectLines::None) {
        const bool namedGroupsOnly = answer == SubjectLines::NamedGroups;
        const CentreNames names = namedGroupsOnly ? readCentreNames(ctx.doc) : CentreNames {};

        const LineFields l(lines);
        // A line is put together from its group's part and its subject's part. CPROF
        // and CAULA stay blank: teacher and room are Zelvano's to fill.
        dbf::RecordImage line(lines);
        const GroupsByCourse byGroup = readGroups(groups, l, line, namedGroupsOnly ? &names : nullptr);
        const SubjectsByCourse byCourse
            = readSubjects(ctx, subjects, l, line, namedGroupsOnly ? &names : nullptr, byGroup);

        const std::size_t casigAt = line.fieldOffset(l.cAsig);
        const std::size_t casigWidth = line.field(l.cAsig).size();
        const std::size_t horasAt = line.fieldOffset(l.horas);
        const std::size_t horasWidth = line.field(l.horas).size();
        const std::size_t sesionesAt = line.fieldOffset(l.sesiones);
        const std::size_t sesionesWidth = line.field(l.sesiones).size();
        const std::size_t hoursWidth = horasWidth + sesionesWidth;

        const std::size_t length = lines.recordLength();
        // Filled up to `used`; sent once it holds kBlockBytes or more.
        std::vector<char> block(kBlockBytes + length);
        std::size_t used = 0;
        std::vector<char> image(line.bytes().begin(), line.bytes().end());
        std::uint32_t written = 0;
        for (std::size_t group = 0; group < byGroup.courseOfGroup.size(); ++group) {
            const std::uint32_t course = byGroup.courseOfGroup[group];
            const std::uint32_t first = byCourse.firstOfCourse[course];
            const std::uint32_t end = byCourse.firstOfCourse[course + 1];
            if (first == end)
                continue;
            std::memcpy(image.data() + byGroup.partAt, byGroup.parts.data() + group * byGroup.partWidth,
                byGroup.partWidth);
            const std::string_view name = namedGroupsOnly
                ? std::string_view(byGroup.names[course][byGroup.nameOfGroup[group]])
                : std::string_view {};

            for (std::uint32_t subject = first; subject < end; ++subject) {
                if (!linesFor(byCourse, subject, name))
                    continue;
                char* record = block.data() + used;
                std::memcpy(record, image.data(), length);
                used += length;
                std::memcpy(record + casigAt, byCourse.casig.data() + std::size_t { subject } * casigWidth,
                    casigWidth);
                const char* hours = byCourse.hoursParts.data() + byCourse.hoursOf[subject] * hoursWidth;
                std::memcpy(record + horasAt, hours, horasWidth);
                std::memcpy(record + sesionesAt, hours + horasWidth, sesionesWidth);
                ++written;
                if (used >= kBlockBytes) {
                    lines.appendRecords(std::span<const char>(block.data(), used));
                    used = 0;
                }
            }
        }
        lines.appendRecords(std::span<const char>(block.data(), used));
        if (ctx.notes) {
            ctx.notes->subjectLines = written;
            ctx.notes->subjectsNamingGroups = byCourse.naming;
        }
    }

    lines.close();
    groups.close();
    teachers.close();
    rooms.close();
    subjects.close();
}

} // namespace tramazel::centre_import
