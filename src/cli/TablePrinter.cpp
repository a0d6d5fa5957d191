// SPDX-License-Identifier: GPL-3.0-or-later
#include "TablePrinter.h"

#include "centre_import/TableTransaction.h"
#include "dbf/DbfFormat.h"
#include "dbf/DbfTable.h"
#include "text/Cp1252.h"

#include <algorithm>
#include <string>
#include <vector>

namespace tramazel::cli {

namespace {

// Width on a terminal, counted in characters (every UTF-8 lead byte is one).
std::size_t displayWidth(const std::string& s)
{
    return static_cast<std::size_t>(std::count_if(
        s.begin(), s.end(), [](char c) { return (static_cast<unsigned char>(c) & 0xC0) != 0x80; }));
}

std::string csvField(const std::string& s)
{
    const bool quote = s.find_first_of(",\"\r\n") != std::string::npos
        || (!s.empty() && (s.front() == ' ' || s.back() == ' '));
    if (!quote)
        return s;
    std::string out = "\"";
    for (char c : s) {
        if (c == '"')
            out += '"';
        out += c;
    }
    out += '"';
    return out;
}

// Control characters would break the one-record-per-line layout.
std::string printable(std::string s)
{
    for (char& c : s) {
        if (static_cast<unsigned char>(c) < 0x20)
            c = ' ';
    }
    return s;
}

} // namespace

void printTable(dbf::DbfTable& table, std::ostream& out, bool csv)
{
    const auto& fields = table.fields();
    std::vector<std::vector<std::string>> rows;
    std::vector<std::string> header;
    for (const auto& f : fields)
        header.push_back(f.name);

    for (table.first(); !table.eof(); table.next()) {
        std::vector<std::string> row;
        row.reserve(fields.size());
        for (std::size_t i = 0; i < fields.size(); ++i)
            row.push_back(text::cp1252ToUtf8(table.text(i)));
        rows.push_back(std::move(row));
    }

    if (csv) {
        auto writeRow = [&](const std::vector<std::string>& row) {
            for (std::size_t i = 0; i < row.size(); ++i)
                out << (i ? "," : "") << csvField(row[i]);
            out << '\n';
        };
        writeRow(header);
        for (const auto& row : rows)
            writeRow(row);
        return;
    }

    std::vector<std::size_t> widths(fields.size());
    for (std::size_t i = 0; i < fields.size(); ++i) {
        widths[i] = displayWidth(header[i]);
        for (auto& row : rows) {
            row[i] = printable(std::move(row[i]));
            widths[i] = std::max(widths[i], displayWidth(row[i]));
        }
    }
    auto writeRow = [&](const std::vector<std::string>& row) {
        std::string line;
        for (std::size_t i = 0; i < row.size(); ++i) {
            const std::string pad(widths[i] - displayWidth(row[i]), ' ');
            if (i)
                line += "  ";
            line += dbf::isNumericType(fields[i].type) ? pad + row[i] : row[i] + pad;
        }
        while (!line.empty() && line.back() == ' ')
            line.pop_back();
        out << line << '\n';
    };
    writeRow(header);
    for (const auto& row : rows)
        writeRow(row);
}

void showTable(const std::filesystem::path& qtempDir, std::string_view name, std::ostream& out, bool csv,
    const platform::IoHooks* io)
{
    const auto hold = centre_import::TableTransaction::lockForReading(qtempDir, io);
    dbf::DbfTable table = dbf::DbfTable::open(qtempDir, name, dbf::Access::Shared, io);
    printTable(table, out, csv);
}

} // namespace tramazel::cli
