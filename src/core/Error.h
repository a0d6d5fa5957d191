// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

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
};

/// The one exception type of the core. `message()` is the final Spanish text shown to
/// the user (UTF-8); `detail()` carries technical detail (file, offset, record, field).
class Error : public std::runtime_error {
public:
    Error(ErrorCode code, std::string message, std::string detail = {});

    ErrorCode code() const noexcept { return m_code; }
    const std::string& message() const noexcept { return m_message; }
    const std::string& detail() const noexcept { return m_detail; }

private:
    ErrorCode m_code;
    std::string m_message;
    std::string m_detail;
};

} // namespace tramazel
