// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/HostIni.h"

#include "Error.h"
#include "platform/Platform.h"
#include "text/Ascii.h"
#include "text/PathText.h"

#include <charconv>
#include <fstream>
#include <iterator>
#include <optional>
#include <system_error>
#include <vector>

namespace tramazel::shell {

namespace fs = std::filesystem;

namespace {

constexpr std::string_view kUtf8Bom = "\xEF\xBB\xBF";

struct Line {
    std::size_t begin = 0; // first byte of the line
    std::size_t end = 0; // one past the last byte before the line end
    std::size_t next = 0; // first byte of the following line
};

std::vector<Line> splitLines(std::string_view s)
{
    std::vector<Line> lines;
    std::size_t pos = 0;
    while (pos < s.size()) {
        std::size_t nl = s.find('\n', pos);
        Line line;
        line.begin = pos;
        line.next = nl == std::string_view::npos ? s.size() : nl + 1;
        line.end = nl == std::string_view::npos ? s.size() : nl;
        if (line.end > line.begin && s[line.end - 1] == '\r')
            --line.end;
        lines.push_back(line);
        pos = line.next;
    }
    return lines;
}

// The section named by a "[name]" line, or nothing for any other line.
std::optional<std::string_view> sectionName(std::string_view text)
{
    text = text::trimBlanks(text);
    if (text.size() < 2 || text.front() != '[')
        return std::nullopt;
    std::size_t close = text.find(']');
    if (close == std::string_view::npos)
        return std::nullopt;
    return text::trimBlanks(text.substr(1, close - 1));
}

bool isComment(std::string_view text)
{
    text = text::trimBlanks(text);
    return text.empty() || text.front() == ';' || text.front() == '#';
}

} // namespace

fs::path hostIniPath(const fs::path& executableDir)
{
    return executableDir / text::pathFromUtf8(kHostIniFileName);
}

std::string setIniValue(
    std::string_view content, std::string_view section, std::string_view key, std::string_view value)
{
    // New lines follow the file's own line ends; a new file gets the host system's.
    const std::string_view eol
        = content.find("\r\n") != std::string_view::npos || content.find('\n') == std::string_view::npos
        ? std::string_view("\r\n")
        : std::string_view("\n");
    const std::string entry = std::string(key) + "=" + std::string(value);

    const std::vector<Line> lines = splitLines(content);
    bool inSection = false;
    std::optional<std::size_t> insertAt; // after the last entry of the section
    for (std::size_t i = 0; i < lines.size(); ++i) {
        std::string_view text = content.substr(lines[i].begin, lines[i].end - lines[i].begin);
        if (i == 0 && text.starts_with(kUtf8Bom))
            text.remove_prefix(kUtf8Bom.size());
        if (auto name = sectionName(text)) {
            if (inSection)
                break; // only the first section of that name counts
            inSection = text::equalsIgnoringAsciiCase(*name, section);
            if (inSection)
                insertAt = lines[i].next;
            continue;
        }
        if (!inSection || text::trimBlanks(text).empty())
            continue;
        // A new key goes after the section's last line that is not blank, comments included.
        insertAt = lines[i].next;
        if (isComment(text))
            continue;
        std::size_t eq = text.find('=');
        if (eq != std::string_view::npos
            && text::equalsIgnoringAsciiCase(text::trimBlanks(text.substr(0, eq)), key)) {
            // Blanks after "=" stay, so "Transformado = 0" keeps its layout.
            std::size_t valueBegin = static_cast<std::size_t>(text.data() - content.data()) + eq + 1;
            while (valueBegin < lines[i].end && (content[valueBegin] == ' ' || content[valueBegin] == '\t'))
                ++valueBegin;
            std::string out(content.substr(0, valueBegin));
            out += value;
            out += content.substr(lines[i].end);
            return out;
        }
    }

    std::string out(content);
    if (insertAt) {
        std::string added = entry + std::string(eol);
        // The section's last line may lack a line end when it ends the file.
        if (*insertAt == content.size() && !content.empty() && content.back() != '\n')
            added = std::string(eol) + added;
        out.insert(*insertAt, added);
        return out;
    }
    if (!out.empty() && out.back() != '\n')
        out += eol;
    out += "[" + std::string(section) + "]" + std::string(eol) + entry + std::string(eol);
    return out;
}

void writeHostResult(const fs::path& iniFile, int result)
{
    const Error failure(ErrorCode::FileIo,
        "No se puede escribir el resultado en el archivo «" + text::pathToUtf8(iniFile)
            + "»: Zelvano no sabrá cómo ha terminado la conversión",
        text::pathToUtf8(iniFile));

    std::string content;
    std::error_code ec;
    // An installed program's INI is a link to a file where users may write (the
    // program's own folder is not theirs): the file linked to is updated and the link
    // stays. One link only: a link found there is refused rather than followed.
    fs::path file = iniFile;
    if (fs::is_symlink(iniFile, ec)) {
        fs::path target = fs::read_symlink(iniFile, ec);
        if (ec)
            throw failure;
        file = target.is_absolute() ? target : iniFile.parent_path() / target;
        if (fs::is_symlink(file, ec))
            throw failure;
    }
    if (fs::exists(file, ec)) {
        // An existing file that cannot be read is never replaced: its other entries would be lost.
        if (!fs::is_regular_file(file, ec))
            throw failure;
        std::ifstream in(file, std::ios::binary);
        if (!in)
            throw failure;
        try {
            content.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
        } catch (const std::exception&) {
            throw failure;
        }
        if (in.bad())
            throw failure;
    } else if (ec) {
        throw failure;
    }

    char digits[16];
    const char* end = std::to_chars(digits, digits + sizeof digits, result).ptr;
    const std::string updated = setIniValue(content, kHostIniSection, kHostIniKey,
        std::string_view(digits, static_cast<std::size_t>(end - digits)));

    fs::path temp = file;
    temp += ".tramazel-new";
    {
        std::ofstream out(temp, std::ios::binary | std::ios::trunc);
        out.write(updated.data(), static_cast<std::streamsize>(updated.size()));
        out.close();
        if (!out) {
            fs::remove(temp, ec);
            throw failure;
        }
    }
    try {
        platform::replaceFile(temp, file);
    } catch (...) {
        fs::remove(temp, ec);
        throw failure;
    }
}

} // namespace tramazel::shell
