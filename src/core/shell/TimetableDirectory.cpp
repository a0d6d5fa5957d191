// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/TimetableDirectory.h"

#include "text/Ascii.h"
#include "text/PathText.h"

#include <cstdlib>
#include <system_error>

namespace tramazel::shell {

namespace fs = std::filesystem;

namespace {

std::optional<std::string> processEnv(const char* name)
{
    if (const char* value = std::getenv(name))
        return std::string(value);
    return std::nullopt;
}

} // namespace

fs::path childIgnoringCase(const fs::path& dir, std::string_view name)
{
    const fs::path exact = dir / text::pathFromUtf8(name);
    std::error_code ec;
    if (fs::exists(exact, ec))
        return exact;
    for (auto it = fs::directory_iterator(dir, ec); !ec && it != fs::directory_iterator(); it.increment(ec)) {
        if (text::equalsIgnoringAsciiCase(text::pathToUtf8(it->path().filename()), name))
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
