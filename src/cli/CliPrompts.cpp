// SPDX-License-Identifier: GPL-3.0-or-later
#include "CliPrompts.h"

namespace tramazel::cli {

CliPrompts::CliPrompts(const CourseLevels* levels, bool answerQuestions)
    : m_levels(levels)
    , m_answerQuestions(answerQuestions)
{
}

void CliPrompts::editCourseLevels(dbf::DbfTable& cursost)
{
    if (m_levels)
        m_levels->apply(cursost, m_warnings);
}

bool CliPrompts::askQuestion(std::string_view, std::string_view)
{
    return m_answerQuestions;
}

} // namespace tramazel::cli
