// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string_view>

/// Descriptions of the warning kinds of the course, group, catalogue and subject-line
/// builders (TransformarCursos, TransformarLineas).
namespace tramazel::centre_import::warning {

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

} // namespace tramazel::centre_import::warning
