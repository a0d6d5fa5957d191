// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "CodePage.h"
#include "DbfFormat.h"
#include "TableLayout.h"

#include <cstdint>
#include <filesystem>
#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

namespace tramazel::platform {
struct IoHooks;
}

/// The dBASE table engine. Writes plain dBASE IV tables (version 0x03, language
/// driver 0x57) with an MDX production index where asked; reads dBASE III/IV/5,
/// level 7 and FoxPro tables. Texts are cp1252 bytes; a table whose language driver
/// says an OEM code page (437, 850) has its texts converted as they are read and
/// written, so callers see cp1252 whatever the table holds.
namespace tramazel::dbf {

enum class Access {
    Shared, ///< beside other shared handles
    Exclusive, ///< alone
    /// Alone, for reading only: no handle anywhere writes the table meanwhile, this
    /// one included (the lock of FileLock::Mode::ExclusiveNoWrites).
    ExclusiveRead,
};

class RecordImage;

/// A table file: an open handle on NAME.DBF in a directory, found there without
/// regard to letter case. Move-only; closing (or destruction) writes the header,
/// the 0x1A terminator and the MDX of a table that was changed.
///
/// Reading: first() / next() / eof() walk live records in stored order (deleted
/// records are skipped). Writing: append() starts a new blank record, the set*
/// functions fill it, post() stores it; edit() starts changing the current record
/// in place, post() stores it. Writers of many records can instead put each one
/// together in a RecordImage and store it whole (appendRecord, appendRecords).
///
/// Every failure throws tramazel::Error with a Spanish message naming the file.
class DbfTable {
public:
    /// Creates NAME.DBF (and NAME.MDX when `indexes` is not empty) in `dir`,
    /// replacing any table of that name (every letter-case variant); the table is
    /// empty and open for exclusive use. A table of that name that another handle
    /// has open is not replaced: ErrorCode::TableLocked. When writing the new files
    /// fails (FileIo), neither file is left: the old table is gone and no new one
    /// stands in its place. The handle's files are read and written through `io` when
    /// given (it must outlive the handle), else through the system's calls directly.
    static DbfTable create(const std::filesystem::path& dir, std::string_view name,
        const std::vector<FieldSpec>& fields, const std::vector<IndexSpec>& indexes = {},
        const platform::IoHooks* io = nullptr);

    /// Opens an existing table. `name` may carry ".DBF" or not. Exclusive use fails
    /// with ErrorCode::TableLocked while any other handle (this process or another)
    /// has the table open; shared handles coexist. A handle for ExclusiveRead reads
    /// the file without opening it for writing. The handle starts on the first
    /// live record. Writing to a table whose production index cannot be maintained
    /// (index file missing, expression tags) throws TableUnsupported. `io` as for create().
    static DbfTable open(const std::filesystem::path& dir, std::string_view name, Access access,
        const platform::IoHooks* io = nullptr);

    DbfTable(DbfTable&&) noexcept;
    DbfTable& operator=(DbfTable&&) noexcept;
    ~DbfTable(); ///< closes; errors while closing from the destructor are swallowed
    DbfTable(const DbfTable&) = delete;
    DbfTable& operator=(const DbfTable&) = delete;

    /// Writes what is pending and releases the file and its lock. Idempotent. A record
    /// started by append() or edit() and not posted is dropped, never half-stored.
    ///
    /// When a write fails, here or in an earlier post(), close() throws FileIo and the
    /// table's header never counts a record that did not reach the file: the table
    /// reads either with the count of its last successful close (later appends are
    /// not counted) or with every posted record. The production index is then either
    /// the one that matches the count the header holds, or gone: an index that may
    /// not match is removed (the table still reads, and refuses changes until it is
    /// created again). Records changed in place by edit() are written where they
    /// stand; after a failure some may hold their new contents and some their old.
    void close();
    bool isOpen() const noexcept;

    const std::filesystem::path& path() const noexcept; ///< the .DBF file
    const std::vector<FieldInfo>& fields() const noexcept;
    /// Index of the field called `name` (ASCII case-insensitive); throws FieldNotFound.
    std::size_t fieldIndex(std::string_view name) const;
    bool hasField(std::string_view name) const noexcept;
    /// Number of records in the file, deleted ones included.
    std::uint32_t recordCount() const noexcept;
    /// Whole records the file held, when opened, after those its header counts: left
    /// by a program that appended without updating the count. They are never read.
    std::uint64_t recordsBeyondCount() const noexcept;
    /// Bytes of one record: the deleted flag, then every field (0 when closed).
    std::size_t recordLength() const noexcept;
    /// The language driver id at byte 29 of the header.
    std::uint8_t languageDriver() const noexcept;
    /// The code page the table's texts are stored in, and whether the driver was one
    /// the engine knows (an unknown one is read as cp1252).
    LanguageDriver textCodePage() const noexcept;

    // Navigation over live records in stored order.
    void first();
    void next();
    bool eof() const noexcept;
    /// 1-based number of the current record (0 when at eof).
    std::uint32_t recordNumber() const noexcept;

    // Reading the current record. A numeric field read as text gives its number
    // without padding ("3", "2.5", "-1"); an empty numeric field reads as "" as
    // text and as 0 as a number. A text gives the stored characters without the
    // trailing blanks that pad them. Binary I/O/B fields read as their numbers.
    std::string text(std::size_t field) const;
    std::string text(std::string_view field) const { return text(fieldIndex(field)); }
    /// What text(field) gives, without a copy where the stored bytes are the text (a
    /// character field of a cp1252 table). The view stays valid until the handle
    /// moves, changes or closes, or reads the same field again.
    std::string_view textView(std::size_t field) const;
    /// What textView(field) gives as a key to compare (toAnsiKey): the same, except in
    /// a table of an OEM code page, where characters cp1252 lacks keep their identity
    /// instead of all reading as '?'. Valid as long as textView()'s view.
    std::string_view keyView(std::size_t field) const;
    std::int64_t integer(std::size_t field) const; ///< the whole part, cut toward zero
    std::int64_t integer(std::string_view field) const { return integer(fieldIndex(field)); }
    double number(std::size_t field) const;
    double number(std::string_view field) const { return number(fieldIndex(field)); }
    bool logical(std::size_t field) const; ///< T/t/Y/y is true; anything else false
    // A logical field reads as text "T", "F" or "" (blank or "?").
    bool logical(std::string_view field) const { return logical(fieldIndex(field)); }
    bool isBlank(std::size_t field) const; ///< the field holds only blanks (or binary null)

    // Writing.
    void append(); ///< starts a new record, every field blank
    void edit(); ///< starts changing the current record in place
    /// Stores `value` (cp1252) cut to the field's width, keeping the first characters
    /// (converted to the table's code page, see textCodePage()).
    void setText(std::size_t field, std::string_view value);
    void setText(std::string_view field, std::string_view value) { setText(fieldIndex(field), value); }
    /// Throws ValueOutOfRange when the number does not fit the field. Numeric fields
    /// get exactly their decimals (rounded to nearest); a Character field gets the
    /// digits, never cut.
    void setInteger(std::size_t field, std::int64_t value);
    void setInteger(std::string_view field, std::int64_t value) { setInteger(fieldIndex(field), value); }
    void setNumber(std::size_t field, double value);
    void setNumber(std::string_view field, double value) { setNumber(fieldIndex(field), value); }
    void setLogical(std::size_t field, bool value);
    void setLogical(std::string_view field, bool value) { setLogical(fieldIndex(field), value); }
    void setBlank(std::size_t field);
    /// Stores the record started by append() or edit(). Records gather in a block
    /// before they reach the file, so a write failure (FileIo) may surface here for
    /// records posted earlier; after one, every later write of the handle fails too.
    void post();

    /// Stores `record` (a RecordImage of this table's layout) as a new record at the
    /// end: what append(), the same set* calls and post() would store, with the same
    /// errors. A record started by append() or edit() is posted first. The handle
    /// stands on the new record.
    void appendRecord(const RecordImage& record);
    /// The same for many records at once: `records` holds whole records one after the
    /// other, recordLength() bytes each, the deleted flag first (as RecordImage::bytes()
    /// gives them). Throws InvalidArgument when its size is not a multiple of
    /// recordLength().
    void appendRecords(std::span<const char> records);

    // ---- Skimming: whole-table passes that look at stored bytes ----

    /// A test on a live record's stored bytes: the deleted flag at [0], then each field
    /// at 1 + FieldInfo::offset, FieldInfo::width bytes. It must not use the handle.
    using RecordTest = bool (*)(const char* record, void* context);
    /// Moves to the first live record that `test` accepts, starting from the first
    /// record when `fromStart`, else after the current one; to eof when none does
    /// (false then). Records passed over are looked at where they lie in the read
    /// block, never copied or decoded: a pass that stops on few records costs little
    /// more than reading the file.
    bool skimTo(bool fromStart, RecordTest test, void* context)
    {
        auto call = [test, context](const char* record) { return test(record, context); };
        return skimTo(fromStart, call);
    }
    template <typename Test> bool skimTo(bool fromStart, Test& test)
    {
        // The records of a run are tested here, where the test can be inlined.
        return skimRuns(
            fromStart,
            [](const char* records, std::size_t count, std::size_t length, void* context) {
                Test& t = *static_cast<Test*>(context);
                for (std::size_t i = 0; i < count; ++i) {
                    const char* record = records + i * length;
                    if (record[0] != kRecordDeleted && t(record))
                        return i;
                }
                return count;
            },
            &test);
    }
    /// A test on `count` records (deleted ones too) that lie one after another,
    /// `length` bytes each: the place of the first it accepts, or `count`.
    using RunTest
        = std::size_t (*)(const char* records, std::size_t count, std::size_t length, void* context);
    /// What skimTo() does, handing the test the records a read block holds at once.
    bool skimRuns(bool fromStart, RunTest test, void* context);
    /// True when text(field) gives field `field` as stored, without its trailing
    /// blanks (a Character field of a table stored in cp1252): storedText() then reads
    /// the same text straight from a record's bytes.
    bool readsAsStored(std::size_t field) const;
    /// Field `field` of `record` (bytes as a RecordTest sees them) without its trailing
    /// blanks and NULs, not converted. The handle must be open and `field` one of its
    /// fields: this runs once per record and checks neither.
    std::string_view storedText(const char* record, std::size_t field) const;
    /// Where storedText() finds field `field`, for reading it from many records
    /// without asking the handle each time. Throws like textView() for a closed
    /// handle or a field it does not have.
    StoredField storedField(std::size_t field) const;

    class Impl;

private:
    friend class RecordImage;
    explicit DbfTable(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> m_impl;
};

} // namespace tramazel::dbf
