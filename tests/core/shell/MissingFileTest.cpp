// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/MissingFile.h"
#include "TestSupport.h"
#include "text/PathText.h"

#include <gtest/gtest.h>

#include <filesystem>
#include <string>

namespace tramazel::shell {
namespace {

namespace fs = std::filesystem;
using test::TempDir;

TEST(NoFileMessage, NamesThePathAndWhyItCannotBeUsed)
{
    TempDir dir;
    fs::create_directories(dir / "folder.xml");
    struct Case {
        const char* name;
        fs::path file;
        std::string why; // empty: no second line
    };
    const Case cases[] = {
        { "no file chosen", fs::path(), "" },
        { "a file that does not exist", dir / "missing.xml", "no existe" },
        { "a folder", dir / "folder.xml", "es una carpeta, no un archivo" },
#ifndef _WIN32
        { "a device", "/dev/zero", "no es un archivo normal, sino un dispositivo o una tubería" },
#endif
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        const std::string expected = c.why.empty()
            ? std::string("No existe archivo")
            : "No existe archivo\n«" + text::pathToUtf8(c.file) + "»: " + c.why + ".";
        EXPECT_EQ(noFileMessage(c.file), expected);
    }
}

} // namespace
} // namespace tramazel::shell
