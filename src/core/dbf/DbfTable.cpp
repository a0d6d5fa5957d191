// SPDX-License-Identifier: GPL-3.0-or-later
#include "DbfTable.h"

#include "DbfTableImpl.h"
#include "Error.h"
#include "RecordImage.h"
#include "TableFiles.h"
#include "platform/Platform.h"
#include "text/Ascii.h"
#include "text/PathText.h"

#include <algorithm>
#include <system_error>

namespace tramazel::dbf {

namespace fs = std::filesystem;

namespace {

bool validTableName(std::string_view base)
{
    if (base.empty() || base == "." || base == "..")
        return false;
    return base.find_first_of(std::string_view("/\\:\0", 4)) == std::string_view::npos;
}

constexpr BlockFile::Errors kTableFileErrors { errors::tableUnreadable, errors::tableUnwritable };

} // namespace

// ---- creation and opening -----------------------------------------------------

DbfTable::DbfTable(std::unique_ptr<Impl> impl)
    : m_impl(std::move(impl))
{
}

DbfTable::DbfTable(DbfTable&&) noexcept = default;
DbfTable& DbfTable::operator=(DbfTable&&) noexcept = default;
DbfTable::~DbfTable() = default;

DbfTable DbfTable::create(const fs::path& dir, std::string_view name, const std::vector<FieldSpec>& fields,
    const std::vector<IndexSpec>& indexes, const platform::IoHooks* io)
{
    auto impl = std::make_unique<Impl>();
    impl->base = tableBaseName(name);
    impl->path = dir / text::pathFromUtf8(impl->base + std::string(kDbfExtension));
    if (!validTableName(impl->base))
        throw errors::invalidDefinition(impl->base, "table name \"" + std::string(name) + "\"");
    DbfHeader header = DbfHeader::define(impl->base, fields);
    impl->productionIndex = ProductionIndex::define(dir, impl->base, header.fields(), indexes, io);
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

    if (!impl->file.open(impl->path, BlockFile::Mode::Create, kTableFileErrors, io))
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
        if (fs::remove(impl->path, ec))
            noteFileRemoved(impl->path);
        impl->productionIndex.removeFile();
        throw;
    }
    impl->load(0);
    return DbfTable(std::move(impl));
}

DbfTable DbfTable::open(
    const fs::path& dir, std::string_view name, Access access, const platform::IoHooks* io)
{
    auto impl = std::make_unique<Impl>();
    impl->base = tableBaseName(name);
    if (!validTableName(impl->base))
        throw errors::invalidTableName(name);
    auto found = findTableFile(dir, impl->base, kDbfExtension);
    if (!found)
        throw errors::tableNotFound(dir, impl->base);
    impl->path = *found;
    using LockMode = platform::FileLock::Mode;
    const LockMode lockMode = access == Access::Shared ? LockMode::Shared
        : access == Access::Exclusive                  ? LockMode::Exclusive
                                                       : LockMode::ExclusiveNoWrites;
    impl->lock = platform::FileLock::tryLock(impl->path, lockMode);
    if (!impl->lock)
        throw errors::tableInUse(impl->base, impl->path, access != Access::Shared);
    // Where the lock keeps writers out (Windows), a handle of this process opened for
    // writing would be refused as well.
    const BlockFile::Mode fileMode
        = access == Access::ExclusiveRead ? BlockFile::Mode::Read : BlockFile::Mode::Update;
    if (!impl->file.open(impl->path, fileMode, kTableFileErrors, io))
        throw errors::tableUnreadable(impl->path);
    std::error_code ec;
    std::uint64_t size = fs::file_size(impl->path, ec);
    if (ec)
        throw errors::tableUnreadable(impl->path);
    impl->useHeader(DbfHeader::read(impl->file, size, impl->path));
    // The end-of-file mark after the last record is one byte, never a whole record.
    impl->beyondCount = (size - impl->header.recordOffset(impl->count)) / impl->header.recordLength();
    impl->productionIndex = ProductionIndex::attach(
        impl->header.productionIndex(), findTableFile(dir, impl->base, kMdxExtension), io);
    impl->seekLive(0);
    return DbfTable(std::move(impl));
}

// ---- the handle ----------------------------------------------------------------

[[noreturn]] void throwClosed()
{
    throw errors::tableClosed();
}

void throwFieldOutOfRange(const DbfTable::Impl& impl, std::size_t field)
{
    throw errors::fieldIndexOutOfRange(impl.path, field);
}

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

std::uint64_t DbfTable::recordsBeyondCount() const noexcept
{
    return m_impl ? m_impl->beyondCount : 0;
}

std::size_t DbfTable::recordLength() const noexcept
{
    return m_impl ? m_impl->record.size() : 0;
}

std::uint8_t DbfTable::languageDriver() const noexcept
{
    return m_impl ? m_impl->header.languageDriver() : 0;
}

LanguageDriver DbfTable::textCodePage() const noexcept
{
    return m_impl ? m_impl->header.driver() : LanguageDriver {};
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

void DbfTable::post()
{
    Impl& d = opened(m_impl);
    d.post();
}

void DbfTable::appendRecord(const RecordImage& record)
{
    appendRecords(std::span<const char>(record.bytes().data(), record.bytes().size()));
}

void DbfTable::appendRecords(std::span<const char> records)
{
    Impl& d = opened(m_impl);
    const std::size_t length = d.record.size();
    if (records.size() % length != 0)
        throw errors::notWholeRecords(d.path, records.size(), length);
    d.appendRecords(records.data(), records.size() / length);
}

} // namespace tramazel::dbf
