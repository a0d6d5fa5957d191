// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <optional>
#include <stdexcept>
#include <string>

namespace tramazel {

/// What kind of failure an Error reports. Tests compare codes, never message text.
enum class ErrorCode {
    FileNotFound, ///< a table or file that must exist does not
    FileIo, ///< reading, writing, renaming or deleting a file failed
    TableLocked, ///< a table is held by another handle (exclusive use refused)
    TableCorrupt, ///< a table or index file is inconsistent or truncated
    TableUnsupported, ///< a table variant or field type the engine cannot read
    FieldNotFound, ///< a field name the table does not have
    ValueOutOfRange, ///< a value does not fit its field
    XmlMalformed, ///< an XML file is not well-formed
    XmlWrongRoot, ///< an XML file has an unexpected root element
    InvalidArgument, ///< a caller passed something meaningless (bad table name, bad handle)
    Interrupted, ///< a run was stopped on purpose (fault injection in tests)
    Cancelled, ///< the person (or the host window's going) stopped the run; nothing was changed
};

/// Where in a text file an error was found: line and column, both from 1, the column
/// counted in characters.
struct TextPosition {
    std::size_t line = 1;
    std::size_t column = 1;
    friend bool operator==(const TextPosition&, const TextPosition&) = default;
};

/// The one exception type of the core. `message()` is the final Spanish text shown to
/// the user (UTF-8); `detail()` carries technical detail (file, offset, record, field);
/// `position()` the line and column in the file the error is about, when it has one
/// (the message already names them for the user).
class Error : public std::runtime_error {
public:
    Error(ErrorCode code, std::string message, std::string detail = {},
        std::optional<TextPosition> position = std::nullopt);

    ErrorCode code() const noexcept { return m_code; }
    const std::string& message() const noexcept { return m_message; }
    const std::string& detail() const noexcept { return m_detail; }
    const std::optional<TextPosition>& position() const noexcept { return m_position; }

private:
    ErrorCode m_code;
    std::string m_message;
    std::string m_detail;
    std::optional<TextPosition> m_position;
};

} // namespace tramazel
