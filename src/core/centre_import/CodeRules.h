// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

/// How the centre import derives Zelvano's short codes from GestIB texts. All texts
/// are cp1252 (one byte per character), already trimmed by the attribute read.
namespace tramazel::centre_import::rules {

/// A subject's long code (CODLARGO): the short name when it has at most 8
/// characters; otherwise the first 7 characters of the name followed by the name's
/// last character (all of a shorter name, then its last character again).
std::string subjectLongCode(std::string_view name, std::string_view shortName);

/// A subject's base code: the long code's first character, then its second; when the
/// second is one of . - _ : or a space, the third takes its place, whatever it is.
/// Missing characters give nothing.
std::string subjectBaseCode(std::string_view longCode);

/// An activity's long code: the first 8 characters of its short name.
std::string_view activityLongCode(std::string_view shortName);

/// A teacher post's description: one of more than 40 characters becomes its first
/// 35 followed by its last 5.
std::string teacherDescription(std::string_view description);

/// A teacher post's candidate abbreviation: the first 4 characters of its short name.
std::string_view teacherCandidate(std::string_view shortName);

/// The base of the replacement abbreviations "P1", "P2", … of teacher posts.
inline constexpr std::string_view kTeacherReplacementBase = "P";

/// A key as a character field of `width` holds it and lookups read it back: its
/// first `width` characters, without the blanks that pad (or end) them.
constexpr std::string_view storedKey(std::string_view value, int width) noexcept
{
    value = value.substr(0, static_cast<std::size_t>(width));
    while (!value.empty() && value.back() == ' ')
        value.remove_suffix(1);
    return value;
}

/// A room's or a group's abbreviation: the code when it has at most 4 characters,
/// otherwise its last 4 (the end of the code).
std::string_view lastFour(std::string_view code);

} // namespace tramazel::centre_import::rules
