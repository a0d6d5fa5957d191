// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <string>
#include <string_view>

/// UTF-8, the text of the whole program, to and from UTF-16, the text of the Windows
/// API. Pure conversions, the same on every system, so they are tested everywhere.
namespace tramazel::platform {

/// `utf8` as UTF-16. A byte that does not belong to a well-formed sequence (and a
/// surrogate or a value beyond U+10FFFF spelt in UTF-8) becomes U+FFFD.
std::u16string utf8ToUtf16(std::string_view utf8);

/// `utf16` as UTF-8. An unpaired surrogate becomes U+FFFD.
std::string utf16ToUtf8(std::u16string_view utf16);

#ifdef _WIN32
/// utf8ToUtf16 for the Windows API's wide strings (wchar_t is a UTF-16 unit there).
std::wstring utf8ToWide(std::string_view utf8);

/// utf16ToUtf8 for the Windows API's wide strings.
std::string wideToUtf8(std::wstring_view wide);
#endif

} // namespace tramazel::platform
