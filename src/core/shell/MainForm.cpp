// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/MainForm.h"

#include "Error.h"
#include "centre_import/CentreImport.h"
#include "shell/ErrorBox.h"
#include "shell/HostCommandLine.h"
#include "shell/HostIni.h"
#include "shell/Interaction.h"
#include "shell/TimetableDirectory.h"
#include "solution_export/SolutionExport.h"
#include "xml/XmlDocument.h"
#include "text/Ascii.h"
#include "text/PathText.h"

#include <algorithm>
#include <fstream>
#include <iterator>
#include <new>
#include <system_error>
#include <utility>

namespace tramazel::shell {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kNoFile = "No existe archivo";
constexpr std::string_view kDone = "Proceso finalizado";
constexpr std::string_view kCentreRoot = "CENTRE";
constexpr int kHostParamCount = 2;

// The busy cursor for the length of a run. Turned off before any box (a box would
// show it too) and at the end of the scope whatever happens.
class BusyCursor {
public:
    explicit BusyCursor(Interaction& ui)
        : m_ui(ui)
    {
        m_ui.setBusy(true);
        m_busy = true;
    }
    ~BusyCursor() { release(); }
    BusyCursor(const BusyCursor&) = delete;
    BusyCursor& operator=(const BusyCursor&) = delete;

    void release()
    {
        if (m_busy) {
            m_busy = false;
            m_ui.setBusy(false);
        }
    }
    void resume()
    {
        if (!m_busy) {
            m_ui.setBusy(true);
            m_busy = true;
        }
    }
    bool busy() const noexcept { return m_busy; }

private:
    Interaction& m_ui;
    bool m_busy = false;
};

// The builders' dialogs with a normal cursor, the busy one back afterwards.
class PromptsWithCursor : public centre_import::ImportPrompts {
public:
    PromptsWithCursor(Interaction& ui, BusyCursor& cursor)
        : m_ui(ui)
        , m_cursor(cursor)
    {
    }

    void editCourseLevels(dbf::DbfTable& cursost) override
    {
        Pause pause(m_cursor);
        m_ui.editCourseLevels(cursost);
    }

    bool askQuestion(std::string_view caption, std::string_view text) override
    {
        Pause pause(m_cursor);
        return m_ui.askQuestion(caption, text);
    }

private:
    struct Pause {
        explicit Pause(BusyCursor& c)
            : cursor(c)
            , wasBusy(c.busy())
        {
            cursor.release();
        }
        ~Pause()
        {
            if (wasBusy)
                cursor.resume();
        }
        BusyCursor& cursor;
        bool wasBusy;
    };

    Interaction& m_ui;
    BusyCursor& m_cursor;
};

} // namespace

struct MainForm::State {
    State(Interaction& u, Settings s)
        : ui(u)
        , settings(std::move(s))
    {
    }

    Interaction& ui;
    Settings settings;
    std::vector<std::string> params;
    fs::path archivoXml;
    std::unique_ptr<xml::XmlDocument> docXml;
    int numParametros = 0;
    int resultado = 0;
    std::vector<std::string> summary;
    bool lastOk = false;

    bool hostMode() const noexcept { return numParametros == kHostParamCount; }

    FileDialogOptions dialogOptions() const
    {
        return FileDialogOptions { "Archivo XML", "*.xml", "xml", sagaDirectory(settings.qtempDir) };
    }

    // Step 1 of both directions: a confirmed choice replaces ArchivoXML, a cancelled
    // dialog keeps the last file chosen by either direction.
    void chooseFile()
    {
        if (auto chosen = ui.chooseFile(dialogOptions()))
            archivoXml = std::move(*chosen);
    }

    void showErrorOf(std::string_view message) { ui.showError(errorBoxText(message)); }

    /// "No existe archivo"; in host mode the run ends with `hostCode` and the window closes.
    void reportNoFile(int hostCode)
    {
        ui.showInformation(kNoFile);
        if (hostMode()) {
            resultado = hostCode;
            ui.closeMainWindow();
        }
    }

    // Every handler ends here on failure: the error box, nothing escapes.
    template <typename Body> void guarded(Body&& body)
    {
        try {
            body();
        } catch (const Error& e) {
            showErrorOf(e.message());
        } catch (const std::bad_alloc&) {
            showErrorOf("No hay memoria suficiente para terminar la operación");
        } catch (const std::exception& e) {
            showErrorOf(std::string("Error inesperado: ") + e.what());
        } catch (...) {
            showErrorOf("Error inesperado");
        }
    }
};

MainForm::MainForm(Interaction& ui, Settings settings)
    : m_state(std::make_unique<State>(ui, std::move(settings)))
{
}

MainForm::~MainForm() = default;

std::optional<std::uint32_t> MainForm::FormCreate(const std::vector<std::string>& params)
{
    State& s = *m_state;
    s.resultado = 0;
    s.params = params;
    s.guarded([&] { centre_import::CentreImport::recover(s.settings.qtempDir); });

    if (params.size() != kHostParamCount)
        return std::nullopt;
    const auto handle = parseWindowHandle(params[1]);
    if (!handle) {
        s.showErrorOf(invalidHandleMessage(params[1]));
        return std::nullopt;
    }
    s.numParametros = kHostParamCount;
    return handle;
}

void MainForm::FormShow()
{
    State& s = *m_state;
    if (s.params.size() != kHostParamCount)
        return;
    if (text::toAsciiLower(s.params[0]) == kModeImportar)
        BImportarClick();
    if (text::toAsciiLower(s.params[0]) == kModeExportar)
        BExportarClick();
}

bool MainForm::FormClose()
{
    State& s = *m_state;
    if (!s.hostMode())
        return true;
    try {
        writeHostResult(s.settings.iniFile, s.resultado);
    } catch (const Error& e) {
        s.showErrorOf(e.message());
        return false;
    }
    return true;
}

void MainForm::BExportarClick()
{
    State& s = *m_state;
    s.lastOk = false;
    s.summary.clear();
    s.guarded([&] {
        s.chooseFile();
        std::error_code ec;
        if (s.archivoXml.empty() || !fs::is_regular_file(s.archivoXml, ec)) {
            s.reportNoFile(-1);
            return;
        }

        // A file that is not a centre file stops here, before any table is touched.
        s.docXml = std::make_unique<xml::XmlDocument>();
        *s.docXml = xml::XmlDocument::load(s.archivoXml);
        const xml::XmlElement root = s.docXml->root();
        if (root.isNull() || root.name() != kCentreRoot) {
            const auto position = s.docXml->rootPosition();
            std::string where;
            if (position)
                where = " (línea " + std::to_string(position->line) + ")";
            throw Error(ErrorCode::XmlWrongRoot,
                "El archivo «" + text::pathToUtf8(s.archivoXml)
                    + "» no es un archivo de centro de GestIB: su elemento raíz" + where + " es <"
                    + std::string(root.name()) + "> y debería ser <" + std::string(kCentreRoot) + ">",
                text::pathToUtf8(s.archivoXml), position);
        }

        Warnings warnings;
        std::vector<centre_import::TableWritten> tables;
        {
            BusyCursor cursor(s.ui);
            PromptsWithCursor prompts(s.ui, cursor);
            centre_import::CentreImport import(s.settings.qtempDir);
            if (!s.settings.builders.empty())
                import.setBuilders(s.settings.builders);
            import.setFaultHook(s.settings.importFaultHook);
            tables = import.run(*s.docXml, prompts, warnings);
        }

        s.resultado = 1;
        s.lastOk = true;
        for (const auto& table : tables)
            s.summary.push_back("Tabla " + table.name + ": " + std::to_string(table.records) + " registros");
        for (const auto& line : warnings.lines())
            s.summary.push_back("Aviso: " + line);
        s.ui.showInformation(kDone);
        if (s.hostMode())
            s.ui.closeMainWindow();
    });
}

void MainForm::BImportarClick()
{
    State& s = *m_state;
    s.lastOk = false;
    s.summary.clear();
    s.guarded([&] {
        s.chooseFile();
        // The chosen file only names the folder of the solution file, so a folder
        // names itself (the command line passes one).
        std::error_code ec;
        if (s.archivoXml.empty() || !fs::exists(s.archivoXml, ec)) {
            s.reportNoFile(0);
            return;
        }
        const fs::path output = fs::is_directory(s.archivoXml, ec)
            ? s.archivoXml / solution_export::kSolutionFileName
            : solution_export::solutionFileFor(s.archivoXml);

        s.docXml = std::make_unique<xml::XmlDocument>();
        const solution_export::ExportSummary result
            = solution_export::exportSolution(s.settings.qtempDir, output, *s.docXml);

        s.ui.setBusy(false);
        s.resultado = 1;
        s.lastOk = true;
        s.summary.push_back(std::string(solution_export::kSolutionFileName) + ": "
            + std::to_string(result.sessions) + " sesiones (" + text::pathToUtf8(output) + ")");
        if (result.rowsWithoutDay > 0)
            s.summary.push_back("Filas de SOLUC sin día: " + std::to_string(result.rowsWithoutDay));
        for (const auto& line : result.lookupsNotFound.lines())
            s.summary.push_back("Aviso: " + line);
        s.ui.showInformation(kDone);
        if (s.hostMode())
            s.ui.closeMainWindow();
    });
}

const fs::path& MainForm::ArchivoXML() const noexcept
{
    return m_state->archivoXml;
}
int MainForm::ResultadoTransformacion() const noexcept
{
    return m_state->resultado;
}
int MainForm::NumParametros() const noexcept
{
    return m_state->numParametros;
}
const xml::XmlDocument* MainForm::DocXML() const noexcept
{
    return m_state->docXml.get();
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
