// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "centre_import/Builders.h"

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

namespace tramazel::platform {
struct IoHooks;
}

namespace tramazel::shell {

class Interaction;

/// The converter's main window as behaviour: the shared state, the mode decision,
/// the two directions and the host INI value. The Qt window owns an Interaction and
/// calls these on its events; the directions themselves are the core's use cases
/// (centre_import::importCentreFile, solution_export::exportSolutionToTarget). Every
/// action catches what its run throws and shows it in the standard error box, as
/// the window's framework does; nothing escapes.
class MainForm {
public:
    struct Settings {
        std::filesystem::path qtempDir; ///< the timetable directory
        std::filesystem::path iniFile; ///< "Zelvano.ini" beside the executable
    };

    /// What tests change in the runs the window starts; the defaults are the program's.
    struct Seams {
        /// The builders of the centre import; empty runs the real sequence.
        std::span<const centre_import::BuilderStep> builders {};
        /// The I/O hooks of both directions' runs (and of the recovery at start); null:
        /// the system's calls. They must outlive the form.
        const platform::IoHooks* io = nullptr;
    };

    MainForm(Interaction& ui, Settings settings);
    MainForm(Interaction& ui, Settings settings, Seams seams);
    ~MainForm();

    /// Window creation. `params` are the command-line parameters after the program
    /// name. Finishes or rolls back what an interrupted centre import left in the
    /// timetable directory (TableTransaction::recover, as both directions do before
    /// they touch a table; nothing while another run holds the directory), so that
    /// Zelvano never finds it half done. Sets the result code to 0; with exactly
    /// two parameters whose second is a valid hexadecimal handle, enters host mode and returns the handle for
    /// the window to embed itself in; a bad handle shows "'$XYZ' no es un valor entero válido." and leaves
    /// interactive use.
    std::optional<std::uint32_t> start(const std::vector<std::string>& params);

    /// After the first showing: with exactly two parameters, runs the direction the
    /// mode word names ("exportar" the import, "importar" the export; ASCII case
    /// folded). Any other word runs nothing.
    void runModeWord();

    /// The window is closing. In host mode writes the result code to the INI file;
    /// when that fails, says so in the error box. The window closes either way (true).
    bool closing();

    /// The left button: asks for a centre file and imports it into the timetable
    /// directory. Before any dialog, says what would stop the import (a folder this
    /// user may not change, a table another program has open:
    /// TableTransaction::checkCanBegin) and asks nothing. When the dialog is cancelled
    /// after a file was chosen earlier, asks first whether to import that file again
    /// (its tables are rebuilt); declining changes nothing.
    void importCentre();
    /// The right button: asks for a file and writes the solution file in its folder.
    /// When the dialog is cancelled after a file was chosen earlier and a solution file
    /// is already in that file's folder, asks first whether to replace it. Before
    /// writing, when sessions would lose their day and hour or a code found no match,
    /// asks whether to save all the same (exportQuestion). Declining either writes
    /// nothing and ends as a cancelled dialog.
    void exportSolution();

    /// The last file chosen in either direction's dialog (a cancelled dialog keeps it).
    const std::filesystem::path& chosenFile() const noexcept;
    /// What host mode writes to the INI file: 0 at start, 1 after a completed run,
    /// -1 after an import with no file.
    int resultCode() const noexcept;
    /// True when the host started the converter (two parameters, a valid handle).
    bool hostMode() const noexcept;
    /// The document of the last run (the centre file, or the solution written);
    /// null before the first run.
    const xml::XmlDocument* document() const noexcept;

    /// What the last run of either direction reported (UTF-8 lines): the tables
    /// written with their record counts, or the sessions exported, then warnings.
    const std::vector<std::string>& lastSummary() const noexcept;
    /// True when the last run started by an action completed.
    bool lastRunSucceeded() const noexcept;

    const Settings& settings() const noexcept;

private:
    struct State;
    std::unique_ptr<State> m_state;
};

} // namespace tramazel::shell
