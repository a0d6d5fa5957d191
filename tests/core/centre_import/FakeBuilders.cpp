// SPDX-License-Identifier: GPL-3.0-or-later
#include "FakeBuilders.h"

#include "Error.h"
#include "centre_import/CourseLevelGrid.h"
#include "dbf/DbfTable.h"

namespace tramazel::test::fake {

std::string failingBuilder;

namespace {

using centre_import::ImportContext;
using dbf::DbfTable;
using dbf::FieldKind;

void failHere(const char* name)
{
    if (failingBuilder == name)
        throw Error(ErrorCode::TableCorrupt, std::string("Fallo de prueba en ") + name);
}

void asignaturas(ImportContext& ctx)
{
    failHere("FakeAsignaturas");
    DbfTable t = DbfTable::create(
        ctx.dir, "ASIGNOMT", { { "COD", FieldKind::Character, 4 }, { "CODI", FieldKind::Character, 20 } });
    for (const char* code : { "MAT", "LEN", "HIS" }) {
        t.append();
        t.setText("COD", code);
        t.setText("CODI", std::string("C-") + code);
        t.post();
    }
    t.close();
}

void profesores(ImportContext& ctx)
{
    failHere("FakeProfesores");
    DbfTable t = DbfTable::create(ctx.dir, "PROFT",
        { { "ABREV", FieldKind::Character, 4 }, { "CODI", FieldKind::Character, 20 } },
        { { "ABREV", "ABREV" } });
    t.append();
    t.setText("ABREV", "P1");
    t.setText("CODI", "100");
    t.post();
    t.close();
}

void cursos(ImportContext& ctx)
{
    failHere("FakeCursos");
    std::vector<std::string> codes;
    {
        DbfTable subjects = DbfTable::open(ctx.dir, "ASIGNOMT", dbf::Access::Exclusive);
        for (subjects.first(); !subjects.eof(); subjects.next())
            codes.push_back(subjects.text("COD"));
    }
    DbfTable courses = DbfTable::create(ctx.dir, "CURSOST",
        { { "CODI", FieldKind::Character, 20 }, { "DESCRIPCIO", FieldKind::Character, 100 },
            { "NIVEL", FieldKind::Character, 5 }, { "CURSO", FieldKind::Character, 3 } });
    for (const auto& code : codes) {
        courses.append();
        courses.setText("CODI", code);
        courses.post();
    }
    {
        centre_import::CourseLevelGrid grid(courses);
        ctx.prompts.editCourseLevels(grid);
    }
    courses.close();
    if (ctx.prompts.askQuestion("Atención", "¿Generar las líneas?")) {
        DbfTable lines = DbfTable::create(ctx.dir, "ASIGT", { { "ABREV", FieldKind::Character, 4 } });
        lines.append();
        lines.setText("ABREV", "L1");
        lines.post();
        lines.close();
    }
}

} // namespace

std::span<const centre_import::BuilderStep> builders()
{
    static const centre_import::BuilderStep steps[] = {
        { "FakeAsignaturas", &asignaturas },
        { "FakeProfesores", &profesores },
        { "FakeCursos", &cursos },
    };
    return steps;
}

} // namespace tramazel::test::fake
