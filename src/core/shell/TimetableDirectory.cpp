// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/TimetableDirectory.h"

#include <cstdlib>
#include <system_error>

namespace tramazel::shell {

namespace fs = std::filesystem;

namespace {

bool equalsAsciiIgnoreCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size())
        return false;
    for (std::size_t i = 0; i < a.size(); ++i) {
        char x = a[i];
        char y = b[i];
        if (x >= 'A' && x <= 'Z')
            x = static_cast<char>(x - 'A' + 'a');
        if (y >= 'A' && y <= 'Z')
            y = static_cast<char>(y - 'A' + 'a');
        if (x != y)
            return false;
    }
    return true;
}

std::optional<std::string> processEnv(const char* name)
{
    if (const char* value = std::getenv(name))
        return std::string(value);
    return std::nullopt;
}

} // namespace

fs::path childIgnoringCase(const fs::path& dir, std::string_view name)
{
    const fs::path exact = dir / fs::path(std::u8string(name.begin(), name.end()));
    std::error_code ec;
    if (fs::exists(exact, ec))
        return exact;
    for (auto it = fs::directory_iterator(dir, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
        const std::u8string entry = it->path().filename().u8string();
        if (equalsAsciiIgnoreCase(
                std::string_view(reinterpret_cast<const char*>(entry.data()), entry.size()), name))
            return it->path();
    }
    return exact;
}

fs::path timetableDirectory(const EnvLookup& env)
{
#ifdef _WIN32
    (void)env;
    return fs::path("C:\\QTEMP");
#else
    if (auto qtemp = env(kQtempEnvVar); qtemp && !qtemp->empty())
        return fs::path(*qtemp);
    fs::path prefix;
    if (auto wine = env("WINEPREFIX"); wine && !wine->empty())
        prefix = fs::path(*wine);
    else
        prefix = fs::path(env("HOME").value_or(std::string())) / ".wine";
    return childIgnoringCase(childIgnoringCase(prefix, kDriveCFolder), kQtempFolder);
#endif
}

fs::path timetableDirectory()
{
    return timetableDirectory(processEnv);
}

fs::path sagaDirectory(const fs::path& qtempDir)
{
    return childIgnoringCase(qtempDir, kSagaFolder);
}

fs::path fileDialogDirectory(const fs::path& qtempDir)
{
    fs::path saga = sagaDirectory(qtempDir);
    std::error_code ec;
    return fs::is_directory(saga, ec) ? saga : qtempDir;
}

} // namespace tramazel::shell
