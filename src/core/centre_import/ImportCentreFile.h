// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Warnings.h"
#include "centre_import/Builders.h"
#include "centre_import/CentreImport.h"
#include "centre_import/ImportContext.h"
#include "centre_import/ImportReview.h"

#include <filesystem>
#include <optional>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tramazel::xml {
class XmlDocument;
}

namespace tramazel::platform {
struct IoHooks;
}

namespace tramazel::centre_import {

/// The root element every centre file of GestIB has.
inline constexpr std::string_view kCentreRoot = "CENTRE";

/// What a completed import of a centre file did.
struct CentreFileImport {
    std::vector<TableWritten> tables; ///< in the order they were written
    Warnings warnings;
    ImportNotes notes;
    ImportReview review; ///< what the run changed in the tables (a dry run: would change)

    /// The lines both front ends print after the run (UTF-8): "Tabla X: N registros"
    /// per table, the changes to the tables (ImportReview::detailedLines, under a
    /// heading), the notes' lines, then "Aviso: …" per warning kind.
    std::vector<std::string> summary() const;
};

/// How the run is made; the defaults are the program's own (tests pass others).
struct CentreFileImportOptions {
    std::span<const BuilderStep> builders {}; ///< empty: builderSequence()
    /// The run's file operations and steps go through these (CentreImport::setIo);
    /// null: the system's calls.
    const platform::IoHooks* io = nullptr;
    /// The course-level grid opens with the level and course number each course had
    /// in the timetable directory's CURSOST (matched by CODI; new courses blank).
    bool keepLevels = true;
    /// Builds and checks everything as a real import, then leaves the timetable
    /// directory byte for byte as it was (CentreImport::setDryRun).
    bool dryRun = false;
};

/// Imports the centre file `centreFile` into the timetable directory `qtempDir`.
/// Returns nothing, having touched nothing, when `centreFile` is empty or names no
/// regular file. Otherwise loads it into `doc` and checks that its root is <CENTRE>
/// (ErrorCode::XmlWrongRoot otherwise, with the root's position; a file that is not
/// well-formed throws XmlMalformed) before any table is touched, then runs the
/// all-or-nothing CentreImport, which first finishes or rolls back an interrupted
/// import (a dry run refuses instead: TableLocked). The hourglass is shown through `prompts` while the
/// builders work and lifted around each prompt. Throws Error; after a failure the
/// timetable directory is as it was.
std::optional<CentreFileImport> importCentreFile(const std::filesystem::path& centreFile,
    const std::filesystem::path& qtempDir, xml::XmlDocument& doc, ImportPrompts& prompts,
    const CentreFileImportOptions& options = {});

} // namespace tramazel::centre_import
