// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Warnings.h"
#include "text/FirstMatchIndex.h"

#include <cstdint>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tramazel::xml {
class XmlDocument;
}

namespace tramazel::centre_import {

class CourseLevelGrid;
class ImportReview;

/// The answer to the subject-lines question.
enum class SubjectLines {
    None, ///< no line: ASIGT stays empty
    All, ///< a line for every group of a subject's course
    NamedGroups, ///< only for the groups the subject's name designates (all when it designates none)
};

/// What the centre import asks of a person while it runs. The Qt dialogs implement
/// it; the command line answers from its options; tests script it.
class ImportPrompts {
public:
    virtual ~ImportPrompts() = default;

    /// The course-level step: the user fills the level and course number of every
    /// line of `grid` (each value set is posted to CURSOST at once). Returns when the
    /// user is done, however the grid was closed; a value still being typed counts.
    virtual void editCourseLevels(CourseLevelGrid& grid) = 0;

    /// A question box with a warning icon and OK / Cancel, OK the default.
    /// `text` is UTF-8 with "\n" between lines. True when the user answers OK.
    virtual bool askQuestion(std::string_view caption, std::string_view text) = 0;

    /// The subject-lines question (`caption`, `text` as for askQuestion). By default
    /// the plain question box: OK is SubjectLines::All, Cancel SubjectLines::None.
    virtual SubjectLines askSubjectLines(std::string_view caption, std::string_view text)
    {
        return askQuestion(caption, text) ? SubjectLines::All : SubjectLines::None;
    }

    /// Before the new tables replace the directory's, once they are all written and
    /// checked: what the replacement changes. False stops the run, leaving the
    /// directory as it was (ErrorCode::Cancelled). By default true: the command line
    /// prints the changes after the run instead.
    virtual bool confirmReplacement(const ImportReview& review)
    {
        (void)review;
        return true;
    }

    /// The hourglass on (true) or back to normal (false). The import alone decides
    /// when: on while its builders work, off around every prompt and before it
    /// returns or throws; a front end only shows it. Ignored where there is no pointer.
    virtual void setBusy(bool busy) { (void)busy; }
};

/// The level and course number of a course (cp1252, as CURSOST stores them).
struct CourseLevel {
    std::string nivel;
    std::string curso;
};

/// Course levels by course code (CURSOST's CODI as stored), first record per code.
using CourseLevelsByCode = text::FirstMatchIndex<CourseLevel>;

/// What a run reports besides its tables and warnings.
struct ImportNotes {
    bool linesForNamedGroups = false; ///< the subject lines were asked for SubjectLines::NamedGroups
    std::uint32_t subjectLines = 0; ///< ASIGT lines written
    std::uint32_t subjectsNamingGroups = 0; ///< subjects whose name chose their groups

    /// The summary lines these notes make (UTF-8); none unless linesForNamedGroups.
    std::vector<std::string> summaryLines() const;
};

/// Everything a builder works with.
struct ImportContext {
    const xml::XmlDocument& doc; ///< the loaded centre file
    std::filesystem::path dir; ///< where the builders write and read their tables
    ImportPrompts& prompts;
    Warnings& warnings;
    ImportNotes* notes = nullptr; ///< filled when given
    /// The levels the courses had before this run: the course-level grid starts from
    /// them. None: the grid starts blank.
    const CourseLevelsByCode* previousLevels = nullptr;
};

} // namespace tramazel::centre_import
