// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "dbf/DbfTable.h"

#include <string_view>
#include <vector>

/// Zelvano's tables in the timetable directory: table names, field names and the
/// field layouts the converter creates them with (names, order, kinds, widths).
/// One namespace per table; kTable is the table name without ".DBF".
namespace tramazel::zelvano {

/// Subjects and activities (ESTAREA false for a subject, true for an activity).
namespace asignomt {
inline constexpr std::string_view kTable = "ASIGNOMT";
inline constexpr std::string_view kCod = "COD";
inline constexpr std::string_view kCodLargo = "CODLARGO";
inline constexpr std::string_view kNombre = "NOMBRE";
inline constexpr std::string_view kCodi = "CODI";
inline constexpr std::string_view kHoras = "HORAS";
inline constexpr std::string_view kCodiCurs = "CODICURS";
inline constexpr std::string_view kEsTarea = "ESTAREA";
inline constexpr int kCodWidth = 4;
inline constexpr int kCodLargoWidth = 8;
inline constexpr int kNombreWidth = 40;
inline constexpr int kCodiWidth = 20;
inline constexpr int kHorasWidth = 8;
inline constexpr int kCodiCursWidth = 20;

inline std::vector<dbf::FieldSpec> fields()
{
    using dbf::FieldKind;
    return {
        { std::string(kCod), FieldKind::Character, kCodWidth },
        { std::string(kCodLargo), FieldKind::Character, kCodLargoWidth },
        { std::string(kNombre), FieldKind::Character, kNombreWidth },
        { std::string(kCodi), FieldKind::Character, kCodiWidth },
        { std::string(kHoras), FieldKind::Character, kHorasWidth },
        { std::string(kCodiCurs), FieldKind::Character, kCodiCursWidth },
        { std::string(kEsTarea), FieldKind::Logical, 0 },
    };
}
} // namespace asignomt

/// Teacher posts.
namespace proft {
inline constexpr std::string_view kTable = "PROFT";
inline constexpr std::string_view kAbrev = "ABREV";
inline constexpr std::string_view kNombre = "NOMBRE";
inline constexpr std::string_view kDepart = "DEPART";
inline constexpr std::string_view kDni = "DNI";
inline constexpr std::string_view kCodi = "CODI";
inline constexpr int kAbrevWidth = 4;
inline constexpr int kNombreWidth = 40;
inline constexpr int kDepartWidth = 40;
inline constexpr int kCodiWidth = 20;

inline std::vector<dbf::FieldSpec> fields()
{
    using dbf::FieldKind;
    return {
        { std::string(kAbrev), FieldKind::Character, kAbrevWidth },
        { std::string(kNombre), FieldKind::Character, kNombreWidth },
        { std::string(kDepart), FieldKind::Character, kDepartWidth },
        { std::string(kDni), FieldKind::Integer, 0 },
        { std::string(kCodi), FieldKind::Character, kCodiWidth },
    };
}
} // namespace proft

/// Rooms.
namespace aulat {
inline constexpr std::string_view kTable = "AULAT";
inline constexpr std::string_view kAbrev = "ABREV";
inline constexpr std::string_view kNombre = "NOMBRE";
inline constexpr std::string_view kEdificio = "EDIFICIO";
inline constexpr std::string_view kMaxAlum = "MAXALUM";
inline constexpr std::string_view kCodi = "CODI";
inline constexpr int kAbrevWidth = 4;
inline constexpr int kNombreWidth = 40;
inline constexpr int kEdificioWidth = 1;
inline constexpr int kCodiWidth = 60;

inline std::vector<dbf::FieldSpec> fields()
{
    using dbf::FieldKind;
    return {
        { std::string(kAbrev), FieldKind::Character, kAbrevWidth },
        { std::string(kNombre), FieldKind::Character, kNombreWidth },
        { std::string(kEdificio), FieldKind::Character, kEdificioWidth },
        { std::string(kMaxAlum), FieldKind::Integer, 0 },
        { std::string(kCodi), FieldKind::Character, kCodiWidth },
    };
}
} // namespace aulat

/// Days and hours: created empty by the import; Zelvano fills it.
namespace diashorast {
inline constexpr std::string_view kTable = "DIASHORAST";
inline constexpr std::string_view kDiHo = "DIHO";
inline constexpr std::string_view kCodDiHo = "CODDIHO";
inline constexpr std::string_view kDia = "DIA";
inline constexpr std::string_view kTextoDia = "TEXTODIA";
inline constexpr std::string_view kHora = "HORA";
inline constexpr std::string_view kHoraDesde = "HORADESDE";
inline constexpr std::string_view kHoraHasta = "HORAHASTA";
inline constexpr std::string_view kMinutos = "MINUTOS";

inline std::vector<dbf::FieldSpec> fields()
{
    using dbf::FieldKind;
    return {
        { std::string(kDiHo), FieldKind::Character, 10 },
        { std::string(kCodDiHo), FieldKind::Character, 10 },
        { std::string(kDia), FieldKind::Character, 20 },
        { std::string(kTextoDia), FieldKind::Character, 20 },
        { std::string(kHora), FieldKind::Character, 8 },
        { std::string(kHoraDesde), FieldKind::Character, 8 },
        { std::string(kHoraHasta), FieldKind::Character, 8 },
        { std::string(kMinutos), FieldKind::Character, 8 },
    };
}
} // namespace diashorast

/// Courses: one record per GestIB course; NIVEL and CURSO are typed by the user in
/// the course-level grid.
namespace cursost {
inline constexpr std::string_view kTable = "CURSOST";
inline constexpr std::string_view kCodi = "CODI";
inline constexpr std::string_view kDescripcio = "DESCRIPCIO";
inline constexpr std::string_view kNivel = "NIVEL";
inline constexpr std::string_view kCurso = "CURSO";
inline constexpr int kCodiWidth = 20;
inline constexpr int kDescripcioWidth = 100;
inline constexpr int kNivelWidth = 5;
inline constexpr int kCursoWidth = 3;

inline std::vector<dbf::FieldSpec> fields()
{
    using dbf::FieldKind;
    return {
        { std::string(kCodi), FieldKind::Character, kCodiWidth },
        { std::string(kDescripcio), FieldKind::Character, kDescripcioWidth },
        { std::string(kNivel), FieldKind::Character, kNivelWidth },
        { std::string(kCurso), FieldKind::Character, kCursoWidth },
    };
}
} // namespace cursost

/// Groups, course by course; they carry their course's level and course number.
namespace grupost {
inline constexpr std::string_view kTable = "GRUPOST";
inline constexpr std::string_view kAbrev = "ABREV";
inline constexpr std::string_view kTurno = "TURNO";
inline constexpr std::string_view kNivel = "NIVEL";
inline constexpr std::string_view kCurso = "CURSO";
inline constexpr std::string_view kGrupo = "GRUPO";
inline constexpr std::string_view kCodi = "CODI";
inline constexpr std::string_view kCodiCurs = "CODICURS";
inline constexpr std::string_view kDescrip = "DESCRIP";
inline constexpr int kAbrevWidth = 4;
inline constexpr int kTurnoWidth = 1;
inline constexpr int kNivelWidth = 5;
inline constexpr int kCursoWidth = 3;
inline constexpr int kGrupoWidth = 2;
inline constexpr int kCodiWidth = 20;
inline constexpr int kCodiCursWidth = 20;
inline constexpr int kDescripWidth = 40;

inline std::vector<dbf::FieldSpec> fields()
{
    using dbf::FieldKind;
    return {
        { std::string(kAbrev), FieldKind::Character, kAbrevWidth },
        { std::string(kTurno), FieldKind::Character, kTurnoWidth },
        { std::string(kNivel), FieldKind::Character, kNivelWidth },
        { std::string(kCurso), FieldKind::Character, kCursoWidth },
        { std::string(kGrupo), FieldKind::Character, kGrupoWidth },
        { std::string(kCodi), FieldKind::Character, kCodiWidth },
        { std::string(kCodiCurs), FieldKind::Character, kCodiCursWidth },
        { std::string(kDescrip), FieldKind::Character, kDescripWidth },
    };
}
} // namespace grupost

/// The subject catalogue, with its production index on ABREV (MATIB.MDX).
namespace matib {
inline constexpr std::string_view kTable = "MATIB";
inline constexpr std::string_view kAbrev = "ABREV";
inline constexpr std::string_view kAbrev8 = "ABREV8";
inline constexpr std::string_view kNombre = "NOMBRE";
inline constexpr std::string_view kNivel = "NIVEL";
inline constexpr std::string_view kCurso = "CURSO";
inline constexpr std::string_view kIndexAbrev = "ABREV"; ///< tag name of the index on ABREV
inline constexpr int kAbrevWidth = 4;
inline constexpr int kAbrev8Width = 8;
inline constexpr int kNombreWidth = 40;
inline constexpr int kNivelWidth = 5;
inline constexpr int kCursoWidth = 3;

inline std::vector<dbf::FieldSpec> fields()
{
    using dbf::FieldKind;
    return {
        { std::string(kAbrev), FieldKind::Character, kAbrevWidth },
        { std::string(kAbrev8), FieldKind::Character, kAbrev8Width },
        { std::string(kNombre), FieldKind::Character, kNombreWidth },
        { std::string(kNivel), FieldKind::Character, kNivelWidth },
        { std::string(kCurso), FieldKind::Character, kCursoWidth },
    };
}

inline std::vector<dbf::IndexSpec> indexes()
{
    return { { std::string(kIndexAbrev), std::string(kAbrev) } };
}
} // namespace matib

/// Subject lines: one per pair of a group and a subject of its course.
namespace asigt {
inline constexpr std::string_view kTable = "ASIGT";
inline constexpr std::string_view kCAsig = "CASIG";
inline constexpr std::string_view kCProf = "CPROF";
inline constexpr std::string_view kCGrup = "CGRUP";
inline constexpr std::string_view kCAula = "CAULA";
inline constexpr std::string_view kTurno = "TURNO";
inline constexpr std::string_view kNivel = "NIVEL";
inline constexpr std::string_view kCurso = "CURSO";
inline constexpr std::string_view kGrupo = "GRUPO";
inline constexpr std::string_view kHoras = "HORAS"; ///< floating-point number, N(20,4)
inline constexpr std::string_view kSesiones = "SESIONES";
inline constexpr int kCAsigWidth = 4;
inline constexpr int kCProfWidth = 4;
inline constexpr int kCGrupWidth = 4;
inline constexpr int kCAulaWidth = 4;
inline constexpr int kTurnoWidth = 1;
inline constexpr int kNivelWidth = 5;
inline constexpr int kCursoWidth = 3;
inline constexpr int kGrupoWidth = 2;
inline constexpr int kSesionesWidth = 20;

inline std::vector<dbf::FieldSpec> fields()
{
    using dbf::FieldKind;
    return {
        { std::string(kCAsig), FieldKind::Character, kCAsigWidth },
        { std::string(kCProf), FieldKind::Character, kCProfWidth },
        { std::string(kCGrup), FieldKind::Character, kCGrupWidth },
        { std::string(kCAula), FieldKind::Character, kCAulaWidth },
        { std::string(kTurno), FieldKind::Character, kTurnoWidth },
        { std::string(kNivel), FieldKind::Character, kNivelWidth },
        { std::string(kCurso), FieldKind::Character, kCursoWidth },
        { std::string(kGrupo), FieldKind::Character, kGrupoWidth },
        { std::string(kHoras), FieldKind::Float, 0 },
        { std::string(kSesiones), FieldKind::Character, kSesionesWidth },
    };
}
} // namespace asigt

/// Zelvano's solution: one row per scheduled session or activity. Zelvano creates and
/// writes it; the converter only reads it, by field name, in whatever dBASE variant and
/// field types it finds (DIA and HORA may be numeric of any kind, or character).
namespace soluc {
inline constexpr std::string_view kTable = "SOLUC";
inline constexpr std::string_view kDia = "DIA"; ///< day number; 0 or empty: no day
inline constexpr std::string_view kHora = "HORA"; ///< hour number; a fraction marks a half hour
inline constexpr std::string_view kProf = "PROF"; ///< teacher abbreviation (PROFT.ABREV)
inline constexpr std::string_view kCodGrupo = "CODGRUPO"; ///< group abbreviation (GRUPOST.ABREV)
inline constexpr std::string_view kAula = "AULA"; ///< room abbreviation (AULAT.ABREV)
inline constexpr std::string_view kAsig = "ASIG"; ///< subject short code (ASIGNOMT.COD)
inline constexpr std::string_view kTarea = "TAREA"; ///< activity code, blank for teaching

/// A plausible layout for tables the converter writes itself (tests, sample data);
/// Zelvano's own widths and types may differ and are read as found.
inline std::vector<dbf::FieldSpec> fields()
{
    using dbf::FieldKind;
    return {
        { std::string(kDia), FieldKind::Integer, 0 },
        { std::string(kHora), FieldKind::Float, 0 },
        { std::string(kProf), FieldKind::Character, 4 },
        { std::string(kCodGrupo), FieldKind::Character, 4 },
        { std::string(kAula), FieldKind::Character, 4 },
        { std::string(kAsig), FieldKind::Character, 4 },
        { std::string(kTarea), FieldKind::Character, 10 },
    };
}
} // namespace soluc

} // namespace tramazel::zelvano
