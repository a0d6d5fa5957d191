// SPDX-License-Identifier: GPL-3.0-or-later
// The Windows build's programs under Wine, side by side with the Linux build's: the
// same tables and XML from the same input, names in any script, a table held by
// another Windows process, and nothing but system DLLs imported.
//
// TRAMAZEL_WINDOWS_DIR names the output folder of scripts/build-windows; without it
// these tests skip (scripts/test sets it for its Windows step, with WINEPREFIX).
#include "TestSupport.h"
#include "Version.h"
#include "platform/Platform.h"
#include "text/Ascii.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <array>
#include <cstdio>
#include <cstdlib>
#include <set>
#include <sstream>

using namespace tramazel;
using test::readFile;
using test::run;
using test::shellQuote;
using test::snapshot;
using test::TempDir;
using test::writeFile;
namespace fs = std::filesystem;

namespace {

const fs::path kSamples = TRAMAZEL_SAMPLES_DIR;

std::optional<fs::path> windowsDir()
{
    const char* dir = std::getenv("TRAMAZEL_WINDOWS_DIR");
    if (dir == nullptr || *dir == '\0')
        return std::nullopt;
    return fs::path(dir);
}

#define REQUIRE_WINDOWS_BUILD()                                                                              \
    const auto windows = windowsDir();                                                                       \
    if (!windows)                                                                                            \
    GTEST_SKIP() << "TRAMAZEL_WINDOWS_DIR is not set (scripts/test sets it for the Windows build)"

std::string q(const fs::path& p)
{
    return shellQuote(p.string());
}

// Windows console programs end their lines with CR LF.
std::string withoutCarriageReturns(std::string s)
{
    std::erase(s, '\r');
    return s;
}

test::ProcessResult linuxCli(const std::string& args)
{
    return run(q(fs::path(TRAMAZEL_BIN_DIR) / "tramazel-cli") + " " + args);
}

test::ProcessResult windowsCli(const fs::path& windows, const std::string& args)
{
    auto r = run("wine " + q(windows / "bin" / "tramazel-cli.exe") + " " + args);
    r.output = withoutCarriageReturns(r.output);
    return r;
}

// A table's or an index's bytes with the dates of last update blanked.
std::string withoutDates(const fs::path& file, std::string bytes)
{
    const std::string ext = text::toAsciiUpper(file.extension().string());
    auto blank = [&](std::size_t at) {
        if (bytes.size() >= at + 3)
            bytes.replace(at, 3, "\0\0\0", 3);
    };
    if (ext == ".DBF" || ext == ".MDX")
        blank(1);
    if (ext == ".MDX")
        blank(44);
    return bytes;
}

std::vector<std::pair<std::string, std::string>> tablesOf(const fs::path& dir)
{
    auto files = snapshot(dir);
    for (auto& [name, bytes] : files)
        bytes = withoutDates(name, std::move(bytes));
    return files;
}

// A program started in the background whose output is read line by line.
class Background {
public:
    explicit Background(const std::string& commandLine)
        : m_pipe(popen(commandLine.c_str(), "r"))
    {
    }
    ~Background()
    {
        if (m_pipe)
            pclose(m_pipe);
    }
    Background(const Background&) = delete;
    Background& operator=(const Background&) = delete;
    std::string readLine()
    {
        std::array<char, 256> line {};
        if (!m_pipe || !std::fgets(line.data(), static_cast<int>(line.size()), m_pipe))
            return {};
        return withoutCarriageReturns(line.data());
    }

private:
    FILE* m_pipe;
};

} // namespace

TEST(WindowsPrograms, ImportAndExportWriteWhatTheLinuxBuildWrites)
{
    REQUIRE_WINDOWS_BUILD();
    TempDir dir;
    const fs::path levels = dir / "niveles.txt";
    writeFile(levels, "10000;ESO;1\n10001;ESO;2\n");
    const fs::path linuxQtemp = dir / "linux";
    const fs::path windowsQtemp = dir / "windows";
    for (const fs::path& qtemp : { linuxQtemp, windowsQtemp })
        fs::create_directories(qtemp);

    const std::string import = " import " + q(kSamples / "centre.xml") + " --levels " + q(levels);
    const auto onLinux = linuxCli("--qtemp " + q(linuxQtemp) + import);
    ASSERT_EQ(onLinux.exitCode, 0) << onLinux.output;
    const auto onWindows = windowsCli(*windows, "--qtemp " + q(windowsQtemp) + import);
    ASSERT_EQ(onWindows.exitCode, 0) << onWindows.output;
    EXPECT_EQ(onWindows.output, onLinux.output); // the summary, in UTF-8
    EXPECT_TRUE(tablesOf(windowsQtemp) == tablesOf(linuxQtemp)) << "tables differ";

    for (const fs::path& qtemp : { linuxQtemp, windowsQtemp }) {
        for (const char* table : { "SOLUC.DBF", "DIASHORAST.DBF" })
            fs::copy_file(kSamples / "solution" / table, qtemp / table, fs::copy_options::overwrite_existing);
        fs::create_directories(qtemp / "out");
    }
    ASSERT_EQ(linuxCli("--qtemp " + q(linuxQtemp) + " export " + q(linuxQtemp / "out")).exitCode, 0);
    const auto exported
        = windowsCli(*windows, "--qtemp " + q(windowsQtemp) + " export " + q(windowsQtemp / "out"));
    ASSERT_EQ(exported.exitCode, 0) << exported.output;
    const std::string xml = readFile(windowsQtemp / "out" / "SolucioHorari.xml");
    EXPECT_NE(xml.find("<SESSIO "), std::string::npos);
    EXPECT_TRUE(xml == readFile(linuxQtemp / "out" / "SolucioHorari.xml")) << "SolucioHorari.xml differs";
}

TEST(WindowsPrograms, FolderAndCentreFileWithNamesInAnyScript)
{
    REQUIRE_WINDOWS_BUILD();
    TempDir dir;
    // Outside the ANSI code page of a Western Windows too (the euro sign is in it,
    // the Greek and the Cyrillic letters are not).
    const fs::path qtemp = dir / "horaris Àñç € Ωж";
    fs::create_directories(qtemp);
    const fs::path centre = dir / "centre Çüñ Ωж.xml";
    fs::copy_file(kSamples / "centre.xml", centre);

    const auto imported
        = windowsCli(*windows, "--qtemp " + q(qtemp) + " import " + q(centre) + " --no-lines");
    ASSERT_EQ(imported.exitCode, 0) << imported.output;
    EXPECT_TRUE(fs::exists(qtemp / "PROFT.DBF"));

    // What the Windows program prints to a pipe is the Linux program's UTF-8.
    const auto shownOnWindows = windowsCli(*windows, "--qtemp " + q(qtemp) + " show ASIGNOMT --csv");
    const auto shownOnLinux = linuxCli("--qtemp " + q(qtemp) + " show ASIGNOMT --csv");
    ASSERT_EQ(shownOnWindows.exitCode, 0) << shownOnWindows.output;
    EXPECT_EQ(shownOnWindows.output, shownOnLinux.output);

    // A message naming a missing file names it right.
    const auto missing = windowsCli(*windows, "--qtemp " + q(qtemp) + " show «Ñ»");
    EXPECT_EQ(missing.exitCode, 1) << missing.output;
    EXPECT_NE(missing.output.find("«Ñ»"), std::string::npos) << missing.output;
}

TEST(WindowsPrograms, ATableHeldByAnotherWindowsProcessStopsTheImport)
{
    REQUIRE_WINDOWS_BUILD();
    TempDir dir;
    const fs::path qtemp = dir / "qtemp";
    fs::create_directories(qtemp);
    const std::string import
        = "--qtemp " + q(qtemp) + " import " + q(kSamples / "centre.xml") + " --no-lines";
    ASSERT_EQ(windowsCli(*windows, import).exitCode, 0);

    // The message the Linux build gives when another program holds the table.
    std::string linuxMessage;
    {
        auto lock = platform::FileLock::tryLock(qtemp / "PROFT.DBF", platform::FileLock::Mode::Exclusive);
        ASSERT_TRUE(lock);
        const auto refused = linuxCli(import);
        EXPECT_EQ(refused.exitCode, 1) << refused.output;
        linuxMessage = refused.output;
    }
    ASSERT_NE(linuxMessage.find("PROFT"), std::string::npos) << linuxMessage;

    const auto before = snapshot(qtemp);
    {
        Background holder("wine " + q(*windows / "build" / "bin" / "hold_table_lock.exe") + " "
            + q(qtemp / "PROFT.DBF") + " " + q(dir / "release"));
        ASSERT_EQ(holder.readLine(), "locked\n");
        const auto refused = windowsCli(*windows, import);
        EXPECT_EQ(refused.exitCode, 1) << refused.output;
        // The same message; the table's path is joined with the system's separator.
        std::string said = refused.output;
        std::replace(said.begin(), said.end(), '\\', '/');
        EXPECT_EQ(said, linuxMessage);
        EXPECT_TRUE(snapshot(qtemp) == before) << "a table was replaced";
        writeFile(dir / "release", "");
    }
    EXPECT_EQ(windowsCli(*windows, import).exitCode, 0); // free again
}

TEST(WindowsPrograms, ProgramsImportSystemDllsOnlyAndCarryVersionAndManifest)
{
    REQUIRE_WINDOWS_BUILD();
    const std::set<std::string> systemDlls = { "KERNEL32.DLL", "USER32.DLL", "GDI32.DLL", "COMDLG32.DLL",
        "COMCTL32.DLL", "SHELL32.DLL", "MSIMG32.DLL", "UXTHEME.DLL", "OLE32.DLL", "OLEAUT32.DLL",
        "ADVAPI32.DLL", "SHLWAPI.DLL", "MSVCRT.DLL" };
    std::size_t programs = 0;
    for (const auto& entry : fs::directory_iterator(*windows / "bin")) {
        if (text::toAsciiUpper(entry.path().extension().string()) != ".EXE")
            continue;
        ++programs;
        const auto dump = run("x86_64-w64-mingw32-objdump -p " + q(entry.path()));
        ASSERT_EQ(dump.exitCode, 0) << dump.output;
        std::istringstream lines(dump.output);
        std::set<std::string> imported;
        for (std::string line; std::getline(lines, line);) {
            const auto at = line.find("DLL Name: ");
            if (at != std::string::npos)
                imported.insert(text::toAsciiUpper(line.substr(at + 10)));
        }
        EXPECT_TRUE(imported.contains("KERNEL32.DLL")) << entry.path();
        for (const std::string& dll : imported)
            EXPECT_TRUE(systemDlls.contains(dll)) << entry.path().filename() << " imports " << dll;

        // The version resource's strings are UTF-16; the manifest is stored as it is.
        const std::string bytes = readFile(entry.path());
        auto utf16 = [](std::string_view ascii) {
            std::string out;
            for (char c : ascii)
                out += std::string { c, '\0' };
            return out;
        };
        EXPECT_NE(
            bytes.find(utf16("ProductVersion") + std::string(2, '\0') + utf16(kVersion)), std::string::npos)
            << entry.path().filename() << ": no version resource";
        EXPECT_NE(bytes.find(utf16("OriginalFilename") + std::string(2, '\0')
                      + utf16(entry.path().filename().string())),
            std::string::npos)
            << entry.path().filename();
        for (const char* manifest :
            { "name=\"Microsoft.Windows.Common-Controls\" version=\"6.0.0.0\"", "<dpiAware" })
            EXPECT_NE(bytes.find(manifest), std::string::npos) << entry.path().filename() << ": " << manifest;
    }
    EXPECT_GT(programs, 0u) << "no programs in " << *windows / "bin";
}
