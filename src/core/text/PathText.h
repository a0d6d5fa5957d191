// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <filesystem>
#include <string>
#include <string_view>

/// Paths as UTF-8 text and back: messages, command-line arguments and name matching
/// all carry paths as UTF-8, whatever the platform's native path encoding.
namespace tramazel::text {

inline std::string pathToUtf8(const std::filesystem::path& p)
{
    const std::u8string s = p.u8string();
    return std::string(s.begin(), s.end());
}

inline std::filesystem::path pathFromUtf8(std::string_view s)
{
    return std::filesystem::path(std::u8string(s.begin(), s.end()));
}

} // namespace tramazel::text
