// SPDX-License-Identifier: GPL-3.0-or-later
#include "CliInteraction.h"

#include <utility>

namespace tramazel::cli {

CliInteraction::CliInteraction(
    std::filesystem::path file, const CourseLevels* levels, bool answerQuestions, std::ostream& messages)
    : m_file(std::move(file))
    , m_levels(levels)
    , m_answerQuestions(answerQuestions)
    , m_messages(messages)
{
}

std::optional<std::filesystem::path> CliInteraction::chooseFile(const shell::FileDialogOptions&)
{
    return m_file;
}

void CliInteraction::showInformation(std::string_view text)
{
    m_messages << text << '\n';
}

void CliInteraction::showError(std::string_view text)
{
    m_messages << text << '\n';
}

void CliInteraction::setBusy(bool) { }

void CliInteraction::closeMainWindow() { }

void CliInteraction::editCourseLevels(dbf::DbfTable& cursost)
{
    if (m_levels)
        m_levels->apply(cursost, m_warnings);
}

bool CliInteraction::askQuestion(std::string_view, std::string_view)
{
    return m_answerQuestions;
}

} // namespace tramazel::cli
