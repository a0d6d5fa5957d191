// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string_view>

/// Names of the GestIB centre file (root CENTRE): elements are upper-case Catalan,
/// attributes lower-case Catalan. Every builder reads the file through these.
namespace tramazel::centre_import::gestib {

// Elements.
inline constexpr std::string_view kCentre = "CENTRE";
inline constexpr std::string_view kMateries = "MATERIES";
inline constexpr std::string_view kMateria = "MATERIA";
inline constexpr std::string_view kActivitats = "ACTIVITATS";
inline constexpr std::string_view kActivitat = "ACTIVITAT";
inline constexpr std::string_view kPlaces = "PLACES";
inline constexpr std::string_view kPlaca = "PLACA";
inline constexpr std::string_view kAules = "AULES";
inline constexpr std::string_view kAula = "AULA";
inline constexpr std::string_view kCursos = "CURSOS";
inline constexpr std::string_view kCurs = "CURS";
inline constexpr std::string_view kGrup = "GRUP"; ///< child of CURS, selected on the course element

// Absolute paths of the element lists, each selecting every match under the root.
inline constexpr std::string_view kPathMateria = "/CENTRE/MATERIES/MATERIA";
inline constexpr std::string_view kPathActivitat = "/CENTRE/ACTIVITATS/ACTIVITAT";
inline constexpr std::string_view kPathPlaca = "/CENTRE/PLACES/PLACA";
inline constexpr std::string_view kPathAula = "/CENTRE/AULES/AULA";
inline constexpr std::string_view kPathCurs = "/CENTRE/CURSOS/CURS";

// Attributes.
inline constexpr std::string_view kAttrCodi = "codi"; ///< GestIB code of any element
inline constexpr std::string_view kAttrCurs = "curs"; ///< MATERIA: GestIB code of the subject's course
inline constexpr std::string_view kAttrDescripcio = "descripcio"; ///< name or description
inline constexpr std::string_view kAttrCurta = "curta"; ///< short name (MATERIA, ACTIVITAT, PLACA)
inline constexpr std::string_view kAttrNom = "nom"; ///< GRUP: group name

} // namespace tramazel::centre_import::gestib
