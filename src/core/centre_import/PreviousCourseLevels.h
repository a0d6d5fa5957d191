// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "centre_import/ImportContext.h"

#include <filesystem>

namespace tramazel::centre_import {

/// The level and course number every course has in the CURSOST table of `dir`, by
/// CODI, first record per code. A CURSOST that is missing or cannot be read gives
/// none: it is no error, as nothing is lost but the typing.
CourseLevelsByCode readPreviousCourseLevels(const std::filesystem::path& dir);

} // namespace tramazel::centre_import
