// SPDX-License-Identifier: GPL-3.0-or-later
#include "DbfTable.h"

#include "BlockFile.h"
#include "DbfErrors.h"
#include "DbfFormat.h"
#include "DbfHeader.h"
#include "Error.h"
#include "FieldCodec.h"
#include "ProductionIndex.h"
#include "TableFiles.h"
#include "platform/Platform.h"
#include "text/Ascii.h"
#include "text/PathText.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <optional>
#include <system_error>

namespace tramazel::dbf {

namespace fs = std::filesystem;
using codec::Encoding;

namespace {

bool validTableName(std::string_view base)
{
    if (base.empty() || base == "." || base == "..")
        return false;
    return base.find_first_of(std::string_view("/\\:\0", 4)) == std::string_view::npos;
}

constexpr BlockFile::Errors kTableFileErrors { errors::tableUnreadable, errors::tableUnwritable };

} // namespace

/// An open table: its file, lock and header, the production index, the current
/// record and where the handle stands.
class DbfTable::Impl {
public:
    enum class State { Browse, Append, Edit };

    fs::path path;
    std::string base;
    BlockFile file;
    std::unique_ptr<platform::FileLock> lock;
    DbfHeader header;
    ProductionIndex productionIndex;
    std::uint32_t count = 0;

    std::uint32_t current = 0; // 0-based; == count at the end
    bool atEof = true;
    std::vector<char> record;
    std::vector<char> blank;
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
    Encoding encoding(std::size_t field) const noexcept { return header.encodings()[field]; }
    const char* bytesOf(std::size_t field) const noexcept
    {
        return record.data() + 1 + fields()[field].offset;
    }
    std::string_view rawOf(std::size_t field) const noexcept
    {
        return { bytesOf(field), static_cast<std::size_t>(fields()[field].width) };
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
            throw errors::tableCorrupt(path, "short read at offset " + std::to_string(at));
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

    /// Cuts whatever lies beyond the end-of-file mark (a table that shrank is not
    /// possible, but a foreign file may carry trailing bytes).
    void trimFile()
    {
        const std::uint64_t expected = header.recordOffset(count) + 1;
        std::error_code ec;
        if (fs::file_size(path, ec) > expected && !ec)
            fs::resize_file(path, expected, ec);
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

// ---- creation and opening -----------------------------------------------------

DbfTable::DbfTable(std::unique_ptr<Impl> impl)
    : m_impl(std::move(impl))
{
}

DbfTable::DbfTable(DbfTable&&) noexcept = default;
DbfTable& DbfTable::operator=(DbfTable&&) noexcept = default;
DbfTable::~DbfTable() = default;

DbfTable DbfTable::create(const fs::path& dir, std::string_view name, const std::vector<FieldSpec>& fields,
    const std::vector<IndexSpec>& indexes)
{
    auto impl = std::make_unique<Impl>();
    impl->base = tableBaseName(name);
    impl->path = dir / text::pathFromUtf8(impl->base + std::string(kDbfExtension));
    if (!validTableName(impl->base))
        throw errors::invalidDefinition(impl->base, "table name \"" + std::string(name) + "\"");
    DbfHeader header = DbfHeader::define(impl->base, fields);
    impl->productionIndex = ProductionIndex::define(dir, impl->base, header.fields(), indexes);
    for (std::size_t field : impl->productionIndex.indexedFields())
        header.markIndexed(field);
    impl->useHeader(std::move(header));

    std::error_code ec;
    if (!fs::is_directory(dir, ec))
        throw errors::folderMissing(impl->base, dir);
    // A table in use elsewhere is never replaced under its reader.
    for (const auto& existing : tableFileVariants(dir, impl->base, kDbfExtension)) {
        std::unique_ptr<platform::FileLock> probe;
        try {
            probe = platform::FileLock::tryLock(existing, platform::FileLock::Mode::Exclusive);
        } catch (const Error&) {
            continue; // unreadable leftovers are simply replaced
        }
        if (!probe)
            throw errors::createOverTableInUse(impl->base, existing);
    }
    // Every letter-case variant of both files goes, so that the new table is the
    // only one of its name.
    deleteTable(dir, impl->base);
    for (const auto& leftover : tableFileVariants(dir, impl->base, kDbfExtension)) {
        if (fs::exists(leftover, ec))
            throw errors::cannotReplace(impl->base, dir, leftover);
    }

    if (!impl->file.open(impl->path, BlockFile::Mode::Create, kTableFileErrors))
        throw errors::cannotCreate(impl->base, dir, impl->path);
    impl->lock = platform::FileLock::tryLock(impl->path, platform::FileLock::Mode::Exclusive);
    if (!impl->lock)
        throw errors::createOverTableInUse(impl->base, impl->path);
    try {
        // The new files form a valid empty table from the start.
        const auto& bytes = impl->header.bytes();
        impl->file.write(0, reinterpret_cast<const char*>(bytes.data()), bytes.size());
        bool headerSent = false;
        impl->writeTrailer(headerSent);
        impl->productionIndex.write(impl->base, kLanguageDriverWindowsAnsi);
    } catch (const Error&) {
        // Half a table is no table: the old one is gone already, so none is left.
        impl->file.close();
        impl->lock.reset();
        fs::remove(impl->path, ec);
        impl->productionIndex.removeFile();
        throw;
    }
    impl->load(0);
    return DbfTable(std::move(impl));
}

DbfTable DbfTable::open(const fs::path& dir, std::string_view name, Access access)
{
    auto impl = std::make_unique<Impl>();
    impl->base = tableBaseName(name);
    if (!validTableName(impl->base))
        throw errors::invalidTableName(name);
    auto found = findTableFile(dir, impl->base, kDbfExtension);
    if (!found)
        throw errors::tableNotFound(dir, impl->base);
    impl->path = *found;
    impl->lock = platform::FileLock::tryLock(impl->path,
        access == Access::Exclusive ? platform::FileLock::Mode::Exclusive : platform::FileLock::Mode::Shared);
    if (!impl->lock)
        throw errors::tableInUse(impl->base, impl->path, access == Access::Exclusive);
    if (!impl->file.open(impl->path, BlockFile::Mode::Update, kTableFileErrors))
        throw errors::tableUnreadable(impl->path);
    std::error_code ec;
    std::uint64_t size = fs::file_size(impl->path, ec);
    if (ec)
        throw errors::tableUnreadable(impl->path);
    impl->useHeader(DbfHeader::read(impl->file, size, impl->path));
    impl->productionIndex = ProductionIndex::attach(
        impl->header.productionIndex(), findTableFile(dir, impl->base, kMdxExtension));
    impl->seekLive(0);
    return DbfTable(std::move(impl));
}

// ---- the handle ----------------------------------------------------------------

namespace {
[[noreturn]] void throwClosed()
{
    throw errors::tableClosed();
}

DbfTable::Impl& opened(const std::unique_ptr<DbfTable::Impl>& impl)
{
    if (!impl || !impl->file.isOpen())
        throwClosed();
    return *impl;
}

DbfTable::Impl& opened(const std::unique_ptr<DbfTable::Impl>& impl, std::size_t field)
{
    DbfTable::Impl& d = opened(impl);
    if (field >= d.fields().size())
        throw errors::fieldIndexOutOfRange(d.path, field);
    return d;
}
} // namespace

void DbfTable::close()
{
    if (m_impl)
        m_impl->close();
}

bool DbfTable::isOpen() const noexcept
{
    return m_impl && m_impl->file.isOpen();
}

const fs::path& DbfTable::path() const noexcept
{
    static const fs::path none;
    return m_impl ? m_impl->path : none;
}

const std::vector<FieldInfo>& DbfTable::fields() const noexcept
{
    static const std::vector<FieldInfo> none;
    return m_impl ? m_impl->fields() : none;
}

std::size_t DbfTable::fieldIndex(std::string_view name) const
{
    if (!m_impl)
        throwClosed();
    const auto& fields = m_impl->fields();
    for (std::size_t i = 0; i < fields.size(); ++i) {
        if (text::equalsIgnoringAsciiCase(fields[i].name, name))
            return i;
    }
    throw errors::fieldNotFound(m_impl->path, name);
}

bool DbfTable::hasField(std::string_view name) const noexcept
{
    if (!m_impl)
        return false;
    return std::any_of(m_impl->fields().begin(), m_impl->fields().end(),
        [&](const FieldInfo& f) { return text::equalsIgnoringAsciiCase(f.name, name); });
}

std::uint32_t DbfTable::recordCount() const noexcept
{
    return m_impl ? m_impl->count : 0;
}

void DbfTable::first()
{
    Impl& d = opened(m_impl);
    d.finishPending();
    d.seekLive(0);
}

void DbfTable::next()
{
    Impl& d = opened(m_impl);
    d.finishPending();
    if (!d.atEof)
        d.seekLive(d.current + 1);
}

bool DbfTable::eof() const noexcept
{
    return !m_impl || !m_impl->file.isOpen() || m_impl->atEof;
}

std::uint32_t DbfTable::recordNumber() const noexcept
{
    return (!m_impl || !m_impl->file.isOpen() || m_impl->atEof) ? 0 : m_impl->current + 1;
}

// ---- reading -------------------------------------------------------------------

std::string DbfTable::text(std::size_t field) const
{
    Impl& d = opened(m_impl, field);
    const FieldInfo& f = d.fields()[field];
    const char* bytes = d.record.data() + 1 + f.offset;
    std::string_view raw(bytes, static_cast<std::size_t>(f.width));
    const auto* ubytes = reinterpret_cast<const unsigned char*>(bytes);
    switch (d.encoding(field)) {
    case Encoding::Text:
        return std::string(codec::trimRight(raw));
    case Encoding::Decimal: {
        auto t = codec::trim(raw);
        if (t.empty())
            return {};
        if (!codec::isNumberText(t))
            throw d.badValue(field, raw);
        return codec::canonicalNumberText(t);
    }
    case Encoding::Logical:
        switch (raw[0]) {
        case 'T':
        case 't':
        case 'Y':
        case 'y':
            return "T";
        case 'F':
        case 'f':
        case 'N':
        case 'n':
            return "F";
        default:
            return {};
        }
    case Encoding::Date:
        return std::string(codec::trim(raw));
    case Encoding::Int32LittleEndian:
    case Encoding::Int32Level7: {
        auto v = codec::decodeInteger(d.encoding(field), ubytes);
        return v ? std::to_string(*v) : std::string();
    }
    case Encoding::DoubleLittleEndian:
    case Encoding::DoubleLevel7:
    case Encoding::CurrencyLittleEndian: {
        auto v = codec::decodeDouble(d.encoding(field), ubytes);
        if (!v)
            return {};
        char buffer[64];
        auto r = std::to_chars(buffer, buffer + sizeof buffer, *v);
        return std::string(buffer, r.ptr);
    }
    case Encoding::Opaque:
        return {};
    }
    return {};
}

double DbfTable::number(std::size_t field) const
{
    Impl& d = opened(m_impl, field);
    const FieldInfo& f = d.fields()[field];
    const char* bytes = d.record.data() + 1 + f.offset;
    std::string_view raw(bytes, static_cast<std::size_t>(f.width));
    switch (d.encoding(field)) {
    case Encoding::Text:
    case Encoding::Decimal:
    case Encoding::Date: {
        auto t = codec::trim(raw);
        if (t.empty())
            return 0;
        if (!codec::isNumberText(t)) {
            if (d.encoding(field) == Encoding::Text)
                throw errors::notANumber(d.path, d.current + 1, f, t);
            throw d.badValue(field, raw);
        }
        return codec::parseNumber(t);
    }
    case Encoding::Logical:
        throw d.wrongKind(field, "number()");
    case Encoding::Int32LittleEndian:
    case Encoding::Int32Level7: {
        auto v = codec::decodeInteger(d.encoding(field), reinterpret_cast<const unsigned char*>(bytes));
        return v ? static_cast<double>(*v) : 0.0;
    }
    case Encoding::DoubleLittleEndian:
    case Encoding::DoubleLevel7:
    case Encoding::CurrencyLittleEndian:
        return codec::decodeDouble(d.encoding(field), reinterpret_cast<const unsigned char*>(bytes))
            .value_or(0.0);
    case Encoding::Opaque:
        return 0;
    }
    return 0;
}

std::int64_t DbfTable::integer(std::size_t field) const
{
    Impl& d = opened(m_impl, field);
    const FieldInfo& f = d.fields()[field];
    const char* bytes = d.record.data() + 1 + f.offset;
    std::string_view raw(bytes, static_cast<std::size_t>(f.width));
    auto tooLarge
        = [&](std::string_view shown) { return errors::numberTooLarge(d.path, d.current + 1, f, shown); };
    switch (d.encoding(field)) {
    case Encoding::Text:
    case Encoding::Decimal:
    case Encoding::Date: {
        auto t = codec::trim(raw);
        if (t.empty())
            return 0;
        if (!codec::isNumberText(t))
            (void)number(field); // reports the bad value
        auto v = codec::parseWholePart(t);
        if (!v)
            throw tooLarge(t);
        return *v;
    }
    case Encoding::Int32LittleEndian:
    case Encoding::Int32Level7:
        return codec::decodeInteger(d.encoding(field), reinterpret_cast<const unsigned char*>(bytes))
            .value_or(0);
    case Encoding::DoubleLittleEndian:
    case Encoding::DoubleLevel7:
    case Encoding::CurrencyLittleEndian: {
        double v
            = std::trunc(codec::decodeDouble(d.encoding(field), reinterpret_cast<const unsigned char*>(bytes))
                             .value_or(0.0));
        if (!(v >= -9223372036854775808.0 && v < 9223372036854775808.0))
            throw tooLarge(text(field));
        return static_cast<std::int64_t>(v);
    }
    case Encoding::Logical:
        throw d.wrongKind(field, "integer()");
    case Encoding::Opaque:
        return 0;
    }
    return 0;
}

bool DbfTable::logical(std::size_t field) const
{
    Impl& d = opened(m_impl, field);
    const FieldInfo& f = d.fields()[field];
    const char* bytes = d.record.data() + 1 + f.offset;
    switch (d.encoding(field)) {
    case Encoding::Int32LittleEndian:
    case Encoding::Int32Level7:
    case Encoding::DoubleLittleEndian:
    case Encoding::DoubleLevel7:
    case Encoding::CurrencyLittleEndian:
        return number(field) != 0;
    case Encoding::Opaque:
        return false;
    default: {
        auto t = codec::trim(std::string_view(bytes, static_cast<std::size_t>(f.width)));
        return !t.empty() && (t[0] == 'T' || t[0] == 't' || t[0] == 'Y' || t[0] == 'y');
    }
    }
}

bool DbfTable::isBlank(std::size_t field) const
{
    Impl& d = opened(m_impl, field);
    const FieldInfo& f = d.fields()[field];
    const char* bytes = d.record.data() + 1 + f.offset;
    return std::all_of(bytes, bytes + f.width, [](char c) { return c == ' ' || c == '\0'; });
}

// ---- writing -------------------------------------------------------------------

void DbfTable::append()
{
    Impl& d = opened(m_impl);
    d.finishPending();
    d.beginChange();
    d.record = d.blank;
    d.state = Impl::State::Append;
}

void DbfTable::edit()
{
    Impl& d = opened(m_impl);
    d.finishPending();
    if (d.atEof)
        throw errors::noCurrentRecord(d.path);
    d.beginChange();
    d.state = Impl::State::Edit;
}

void DbfTable::setText(std::size_t field, std::string_view value)
{
    Impl& d = opened(m_impl, field);
    char* out = d.fieldForWrite(field);
    const FieldInfo& f = d.fields()[field];
    const auto width = static_cast<std::size_t>(f.width);
    switch (d.encoding(field)) {
    case Encoding::Text:
    case Encoding::Date: {
        std::size_t n = std::min(value.size(), width);
        if (n != 0) // an empty string_view may carry a null pointer
            std::memcpy(out, value.data(), n);
        std::memset(out + n, ' ', width - n);
        return;
    }
    case Encoding::Decimal: {
        auto t = codec::trim(value);
        if (t.empty()) {
            std::memset(out, ' ', width);
            return;
        }
        if (!codec::isNumberText(t))
            throw d.doesNotFit(field, value);
        bool whole = t.find_first_of(".eE") == std::string_view::npos;
        if (auto v = whole ? codec::parseWholePart(t) : std::nullopt) {
            if (!codec::formatWhole(*v, f.width, f.decimals, out))
                throw d.doesNotFit(field, value);
        } else if (!codec::formatNumber(codec::parseNumber(t), f.width, f.decimals, out)) {
            throw d.doesNotFit(field, value);
        }
        return;
    }
    case Encoding::Logical: {
        auto t = codec::trim(value);
        if (t.empty())
            out[0] = ' ';
        else if (t[0] == 'T' || t[0] == 't' || t[0] == 'Y' || t[0] == 'y')
            out[0] = 'T';
        else if (t[0] == 'F' || t[0] == 'f' || t[0] == 'N' || t[0] == 'n')
            out[0] = 'F';
        else
            throw d.doesNotFit(field, value);
        return;
    }
    default:
        throw d.unsupportedWrite(field);
    }
}

void DbfTable::setInteger(std::size_t field, std::int64_t value)
{
    Impl& d = opened(m_impl, field);
    char* out = d.fieldForWrite(field);
    const FieldInfo& f = d.fields()[field];
    switch (d.encoding(field)) {
    case Encoding::Decimal:
        if (!codec::formatWhole(value, f.width, f.decimals, out))
            throw d.doesNotFit(field, std::to_string(value));
        return;
    case Encoding::Text: {
        // Digits are never cut: a shortened number would be a different number.
        std::string digits = std::to_string(value);
        if (digits.size() > static_cast<std::size_t>(f.width))
            throw d.doesNotFit(field, digits);
        setText(field, digits);
        return;
    }
    case Encoding::Logical:
        throw d.wrongKind(field, "setInteger()");
    default:
        throw d.unsupportedWrite(field);
    }
}

void DbfTable::setNumber(std::size_t field, double value)
{
    Impl& d = opened(m_impl, field);
    char* out = d.fieldForWrite(field);
    const FieldInfo& f = d.fields()[field];
    auto shown = [&] {
        char buffer[64];
        auto r = std::to_chars(buffer, buffer + sizeof buffer, value);
        return std::string(buffer, r.ptr);
    };
    switch (d.encoding(field)) {
    case Encoding::Decimal:
        if (!codec::formatNumber(value, f.width, f.decimals, out))
            throw d.doesNotFit(field, shown());
        return;
    case Encoding::Text: {
        std::string digits = shown();
        if (!std::isfinite(value) || digits.size() > static_cast<std::size_t>(f.width))
            throw d.doesNotFit(field, digits);
        setText(field, digits);
        return;
    }
    case Encoding::Logical:
        throw d.wrongKind(field, "setNumber()");
    default:
        throw d.unsupportedWrite(field);
    }
}

void DbfTable::setLogical(std::size_t field, bool value)
{
    Impl& d = opened(m_impl, field);
    char* out = d.fieldForWrite(field);
    if (d.encoding(field) != Encoding::Logical)
        throw d.wrongKind(field, "setLogical()");
    out[0] = value ? 'T' : 'F';
}

void DbfTable::setBlank(std::size_t field)
{
    Impl& d = opened(m_impl, field);
    char* out = d.fieldForWrite(field);
    const FieldInfo& f = d.fields()[field];
    std::memcpy(out, d.blank.data() + 1 + f.offset, static_cast<std::size_t>(f.width));
}

void DbfTable::post()
{
    Impl& d = opened(m_impl);
    d.post();
}

} // namespace tramazel::dbf
