// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "centre_import/ImportContext.h"

#include <filesystem>
#include <optional>
#include <string>
#include <string_view>

namespace tramazel::shell {

/// The file-open dialog of both directions.
struct FileDialogOptions {
    std::string title; ///< "Archivo XML"
    std::string filter; ///< "*.xml"
    std::string defaultExtension; ///< "xml"
    std::filesystem::path initialDir; ///< the timetable directory's "saga" folder
    int helpContext = 0; ///< F1's topic (help_context::kImportFile, kExportFile); 0: none
};

/// A box that says what a run did: a few lines read at a glance, and the whole
/// account in a part the user may open (an expandable part or a scrolling area).
struct Report {
    std::string text; ///< the first lines; its first line says how the run ended
    std::string details; ///< every line; empty when `text` says it all
};

/// A question whose answer decides whether a run goes on: the text read at a glance,
/// details the user may open, two buttons and, when captioned, a check box.
struct Choice {
    std::string text;
    std::string details; ///< empty: none
    std::string acceptCaption; ///< e.g. "Reemplazar las tablas"
    std::string rejectCaption = "Cancelar";
    bool acceptIsDefault = true; ///< false: Enter, like Escape and the close box, declines
    std::string dontAskAgainCaption; ///< the check box under the text; empty: none
};

/// What the user answered to a Choice.
struct ChoiceAnswer {
    bool accepted = false;
    bool dontAskAgain = false; ///< the check box was ticked (false when there was none)
};

/// Everything the main window asks of a person or shows them, beside the centre
/// import's own prompts. The Qt main window implements it with real dialogs, and
/// tests with a scripted fake. Texts are UTF-8.
class Interaction : public centre_import::ImportPrompts {
public:
    /// The chosen file, or nothing when the dialog was cancelled.
    virtual std::optional<std::filesystem::path> chooseFile(const FileDialogOptions& options) = 0;
    /// The information box: one text, OK, no icon, captioned "Tramazel".
    virtual void showInformation(std::string_view text) = 0;
    /// The standard error box: error icon, OK, captioned "Tramazel". `text` is final.
    virtual void showError(std::string_view text) = 0;
    /// A question before something that cannot be undone: warning icon, OK / Cancel,
    /// Cancel the default (Enter and Escape both decline), captioned "Tramazel".
    /// True when the user answers OK.
    virtual bool confirmDestructive(std::string_view text) = 0;
    /// Closes the main window (host mode, after a run).
    virtual void closeMainWindow() = 0;

    /// The box after a run: information icon, OK, captioned "Tramazel". By default the
    /// information box with the details after the text.
    virtual void showReport(const Report& report)
    {
        showInformation(report.details.empty() ? report.text : report.text + "\n\n" + report.details);
    }
    /// A question before a run goes on: warning icon, captioned "Tramazel". Escape and
    /// the close box decline. By default the question before something that cannot be
    /// undone, without the check box.
    virtual ChoiceAnswer choose(const Choice& choice)
    {
        return { confirmDestructive(
                     choice.details.empty() ? choice.text : choice.text + "\n\n" + choice.details),
            false };
    }
    /// A yes/no setting remembered for the user (QSettings on Linux; on Windows a DWORD
    /// under HKEY_CURRENT_USER\Software\Tramazel\`group`); false when never set.
    virtual bool userFlag(std::string_view group, std::string_view key)
    {
        (void)group;
        (void)key;
        return false;
    }
    virtual void setUserFlag(std::string_view group, std::string_view key, bool value)
    {
        (void)group;
        (void)key;
        (void)value;
    }
};

} // namespace tramazel::shell
