// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/MainForm.h"

#include "Error.h"
#include "centre_import/ImportCentreFile.h"
#include "centre_import/ImportReview.h"
#include "centre_import/TableTransaction.h"
#include "shell/ErrorBox.h"
#include "shell/ExportQuestion.h"
#include "shell/HostCommandLine.h"
#include "shell/HostIni.h"
#include "shell/Interaction.h"
#include "shell/MissingFile.h"
#include "shell/ProgramTexts.h"
#include "shell/RunReport.h"
#include "shell/TimetableDirectory.h"
#include "shell/WindowLayouts.h"
#include "solution_export/SolutionExport.h"
#include "text/Ascii.h"
#include "text/PathText.h"
#include "xml/XmlDocument.h"

#include <exception>
#include <system_error>
#include <utility>

namespace tramazel::shell {

namespace fs = std::filesystem;

namespace {

constexpr int kHostParamCount = 2;

// Result codes host mode leaves in the INI file.
constexpr int kResultCompleted = 1;
constexpr int kResultImportWithoutFile = -1;
constexpr int kResultExportWithoutFile = 0;

// The centre import's prompts as the window answers them: the person's own, and the
// review before the tables are replaced as a two-button choice, which a remembered
// "No volver a preguntar" skips unless a table that holds records would be emptied.
class WindowImportPrompts : public centre_import::ImportPrompts {
public:
    explicit WindowImportPrompts(Interaction& ui)
        : m_ui(ui)
    {
    }

    void editCourseLevels(centre_import::CourseLevelGrid& grid) override { m_ui.editCourseLevels(grid); }
    bool askQuestion(std::string_view caption, std::string_view text) override
    {
        return m_ui.askQuestion(caption, text);
    }
    centre_import::SubjectLines askSubjectLines(std::string_view caption, std::string_view text) override
    {
        return m_ui.askSubjectLines(caption, text);
    }
    void setBusy(bool busy) override { m_ui.setBusy(busy); }

    bool confirmReplacement(const centre_import::ImportReview& review) override
    {
        namespace question = replace_tables_question;
        if (review.emptiedTables().empty() && m_ui.userFlag(question::kSettingsGroup, question::kSettingsKey))
            return true;
        const ChoiceAnswer answer = m_ui.choose(replacementChoice(review));
        if (answer.accepted && answer.dontAskAgain)
            m_ui.setUserFlag(question::kSettingsGroup, question::kSettingsKey, true);
        return answer.accepted;
    }

private:
    Interaction& m_ui;
};

} // namespace

struct MainForm::State {
    State(Interaction& u, Settings s, Seams t)
        : ui(u)
        , settings(std::move(s))
        , seams(t)
    {
    }

    Interaction& ui;
    Settings settings;
    Seams seams;
    std::vector<std::string> params;
    fs::path chosenFile;
    std::unique_ptr<xml::XmlDocument> document;
    bool hostMode = false;
    int resultCode = 0;
    std::vector<std::string> summary;
    bool lastOk = false;

    FileDialogOptions dialogOptions(int helpContext) const
    {
        return FileDialogOptions { "Archivo XML", "*.xml", "xml", fileDialogDirectory(settings.qtempDir),
            helpContext };
    }

    // Step 1 of both directions: a confirmed choice replaces the chosen file, a
    // cancelled dialog keeps the last file chosen by either direction. Returns true
    // when the dialog was confirmed.
    bool chooseFile(int helpContext)
    {
        auto chosen = ui.chooseFile(dialogOptions(helpContext));
        if (!chosen)
            return false;
        chosenFile = std::move(*chosen);
        return true;
    }

    xml::XmlDocument& documentForRun()
    {
        if (!document)
            document = std::make_unique<xml::XmlDocument>();
        return *document;
    }

    /// "No existe archivo"; in host mode the run ends with `hostCode` and the window closes.
    void reportNoFile(int hostCode)
    {
        ui.showInformation(noFileMessage(chosenFile));
        endWithoutRun(hostCode);
    }

    /// The user declined to run: nothing changes, and host mode ends as after a
    /// cancelled dialog (`hostCode`, the window closes) without the "no file" box.
    void endWithoutRun(int hostCode)
    {
        if (hostMode) {
            resultCode = hostCode;
            ui.closeMainWindow();
        }
    }

    /// The box of a completed run ("Proceso finalizado" first), which keeps `lines` as
    /// its summary; in host mode the window closes.
    void reportDone(std::vector<std::string> lines, const Report& report)
    {
        resultCode = kResultCompleted;
        lastOk = true;
        summary = std::move(lines);
        ui.showReport(report);
        if (hostMode)
            ui.closeMainWindow();
    }

    // Every action ends here on failure: the error box, nothing escapes.
    template <typename Body> void guarded(Body&& body)
    {
        try {
            body();
        } catch (...) {
            ui.showError(errorBoxTextOf(std::current_exception()));
        }
    }

    // A run stopped by the person (or by the host window's going) changed nothing:
    // no error box, and host mode ends as after a cancelled dialog (`hostCode`).
    template <typename Body> void run(int hostCode, Body&& body)
    {
        lastOk = false;
        summary.clear();
        guarded([&] {
            try {
                body();
            } catch (const Error& e) {
                if (e.code() != ErrorCode::Cancelled)
                    throw;
                endWithoutRun(hostCode);
            }
        });
    }
};

MainForm::MainForm(Interaction& ui, Settings settings)
    : MainForm(ui, std::move(settings), Seams {})
{
}

MainForm::MainForm(Interaction& ui, Settings settings, Seams seams)
    : m_state(std::make_unique<State>(ui, std::move(settings), seams))
{
}

MainForm::~MainForm() = default;

std::optional<std::uint32_t> MainForm::start(const std::vector<std::string>& params)
{
    State& s = *m_state;
    s.resultCode = 0;
    s.params = params;
    s.guarded([&] { centre_import::TableTransaction::recover(s.settings.qtempDir, s.seams.io); });

    if (params.size() != kHostParamCount)
        return std::nullopt;
    const auto handle = parseWindowHandle(params[1]);
    if (!handle) {
        s.ui.showError(errorBoxText(invalidHandleMessage(params[1])));
        return std::nullopt;
    }
    s.hostMode = true;
    return handle;
}

void MainForm::runModeWord()
{
    State& s = *m_state;
    if (s.params.size() != kHostParamCount)
        return;
    const std::string word = text::toAsciiLower(s.params[0]);
    if (word == kModeImportar)
        exportSolution();
    if (word == kModeExportar)
        importCentre();
}

bool MainForm::closing()
{
    State& s = *m_state;
    if (!s.hostMode)
        return true;
    // The box is shown once and the window closes all the same: a window that can
    // never be closed (an INI beside a program installed where the user may not
    // write) would leave the host waiting for good.
    try {
        writeHostResult(s.settings.iniFile, s.resultCode);
    } catch (const Error& e) {
        s.ui.showError(errorBoxText(e.message()));
    }
    return true;
}

void MainForm::importCentre()
{
    State& s = *m_state;
    s.run(kResultImportWithoutFile, [&] {
        // What would stop the run (a folder this user may not change, a table another
        // program has open) is said before the person chooses a file and fills in the
        // grid; the run checks again when it starts and once more before the swap.
        centre_import::TableTransaction::checkCanBegin(
            s.settings.qtempDir, centre_import::kImportTables, s.seams.io);
        // Cancelling the dialog must not rebuild the tables unasked: they may hold
        // levels, lines and days typed since the last import.
        if (!s.chooseFile(help_context::kImportFile) && !s.chosenFile.empty()) {
            if (!s.ui.confirmDestructive(reimportQuestion(text::pathToUtf8(s.chosenFile.filename())))) {
                s.endWithoutRun(kResultImportWithoutFile);
                return;
            }
        }
        centre_import::CentreFileImportOptions options;
        options.builders = s.seams.builders;
        options.io = s.seams.io;
        WindowImportPrompts prompts(s.ui);
        const auto result = centre_import::importCentreFile(
            s.chosenFile, s.settings.qtempDir, s.documentForRun(), prompts, options);
        if (!result) {
            s.reportNoFile(kResultImportWithoutFile);
            return;
        }
        s.reportDone(result->summary(), importReport(*result));
    });
}

void MainForm::exportSolution()
{
    State& s = *m_state;
    s.run(kResultExportWithoutFile, [&] {
        // A cancelled dialog exports beside the last file chosen: a solution file there
        // may be one the user keeps, so it is replaced only when they say so.
        if (!s.chooseFile(help_context::kExportFile) && !s.chosenFile.empty()) {
            std::error_code ec;
            const auto existing = solution_export::solutionFileForTarget(s.chosenFile);
            if (existing && fs::exists(*existing, ec)
                && !s.ui.confirmDestructive(overwriteSolutionQuestion(text::pathToUtf8(*existing)))) {
                s.endWithoutRun(kResultExportWithoutFile);
                return;
            }
        }
        // Sessions left without their day and hour, or without a code SOLUC names, are
        // shown before anything is written; declining ends the run as cancelled.
        const auto confirm = [&s](const solution_export::ExportSummary& planned) {
            const auto question = exportQuestion(planned);
            return !question || s.ui.choose(*question).accepted;
        };
        // The chosen file only names the folder of the solution file.
        const auto result
            = solution_export::exportSolutionToTarget(s.settings.qtempDir, s.chosenFile, s.seams.io, confirm);
        if (!result) {
            s.reportNoFile(kResultExportWithoutFile);
            return;
        }
        s.reportDone(result->summary(), exportReport(*result));
    });
}

const fs::path& MainForm::chosenFile() const noexcept
{
    return m_state->chosenFile;
}
int MainForm::resultCode() const noexcept
{
    return m_state->resultCode;
}
bool MainForm::hostMode() const noexcept
{
    return m_state->hostMode;
}
const xml::XmlDocument* MainForm::document() const noexcept
{
    return m_state->document.get();
}
const std::vector<std::string>& MainForm::lastSummary() const noexcept
{
    return m_state->summary;
}
bool MainForm::lastRunSucceeded() const noexcept
{
    return m_state->lastOk;
}
const MainForm::Settings& MainForm::settings() const noexcept
{
    return m_state->settings;
}

} // namespace tramazel::shell
