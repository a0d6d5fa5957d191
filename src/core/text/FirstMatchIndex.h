// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <deque>
#include <functional>
#include <span>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace tramazel::text {

/// The lookup between tables: maps a key text to the first row (in the order rows
/// were added) whose key equals it exactly, letter case included. Built once per
/// table in one pass; each lookup is constant time.
///
/// Large indexes are looked up in no particular order, so the layout keeps what a
/// lookup touches small and dense: an open-addressed table of row numbers, each
/// beside part of its key's hash, then the row's key head (its first bytes and its
/// length, which hold the whole of a key of up to kHeadBytes bytes), then its value.
/// The full key is read only for longer keys. Values keep their address while rows
/// are added.
template <typename Value> class FirstMatchIndex {
public:
    /// Keys of up to this many bytes are compared in their head alone.
    static constexpr std::size_t kHeadBytes = 15;

    /// Records `value` under `key` unless an earlier row already holds that key.
    /// True when it was recorded.
    bool add(std::string_view key, Value value)
    {
        if (m_slots.empty() || 2 * (m_values.size() + 1) > m_slots.size())
            grow(std::max<std::size_t>(16, 2 * m_slots.size()));
        const Head head = headOf(key);
        const std::uint64_t hash = hashOf(key, head);
        std::size_t at = static_cast<std::size_t>(hash) & (m_slots.size() - 1);
        for (;; at = (at + 1) & (m_slots.size() - 1)) {
            const Slot slot = m_slots[at];
            if (slot.row == 0)
                break;
            if (slot.hashTag == tagOf(hash) && sameKey(slot.row - 1, head, key))
                return false;
        }
        m_heads.push_back(head);
        m_hashes.push_back(hash);
        m_keys.emplace_back(key);
        m_values.push_back(std::move(value));
        m_slots[at] = Slot { tagOf(hash), static_cast<std::uint32_t>(m_values.size()) };
        return true;
    }

    /// The value of the first row whose key equals `key`, or nullptr.
    const Value* find(std::string_view key) const
    {
        if (m_slots.empty())
            return nullptr;
        const Head head = headOf(key);
        const std::uint64_t hash = hashOf(key, head);
        for (std::size_t at = static_cast<std::size_t>(hash) & (m_slots.size() - 1);;
             at = (at + 1) & (m_slots.size() - 1)) {
            const Slot slot = m_slots[at];
            if (slot.row == 0)
                return nullptr;
            if (slot.hashTag == tagOf(hash) && sameKey(slot.row - 1, head, key))
                return &m_values[slot.row - 1];
        }
    }

    /// What find() gives for each of `keys`, into `values` (as long as `keys`): the same
    /// as one find() after another, but faster on a large index looked up in no
    /// particular order, as the memory reads of several lookups overlap.
    void findAll(std::span<const std::string_view> keys, std::span<const Value*> values) const
    {
        constexpr std::size_t kTogether = 16;
        constexpr std::size_t kNone = static_cast<std::size_t>(-1);
        if (m_slots.empty()) {
            std::fill(values.begin(), values.begin() + static_cast<std::ptrdiff_t>(keys.size()), nullptr);
            return;
        }
        const std::size_t mask = m_slots.size() - 1;
        for (std::size_t start = 0; start < keys.size(); start += kTogether) {
            const std::size_t n = std::min(kTogether, keys.size() - start);
            Head heads[kTogether];
            std::uint64_t hashes[kTogether];
            std::size_t rows[kTogether];
            // First every key's slot is asked for, then every candidate row's head and
            // value, and only then is anything compared.
            for (std::size_t i = 0; i < n; ++i) {
                heads[i] = headOf(keys[start + i]);
                hashes[i] = hashOf(keys[start + i], heads[i]);
                prefetch(&m_slots[static_cast<std::size_t>(hashes[i]) & mask]);
            }
            for (std::size_t i = 0; i < n; ++i) {
                rows[i] = kNone;
                for (std::size_t at = static_cast<std::size_t>(hashes[i]) & mask; m_slots[at].row != 0;
                     at = (at + 1) & mask) {
                    if (m_slots[at].hashTag == tagOf(hashes[i])) {
                        rows[i] = m_slots[at].row - 1;
                        prefetch(&m_heads[rows[i]]);
                        prefetch(&m_values[rows[i]]);
                        break;
                    }
                }
            }
            for (std::size_t i = 0; i < n; ++i) {
                const std::string_view key = keys[start + i];
                if (rows[i] == kNone)
                    values[start + i] = nullptr;
                else if (sameKey(rows[i], heads[i], key))
                    values[start + i] = &m_values[rows[i]];
                else // another key with the same tag: the plain search goes on past it
                    values[start + i] = find(key);
            }
        }
    }

    std::size_t size() const noexcept { return m_values.size(); }
    /// Reads the whole index in address order, so that lookups in no particular order
    /// find it in the processor's caches: after a long pass over other data, reading it
    /// in order costs less than a wait for memory on each lookup. Returns a sum of what
    /// it read, for the caller to keep the reads from being left out.
    std::uint64_t bringIntoCache() const noexcept
    {
        std::uint64_t sum = 0;
        for (const Slot& slot : m_slots)
            sum += slot.row;
        for (const Head& head : m_heads)
            sum += head.low;
        for (const Value& value : m_values)
            sum += *reinterpret_cast<const unsigned char*>(&value);
        return sum;
    }
    /// Forgets every row.
    void clear() noexcept
    {
        m_slots.clear();
        m_heads.clear();
        m_hashes.clear();
        m_keys.clear();
        m_values.clear();
    }
    void reserve(std::size_t n)
    {
        std::size_t want = 16;
        while (want < 2 * n)
            want *= 2;
        if (want > m_slots.size())
            grow(want);
        m_heads.reserve(n);
        m_hashes.reserve(n);
    }

private:
    struct Slot {
        std::uint32_t hashTag = 0;
        std::uint32_t row = 0; ///< 1-based; 0 marks a free slot
    };
    /// A key's first kHeadBytes bytes (zero beyond the key), then its length, or
    /// kHeadBytes + 1 for any longer key.
    struct Head {
        std::uint64_t low = 0;
        std::uint64_t high = 0;
        bool operator==(const Head&) const = default;
    };

    static Head headOf(std::string_view key) noexcept
    {
        const std::size_t n = key.size();
        if constexpr (std::endian::native == std::endian::little) {
            // The same words from at most two loads each, overlapping where the key is
            // short, instead of a copy through memory that the loads would wait for.
            const char* p = key.data();
            Head head;
            if (n >= 8) {
                head.low = load<std::uint64_t>(p);
                if (n > kHeadBytes)
                    head.high = load<std::uint64_t>(p + 8) & 0x00FFFFFFFFFFFFFFu;
                else if (n > 8)
                    head.high = load<std::uint64_t>(p + n - 8) >> (8 * (16 - n));
            } else if (n >= 4) {
                head.low
                    = load<std::uint32_t>(p) | std::uint64_t(load<std::uint32_t>(p + n - 4)) << (8 * (n - 4));
            } else if (n > 0) {
                head.low = std::uint64_t(static_cast<unsigned char>(p[0]))
                    | std::uint64_t(static_cast<unsigned char>(p[n / 2])) << (8 * (n / 2))
                    | std::uint64_t(static_cast<unsigned char>(p[n - 1])) << (8 * (n - 1));
            }
            head.high |= std::uint64_t(std::min(n, kHeadBytes + 1)) << 56;
            return head;
        }
        unsigned char bytes[16] = {};
        if (n != 0)
            std::memcpy(bytes, key.data(), std::min(n, kHeadBytes));
        bytes[15] = static_cast<unsigned char>(std::min(n, kHeadBytes + 1));
        Head head;
        std::memcpy(&head.low, bytes, 8);
        std::memcpy(&head.high, bytes + 8, 8);
        return head;
    }
    template <typename Word> static Word load(const char* p) noexcept
    {
        Word w;
        std::memcpy(&w, p, sizeof w);
        return w;
    }
    static std::uint64_t hashOf(std::string_view key, const Head& head) noexcept
    {
        if (key.size() > kHeadBytes)
            return std::hash<std::string_view> {}(key);
        // A short key is all in its head: mix its two words.
        std::uint64_t x = head.low * 0x9E3779B97F4A7C15u ^ head.high;
        x ^= x >> 32;
        x *= 0xD6E8FEB86659FD93u;
        x ^= x >> 32;
        return x;
    }
    static std::uint32_t tagOf(std::uint64_t hash) noexcept { return static_cast<std::uint32_t>(hash >> 32); }
    static void prefetch(const void* address) noexcept
    {
#if defined(__GNUC__) || defined(__clang__)
        __builtin_prefetch(address);
#else
        (void)address;
#endif
    }

    bool sameKey(std::size_t row, const Head& head, std::string_view key) const
    {
        if (!(m_heads[row] == head))
            return false;
        return key.size() <= kHeadBytes || m_keys[row] == key;
    }

    /// Rebuilds the slots at `capacity` (a power of two) from the rows.
    void grow(std::size_t capacity)
    {
        m_slots.assign(capacity, Slot {});
        for (std::size_t r = 0; r < m_hashes.size(); ++r) {
            std::size_t at = static_cast<std::size_t>(m_hashes[r]) & (capacity - 1);
            while (m_slots[at].row != 0)
                at = (at + 1) & (capacity - 1);
            m_slots[at] = Slot { tagOf(m_hashes[r]), static_cast<std::uint32_t>(r + 1) };
        }
    }

    std::vector<Slot> m_slots;
    std::vector<Head> m_heads; ///< per row
    std::vector<std::uint64_t> m_hashes; ///< per row, for growing
    std::deque<std::string> m_keys; ///< per row, read only for long keys
    std::deque<Value> m_values; ///< per row
};

/// Keys gathered from a table to be looked up together (FirstMatchIndex::findAll):
/// copies of the texts, so that they outlive the record they were read from.
class KeyBatch {
public:
    /// Adds a copy of `key` after the others.
    void add(std::string_view key)
    {
        m_bytes.append(key);
        m_ends.push_back(m_bytes.size());
    }
    /// Number of keys added since the last clear().
    std::size_t size() const noexcept { return m_ends.size(); }
    /// Views of the keys, in the order they were added; valid until the next add or clear.
    std::span<const std::string_view> keys()
    {
        m_views.clear();
        std::size_t begin = 0;
        for (std::size_t end : m_ends) {
            m_views.emplace_back(m_bytes.data() + begin, end - begin);
            begin = end;
        }
        return m_views;
    }
    /// Forgets every key, keeping the memory for the next batch.
    void clear() noexcept
    {
        m_bytes.clear();
        m_ends.clear();
        m_views.clear();
    }

private:
    std::string m_bytes;
    std::vector<std::size_t> m_ends;
    std::vector<std::string_view> m_views;
};

} // namespace tramazel::text
