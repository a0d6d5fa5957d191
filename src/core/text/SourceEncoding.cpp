// SPDX-License-Identifier: GPL-3.0-or-later
#include "SourceEncoding.h"

#include "Ascii.h"
#include "Cp1252.h"
#include "Utf8.h"

#include <algorithm>
#include <array>
#include <cstdint>
#include <cstring>

namespace tramazel::text {

namespace {

// ISO-8859-15 differs from ISO-8859-1 in eight positions.
char32_t latin9CodePoint(unsigned char byte)
{
    switch (byte) {
    case 0xA4:
        return 0x20AC;
    case 0xA6:
        return 0x0160;
    case 0xA8:
        return 0x0161;
    case 0xB4:
        return 0x017D;
    case 0xB8:
        return 0x017E;
    case 0xBC:
        return 0x0152;
    case 0xBD:
        return 0x0153;
    case 0xBE:
        return 0x0178;
    default:
        return byte;
    }
}

std::string latin9ToUtf8(std::string_view bytes)
{
    std::string out;
    out.reserve(bytes.size() + bytes.size() / 8);
    for (char c : bytes)
        appendUtf8(out, latin9CodePoint(static_cast<unsigned char>(c)));
    return out;
}

// `firstUnpaired`, when given, receives the offset in the result of the U+FFFD that
// stands for the first unpaired surrogate (npos when there is none).
std::string utf16ToUtf8(std::string_view bytes, bool bigEndian, std::size_t* firstUnpaired = nullptr)
{
    std::string out;
    out.reserve(bytes.size() / 2 + bytes.size() / 8);
    const std::size_t units = bytes.size() / 2;
    auto unit = [&](std::size_t i) -> char32_t {
        const auto a = static_cast<unsigned char>(bytes[2 * i]);
        const auto b = static_cast<unsigned char>(bytes[2 * i + 1]);
        return bigEndian ? static_cast<char32_t>((a << 8) | b) : static_cast<char32_t>((b << 8) | a);
    };
    if (firstUnpaired)
        *firstUnpaired = std::string::npos;
    for (std::size_t i = 0; i < units; ++i) {
        char32_t cp = unit(i);
        bool unpaired = false;
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < units) {
            const char32_t low = unit(i + 1);
            if (low >= 0xDC00 && low <= 0xDFFF) {
                cp = 0x10000 + ((cp - 0xD800) << 10) + (low - 0xDC00);
                ++i;
            } else {
                unpaired = true;
            }
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            unpaired = true;
        }
        if (unpaired) {
            cp = 0xFFFD;
            if (firstUnpaired && *firstUnpaired == std::string::npos)
                *firstUnpaired = out.size();
        }
        appendUtf8(out, cp);
    }
    return out;
}

} // namespace

std::string_view declaredEncoding(std::string_view bytes) noexcept
{
    if (bytes.substr(0, 5) != "<?xml")
        return {};
    const auto end = bytes.find("?>");
    if (end == std::string_view::npos)
        return {};
    const std::string_view decl = bytes.substr(0, end);
    auto pos = decl.find("encoding");
    if (pos == std::string_view::npos)
        return {};
    pos += 8;
    auto skipBlanks = [&] {
        while (pos < decl.size()
            && (decl[pos] == ' ' || decl[pos] == '\t' || decl[pos] == '\r' || decl[pos] == '\n'))
            ++pos;
    };
    skipBlanks();
    if (pos >= decl.size() || decl[pos] != '=')
        return {};
    ++pos;
    skipBlanks();
    if (pos >= decl.size() || (decl[pos] != '"' && decl[pos] != '\''))
        return {};
    const char quote = decl[pos++];
    const auto close = decl.find(quote, pos);
    if (close == std::string_view::npos)
        return {};
    return decl.substr(pos, close - pos);
}

std::optional<SourceEncoding> encodingForDeclaredName(std::string_view name) noexcept
{
    // Files that declare Latin-1 but come from Windows carry €, curly quotes and the
    // like in 0x80-0x9F, where windows-1252 has them and ISO-8859-1 has controls.
    static constexpr std::array<std::string_view, 10> kCp1252Names = { "windows-1252", "cp1252", "x-cp1252",
        "iso-8859-1", "iso8859-1", "iso_8859-1", "latin1", "latin-1", "l1", "cp819" };
    static constexpr std::array<std::string_view, 5> kLatin9Names
        = { "iso-8859-15", "iso8859-15", "iso_8859-15", "latin9", "latin-9" };
    static constexpr std::array<std::string_view, 5> kUtf8Names
        = { "utf-8", "utf8", "us-ascii", "ascii", "utf-16" };
    const auto named = [name](std::string_view known) { return equalsIgnoringAsciiCase(name, known); };
    if (std::any_of(kCp1252Names.begin(), kCp1252Names.end(), named))
        return SourceEncoding::Cp1252;
    if (std::any_of(kLatin9Names.begin(), kLatin9Names.end(), named))
        return SourceEncoding::Latin9;
    if (name.empty() || std::any_of(kUtf8Names.begin(), kUtf8Names.end(), named))
        return SourceEncoding::Utf8;
    return std::nullopt;
}

bool namesUtf16(std::string_view name) noexcept
{
    static constexpr std::array<std::string_view, 3> kNames = { "utf-16", "utf-16le", "utf-16be" };
    return std::any_of(kNames.begin(), kNames.end(),
        [name](std::string_view known) { return equalsIgnoringAsciiCase(name, known); });
}

std::string toUtf8(std::string_view bytes, SourceEncoding encoding)
{
    switch (encoding) {
    case SourceEncoding::Utf16Le:
        return utf16ToUtf8(bytes, false);
    case SourceEncoding::Utf16Be:
        return utf16ToUtf8(bytes, true);
    case SourceEncoding::Cp1252:
        return cp1252ToUtf8(bytes);
    case SourceEncoding::Latin9:
        return latin9ToUtf8(bytes);
    case SourceEncoding::Utf8:
        break;
    }
    return std::string(bytes);
}

std::size_t firstInvalidUtf8(std::string_view s) noexcept
{
    const std::size_t n = s.size();
    std::size_t i = 0;
    while (i < n) {
        // Most of a centre file is ASCII: skip it eight bytes at a time.
        while (i + 8 <= n) {
            std::uint64_t word = 0;
            std::memcpy(&word, s.data() + i, 8);
            if (word & 0x8080808080808080u)
                break;
            i += 8;
        }
        if (i >= n)
            break;
        char32_t cp = 0;
        const std::size_t length = decodeUtf8(s, i, cp);
        if (length == 0)
            return i;
        i += length;
    }
    return std::string_view::npos;
}

TextPosition positionInUtf8(std::string_view utf8, std::size_t offset) noexcept
{
    TextPosition pos;
    offset = std::min(offset, utf8.size());
    for (std::size_t i = 0; i < offset; ++i) {
        const char c = utf8[i];
        if (c == '\n' || (c == '\r' && (i + 1 >= utf8.size() || utf8[i + 1] != '\n'))) {
            ++pos.line;
            pos.column = 1;
        } else if ((static_cast<unsigned char>(c) & 0xC0) != 0x80) {
            ++pos.column;
        }
    }
    return pos;
}

DecodedSource decodeSource(std::string_view bytes)
{
    DecodedSource out;
    const auto byteAt = [&](std::size_t i) { return static_cast<unsigned char>(bytes[i]); };
    const auto convert = [&](std::string_view from, SourceEncoding encoding) {
        out.m_encoding = encoding;
        if (encoding == SourceEncoding::Utf16Le || encoding == SourceEncoding::Utf16Be) {
            out.m_converted
                = utf16ToUtf8(from, encoding == SourceEncoding::Utf16Be, &out.m_firstUnpairedSurrogate);
            out.m_oddLastByte = from.size() % 2 != 0;
        } else {
            out.m_converted = toUtf8(from, encoding);
        }
    };
    if (bytes.size() >= 3 && byteAt(0) == 0xEF && byteAt(1) == 0xBB && byteAt(2) == 0xBF) {
        out.m_byteOrderMark = true;
        out.m_borrowed = bytes.substr(3);
    } else if (bytes.size() >= 2 && byteAt(0) == 0xFF && byteAt(1) == 0xFE) {
        out.m_byteOrderMark = true;
        convert(bytes.substr(2), SourceEncoding::Utf16Le);
    } else if (bytes.size() >= 2 && byteAt(0) == 0xFE && byteAt(1) == 0xFF) {
        out.m_byteOrderMark = true;
        convert(bytes.substr(2), SourceEncoding::Utf16Be);
    } else if (bytes.size() >= 4 && byteAt(0) == '<' && byteAt(1) == 0 && byteAt(2) == '?'
        && byteAt(3) == 0) {
        convert(bytes, SourceEncoding::Utf16Le);
    } else if (bytes.size() >= 4 && byteAt(0) == 0 && byteAt(1) == '<' && byteAt(2) == 0
        && byteAt(3) == '?') {
        convert(bytes, SourceEncoding::Utf16Be);
    } else {
        out.m_declaredName = declaredEncoding(bytes);
        const std::optional<SourceEncoding> declared = encodingForDeclaredName(out.m_declaredName);
        out.m_declaredNameKnown = declared.has_value();
        if (declared && *declared != SourceEncoding::Utf8) {
            convert(bytes, *declared);
        } else {
            out.m_borrowed = bytes;
            out.m_firstInvalidByte = firstInvalidUtf8(bytes);
        }
    }
    return out;
}

} // namespace tramazel::text
