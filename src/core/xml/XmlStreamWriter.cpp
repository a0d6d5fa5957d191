// SPDX-License-Identifier: GPL-3.0-or-later
#include "xml/XmlStreamWriter.h"

#include "Error.h"
#include "platform/IoHooks.h"
#include "platform/Platform.h"
#include "platform/SystemErrorText.h"
#include "text/Cp1252.h"
#include "text/PathText.h"

#include <cerrno>
#include <system_error>

namespace tramazel::xml {

namespace {

constexpr std::string_view kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
// Output leaves in pieces of this size: few system calls, little memory.
constexpr std::size_t kWriteSize = std::size_t(1) << 20;

bool isPlainText(std::string_view text) noexcept
{
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x80)
            return false;
    }
    return true;
}

// The characters an attribute value cannot hold as they are: markup, the quote that
// delimits it, and every control character (tab and line breaks too, which a reader
// would otherwise turn into spaces).
bool needsReference(unsigned char c) noexcept
{
    return c < 0x20 || c == '&' || c == '<' || c == '"';
}

} // namespace

XmlStreamWriter::XmlStreamWriter(std::filesystem::path file, const platform::IoHooks* io)
    : m_io(platform::hooksOrSystem(io))
    , m_file(std::move(file))
    , m_temporary(platform::temporaryPathBeside(m_file))
{
    m_buffer.reserve(kWriteSize + 4096);
    m_buffer.append(kDeclaration);
}

XmlStreamWriter::~XmlStreamWriter()
{
    if (!m_committed)
        discard();
}

void XmlStreamWriter::startElement(std::string_view name)
{
    closeStartTag();
    indent(m_open.size());
    m_buffer += '<';
    m_buffer.append(name);
    m_open.emplace_back(name);
    m_startTagOpen = true;
}

void XmlStreamWriter::attribute(std::string_view name, std::string_view cp1252Value)
{
    m_buffer += ' ';
    m_buffer.append(name);
    m_buffer.append("=\"");
    if (isPlainText(cp1252Value)) {
        appendEscaped(cp1252Value);
    } else {
        m_scratch = text::cp1252ToUtf8(cp1252Value);
        for (char& c : m_scratch) {
            if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r')
                c = '?';
        }
        appendEscaped(m_scratch);
    }
    m_buffer += '"';
}

void XmlStreamWriter::endElement()
{
    if (m_startTagOpen) {
        m_buffer.append(" />\n");
        m_startTagOpen = false;
    } else {
        indent(m_open.size() - 1);
        m_buffer.append("</");
        m_buffer.append(m_open.back());
        m_buffer.append(">\n");
    }
    m_open.pop_back();
    flushIfFull();
}

void XmlStreamWriter::closeStartTag()
{
    if (m_startTagOpen) {
        m_buffer.append(">\n");
        m_startTagOpen = false;
    }
}

void XmlStreamWriter::indent(std::size_t depth)
{
    m_buffer.append(2 * depth, ' ');
}

void XmlStreamWriter::appendEscaped(std::string_view utf8)
{
    std::size_t from = 0;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        const auto c = static_cast<unsigned char>(utf8[i]);
        if (!needsReference(c))
            continue;
        m_buffer.append(utf8.substr(from, i - from));
        from = i + 1;
        switch (c) {
        case '&':
            m_buffer.append("&amp;");
            break;
        case '<':
            m_buffer.append("&lt;");
            break;
        case '"':
            m_buffer.append("&quot;");
            break;
        default: { // a control character, as a decimal reference of two digits
            const char ref[]
                = { '&', '#', static_cast<char>('0' + c / 10), static_cast<char>('0' + c % 10), ';' };
            m_buffer.append(ref, sizeof ref);
            break;
        }
        }
    }
    m_buffer.append(utf8.substr(from));
}

void XmlStreamWriter::flushIfFull()
{
    if (m_buffer.size() >= kWriteSize)
        flush();
}

void XmlStreamWriter::flush()
{
    if (!m_failure.empty()) {
        m_buffer.clear();
        return;
    }
    if (!m_stream) {
        errno = 0;
        m_stream = m_io.open(m_temporary, "wb");
        if (!m_stream) {
            m_failureErrno = errno;
            m_failure = "cannot create " + text::pathToUtf8(m_temporary);
            m_buffer.clear();
            return;
        }
        std::setvbuf(m_stream, nullptr, _IONBF, 0); // the buffer is ours, and large
    }
    errno = 0;
    if (!m_buffer.empty() && m_io.write(m_stream, m_buffer.data(), m_buffer.size()) != m_buffer.size()) {
        m_failureErrno = errno;
        m_failure = "write failed";
    } else
        platform::startWriteBack(m_stream); // the sync in commit() then finds it on the device
    m_buffer.clear();
}

void XmlStreamWriter::discard() noexcept
{
    if (m_stream) {
        m_io.close(m_stream);
        m_stream = nullptr;
    }
    std::error_code ignored;
    std::filesystem::remove(m_temporary, ignored);
}

void XmlStreamWriter::commit()
{
    while (!m_open.empty())
        endElement();
    flush();
    if (m_stream && m_failure.empty()) {
        errno = 0;
        const int closed = m_io.close(m_stream);
        m_stream = nullptr;
        if (closed != 0) {
            m_failureErrno = errno;
            m_failure = "close failed";
        }
    }
    if (m_failure.empty()) {
        try {
            platform::replaceFile(m_temporary, m_file, &m_io);
            m_committed = true;
            return;
        } catch (const Error& e) {
            m_failure = e.detail();
        }
    }
    discard();
    m_committed = true;
    const std::string name = text::pathToUtf8(m_file);
    // The system's reason, where it gave one: a full disk, a folder the user may not
    // write to, a read-only device.
    const std::string reason = platform::systemErrorText(m_failureErrno);
    throw Error(ErrorCode::FileIo,
        "No se puede guardar el archivo «" + name + "»" + (reason.empty() ? "" : ": " + reason) + ".",
        name + ": " + m_failure);
}

} // namespace tramazel::xml
