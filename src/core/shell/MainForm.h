// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Warnings.h"
#include "centre_import/Builders.h"
#include "centre_import/CentreImport.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <span>
#include <string>
#include <vector>

namespace tramazel::xml {
class XmlDocument;
}

namespace tramazel::shell {

class Interaction;

/// The converter's main window as behaviour: the shared state, the mode decision,
/// the two directions and the host INI value. Widgets (or the command line) own an
/// Interaction and call these handlers on their events. Every handler catches the
/// core's Error and shows it in the standard error box, as the window's framework
/// does; nothing escapes.
class MainForm {
public:
    struct Settings {
        std::filesystem::path qtempDir; ///< the timetable directory
        std::filesystem::path iniFile; ///< "Zelvano.ini" beside the executable
        /// The builders of the centre import; empty runs the real sequence (tests
        /// pass their own).
        std::span<const centre_import::BuilderStep> builders {};
        /// Called before each step of the centre import that changes a file (tests).
        centre_import::FaultHook importFaultHook {};
    };

    MainForm(Interaction& ui, Settings settings);
    ~MainForm();

    /// Window creation. `params` are the command-line parameters after the program
    /// name. Finishes or rolls back what an interrupted centre import left in the
    /// timetable directory. Sets ResultadoTransformacion to 0; with exactly two parameters whose
    /// second is a valid hexadecimal handle, enters host mode (NumParametros = 2)
    /// and returns the handle for the window to embed itself in; a bad handle shows
    /// "'$XYZ' no es un valor entero válido." and leaves interactive use.
    std::optional<std::uint32_t> FormCreate(const std::vector<std::string>& params);

    /// The first showing: runs the mode word ("exportar" / "importar", ASCII case
    /// folded) when there are exactly two parameters.
    void FormShow();

    /// The window is closing. In host mode writes the result code to the INI file;
    /// returns false (after the error box) when that fails: the close is abandoned.
    bool FormClose();

    void BExportarClick(); ///< the centre import
    void BImportarClick(); ///< the solution export

    // The shared state.
    const std::filesystem::path& ArchivoXML() const noexcept;
    int ResultadoTransformacion() const noexcept;
    int NumParametros() const noexcept;
    const xml::XmlDocument* DocXML() const noexcept; ///< null before the first run

    /// What the last run of either direction reported (UTF-8 lines): the tables
    /// written with their record counts, or the sessions exported, then warnings.
    const std::vector<std::string>& lastSummary() const noexcept;
    /// True when the last run started by a handler completed.
    bool lastRunSucceeded() const noexcept;

    const Settings& settings() const noexcept;

private:
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace tramazel::shell
