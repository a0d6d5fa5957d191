// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tramazel::dbf {
class DbfTable;
}

namespace tramazel::centre_import {

/// The course-level grid as behaviour: the lines of CURSOST in record order, which
/// cells take input and how much, where Tab goes, and how a typed value reaches the
/// table. The Qt dialog and the Win32 window draw it (their places and texts are in
/// shell/WindowLayouts.h); the command line fills it from a levels file; tests fill
/// it directly. Every way of closing the window goes on with the import with what
/// CURSOST holds then: a front end posts the value still being typed before it
/// returns. Texts are UTF-8.
class CourseLevelGrid {
public:
    /// The grid's columns, left to right.
    enum Column : int {
        Description = 0, ///< DESCRIPCIO, read-only
        Level = 1, ///< NIVEL
        CourseNumber = 2, ///< CURSO
    };
    static constexpr int kColumnCount = 3;

    struct ColumnSpec {
        std::string_view field; ///< the CURSOST field shown
        std::string_view title; ///< the column's title
        int displayWidth = 0; ///< characters the column is at least as wide as
        int maxLength = 0; ///< characters a cell accepts: the field's width (0: read-only)
    };
    static const std::array<ColumnSpec, kColumnCount>& columns() noexcept;
    static const ColumnSpec& column(int column) noexcept
    {
        return columns()[static_cast<std::size_t>(column)];
    }
    static bool isEditable(int column) noexcept { return column == Level || column == CourseNumber; }

    /// A cell: line (0-based) and column.
    struct Cell {
        int row = 0;
        int column = Level;
        constexpr bool operator==(const Cell&) const = default;
    };

    /// Reads every record of the open `cursost`, which must outlive the grid; the table
    /// is left on its first record. Throws Error from the engine.
    explicit CourseLevelGrid(dbf::DbfTable& cursost);

    int rowCount() const noexcept { return static_cast<int>(m_rows.size()); }
    /// The cell's text as CURSOST holds it.
    const std::string& text(int row, int column) const;
    /// The line's course code (CODI as stored, cp1252): what the command line matches.
    const std::string& codeAsStored(int row) const;

    /// `typed` cut to what the column accepts: its first maxLength characters.
    static std::string cut(int column, std::string_view typed);
    /// A course code (UTF-8) as CODI stores it: cp1252, cut to the field's width
    /// without the blanks the cut leaves at its end. `wasCut` tells whether it was
    /// longer than the field.
    static std::string storedCode(std::string_view code, bool* wasCut = nullptr);

    /// Puts `typed` into an editable cell: cut, stored in the line's CURSOST record
    /// (edit, set, post) and read back, so text() shows what the table holds. Nothing
    /// is written when the cut value equals the cell's. Throws Error: TableCorrupt
    /// when the line's record is no longer there, or the engine's error; the grid is
    /// failed afterwards and takes no more input.
    void set(int row, int column, std::string_view typed);
    /// True once a set() has failed.
    bool failed() const noexcept { return m_failed; }

    /// The cell where the cursor starts: the first line's level; none without lines.
    std::optional<Cell> firstCell() const;
    /// Tab order: the editable cells line by line (level, then course number). The
    /// cell after (`forward`) or before `from`; from a description cell, forward is
    /// the line's level and backward the line before's course number. None past either
    /// end, where the focus leaves the grid.
    std::optional<Cell> step(Cell from, bool forward) const;

private:
    void seek(int row);

    dbf::DbfTable& m_table;
    std::array<std::size_t, kColumnCount> m_fields {};
    std::vector<std::array<std::string, kColumnCount>> m_rows;
    std::vector<std::string> m_codes; // CODI as stored, per line
    std::vector<std::uint32_t> m_records; // record number of each line
    bool m_failed = false;
};

} // namespace tramazel::centre_import
