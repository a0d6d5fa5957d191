// SPDX-License-Identifier: GPL-3.0-or-later
#include "centre_import/Builders.h"

#include "WarningTexts.h"
#include "ZelvanoTables.h"
#include "centre_import/SubjectHours.h"
#include "dbf/DbfTable.h"
#include "text/Cp1252.h"
#include "text/FirstMatchIndex.h"

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
        Subject subject { subjects.text(fCod), readHours(horas), {} };
        subject.sessions = sessionPattern(subject.hours.value);
        if (subject.hours.reading == HoursReading::NotANumber)
            ctx.warnings.add(warning::kHoursNotANumber, text::cp1252ToUtf8(subject.cod + " «" + horas + "»"));
        else if (subject.hours.reading == HoursReading::OutOfRange)
            ctx.warnings.add(warning::kHoursOutOfRange, text::cp1252ToUtf8(subject.cod + " «" + horas + "»"));
        result.buckets[at].push_back(std::move(subject));
    }
    return result;
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
    if (ctx.prompts.askQuestion(kCaption, kQuestion)) {
        const SubjectsByCourse byCourse = readSubjects(ctx, subjects);

        const std::size_t fCAsig = lines.fieldIndex(t::kCAsig);
        const std::size_t fCGrup = lines.fieldIndex(t::kCGrup);
        const std::size_t fTurno = lines.fieldIndex(t::kTurno);
        const std::size_t fNivel = lines.fieldIndex(t::kNivel);
        const std::size_t fCurso = lines.fieldIndex(t::kCurso);
        const std::size_t fGrupo = lines.fieldIndex(t::kGrupo);
        const std::size_t fHoras = lines.fieldIndex(t::kHoras);
        const std::size_t fSesiones = lines.fieldIndex(t::kSesiones);

        const std::size_t gAbrev = groups.fieldIndex(g::kAbrev);
        const std::size_t gTurno = groups.fieldIndex(g::kTurno);
        const std::size_t gNivel = groups.fieldIndex(g::kNivel);
        const std::size_t gCurso = groups.fieldIndex(g::kCurso);
        const std::size_t gGrupo = groups.fieldIndex(g::kGrupo);
        const std::size_t gCodiCurs = groups.fieldIndex(g::kCodiCurs);

        for (; !groups.eof(); groups.next()) {
            const std::size_t* bucket = byCourse.bucketOf.find(groups.text(gCodiCurs));
            if (!bucket)
                continue;
            const std::string abrev = groups.text(gAbrev);
            const std::string turno = groups.text(gTurno);
            const std::string nivel = groups.text(gNivel);
            const std::string curso = groups.text(gCurso);
            const std::string grupo = groups.text(gGrupo);
            for (const Subject& subject : byCourse.buckets[*bucket]) {
                // CPROF and CAULA stay blank: teacher and room are Zelvano's to fill.
                lines.append();
                lines.setText(fCAsig, subject.cod);
                lines.setText(fCGrup, abrev);
                lines.setText(fTurno, turno);
                lines.setText(fNivel, nivel);
                lines.setText(fCurso, curso);
                lines.setText(fGrupo, grupo);
                if (subject.hours.reading != HoursReading::Empty)
                    lines.setNumber(fHoras, subject.hours.value);
                lines.setText(fSesiones, subject.sessions);
                lines.post();
            }
        }
    }

    lines.close();
    groups.close();
    teachers.close();
    rooms.close();
    subjects.close();
}

} // namespace tramazel::centre_import
