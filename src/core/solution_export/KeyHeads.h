// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "dbf/DbfTable.h"

#include <algorithm>
#include <bit>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string_view>
#include <vector>

/// A quick first test of a lookup table's records: whether a record's key may be one
/// of those still missing, judged on one word read from the record's bytes, before
/// the key itself is trimmed and looked up.
namespace tramazel::solution_export {

/// A key's first eight bytes as one word, blanks after the key and NULs read as
/// blanks. A stored field whose text (without its padding) is `key` gives the same
/// word (StoredKeyHead), so a test on words never turns away a record that holds a
/// key; different keys may share a word.
inline std::uint64_t keyHead(std::string_view key) noexcept
{
    unsigned char bytes[8];
    std::memset(bytes, ' ', sizeof bytes);
    if (!key.empty())
        std::memcpy(bytes, key.data(), std::min(key.size(), sizeof bytes));
    std::replace(bytes, bytes + sizeof bytes, static_cast<unsigned char>(0), static_cast<unsigned char>(' '));
    std::uint64_t word = 0;
    std::memcpy(&word, bytes, sizeof word);
    return word;
}

/// Reads keyHead() of a Character field's text straight from a record's bytes, with
/// one load of eight bytes where the record is long enough to hold them.
class StoredKeyHead {
public:
    /// `field` is where the key lies in records of `recordLength` bytes.
    StoredKeyHead(const dbf::StoredField& field, std::size_t recordLength) noexcept
        : m_field(field)
    {
        const std::size_t width = std::min<std::size_t>(field.width, 8);
        if (recordLength < 8 || field.offset + field.width > recordLength) {
            m_short = true;
            return;
        }
        // The eight bytes loaded end at the record's end at the latest: a record at the
        // end of a read block has nothing readable after it.
        const std::size_t before = field.offset + 8 > recordLength ? field.offset + 8 - recordLength : 0;
        m_loadAt = field.offset - before;
        m_shift = static_cast<unsigned>(8 * before);
        m_mask = ~std::uint64_t(0);
        if (width < 8) {
            if constexpr (std::endian::native == std::endian::big)
                m_mask = ~(m_mask >> (8 * width));
            else
                m_mask = (std::uint64_t(1) << (8 * width)) - 1;
        }
    }

    std::uint64_t operator()(const char* record) const noexcept
    {
        if (m_short)
            return keyHead(m_field.text(record));
        std::uint64_t word = 0;
        std::memcpy(&word, record + m_loadAt, sizeof word);
        // The key's bytes moved to the word's start, the bytes after them cleared.
        if constexpr (std::endian::native == std::endian::big)
            word = (word << m_shift) & m_mask;
        else
            word = (word >> m_shift) & m_mask;
        // Every zero byte (padding, or bytes beyond the field) becomes a blank.
        constexpr std::uint64_t kLow7 = 0x7F7F7F7F7F7F7F7Fu;
        const std::uint64_t nonZero = ((word & kLow7) + kLow7) | word;
        return word | ((~nonZero & 0x8080808080808080u) >> 2);
    }

private:
    dbf::StoredField m_field;
    std::size_t m_loadAt = 0;
    unsigned m_shift = 0;
    std::uint64_t m_mask = 0;
    bool m_short = false; // a record too short for one load: the key is read as text
};

/// How many keys still missing share each hash of their heads. A count of 0 turns a
/// record away without its key being looked up; the counts are kept in a table small
/// enough to stay in cache.
class MissingKeys {
public:
    /// Sized for `heads`, the keyHead() of every key wanted, and counting each of them.
    explicit MissingKeys(const std::vector<std::uint64_t>& heads)
    {
        unsigned bits = 6;
        while (bits < kMaxBits && (std::size_t(1) << bits) < 8 * heads.size())
            ++bits;
        m_shift = 64 - bits;
        m_counts.assign(std::size_t(1) << bits, 0);
        for (const std::uint64_t head : heads) {
            std::uint8_t& count = m_counts[bucketOf(head)];
            if (count != kFull)
                ++count;
        }
    }
    MissingKeys()
        : MissingKeys(std::vector<std::uint64_t> {})
    {
    }

    /// False when no key still missing has this head; true may be wrong.
    bool mayHold(std::uint64_t head) const noexcept { return m_counts[bucketOf(head)] != 0; }
    /// One key with this head is missing no more.
    void found(std::uint64_t head) noexcept
    {
        std::uint8_t& count = m_counts[bucketOf(head)];
        if (count != kFull)
            --count;
    }

private:
    static constexpr unsigned kMaxBits = 16;
    // A count that reached this stays: it no longer knows how many keys it stands for,
    // so it keeps saying they may be there.
    static constexpr std::uint8_t kFull = 255;

    std::size_t bucketOf(std::uint64_t head) const noexcept
    {
        // Keys differ mostly in their first bytes, the word's low ones: the multiplication
        // carries them into the high bits kept.
        return static_cast<std::size_t>(((head ^ (head >> 31)) * 0x9E3779B97F4A7C15u) >> m_shift);
    }

    std::vector<std::uint8_t> m_counts; // one byte each, so that the table stays in cache
    unsigned m_shift = 64;
};

} // namespace tramazel::solution_export
