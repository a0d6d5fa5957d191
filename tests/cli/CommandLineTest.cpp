// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommandLine.h"

#include <gtest/gtest.h>

using namespace tramazel::cli;
using tramazel::centre_import::SubjectLines;

TEST(CommandLine, ParsesEveryValidFormWithItsOptions)
{
    struct Case {
        std::vector<std::string> args;
        Command command;
        std::string operand;
        std::string qtemp;
        std::string levels;
        SubjectLines lines;
        bool keepLevels = false;
        bool csv = false;
        bool dryRun = false;
    };
    const Case cases[] = {
        { { "--help" }, Command::Help, "", "", "", SubjectLines::All, false },
        { { "-h" }, Command::Help, "", "", "", SubjectLines::All, false },
        { { "--version" }, Command::Version, "", "", "", SubjectLines::All, false },
        { { "import", "c.xml" }, Command::Import, "c.xml", "", "", SubjectLines::All, false },
        { { "--qtemp", "/q", "import", "c.xml", "--levels", "n.txt", "--no-lines" }, Command::Import, "c.xml",
            "/q", "n.txt", SubjectLines::None, false },
        { { "import", "--levels=n.txt", "c.xml", "--qtemp=/q" }, Command::Import, "c.xml", "/q", "n.txt",
            SubjectLines::All, false },
        { { "import", "c.xml", "--lines", "matched" }, Command::Import, "c.xml", "", "",
            SubjectLines::NamedGroups, false },
        { { "import", "c.xml", "--lines=none" }, Command::Import, "c.xml", "", "", SubjectLines::None,
            false },
        { { "import", "--lines=all", "c.xml" }, Command::Import, "c.xml", "", "", SubjectLines::All, false },
        { { "export", "/tmp/out" }, Command::Export, "/tmp/out", "", "", SubjectLines::All, false },
        { { "show", "asignomt", "--csv" }, Command::Show, "asignomt", "", "", SubjectLines::All, false,
            true },
        { { "import", "c.xml", "--keep-levels", "--levels", "n.txt" }, Command::Import, "c.xml", "", "n.txt",
            SubjectLines::All, true },
        { { "import", "--dry-run", "c.xml", "--lines", "matched" }, Command::Import, "c.xml", "", "",
            SubjectLines::NamedGroups, false, false, true },
        { { "import", "--", "-odd name.xml" }, Command::Import, "-odd name.xml", "", "", SubjectLines::All,
            false },
    };
    for (const Case& c : cases) {
        const CommandLine cl = parseCommandLine(c.args);
        EXPECT_EQ(cl.command, c.command) << c.args[0];
        EXPECT_EQ(cl.operand, c.operand);
        EXPECT_EQ(cl.qtemp.value_or("").string(), c.qtemp);
        EXPECT_EQ(cl.levels.value_or("").string(), c.levels);
        EXPECT_EQ(cl.lines, c.lines);
        EXPECT_EQ(cl.keepLevels, c.keepLevels);
        EXPECT_EQ(cl.dryRun, c.dryRun);
        EXPECT_EQ(cl.csv, c.csv);
    }
}

TEST(CommandLine, RefusesEveryLineOutsideTheUsage)
{
    const std::vector<std::vector<std::string>> cases = {
        {},
        { "convert", "c.xml" },
        { "import" },
        { "import", "a.xml", "b.xml" },
        { "import", "c.xml", "--levels" },
        { "import", "c.xml", "--levels", "" },
        { "import", "c.xml", "--levels", "a", "--levels", "b" },
        { "import", "c.xml", "--csv" },
        { "import", "c.xml", "--no-lines=yes" },
        { "export", "d", "--no-lines" },
        { "import", "c.xml", "--lines" },
        { "import", "c.xml", "--lines", "some" },
        { "import", "c.xml", "--lines", "Matched" },
        { "import", "c.xml", "--lines", "all", "--lines", "none" },
        { "import", "c.xml", "--lines", "all", "--no-lines" },
        { "import", "c.xml", "--no-lines", "--lines=none" },
        { "export", "d", "--lines", "all" },
        { "import", "c.xml", "--keep-levels=yes" },
        { "show", "T", "--keep-levels" },
        { "export", "d", "--dry-run" },
        { "import", "c.xml", "--dry-run=1" },
        { "--help", "--lines", "all" },
        { "show", "T", "--levels", "n" },
        { "show", "T", "--verbose" },
        { "--qtemp" },
        { "--qtemp", "/a", "--qtemp", "/b", "show", "T" },
        { "--help", "import", "c.xml" },
        { "--version", "--help" },
        { "-x" },
        { "import", "" },
    };
    for (const auto& args : cases) {
        std::string joined;
        for (const auto& a : args)
            joined += "[" + a + "]";
        EXPECT_THROW(parseCommandLine(args), UsageError) << joined;
    }
}
