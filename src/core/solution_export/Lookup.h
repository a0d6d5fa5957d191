// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "dbf/DbfTable.h"
#include "solution_export/KeyHeads.h"
#include "text/FirstMatchIndex.h"

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tramazel::solution_export {

/// A lookup table's values by key: the first row in stored order wins, exactly as a
/// scan from the top would. It may be told first which keys SOLUC asks for; then rows
/// with other keys are passed over without reading their values, and the pass ends
/// once every key asked for is found. A count of the keys still missing by a hash of
/// their first bytes (MissingKeys), in a table that stays in cache, turns most rows
/// away before their keys are looked up: those with keys not asked for, and those
/// whose key was found in an earlier row. Where the key field reads as stored, rows
/// are judged on their stored bytes and only those kept are decoded.
template <typename Value> class Lookup {
public:
    /// Only `key` and the other keys wanted so far are kept.
    void want(std::string_view key)
    {
        const std::size_t before = m_slots.size();
        m_slots.add(key, before);
        if (m_slots.size() == before)
            return;
        m_values.emplace_back();
        m_wantedHeads.push_back(keyHead(key));
    }
    /// Every key is kept, those wanted or not.
    void wantAll()
    {
        m_all = true;
        m_wantedHeads = {};
        m_slots.clear();
        m_values.clear();
        m_found = 0;
    }
    bool wantsAll() const noexcept { return m_all; }
    std::size_t wanted() const noexcept { return m_slots.size(); }

    /// Reads the table's rows: `read` gives the values of a row whose key is kept and
    /// not seen before.
    template <typename Read> void fill(dbf::DbfTable& table, std::size_t keyField, Read read)
    {
        if (!m_all) {
            m_missing = MissingKeys(m_wantedHeads);
            m_wantedHeads = {};
        }
        if (table.readsAsStored(keyField)) {
            // Reading such a key cannot fail, so the rows after the last key wanted
            // need not be read at all.
            const dbf::StoredField key = table.storedField(keyField);
            const StoredKeyHead headOf(key, table.recordLength());
            auto keep = [&](const char* record) {
                return (m_all || m_missing.mayHold(headOf(record))) && keepsFound(key.text(record));
            };
            for (bool found = !foundAll() && table.skimTo(true, keep); found;
                 found = !foundAll() && table.skimTo(false, keep))
                store(table.textView(keyField), read(table));
            return;
        }
        // Keys read as numbers or converted from another code page: each is decoded,
        // and a key that cannot be read fails the export whatever SOLUC holds. A
        // converted key keeps the characters cp1252 lacks (DbfTable::keyView), so that
        // two codes differing only in those stay two.
        for (table.first(); !table.eof(); table.next()) {
            const std::string key(table.keyView(keyField));
            if ((m_all || m_missing.mayHold(keyHead(key))) && keepsFound(key))
                store(key, read(table));
        }
    }

    /// What FirstMatchIndex::bringIntoCache() does, for the values as well: one of the
    /// export's cache measures, see LookupCache.h.
    std::uint64_t bringIntoCache() const noexcept
    {
        std::uint64_t sum = m_slots.bringIntoCache();
        for (const std::optional<Value>& value : m_values)
            sum += value.has_value();
        return sum;
    }

    /// The value of the first row whose key equals `key`, or nullptr. An empty key
    /// finds nothing: a session without a teacher (or group, room, subject) must not
    /// be credited to a record whose code came out empty.
    const Value* find(std::string_view key) const
    {
        if (key.empty())
            return nullptr;
        const std::size_t* slot = m_slots.find(key);
        return slot && m_values[*slot] ? &*m_values[*slot] : nullptr;
    }

private:
    // Whether a row with `key`, past the quick test, gives values: a key kept and not
    // met before.
    bool keepsFound(std::string_view key) const
    {
        const std::size_t* slot = m_slots.find(key);
        return slot ? !m_values[*slot] : m_all;
    }

    void store(std::string_view key, Value value)
    {
        if (const std::size_t* slot = m_slots.find(key)) {
            m_values[*slot] = std::move(value);
            if (!m_all)
                m_missing.found(keyHead(key));
        } else {
            m_slots.add(key, m_values.size());
            m_values.emplace_back(std::move(value));
        }
        ++m_found;
    }

    bool foundAll() const noexcept { return !m_all && m_found == m_values.size(); }

    bool m_all = false;
    std::vector<std::uint64_t> m_wantedHeads; // keyHead() of each key wanted, until the fill
    MissingKeys m_missing; // keys wanted and not found yet, during the fill
    text::FirstMatchIndex<std::size_t> m_slots; // key -> its place in m_values
    std::vector<std::optional<Value>> m_values; // empty while a wanted key is not found
    std::size_t m_found = 0;
};

} // namespace tramazel::solution_export
