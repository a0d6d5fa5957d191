// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Warnings.h"
#include "text/FirstMatchIndex.h"

#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tramazel::dbf {
class DbfTable;
}

namespace tramazel::cli {

/// The answers to the course-level grid, read from a levels file: UTF-8 lines
/// "CODI;NIVEL;CURSO"; blank lines and lines starting with "#" are ignored; when a
/// code has two lines the first counts. Values are kept as cp1252, cut to the width
/// of their field (NIVEL 5, CURSO 3) as the grid cuts what is typed; a code is cut
/// to the width of CODI (20) as the table holds it, and may be empty.
class CourseLevels {
public:
    struct Level {
        std::string nivel; ///< cp1252
        std::string curso; ///< cp1252
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

    /// Fills NIVEL and CURSO of every CURSOST record whose CODI has a line; the others
    /// are left as they are. A code of the file that no record has is a warning, and
    /// so are a code given twice and a code cut to the width of CODI.
    void apply(dbf::DbfTable& cursost, Warnings& warnings) const;

private:
    text::FirstMatchIndex<Level> m_byCode;
    std::vector<std::string> m_codes; // first lines only, in file order
    std::vector<std::string> m_repeated; // codes given again on a later line
    std::vector<std::string> m_cutCodes; // codes longer than CODI, as written
};

} // namespace tramazel::cli
