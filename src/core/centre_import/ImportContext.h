// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Warnings.h"

#include <filesystem>
#include <string_view>

namespace tramazel::dbf {
class DbfTable;
}
namespace tramazel::xml {
class XmlDocument;
}

namespace tramazel::centre_import {

/// What the centre import asks of a person while it runs. The Qt dialogs implement
/// it; the command line answers from its options; tests script it.
class ImportPrompts {
public:
    virtual ~ImportPrompts() = default;

    /// The course-level step: the user fills NIVEL and CURSO of every record of the
    /// open CURSOST table (edit in place, post). Returns when the user is done.
    virtual void editCourseLevels(dbf::DbfTable& cursost) = 0;

    /// A question box with a warning icon and OK / Cancel, OK the default.
    /// `text` is UTF-8 with "\n" between lines. True when the user answers OK.
    virtual bool askQuestion(std::string_view caption, std::string_view text) = 0;

    /// The hourglass on (true) or back to normal (false). The import alone decides
    /// when: on while its builders work, off around every prompt and before it
    /// returns or throws; a front end only shows it. Ignored where there is no pointer.
    virtual void setBusy(bool busy) { (void)busy; }
};

/// Everything a builder works with.
struct ImportContext {
    const xml::XmlDocument& doc; ///< the loaded centre file
    std::filesystem::path dir; ///< where the builders write and read their tables
    ImportPrompts& prompts;
    Warnings& warnings;
};

} // namespace tramazel::centre_import
