// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

/// Every kind of warning a run can report, as the summary describes it (UTF-8), and
/// the word that starts each warning line of the summary.
namespace tramazel::warning {

/// Starts every warning line of a summary: "Aviso: <description>: <count> (…)".
inline constexpr std::string_view kLinePrefix = "Aviso: ";

// The table builders of the centre import.
inline constexpr std::string_view kReplacedCharacters
    = "valores con caracteres sin equivalente en Windows-1252 (cambiados por «?»)";
inline constexpr std::string_view kDuplicateSubjectCode
    = "ASIGNOMT: códigos COD repetidos (la exportación usa el primero)";
inline constexpr std::string_view kDuplicateTeacherAbbreviation
    = "PROFT: abreviaturas ABREV repetidas (la exportación usa la primera)";
inline constexpr std::string_view kSharedRoomAbbreviation
    = "AULAT: aulas que comparten ABREV (la exportación usa la primera)";
/// "<table>: textos cortados al ancho de su campo"
inline std::string cutTexts(std::string_view table)
{
    return std::string(table) + ": textos cortados al ancho de su campo";
}

/// "<table>: registros con <field> vacío (…)": a record the export can never name.
inline std::string emptyKeys(std::string_view table, std::string_view field)
{
    return std::string(table) + ": registros con " + std::string(field)
        + " vacío (la exportación no les atribuye ninguna sesión)";
}

/// A table that held records and that the centre file leaves empty.
inline constexpr std::string_view kEmptiedTable
    = "tablas que tenían registros y quedan vacías: el archivo no trae ninguno de su clase";

// Courses, groups, the subject catalogue and the subject lines.
inline constexpr std::string_view kDuplicateCourse
    = "CURSOST: códigos de curso repetidos (sus grupos toman el nivel, curso y descripción del primero)";
inline constexpr std::string_view kCourseWithoutGroups = "CURSOST: cursos sin grupos";
inline constexpr std::string_view kCourseWithoutLevel = "CURSOST: cursos sin nivel o sin número de curso";
inline constexpr std::string_view kGroupWithoutCourse
    = "GRUPOST: grupos cuyo curso no se encuentra en CURSOST (quedan sin nivel, curso ni descripción)";
inline constexpr std::string_view kSharedGroupAbbreviation
    = "GRUPOST: grupos que comparten ABREV (la exportación usa el primero)";
inline constexpr std::string_view kSubjectWithoutGroup
    = "MATIB: asignaturas cuyo curso no tiene grupos (sin registro en MATIB ni líneas en ASIGT)";
inline constexpr std::string_view kHoursNotANumber
    = "ASIGNOMT: horas que no son un número (sus líneas llevan 1 hora)";
inline constexpr std::string_view kHoursOutOfRange
    = "ASIGNOMT: horas fuera del rango de ASIGT.HORAS (sus líneas llevan 1 hora)";

/// The summary line of subject lines limited to the groups a subject's name designates.
inline std::string subjectLinesForNamedGroups(std::uint32_t lines, std::uint32_t subjectsNamingGroups)
{
    return "Líneas de asignaturas: " + std::to_string(lines)
        + " (solo para los grupos indicados en el nombre de " + std::to_string(subjectsNamingGroups)
        + " materias)";
}

// The levels file of the command line, in place of the course-level grid.
inline constexpr std::string_view kUnknownLevelCode
    = "códigos del archivo de niveles que ningún curso de CURSOST tiene";
inline constexpr std::string_view kRepeatedLevelCode
    = "códigos repetidos en el archivo de niveles (cuenta la primera línea)";
inline constexpr std::string_view kCutLevelCode
    = "códigos del archivo de niveles de más de 20 caracteres, recortados como en CODI";

// The lookups of the solution export that found nothing.
inline constexpr std::string_view kTeacherNotFound = "profesor no encontrado en PROFT";
inline constexpr std::string_view kGroupNotFound = "grupo no encontrado en GRUPOST";
inline constexpr std::string_view kSlotNotFound = "franja no encontrada en DIASHORAST";
inline constexpr std::string_view kRoomNotFound = "aula no encontrada en AULAT";
inline constexpr std::string_view kSubjectNotFound = "materia no encontrada en ASIGNOMT";
// A table whose file holds more records than its header counts.
inline constexpr std::string_view kRecordsBeyondCount
    = "tablas con más registros en el archivo de los que cuenta su cabecera (los demás no se leen)";
// A table whose language driver byte names no code page the engine knows.
inline constexpr std::string_view kUnknownLanguageDriver
    = "tablas con un controlador de idioma desconocido (se leen como ANSI)";

} // namespace tramazel::warning
