// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CourseLevels.h"
#include "Warnings.h"
#include "shell/Interaction.h"

#include <filesystem>
#include <ostream>

namespace tramazel::cli {

/// The main window's dialogs answered from the command line: the file dialog returns
/// the file given, the course-level grid is filled from the levels file (when there
/// is one), the subject-lines question is answered OK unless told otherwise, and the
/// boxes print their text to `messages`.
class CliInteraction : public shell::Interaction {
public:
    CliInteraction(
        std::filesystem::path file, const CourseLevels* levels, bool answerQuestions, std::ostream& messages);

    std::optional<std::filesystem::path> chooseFile(const shell::FileDialogOptions& options) override;
    void showInformation(std::string_view text) override;
    void showError(std::string_view text) override;
    void setBusy(bool busy) override;
    void closeMainWindow() override;
    void editCourseLevels(dbf::DbfTable& cursost) override;
    bool askQuestion(std::string_view caption, std::string_view text) override;

    /// What the levels file left unused.
    const Warnings& warnings() const noexcept { return m_warnings; }

private:
    std::filesystem::path m_file;
    const CourseLevels* m_levels;
    bool m_answerQuestions;
    std::ostream& m_messages;
    Warnings m_warnings;
};

} // namespace tramazel::cli
