// SPDX-License-Identifier: GPL-3.0-or-later
// Whole-table passes over stored records, for readers that keep few of them.
#include "DbfTable.h"

#include "DbfTableImpl.h"

#include <algorithm>
#include <cstring>

namespace tramazel::dbf {

bool DbfTable::skimRuns(bool fromStart, RunTest test, void* context)
{
    Impl& d = opened(m_impl);
    d.finishPending();
    std::uint32_t index = fromStart ? 0 : (d.atEof ? d.count : d.current + 1);
    const std::size_t length = d.record.size();
    while (index < d.count) {
        const std::uint64_t at = d.header.recordOffset(index);
        const char* bytes = d.file.peek(at, length);
        if (!bytes)
            throw errors::tableCutShort(d.path, at);
        // Every whole record the read block holds from here on, at least this one.
        const std::size_t count = std::min<std::size_t>(d.file.peekedLength(at) / length, d.count - index);
        const std::size_t accepted = test(bytes, count, length, context);
        if (accepted == count) {
            index += static_cast<std::uint32_t>(count);
            continue;
        }
        std::memcpy(d.record.data(), bytes + accepted * length, length);
        d.current = index + static_cast<std::uint32_t>(accepted);
        d.atEof = false;
        return true;
    }
    d.load(d.count);
    return false;
}

bool DbfTable::readsAsStored(std::size_t field) const
{
    return opened(m_impl, field).plainText[field] != 0;
}

std::string_view DbfTable::storedText(const char* record, std::size_t field) const
{
    const FieldInfo& f = m_impl->fields()[field];
    return detail::trimmedText(record + 1 + f.offset, static_cast<std::size_t>(f.width));
}

StoredField DbfTable::storedField(std::size_t field) const
{
    const FieldInfo& f = opened(m_impl, field).fields()[field];
    return StoredField { 1 + static_cast<std::size_t>(f.offset), static_cast<std::size_t>(f.width) };
}

} // namespace tramazel::dbf
