// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace tramazel::xml::detail {

/// How many characters of a name or value a message quotes before it cuts.
inline constexpr std::size_t kQuotedCharacters = 60;

/// `text` from a document (a name, a value, an encoding's name) between « and » for a
/// message: cut after kQuotedCharacters characters with "…", since a file can hold a
/// name of any length; a byte that is not valid UTF-8, and a control character, show
/// as "?". Every message of the XML service that quotes such text goes through here.
std::string quoted(std::string_view text);

} // namespace tramazel::xml::detail
