// SPDX-License-Identifier: GPL-3.0-or-later
#include "centre_import/CourseLevelGrid.h"

#include "Error.h"
#include "ZelvanoTables.h"
#include "centre_import/CodeRules.h"
#include "dbf/DbfTable.h"
#include "text/Cp1252.h"

namespace tramazel::centre_import {

namespace t = zelvano::cursost;

const std::array<CourseLevelGrid::ColumnSpec, CourseLevelGrid::kColumnCount>&
CourseLevelGrid::columns() noexcept
{
    static constexpr std::array<ColumnSpec, kColumnCount> specs { {
        { t::kDescripcio, "Descripción", 56, 0 },
        { t::kNivel, "Nivel", 8, t::kNivelWidth },
        { t::kCurso, "Curso", 6, t::kCursoWidth },
    } };
    return specs;
}

CourseLevelGrid::CourseLevelGrid(dbf::DbfTable& cursost)
    : m_table(cursost)
{
    for (int c = 0; c < kColumnCount; ++c)
        m_fields[static_cast<std::size_t>(c)] = m_table.fieldIndex(column(c).field);
    const std::size_t codi = m_table.fieldIndex(t::kCodi);
    for (m_table.first(); !m_table.eof(); m_table.next()) {
        std::array<std::string, kColumnCount> row;
        for (std::size_t c = 0; c < row.size(); ++c)
            row[c] = text::cp1252ToUtf8(m_table.textView(m_fields[c]));
        m_rows.push_back(std::move(row));
        m_codes.emplace_back(m_table.textView(codi));
        m_records.push_back(m_table.recordNumber());
    }
    m_table.first();
}

const std::string& CourseLevelGrid::text(int row, int column) const
{
    return m_rows.at(static_cast<std::size_t>(row)).at(static_cast<std::size_t>(column));
}

const std::string& CourseLevelGrid::codeAsStored(int row) const
{
    return m_codes.at(static_cast<std::size_t>(row));
}

std::string CourseLevelGrid::cut(int column, std::string_view typed)
{
    // Characters, not bytes: a UTF-8 sequence is one character, as one cp1252 byte
    // will hold it.
    const auto limit = static_cast<std::size_t>(CourseLevelGrid::column(column).maxLength);
    std::size_t characters = 0;
    std::size_t end = 0;
    while (end < typed.size()) {
        if ((static_cast<unsigned char>(typed[end]) & 0xC0) != 0x80) {
            if (characters == limit)
                break;
            ++characters;
        }
        ++end;
    }
    return std::string(typed.substr(0, end));
}

std::string CourseLevelGrid::storedCode(std::string_view code, bool* wasCut)
{
    const std::string cp1252 = text::utf8ToCp1252(code);
    if (wasCut)
        *wasCut = cp1252.size() > static_cast<std::size_t>(t::kCodiWidth);
    return std::string(rules::storedKey(cp1252, t::kCodiWidth));
}

void CourseLevelGrid::set(int row, int column, std::string_view typed)
{
    if (!isEditable(column) || m_failed)
        return;
    std::string& cell = m_rows.at(static_cast<std::size_t>(row))[static_cast<std::size_t>(column)];
    const std::string value = cut(column, typed);
    if (value == cell)
        return;
    const std::size_t field = m_fields[static_cast<std::size_t>(column)];
    try {
        seek(row);
        m_table.edit();
        m_table.setText(field, text::utf8ToCp1252(value));
        m_table.post();
        cell = text::cp1252ToUtf8(m_table.textView(field));
    } catch (...) {
        m_failed = true;
        throw;
    }
}

std::optional<CourseLevelGrid::Cell> CourseLevelGrid::firstCell() const
{
    if (m_rows.empty())
        return std::nullopt;
    return Cell { 0, Level };
}

std::optional<CourseLevelGrid::Cell> CourseLevelGrid::step(Cell from, bool forward) const
{
    // Editable cells numbered line by line: (row, Level) = 2·row, (row, CourseNumber)
    // = 2·row + 1. A description cell stands between the line before's course number
    // and its own line's level.
    int target = 0;
    if (from.column == Description)
        target = forward ? 2 * from.row : 2 * from.row - 1;
    else
        target = 2 * from.row + (from.column - Level) + (forward ? 1 : -1);
    if (target < 0 || target >= 2 * rowCount())
        return std::nullopt;
    return Cell { target / 2, Level + target % 2 };
}

// The engine walks forward only: the line's record is found by its record number,
// going on from the current record when it lies ahead, else from the first. Fine for
// the few dozen courses of a school.
void CourseLevelGrid::seek(int row)
{
    const std::uint32_t target = m_records.at(static_cast<std::size_t>(row));
    if (m_table.eof() || m_table.recordNumber() > target)
        m_table.first();
    while (!m_table.eof() && m_table.recordNumber() < target)
        m_table.next();
    if (m_table.eof() || m_table.recordNumber() != target)
        throw Error(ErrorCode::TableCorrupt, "La tabla CURSOST ha cambiado mientras se editaba.",
            "registro " + std::to_string(target) + " (línea " + std::to_string(row + 1)
                + " del diálogo de cursos)");
}

} // namespace tramazel::centre_import
