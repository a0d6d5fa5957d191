// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "BlockFile.h"
#include "DbfErrors.h"
#include "DbfFormat.h"
#include "DbfHeader.h"
#include "DbfTable.h"
#include "FieldCodec.h"
#include "FieldWriter.h"
#include "ProductionIndex.h"
#include "platform/Platform.h"

#include <algorithm>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <system_error>
#include <vector>

// The state behind a DbfTable handle, shared by the files that implement it.
// Internal to the dbf folder.
namespace tramazel::dbf {

/// An open table: its file, lock and header, the production index, the current
/// record and where the handle stands.
class DbfTable::Impl {
public:
    enum class State { Browse, Append, Edit };

    std::filesystem::path path;
    std::string base;
    BlockFile file;
    std::unique_ptr<platform::FileLock> lock;
    DbfHeader header;
    ProductionIndex productionIndex;
    std::uint32_t count = 0;
    // Whole records the file held after the counted ones when it was opened.
    std::uint64_t beyondCount = 0;

    std::uint32_t current = 0; // 0-based; == count at the end
    bool atEof = true;
    std::vector<char> record;
    std::vector<char> blank;
    // Per field, 1 when its stored bytes are its text (see detail::plainText).
    std::vector<unsigned char> plainText;
    // Texts textView() had to convert, one per field.
    std::vector<std::string> textCopies;
    State state = State::Browse;
    bool modified = false;

    ~Impl()
    {
        try {
            close();
        } catch (...) {
            // Destruction cannot report; close() explicitly to see errors.
        }
    }

    const std::vector<FieldInfo>& fields() const noexcept { return header.fields(); }
    codec::Encoding encoding(std::size_t field) const noexcept { return header.encodings()[field]; }
    detail::FieldTarget target(std::size_t field) const noexcept
    {
        return { path, fields()[field], encoding(field), header.driver().codePage };
    }

    Error badValue(std::size_t field, std::string_view stored) const
    {
        return errors::badStoredValue(path, current + 1, fields()[field], stored);
    }
    Error doesNotFit(std::size_t field, std::string_view value) const
    {
        return errors::doesNotFit(path, fields()[field], value);
    }
    Error wrongKind(std::size_t field, std::string_view operation) const
    {
        return errors::wrongKind(path, fields()[field], operation);
    }
    Error unsupportedWrite(std::size_t field) const
    {
        return errors::unsupportedWrite(path, fields()[field]);
    }

    void useHeader(DbfHeader h)
    {
        header = std::move(h);
        count = header.recordCount();
        blank = header.blankRecord();
        record = blank;
        plainText.clear();
        for (std::size_t f = 0; f < fields().size(); ++f)
            plainText.push_back(detail::plainText(encoding(f), header.driver().codePage) ? 1 : 0);
    }

    // ---- navigation -----------------------------------------------------------

    void load(std::uint32_t index)
    {
        current = index;
        atEof = index >= count;
        if (atEof) {
            current = count;
            record = blank;
            return;
        }
        const std::uint64_t at = header.recordOffset(index);
        if (!file.read(at, record.data(), record.size()))
            throw errors::tableCutShort(path, at);
    }

    /// Moves to the first live record at or after `index`.
    void seekLive(std::uint32_t index)
    {
        for (; index < count; ++index) {
            load(index);
            if (record[0] != kRecordDeleted)
                return;
        }
        load(count);
    }

    void finishPending()
    {
        if (state != State::Browse)
            post();
    }

    // ---- writing --------------------------------------------------------------

    void beginChange()
    {
        if (file.readOnly())
            throw errors::readOnly(path);
        if (header.foxProStructuralIndex())
            throw errors::indexNotMaintainable(path, "FoxPro structural index");
        productionIndex.prepareForChanges(header, file, path);
    }

    char* fieldForWrite(std::size_t field)
    {
        if (state == State::Browse)
            throw errors::notEditing(path);
        return record.data() + 1 + fields()[field].offset;
    }

    void post()
    {
        if (state == State::Browse)
            throw errors::notEditing(path);
        if (state == State::Append) {
            if (count == UINT32_MAX)
                throw errors::tableFull(path);
            file.write(header.recordOffset(count), record.data(), record.size());
            productionIndex.recordAppended(fields(), record.data());
            current = count;
            ++count;
        } else {
            file.write(header.recordOffset(current), record.data(), record.size());
            productionIndex.recordChanged(fields(), current, record.data());
        }
        atEof = false;
        state = State::Browse;
        modified = true;
    }

    /// Stores `n` whole records at the end, as many append() / post() pairs would.
    void appendRecords(const char* records, std::size_t n)
    {
        finishPending();
        beginChange();
        if (n == 0)
            return;
        if (n > std::size_t { UINT32_MAX - count })
            throw errors::tableFull(path);
        const std::size_t length = record.size();
        file.write(header.recordOffset(count), records, n * length);
        if (productionIndex.hasTags()) {
            for (std::size_t i = 0; i < n; ++i)
                productionIndex.recordAppended(fields(), records + i * length);
        }
        count += static_cast<std::uint32_t>(n);
        current = count - 1;
        std::copy_n(records + (n - 1) * length, length, record.begin());
        atEof = false;
        modified = true;
    }

    // ---- closing --------------------------------------------------------------

    /// Writes the header with today's date and the record count, and the end-of-file
    /// mark, and flushes. The records go out before the header: until the header is
    /// sent, the file on disk still holds the count of the last close.
    /// `headerSent` turns true once the new count may have reached the file.
    void writeTrailer(bool& headerSent)
    {
        file.write(0, reinterpret_cast<const char*>(header.stampForClose(count)), kHeaderSize);
        headerSent = true;
        const char eof = static_cast<char>(kEndOfFile);
        file.write(header.recordOffset(count), &eof, 1);
        file.flush();
    }

    /// Cuts whatever lies beyond the end-of-file mark: trailing bytes of a foreign
    /// file, or records a failed close left uncounted.
    void trimFile()
    {
        const std::uint64_t expected = header.recordOffset(count) + 1;
        std::error_code ec;
        if (std::filesystem::file_size(path, ec) > expected && !ec)
            std::filesystem::resize_file(path, expected, ec);
        if (ec)
            throw errors::tableUnwritable(path);
    }

    void close()
    {
        if (!file.isOpen())
            return;
        // A record started but never posted is dropped, as with any table engine:
        // closing in the middle of an error must not store half a record.
        state = State::Browse;
        std::optional<Error> failure;
        bool headerSent = false;
        if (modified) {
            try {
                // Records that never reached the file must not be counted: after a
                // failed write the header keeps the count of the last close.
                if (file.failed())
                    throw errors::tableUnwritable(path);
                writeTrailer(headerSent);
            } catch (const Error& e) {
                failure = e;
            }
        }
        if (!file.close() && modified && !failure)
            failure = errors::tableUnwritable(path);
        if (modified && !failure) {
            try {
                trimFile();
                productionIndex.write(base, header.languageDriver());
            } catch (const Error& e) {
                failure = e;
            }
        }
        // An index built for the old count must not stay beside a header that may
        // count the new records.
        if (failure && headerSent)
            productionIndex.removeFile();
        modified = false;
        atEof = true;
        lock.reset();
        if (failure)
            throw *failure;
    }
};

[[noreturn]] void throwClosed();
[[noreturn]] void throwFieldOutOfRange(const DbfTable::Impl& impl, std::size_t field);

/// The state of an open handle; throws InvalidArgument when it is closed.
inline DbfTable::Impl& opened(const std::unique_ptr<DbfTable::Impl>& impl)
{
    if (!impl || !impl->file.isOpen())
        throwClosed();
    return *impl;
}

/// The same, also checking that `field` is one of the table's; throws FieldNotFound.
inline DbfTable::Impl& opened(const std::unique_ptr<DbfTable::Impl>& impl, std::size_t field)
{
    DbfTable::Impl& d = opened(impl);
    if (field >= d.fields().size())
        throwFieldOutOfRange(d, field);
    return d;
}

} // namespace tramazel::dbf
