// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "FirstMatchIndex.h"

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

namespace tramazel::text {

/// The list of codes in use during one builder run: cp1252 texts looked up in
/// constant time, without regard to letter case (see CaseFold.h) or, where asked,
/// byte for byte.
///
/// The codes the tables hold are short: those of up to seven bytes are kept packed
/// with their length in one word of an open-addressed table, so a lookup reads one
/// word and compares no text; longer ones go to a FirstMatchIndex.
class CodeSet {
public:
    enum class LetterCase {
        Ignored, ///< "mat" and "MAT" are the same code
        Significant, ///< codes are equal only byte for byte
    };

    explicit CodeSet(LetterCase letterCase = LetterCase::Ignored)
        : m_letterCase(letterCase)
    {
    }

    /// True when a code equal to `code` is in the set.
    bool contains(std::string_view code) const;
    /// Adds `code`. True when it was not in the set yet; adding a code already present
    /// changes nothing.
    bool add(std::string_view code);
    std::size_t size() const noexcept { return m_shortCount + m_long.size(); }
    void clear() noexcept;

private:
    static constexpr std::size_t kPackedBytes = 7;

    std::uint64_t packed(std::string_view code) const noexcept;
    std::size_t slotOf(std::uint64_t word) const noexcept;

    LetterCase m_letterCase;
    std::vector<std::uint64_t> m_short; ///< packed codes; 0 marks a free slot
    std::size_t m_shortCount = 0;
    FirstMatchIndex<bool> m_long; ///< codes beyond kPackedBytes, as compared
};

} // namespace tramazel::text
