// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdio>
#include <filesystem>
#include <string>
#include <string_view>
#include <vector>

namespace tramazel::platform {
struct IoHooks;
}

namespace tramazel::xml {

/// Writes an XML file element by element, holding only the path of open elements and
/// one output buffer: for documents too large to build in memory. The bytes are the
/// ones XmlDocument::save() writes for the same elements and attributes (the UTF-8
/// declaration, two spaces of indentation per level, empty elements as "<NAME ... />",
/// attribute values taken as cp1252 and escaped alike).
///
/// The file is written the way XmlDocument::save() writes it: into a temporary file
/// beside it, renamed over it by commit() only when complete. A writer destroyed
/// without commit() removes its temporary file and leaves any existing file as it was.
/// Failures to create or write the temporary file are held until commit(), so an
/// error found while producing the contents is the one reported.
class XmlStreamWriter {
public:
    /// A writer of `file`; the temporary file is opened, written, closed, synced and
    /// renamed through `io` when given (it must outlive the writer).
    explicit XmlStreamWriter(std::filesystem::path file, const platform::IoHooks* io = nullptr);
    ~XmlStreamWriter();
    XmlStreamWriter(const XmlStreamWriter&) = delete;
    XmlStreamWriter& operator=(const XmlStreamWriter&) = delete;

    /// Opens an element inside the current one (the first one is the root).
    void startElement(std::string_view name);
    /// Adds an attribute to the element just opened, before any child; the caller
    /// guarantees the name is new on that element. `cp1252Value` is converted to UTF-8;
    /// control characters other than tab and line breaks become "?".
    void attribute(std::string_view name, std::string_view cp1252Value);
    /// Closes the innermost open element.
    void endElement();

    /// Closes what is still open, writes the rest and renames the temporary file over
    /// the target durably (platform::replaceFile). Throws ErrorCode::FileIo, with the
    /// message of XmlDocument::save(), when any step failed; nothing is then left.
    void commit();

private:
    void closeStartTag();
    void indent(std::size_t depth);
    void appendEscaped(std::string_view utf8);
    void flushIfFull();
    void flush();
    void discard() noexcept;

    const platform::IoHooks& m_io;
    std::filesystem::path m_file;
    std::filesystem::path m_temporary;
    std::FILE* m_stream = nullptr;
    std::string m_buffer;
    std::string m_scratch;
    std::vector<std::string> m_open; // names of the open elements, outermost first
    bool m_startTagOpen = false;
    bool m_committed = false;
    std::string m_failure; // the first write failure, reported by commit()
    int m_failureErrno = 0; // the system's reason for it, when it gave one
};

} // namespace tramazel::xml
