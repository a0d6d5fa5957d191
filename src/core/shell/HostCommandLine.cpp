// SPDX-License-Identifier: GPL-3.0-or-later
#include "shell/HostCommandLine.h"

namespace tramazel::shell {

std::optional<std::uint32_t> parseWindowHandle(std::string_view digits) noexcept
{
    if (digits.empty())
        return std::nullopt;
    std::uint64_t value = 0;
    for (char c : digits) {
        unsigned digit = 0;
        if (c >= '0' && c <= '9')
            digit = static_cast<unsigned>(c - '0');
        else if (c >= 'a' && c <= 'f')
            digit = static_cast<unsigned>(c - 'a' + 10);
        else if (c >= 'A' && c <= 'F')
            digit = static_cast<unsigned>(c - 'A' + 10);
        else
            return std::nullopt;
        value = value * 16 + digit;
        // Checked on every digit so that a long run of digits cannot wrap around.
        if (value > 0xFFFFFFFFu)
            return std::nullopt;
    }
    return static_cast<std::uint32_t>(value);
}

std::string invalidHandleMessage(std::string_view param)
{
    return "'$" + std::string(param) + "' no es un valor entero válido";
}

} // namespace tramazel::shell
