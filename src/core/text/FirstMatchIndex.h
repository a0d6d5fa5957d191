// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <deque>
#include <functional>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tramazel::text {

/// The lookup between tables: maps a key text to the first row (in the order rows
/// were added) whose key equals it exactly, letter case included. Built once per
/// table in one pass; each lookup is constant time.
///
/// The rows live in insertion order; an open-addressed table of row numbers, each
/// beside part of its key's hash, finds them. A lookup reads one small slot and
/// compares a key only when the hashes agree, so large indexes stay cache-friendly.
/// Values keep their address while rows are added.
template <typename Value> class FirstMatchIndex {
public:
    /// Records `value` under `key` unless an earlier row already holds that key.
    void add(std::string_view key, Value value)
    {
        const std::size_t hash = hashOf(key);
        if (m_slots.empty() || 2 * (m_rows.size() + 1) > m_slots.size())
            grow(std::max<std::size_t>(16, 2 * m_slots.size()));
        std::size_t at = hash & (m_slots.size() - 1);
        for (;; at = (at + 1) & (m_slots.size() - 1)) {
            const Slot slot = m_slots[at];
            if (slot.row == 0)
                break;
            if (slot.hashTag == tagOf(hash) && m_rows[slot.row - 1].key == key)
                return;
        }
        m_rows.push_back(Row { hash, std::string(key), std::move(value) });
        m_slots[at] = Slot { tagOf(hash), static_cast<std::uint32_t>(m_rows.size()) };
    }

    /// The value of the first row whose key equals `key`, or nullptr.
    const Value* find(std::string_view key) const
    {
        if (m_slots.empty())
            return nullptr;
        const std::size_t hash = hashOf(key);
        for (std::size_t at = hash & (m_slots.size() - 1);; at = (at + 1) & (m_slots.size() - 1)) {
            const Slot slot = m_slots[at];
            if (slot.row == 0)
                return nullptr;
            if (slot.hashTag == tagOf(hash)) {
                const Row& row = m_rows[slot.row - 1];
                if (row.key == key)
                    return &row.value;
            }
        }
    }

    std::size_t size() const noexcept { return m_rows.size(); }
    /// Forgets every row.
    void clear() noexcept
    {
        m_rows.clear();
        m_slots.clear();
    }
    void reserve(std::size_t n)
    {
        std::size_t want = 16;
        while (want < 2 * n)
            want *= 2;
        if (want > m_slots.size())
            grow(want);
    }

private:
    struct Row {
        std::size_t hash;
        std::string key;
        Value value;
    };
    struct Slot {
        std::uint32_t hashTag = 0;
        std::uint32_t row = 0; ///< 1-based; 0 marks a free slot
    };

    static std::size_t hashOf(std::string_view key) noexcept { return std::hash<std::string_view> {}(key); }
    static std::uint32_t tagOf(std::size_t hash) noexcept
    {
        return static_cast<std::uint32_t>(static_cast<std::uint64_t>(hash) >> 32);
    }

    /// Rebuilds the slots at `capacity` (a power of two) from the rows.
    void grow(std::size_t capacity)
    {
        m_slots.assign(capacity, Slot {});
        for (std::size_t r = 0; r < m_rows.size(); ++r) {
            std::size_t at = m_rows[r].hash & (capacity - 1);
            while (m_slots[at].row != 0)
                at = (at + 1) & (capacity - 1);
            m_slots[at] = Slot { tagOf(m_rows[r].hash), static_cast<std::uint32_t>(r + 1) };
        }
    }

    std::deque<Row> m_rows;
    std::vector<Slot> m_slots;
};

} // namespace tramazel::text
