// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

/// The character set of a table's texts, as its language driver names it. The
/// engine hands out and takes texts as cp1252 bytes whatever the table holds; a
/// table written by a DOS-era dBASE holds OEM bytes, converted on the way in and out.
namespace tramazel::dbf {

enum class CodePage {
    Windows1252, ///< ANSI: what this program writes (driver 0x57), and driver 0
    Oem437, ///< DOS United States
    Oem850, ///< DOS Western Europe (multilingual)
};

/// The code page a table's language driver selects.
struct LanguageDriver {
    CodePage codePage = CodePage::Windows1252;
    bool recognised = true; ///< false: an id Western dBASE writers do not use, read as ANSI
};

/// The driver of a table whose header holds `id` at byte 29; at level 7, where that
/// byte is usually 0, the driver's name (bytes 32–63, e.g. "DB850US0") decides.
LanguageDriver languageDriverOf(std::uint8_t id, std::string_view level7Name = {});

/// `stored` (bytes of a table in `page`) as cp1252 bytes. Characters cp1252 lacks
/// (box drawing, Greek letters) read as '?'.
std::string toAnsi(CodePage page, std::string_view stored);

/// Starts a character of a key (toAnsiKey) that cp1252 lacks: U+0081, a control no
/// code holds.
inline constexpr char kForeignCharacterMark = '\x81';

/// `stored` as a key that lookups compare: toAnsi(), except that a character cp1252
/// lacks becomes kForeignCharacterMark followed by its UTF-8 bytes instead of '?'.
/// Codes that differ only in such characters ("╬AB", "╦AB") so stay apart, match the
/// same characters in a table of another OEM page, and never match a code holding '?'.
/// The text of a cp1252 table is its own key.
std::string toAnsiKey(CodePage page, std::string_view stored);

/// A key of toAnsiKey() (or a cp1252 text) as UTF-8, for messages.
std::string keyToUtf8(std::string_view key);

/// Rewrites `size` cp1252 bytes at `bytes` in place as bytes of `page`; characters
/// `page` lacks become '?'.
void fromAnsi(CodePage page, char* bytes, std::size_t size) noexcept;

} // namespace tramazel::dbf
