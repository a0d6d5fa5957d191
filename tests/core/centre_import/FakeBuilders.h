// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "centre_import/Builders.h"

#include <span>
#include <string>

/// A small builder sequence of the same shape as the real one, for tests of the run
/// around the builders: FakeAsignaturas writes ASIGNOMT, FakeProfesores PROFT with an
/// index, FakeCursos reads the ASIGNOMT just written, writes one CURSOST record per
/// subject, shows the course-level step and asks the subject-lines question (OK
/// writes ASIGT).
namespace tramazel::test::fake {

/// The builder that throws (by name); empty for none.
extern std::string failingBuilder;

std::span<const centre_import::BuilderStep> builders();

} // namespace tramazel::test::fake
