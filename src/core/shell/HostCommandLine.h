// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

/// The two command-line parameters with which the host starts the converter: a mode
/// word and the host's window handle in hexadecimal.
namespace tramazel::shell {

inline constexpr std::string_view kModeImportar = "importar"; ///< runs the solution export
inline constexpr std::string_view kModeExportar = "exportar"; ///< runs the centre import

/// The window handle written as hexadecimal digits without prefix: one or more digits
/// 0-9, a-f, A-F (leading zeros allowed) whose value fits in 32 bits. Anything else
/// (empty, "0x", blanks, a sign, other characters, a larger value) gives nothing.
std::optional<std::uint32_t> parseWindowHandle(std::string_view digits) noexcept;

/// The error text of a handle that is not a number: "'$XYZ' no es un valor entero
/// válido" (the error box adds the final full stop).
std::string invalidHandleMessage(std::string_view param);

} // namespace tramazel::shell
