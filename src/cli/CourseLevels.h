// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Warnings.h"
#include "text/FirstMatchIndex.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tramazel::centre_import {
class CourseLevelGrid;
}

namespace tramazel::cli {

/// The answers to the course-level grid, read from a levels file: UTF-8 lines
/// "CODI;NIVEL;CURSO"; blank lines and lines starting with "#" are ignored; when a
/// code has two lines the first counts. Values are kept as UTF-8, cut as the grid
/// cuts what is typed; a code is kept as CODI holds it (cp1252, cut to the field's
/// width), and may be empty.
class CourseLevels {
public:
    struct Level {
        std::string nivel; ///< UTF-8
        std::string curso; ///< UTF-8
    };

    /// Parses the text of a levels file; `sourceName` names it in messages. Throws
    /// Error (InvalidArgument) naming the line of a malformed one, with that line's
    /// position (column 1).
    static CourseLevels parse(std::string_view utf8Text, std::string_view sourceName);
    /// Reads and parses a levels file. Throws Error when it cannot be read.
    static CourseLevels load(const std::filesystem::path& file);

    /// The level of the course `code` (cp1252), or nullptr.
    const Level* find(std::string_view code) const { return m_byCode.find(code); }
    std::size_t size() const noexcept { return m_codes.size(); }

    /// Fills the level and course number of every line of the grid whose code has a
    /// line in the file; the others are left as they are. A code of the file that no
    /// line has is a warning, and so are a code given twice and a code cut to the
    /// width of CODI.
    void apply(centre_import::CourseLevelGrid& grid, Warnings& warnings) const;

private:
    text::FirstMatchIndex<Level> m_byCode;
    std::vector<std::string> m_codes; // first lines only, in file order
    std::vector<std::string> m_repeated; // codes given again on a later line
    std::vector<std::string> m_cutCodes; // codes longer than CODI, as written
};

} // namespace tramazel::cli
