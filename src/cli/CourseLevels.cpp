// SPDX-License-Identifier: GPL-3.0-or-later
#include "CourseLevels.h"

#include "Error.h"
#include "WarningTexts.h"
#include "centre_import/CourseLevelGrid.h"
#include "platform/Platform.h"
#include "platform/SystemErrorText.h"
#include "shell/MissingFile.h"
#include "text/Ascii.h"
#include "text/Cp1252.h"
#include "text/PathText.h"
#include "text/SourceEncoding.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <system_error>
#include <unordered_set>

namespace tramazel::cli {

namespace fs = std::filesystem;
using centre_import::CourseLevelGrid;

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
        line = text::trimBlanks(line);
        if (line.empty() || line.front() == '#')
            continue;
        // Strict UTF-8: a file saved in another encoding is refused rather than read
        // as question marks.
        if (text::firstInvalidUtf8(line) != std::string_view::npos)
            throw malformed(lineNo, "no es texto UTF-8");
        // As in a centre file, a control character (a NUL among them) is no text:
        // the tables would store it as it is.
        if (std::any_of(line.begin(), line.end(),
                [](char c) { return static_cast<unsigned char>(c) < 0x20 && c != '\t'; }))
            throw malformed(lineNo, "contiene un carácter de control");

        std::vector<std::string_view> fields;
        std::size_t start = 0;
        while (true) {
            const std::size_t semi = line.find(';', start);
            fields.push_back(
                text::trimBlanks(line.substr(start, semi == std::string_view::npos ? semi : semi - start)));
            if (semi == std::string_view::npos)
                break;
            start = semi + 1;
        }
        if (fields.size() != 3)
            throw malformed(lineNo, "se esperaban tres campos CODI;NIVEL;CURSO");

        // The code is matched as CODI holds it. An empty code names a course whose
        // code is empty.
        bool wasCut = false;
        std::string code = CourseLevelGrid::storedCode(fields[0], &wasCut);
        if (wasCut)
            levels.m_cutCodes.push_back(text::utf8ToCp1252(fields[0]));
        if (levels.m_byCode.find(code)) {
            if (repeated.insert(code).second)
                levels.m_repeated.push_back(code);
            continue;
        }
        levels.m_byCode.add(code,
            Level { CourseLevelGrid::cut(CourseLevelGrid::Level, fields[1]),
                CourseLevelGrid::cut(CourseLevelGrid::CourseNumber, fields[2]) });
        levels.m_codes.push_back(code);
    }
    return levels;
}

CourseLevels CourseLevels::load(const fs::path& file)
{
    const std::string name = text::pathToUtf8(file);
    std::error_code ec;
    if (fs::status(file, ec).type() == fs::file_type::not_found)
        throw Error(ErrorCode::FileNotFound, "No existe el archivo de niveles " + name, name);
    if (!fs::is_regular_file(file, ec))
        throw Error(ErrorCode::FileNotFound,
            "No se puede usar el archivo de niveles " + name + ": " + shell::whyNotAFile(file), name);
    auto unreadable = [&](int error) {
        return Error(ErrorCode::FileIo,
            "No se puede leer el archivo de niveles " + name + ": " + platform::systemErrorText(error), name);
    };
    errno = 0;
    std::FILE* in = platform::openFile(file, "rb");
    if (!in)
        throw unreadable(errno != 0 ? errno : EACCES);
    std::string bytes;
    char buffer[4096];
    for (std::size_t got; (got = std::fread(buffer, 1, sizeof buffer, in)) > 0;)
        bytes.append(buffer, got);
    const bool failed = std::ferror(in) != 0;
    std::fclose(in);
    if (failed)
        throw unreadable(EIO);
    return parse(bytes, name);
}

void CourseLevels::apply(CourseLevelGrid& grid, Warnings& warnings) const
{
    std::unordered_set<std::string> used;
    for (int row = 0; row < grid.rowCount(); ++row) {
        const std::string& code = grid.codeAsStored(row);
        const Level* level = find(code);
        if (!level)
            continue;
        used.insert(code);
        grid.set(row, CourseLevelGrid::Level, level->nivel);
        grid.set(row, CourseLevelGrid::CourseNumber, level->curso);
        // What Windows-1252 lacks is stored as "?", as from a centre file, and said so.
        for (const int column : { CourseLevelGrid::Level, CourseLevelGrid::CourseNumber }) {
            const std::string& typed = column == CourseLevelGrid::Level ? level->nivel : level->curso;
            std::size_t replaced = 0;
            text::utf8ToCp1252(typed, &replaced);
            if (replaced > 0)
                warnings.add(warning::kReplacedCharacters,
                    "CURSOST " + std::string(CourseLevelGrid::column(column).field) + "="
                        + grid.text(row, column));
        }
    }

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
