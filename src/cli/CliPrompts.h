// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CourseLevels.h"
#include "Warnings.h"
#include "centre_import/ImportContext.h"

namespace tramazel::cli {

/// The centre import's prompts answered from the command line: the course-level
/// grid is filled from the levels file (when there is one), and the subject-lines
/// question is answered as the command line says.
class CliPrompts : public centre_import::ImportPrompts {
public:
    CliPrompts(const CourseLevels* levels, centre_import::SubjectLines lines);

    void editCourseLevels(centre_import::CourseLevelGrid& grid) override;
    bool askQuestion(std::string_view caption, std::string_view text) override;
    centre_import::SubjectLines askSubjectLines(std::string_view caption, std::string_view text) override;

    /// What the levels file left unused.
    const Warnings& warnings() const noexcept { return m_warnings; }

private:
    const CourseLevels* m_levels;
    centre_import::SubjectLines m_lines;
    Warnings m_warnings;
};

} // namespace tramazel::cli
