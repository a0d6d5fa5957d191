// SPDX-License-Identifier: GPL-3.0-or-later
#include "TestSupport.h"
#include "text/Ascii.h"
#include "text/PathText.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <atomic>
#include <chrono>
#include <cstdio>
#include <fstream>
#include <random>
#include <sstream>
#include <stdexcept>

namespace tramazel {

void PrintTo(ErrorCode code, std::ostream* out)
{
    switch (code) {
#define TRAMAZEL_CODE(name)                                                                                  \
    case ErrorCode::name:                                                                                    \
        *out << #name;                                                                                       \
        return;
        TRAMAZEL_CODE(FileNotFound)
        TRAMAZEL_CODE(FileIo)
        TRAMAZEL_CODE(TableLocked)
        TRAMAZEL_CODE(TableCorrupt)
        TRAMAZEL_CODE(TableUnsupported)
        TRAMAZEL_CODE(FieldNotFound)
        TRAMAZEL_CODE(ValueOutOfRange)
        TRAMAZEL_CODE(XmlMalformed)
        TRAMAZEL_CODE(XmlWrongRoot)
        TRAMAZEL_CODE(InvalidArgument)
        TRAMAZEL_CODE(Interrupted)
        TRAMAZEL_CODE(Cancelled)
#undef TRAMAZEL_CODE
    }
    *out << "ErrorCode(" << static_cast<int>(code) << ")";
}

void PrintTo(const TextPosition& position, std::ostream* out)
{
    *out << "line " << position.line << ", column " << position.column;
}

} // namespace tramazel

namespace tramazel::test {

namespace fs = std::filesystem;

std::optional<Error> expectError(ErrorCode code, const std::function<void()>& f)
{
    try {
        f();
    } catch (const Error& e) {
        EXPECT_EQ(e.code(), code) << e.what();
        EXPECT_FALSE(e.message().empty());
        return e;
    }
    ADD_FAILURE() << "no error thrown";
    return std::nullopt;
}

TempDir::TempDir()
{
    static std::atomic<unsigned> counter { 0 };
    std::random_device rd;
    auto stamp = std::chrono::steady_clock::now().time_since_epoch().count();
    for (int attempt = 0; attempt < 100; ++attempt) {
        fs::path candidate = fs::temp_directory_path()
            / ("tramazel-test-" + std::to_string(stamp) + "-" + std::to_string(rd()) + "-"
                + std::to_string(counter++));
        if (fs::create_directory(candidate)) {
            m_path = candidate;
            return;
        }
    }
    throw std::runtime_error("cannot create a temporary directory");
}

TempDir::~TempDir()
{
    std::error_code ec;
    // Tests may leave read-only folders behind; make them writable before removal.
    for (auto it = fs::recursive_directory_iterator(m_path, ec);
         !ec && it != fs::recursive_directory_iterator(); it.increment(ec)) {
        if (it->is_directory(ec))
            fs::permissions(it->path(), fs::perms::owner_all, fs::perm_options::add, ec);
    }
    fs::permissions(m_path, fs::perms::owner_all, fs::perm_options::add, ec);
    fs::remove_all(m_path, ec);
}

fs::path fixture(const fs::path& relative)
{
    return fs::path(TRAMAZEL_FIXTURES_DIR) / relative;
}

namespace {
std::string fileText(std::string_view s)
{
#ifdef _WIN32
    return text::toAsciiUpper(s);
#else
    return std::string(s);
#endif
}
} // namespace

bool sameFileText(std::string_view a, std::string_view b)
{
    return fileText(a) == fileText(b);
}

bool containsFileText(std::string_view text, std::string_view part)
{
    return fileText(text).find(fileText(part)) != std::string::npos;
}

bool samePath(const fs::path& a, const fs::path& b)
{
    return sameFileText(text::pathToUtf8(a), text::pathToUtf8(b));
}

std::string readFile(const fs::path& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in)
        throw std::runtime_error("cannot read " + file.string());
    std::ostringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

void writeFile(const fs::path& file, const std::string& bytes)
{
    std::ofstream out(file, std::ios::binary | std::ios::trunc);
    out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    if (!out)
        throw std::runtime_error("cannot write " + file.string());
}

std::vector<std::pair<std::string, std::string>> snapshot(const fs::path& dir)
{
    std::vector<std::pair<std::string, std::string>> files;
    for (const auto& entry : fs::recursive_directory_iterator(dir)) {
        // The timetable directory's lock file, which the first run there makes, empty,
        // and none removes, is no change to the directory.
        if (entry.path().filename() == ".tramazel-lock" && entry.is_regular_file() && entry.file_size() == 0)
            continue;
        if (entry.is_regular_file())
            files.emplace_back(fs::relative(entry.path(), dir).generic_string(), readFile(entry.path()));
        else if (entry.is_directory())
            files.emplace_back(fs::relative(entry.path(), dir).generic_string() + "/", std::string());
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::string shellQuote(const std::string& arg)
{
    std::string out = "'";
    for (char c : arg) {
        if (c == '\'')
            out += "'\\''";
        else
            out += c;
    }
    return out + "'";
}

ProcessResult run(const std::string& commandLine)
{
    ProcessResult result;
    std::string cmd = commandLine + " 2>&1";
#ifdef _WIN32
    FILE* pipe = _popen(cmd.c_str(), "r");
#else
    FILE* pipe = popen(cmd.c_str(), "r");
#endif
    if (!pipe)
        throw std::runtime_error("cannot run " + commandLine);
    std::array<char, 4096> buf {};
    size_t n;
    while ((n = fread(buf.data(), 1, buf.size(), pipe)) > 0)
        result.output.append(buf.data(), n);
#ifdef _WIN32
    result.exitCode = _pclose(pipe);
#else
    int status = pclose(pipe);
    result.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
#endif
    return result;
}

} // namespace tramazel::test
