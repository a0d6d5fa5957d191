// SPDX-License-Identifier: GPL-3.0-or-later
#include "CommandLine.h"

#include <gtest/gtest.h>

using namespace tramazel::cli;

TEST(CommandLine, ValidFormsAndTheirOptions)
{
    struct Case {
        std::vector<std::string> args;
        Command command;
        std::string operand;
        std::string qtemp;
        std::string levels;
        bool noLines;
        bool csv;
    };
    const Case cases[] = {
        { { "--help" }, Command::Help, "", "", "", false, false },
        { { "-h" }, Command::Help, "", "", "", false, false },
        { { "--version" }, Command::Version, "", "", "", false, false },
        { { "import", "c.xml" }, Command::Import, "c.xml", "", "", false, false },
        { { "--qtemp", "/q", "import", "c.xml", "--levels", "n.txt", "--no-lines" }, Command::Import, "c.xml",
            "/q", "n.txt", true, false },
        { { "import", "--levels=n.txt", "c.xml", "--qtemp=/q" }, Command::Import, "c.xml", "/q", "n.txt",
            false, false },
        { { "export", "/tmp/out" }, Command::Export, "/tmp/out", "", "", false, false },
        { { "show", "asignomt", "--csv" }, Command::Show, "asignomt", "", "", false, true },
        { { "import", "--", "-odd name.xml" }, Command::Import, "-odd name.xml", "", "", false, false },
    };
    for (const Case& c : cases) {
        const CommandLine cl = parseCommandLine(c.args);
        EXPECT_EQ(cl.command, c.command) << c.args[0];
        EXPECT_EQ(cl.operand, c.operand);
        EXPECT_EQ(cl.qtemp.value_or("").string(), c.qtemp);
        EXPECT_EQ(cl.levels.value_or("").string(), c.levels);
        EXPECT_EQ(cl.noLines, c.noLines);
        EXPECT_EQ(cl.csv, c.csv);
    }
}

TEST(CommandLine, UsageErrors)
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
