// SPDX-License-Identifier: GPL-3.0-or-later
#include "CliPrompts.h"

namespace tramazel::cli {

CliPrompts::CliPrompts(const CourseLevels* levels, centre_import::SubjectLines lines)
    : m_levels(levels)
    , m_lines(lines)
{
}

void CliPrompts::editCourseLevels(centre_import::CourseLevelGrid& grid)
{
    if (m_levels)
        m_levels->apply(grid, m_warnings);
}

bool CliPrompts::askQuestion(std::string_view, std::string_view)
{
    return m_lines != centre_import::SubjectLines::None;
}

centre_import::SubjectLines CliPrompts::askSubjectLines(std::string_view, std::string_view)
{
    return m_lines;
}

} // namespace tramazel::cli
