// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Error.h"
#include "shell/Interaction.h"

#include <deque>
#include <filesystem>
#include <map>
#include <optional>
#include <string>
#include <vector>

namespace tramazel::test {

/// A scripted person in front of the main window: answers the file dialog from a
/// queue (nothing queued means Cancel) and records everything shown, in order.
class FakeInteraction : public shell::Interaction {
public:
    std::deque<std::optional<std::filesystem::path>> fileAnswers;
    bool questionAnswer = true;
    bool windowGoneAtLevels = false; ///< the course-level grid ends the run as a vanished host does
    bool confirmAnswer = true; ///< the answer to the question before a destructive run
    std::vector<std::string> confirmTexts;
    std::vector<std::string>
        events; ///< "choose", "confirm", "choice", "info:…", "error:…", "busy:on", "close", …
    std::vector<shell::FileDialogOptions> dialogs;
    std::vector<shell::Report> reports; ///< every report box, whole
    std::vector<shell::Choice> choices; ///< every two-button choice, whole
    shell::ChoiceAnswer choiceAnswer { true, false }; ///< the answer to every choice
    std::map<std::string, bool> flags; ///< the user's remembered flags, "group/key"
    int boxesWhileBusy = 0;
    bool busy = false;

    std::optional<std::filesystem::path> chooseFile(const shell::FileDialogOptions& options) override
    {
        noteBox("choose");
        dialogs.push_back(options);
        if (fileAnswers.empty())
            return std::nullopt;
        auto answer = fileAnswers.front();
        fileAnswers.pop_front();
        return answer;
    }
    void showInformation(std::string_view text) override { noteBox("info:" + std::string(text)); }
    void showError(std::string_view text) override { noteBox("error:" + std::string(text)); }
    /// Noted as an information box with the report's first line, which says how the
    /// run ended; the whole report is kept in `reports`.
    void showReport(const shell::Report& report) override
    {
        reports.push_back(report);
        noteBox("info:" + report.text.substr(0, report.text.find('\n')));
    }
    shell::ChoiceAnswer choose(const shell::Choice& choice) override
    {
        noteBox("choice");
        choices.push_back(choice);
        return choiceAnswer;
    }
    bool userFlag(std::string_view group, std::string_view key) override
    {
        const auto found = flags.find(std::string(group) + "/" + std::string(key));
        return found != flags.end() && found->second;
    }
    void setUserFlag(std::string_view group, std::string_view key, bool value) override
    {
        flags[std::string(group) + "/" + std::string(key)] = value;
    }
    bool confirmDestructive(std::string_view text) override
    {
        noteBox("confirm");
        confirmTexts.emplace_back(text);
        return confirmAnswer;
    }
    void setBusy(bool on) override
    {
        busy = on;
        events.push_back(on ? "busy:on" : "busy:off");
    }
    void closeMainWindow() override { events.push_back("close"); }
    void editCourseLevels(centre_import::CourseLevelGrid&) override
    {
        noteBox("levels");
        if (windowGoneAtLevels)
            throw Error(ErrorCode::Cancelled, "La ventana de Zelvano se ha cerrado.");
    }
    bool askQuestion(std::string_view, std::string_view) override
    {
        noteBox("question");
        return questionAnswer;
    }

    /// The texts of the information and error boxes, in order.
    std::vector<std::string> boxes() const
    {
        std::vector<std::string> out;
        for (const auto& e : events) {
            if (e.starts_with("info:") || e.starts_with("error:"))
                out.push_back(e);
        }
        return out;
    }
    bool closed() const
    {
        for (const auto& e : events) {
            if (e == "close")
                return true;
        }
        return false;
    }

private:
    void noteBox(std::string event)
    {
        if (busy)
            ++boxesWhileBusy;
        events.push_back(std::move(event));
    }
};

} // namespace tramazel::test
