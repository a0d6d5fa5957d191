// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <filesystem>
#include <optional>
#include <string>
#include <vector>

/// Test tables for the solution export, written with the engine in the layouts the
/// centre import creates, and the sessions of a solution file read back.
namespace tramazel::test::exporting {

/// One SOLUC row. Texts are cp1252; an absent number leaves its field empty.
struct SolucRow {
    std::optional<std::int64_t> dia;
    std::optional<double> hora;
    std::string prof;
    std::string grupo;
    std::string aula;
    std::string asig;
    std::string tarea;
};

/// The lookup tables of a small centre, cp1252 texts.
struct Centre {
    std::vector<std::array<std::string, 2>> proft; ///< ABREV, CODI
    std::vector<std::array<std::string, 3>> grupost; ///< ABREV, CODI, CODICURS
    std::vector<std::array<std::string, 2>> aulat; ///< ABREV, CODI
    std::vector<std::array<std::string, 2>> subjects; ///< ASIGNOMT COD, CODI (ESTAREA false)
    std::vector<std::array<std::string, 2>>
        activities; ///< ASIGNOMT COD, CODI (ESTAREA true), after the subjects
    std::vector<std::array<std::string, 4>> diashorast; ///< DIHO, DIA, HORADESDE, MINUTOS
};

void writeCentre(const std::filesystem::path& dir, const Centre& centre);
void writeSoluc(const std::filesystem::path& dir, const std::vector<SolucRow>& rows);

/// The nine attributes of one SESSIO, UTF-8, in document order:
/// placa, curs, grup, dia, hora, durada, aula, materia, activitat.
using Session = std::array<std::string, 9>;

/// Reads a solution file with pugixml and checks its shape on the way: root HORARI
/// with exactly one child SESSIONS holding only SESSIO elements, each with exactly the
/// nine attributes in their order, no text. A shape fault is a test failure.
std::vector<Session> readSessions(const std::filesystem::path& file);

} // namespace tramazel::test::exporting
