// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string_view>

/// Names of GestIB's timetable file (root HORARI): elements upper-case Catalan,
/// attributes lower-case Catalan, in the order every SESSIO carries them.
namespace tramazel::solution_export::gestib {

// Elements.
inline constexpr std::string_view kHorari = "HORARI";
inline constexpr std::string_view kSessions = "SESSIONS";
inline constexpr std::string_view kSessio = "SESSIO";

// Absolute paths of the skeleton.
inline constexpr std::string_view kPathHorari = "/HORARI";
inline constexpr std::string_view kPathSessions = "/HORARI/SESSIONS";

// The nine attributes of SESSIO, in document order.
inline constexpr std::string_view kPlaca = "placa"; ///< GestIB teacher post
inline constexpr std::string_view kCurs = "curs"; ///< GestIB course
inline constexpr std::string_view kGrup = "grup"; ///< GestIB group
inline constexpr std::string_view kDia = "dia"; ///< day, as Zelvano's slot table names it
inline constexpr std::string_view kHora = "hora"; ///< start time of the slot
inline constexpr std::string_view kDurada = "durada"; ///< length of the slot
inline constexpr std::string_view kAula = "aula"; ///< GestIB room
inline constexpr std::string_view kMateria = "materia"; ///< GestIB subject
inline constexpr std::string_view kActivitat = "activitat"; ///< activity code, empty for teaching

} // namespace tramazel::solution_export::gestib
