// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

/// Case-insensitive comparison of cp1252 texts the way the users' Windows locale
/// compares them: ASCII letters and the accented Latin letters of cp1252 (à/À, ç/Ç,
/// ñ/Ñ, š/Š, œ/Œ, ž/Ž, ÿ/Ÿ …) fold together; nothing else is ignored.
namespace tramazel::text {

/// The upper-case form of one cp1252 byte (a byte without case is returned as is).
unsigned char foldCp1252(unsigned char byte) noexcept;

/// `s` with every byte folded by foldCp1252.
std::string foldCase(std::string_view s);

/// True when `a` and `b` are equal after folding.
bool equalsIgnoreCase(std::string_view a, std::string_view b) noexcept;

} // namespace tramazel::text
