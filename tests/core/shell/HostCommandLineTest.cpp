// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/HostCommandLine.h"
#include "shell/ErrorBox.h"
#include "text/Ascii.h"

#include <gtest/gtest.h>

#include <optional>

using namespace tramazel::shell;

TEST(WindowHandle, AcceptsOnlyHexDigitsThatFitIn32Bits)
{
    struct Case {
        const char* text;
        std::optional<std::uint32_t> value;
    };
    const Case cases[] = {
        { "4A0001F", 0x4A0001Fu }, { "4a0001f", 0x4A0001Fu }, { "0", 0u },
        { "00000000000000FFFFFFFF", 0xFFFFFFFFu }, // leading zeros do not count against the width
        { "FFFFFFFF", 0xFFFFFFFFu }, { "100000000", std::nullopt }, // one past 32 bits
        { "FFFFFFFFFFFFFFFFFFFFFFFF", std::nullopt }, // would wrap a 64-bit accumulator
        { "", std::nullopt }, { "0x1F", std::nullopt }, { "$1F", std::nullopt }, { " 1F", std::nullopt },
        { "1F ", std::nullopt }, { "+1F", std::nullopt }, { "-1", std::nullopt }, { "1G", std::nullopt },
        { "1F\n", std::nullopt }, { "\xEF\xBC\x91", std::nullopt }, // full-width digit one
    };
    for (const Case& c : cases)
        EXPECT_EQ(parseWindowHandle(c.text), c.value) << "'" << c.text << "'";
}

TEST(ModeWord, FoldsOnlyAsciiLetters)
{
    EXPECT_EQ(tramazel::text::toAsciiLower("ExPoRtAr"), "exportar");
    EXPECT_EQ(tramazel::text::toAsciiLower("IMPORTAR"), "importar");
    // Non-ASCII letters stay as they are, so "ÉXPORTAR" is not a mode word.
    EXPECT_EQ(tramazel::text::toAsciiLower("\xC3\x89XPORTAR"), "\xC3\x89xportar");
}

TEST(ErrorBox, AddsAFullStopAfterCharactersThatSortAfterIt)
{
    struct Case {
        const char* message;
        const char* text;
    };
    const Case cases[] = {
        { "'$XYZ' no es un valor entero válido", "'$XYZ' no es un valor entero válido." },
        { "Unable to write to /x/Zelvano.ini", "Unable to write to /x/Zelvano.ini." },
        { "Ya termina.", "Ya termina." },
        { "Termina en coma,", "Termina en coma," }, // "," sorts before "."
        { "¿Qué pasa?", "¿Qué pasa?." }, // "?" sorts after "."
        { "Fin)", "Fin)" },
        { "Línea 2 (ñ", "Línea 2 (ñ." }, // a two-byte character
        { "1/2", "1/2." },
        { "", "" },
    };
    for (const Case& c : cases)
        EXPECT_EQ(errorBoxText(c.message), c.text);
}
