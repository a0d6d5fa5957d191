// SPDX-License-Identifier: GPL-3.0-or-later
#include "CourseLevels.h"

#include "Error.h"
#include "WarningTexts.h"
#include "ZelvanoTables.h"
#include "dbf/DbfTable.h"
#include "text/Cp1252.h"
#include "text/PathText.h"

#include <fstream>
#include <iterator>
#include <system_error>
#include <unordered_set>

namespace tramazel::cli {

namespace fs = std::filesystem;
namespace cursost = zelvano::cursost;

namespace {

std::string_view trimBlanks(std::string_view s)
{
    while (!s.empty() && (s.front() == ' ' || s.front() == '\t'))
        s.remove_prefix(1);
    while (!s.empty() && (s.back() == ' ' || s.back() == '\t'))
        s.remove_suffix(1);
    return s;
}

// Strict UTF-8: a file saved in another encoding is refused rather than read as
// question marks.
bool isValidUtf8(std::string_view s)
{
    std::size_t i = 0;
    while (i < s.size()) {
        const auto c = static_cast<unsigned char>(s[i]);
        std::size_t extra = 0;
        char32_t cp = 0;
        if (c < 0x80) {
            ++i;
            continue;
        } else if (c >= 0xC2 && c <= 0xDF) {
            extra = 1;
            cp = c & 0x1Fu;
        } else if (c >= 0xE0 && c <= 0xEF) {
            extra = 2;
            cp = c & 0x0Fu;
        } else if (c >= 0xF0 && c <= 0xF4) {
            extra = 3;
            cp = c & 0x07u;
        } else {
            return false;
        }
        if (i + extra >= s.size())
            return false;
        for (std::size_t k = 1; k <= extra; ++k) {
            const auto cc = static_cast<unsigned char>(s[i + k]);
            if ((cc & 0xC0) != 0x80)
                return false;
            cp = (cp << 6) | (cc & 0x3Fu);
        }
        if ((extra == 2 && (cp < 0x800 || (cp >= 0xD800 && cp <= 0xDFFF)))
            || (extra == 3 && (cp < 0x10000 || cp > 0x10FFFF)))
            return false;
        i += extra + 1;
    }
    return true;
}

std::string cut(std::string s, int width)
{
    if (s.size() > static_cast<std::size_t>(width))
        s.resize(static_cast<std::size_t>(width));
    return s;
}

} // namespace

CourseLevels CourseLevels::parse(std::string_view text, std::string_view sourceName)
{
    auto malformed = [&](std::size_t line, const std::string& what) {
        return Error(ErrorCode::InvalidArgument,
            "Línea " + std::to_string(line) + " del archivo de niveles " + std::string(sourceName) + ": "
                + what,
            std::string(sourceName), TextPosition { line, 1 });
    };

    if (text.starts_with("\xEF\xBB\xBF"))
        text.remove_prefix(3);
    CourseLevels levels;
    std::unordered_set<std::string> repeated;
    std::size_t lineNo = 0;
    std::size_t pos = 0;
    while (pos < text.size()) {
        std::size_t nl = text.find('\n', pos);
        if (nl == std::string_view::npos)
            nl = text.size();
        std::string_view line = text.substr(pos, nl - pos);
        pos = nl + 1;
        ++lineNo;
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        line = trimBlanks(line);
        if (line.empty() || line.front() == '#')
            continue;
        if (!isValidUtf8(line))
            throw malformed(lineNo, "no es texto UTF-8");

        std::vector<std::string_view> fields;
        std::size_t start = 0;
        while (true) {
            const std::size_t semi = line.find(';', start);
            fields.push_back(
                trimBlanks(line.substr(start, semi == std::string_view::npos ? semi : semi - start)));
            if (semi == std::string_view::npos)
                break;
            start = semi + 1;
        }
        if (fields.size() != 3)
            throw malformed(lineNo, "se esperaban tres campos CODI;NIVEL;CURSO");

        // The code is matched as CODI holds it: cut to the field's width, without the
        // blanks the cut may leave at its end. An empty code names a course whose
        // code is empty.
        std::string code = text::utf8ToCp1252(fields[0]);
        if (code.size() > static_cast<std::size_t>(cursost::kCodiWidth)) {
            levels.m_cutCodes.push_back(code);
            code.resize(static_cast<std::size_t>(cursost::kCodiWidth));
            while (!code.empty() && code.back() == ' ')
                code.pop_back();
        }
        if (levels.m_byCode.find(code)) {
            if (repeated.insert(code).second)
                levels.m_repeated.push_back(code);
            continue;
        }
        levels.m_byCode.add(code,
            Level { cut(text::utf8ToCp1252(fields[1]), cursost::kNivelWidth),
                cut(text::utf8ToCp1252(fields[2]), cursost::kCursoWidth) });
        levels.m_codes.push_back(code);
    }
    return levels;
}

CourseLevels CourseLevels::load(const fs::path& file)
{
    std::error_code ec;
    if (!fs::is_regular_file(file, ec))
        throw Error(ErrorCode::FileNotFound, "No existe el archivo de niveles " + text::pathToUtf8(file),
            text::pathToUtf8(file));
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw Error(ErrorCode::FileIo, "No se puede leer el archivo de niveles " + text::pathToUtf8(file),
            text::pathToUtf8(file));
    std::string bytes((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    if (in.bad())
        throw Error(ErrorCode::FileIo, "No se puede leer el archivo de niveles " + text::pathToUtf8(file),
            text::pathToUtf8(file));
    return parse(bytes, text::pathToUtf8(file));
}

void CourseLevels::apply(dbf::DbfTable& table, Warnings& warnings) const
{
    const std::size_t fCodi = table.fieldIndex(cursost::kCodi);
    const std::size_t fNivel = table.fieldIndex(cursost::kNivel);
    const std::size_t fCurso = table.fieldIndex(cursost::kCurso);
    std::unordered_set<std::string> used;
    for (table.first(); !table.eof(); table.next()) {
        const std::string code = table.text(fCodi);
        const Level* level = find(code);
        if (!level)
            continue;
        used.insert(code);
        table.edit();
        table.setText(fNivel, level->nivel);
        table.setText(fCurso, level->curso);
        table.post();
    }
    // The grid leaves the table on its first record.
    table.first();

    for (const std::string& code : m_codes) {
        if (!used.contains(code))
            warnings.add(warning::kUnknownLevelCode, text::cp1252ToUtf8(code));
    }
    for (const std::string& code : m_repeated)
        warnings.add(warning::kRepeatedLevelCode, text::cp1252ToUtf8(code));
    for (const std::string& code : m_cutCodes)
        warnings.add(warning::kCutLevelCode, text::cp1252ToUtf8(code));
}

} // namespace tramazel::cli
