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
};

} // namespace tramazel::shell
