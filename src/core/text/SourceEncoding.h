// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Error.h"

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>

/// The encodings a centre file may come in, and their conversion to UTF-8: the bytes
/// of a file become the UTF-8 text a parser reads.
namespace tramazel::text {

enum class SourceEncoding {
    Utf8,
    Utf16Le,
    Utf16Be,
    Cp1252, ///< windows-1252; ISO-8859-1 is read as this, its superset
    Latin9, ///< ISO-8859-15
};

/// The value of encoding="…" (or '…') in an XML declaration at the very start of
/// `bytes`; an empty view when there is no declaration or it names no encoding.
std::string_view declaredEncoding(std::string_view bytes) noexcept;

/// How bytes without a byte-order mark are read when their declaration names
/// `name` (ASCII letter case ignored): windows-1252 and the ISO-8859-1 names give
/// Cp1252, the ISO-8859-15 names Latin9; no name, UTF-8, ASCII and UTF-16 give Utf8
/// (UTF-16 text would have been told by its byte-order mark or zero bytes). Nothing
/// for a name we do not know.
std::optional<SourceEncoding> encodingForDeclaredName(std::string_view name) noexcept;

/// Whether `name` (ASCII letter case ignored) is UTF-16, UTF-16LE or UTF-16BE: the
/// names an XML declaration may give text whose byte-order mark or zero bytes say
/// UTF-16.
bool namesUtf16(std::string_view name) noexcept;

/// `bytes` in `encoding` as UTF-8. UTF-16 needs no byte-order mark here (strip it
/// first); an unpaired surrogate becomes U+FFFD and an odd last byte is dropped.
/// UTF-8 is copied as it is, not checked.
std::string toUtf8(std::string_view bytes, SourceEncoding encoding);

/// Offset of the first byte that does not belong to a well-formed UTF-8 sequence
/// (overlong forms, surrogates and code points beyond U+10FFFF are ill-formed), or
/// npos when all of `utf8` is valid.
std::size_t firstInvalidUtf8(std::string_view utf8) noexcept;

/// Line and column, both from 1, of byte `offset` of UTF-8 text; the column counts
/// characters. CR LF, CR and LF each end a line. An offset past the end gives the
/// position just after the last character.
TextPosition positionInUtf8(std::string_view utf8, std::size_t offset) noexcept;

/// The bytes of a text file as UTF-8 text, and how they were read.
class DecodedSource {
public:
    /// The text: a view of the bytes given to decodeSource, or of text converted
    /// from them; valid while both this object and those bytes live.
    std::string_view utf8() const noexcept
    {
        return m_converted ? std::string_view(*m_converted) : m_borrowed;
    }
    SourceEncoding encoding() const noexcept { return m_encoding; }
    /// The encoding the XML declaration names (a view of the bytes); empty when the
    /// text has a byte-order mark or zero bytes, which decide the encoding alone.
    std::string_view declaredName() const noexcept { return m_declaredName; }
    /// False when the declaration names an encoding encodingForDeclaredName does not
    /// know: the text is then read as UTF-8.
    bool declaredNameKnown() const noexcept { return m_declaredNameKnown; }
    /// For text read as UTF-8 without a byte-order mark: the offset in utf8() of the
    /// first byte that is not valid UTF-8, or npos. Text converted from another
    /// encoding is valid by construction; text after a UTF-8 byte-order mark is
    /// taken as it is and reads npos here.
    std::size_t firstInvalidByte() const noexcept { return m_firstInvalidByte; }
    /// Whether the bytes began with a UTF-8 or UTF-16 byte-order mark.
    bool byteOrderMark() const noexcept { return m_byteOrderMark; }
    /// For UTF-16 text: the offset in utf8() of the U+FFFD read for the first unpaired
    /// surrogate, or npos.
    std::size_t firstUnpairedSurrogate() const noexcept { return m_firstUnpairedSurrogate; }
    /// For UTF-16 text: whether the bytes end with half a code unit (dropped).
    bool oddLastByte() const noexcept { return m_oddLastByte; }

private:
    friend DecodedSource decodeSource(std::string_view bytes);
    std::optional<std::string> m_converted;
    std::string_view m_borrowed;
    SourceEncoding m_encoding = SourceEncoding::Utf8;
    std::string_view m_declaredName;
    bool m_declaredNameKnown = true;
    std::size_t m_firstInvalidByte = std::string_view::npos;
    bool m_byteOrderMark = false;
    std::size_t m_firstUnpairedSurrogate = std::string_view::npos;
    bool m_oddLastByte = false;
};

/// Reads the encoding of `bytes` the way an XML file tells it, in this order: a
/// UTF-8 or UTF-16 byte-order mark (skipped); "<?" as UTF-16 without a mark; the
/// encoding the XML declaration names (see encodingForDeclaredName); else UTF-8.
/// Text already in UTF-8 is not copied: the result views `bytes`.
DecodedSource decodeSource(std::string_view bytes);

} // namespace tramazel::text
