// SPDX-License-Identifier: GPL-3.0-or-later
#include "CodeSet.h"

#include "CaseFold.h"

#include <bit>

namespace tramazel::text {

namespace {
constexpr std::uint64_t kGoldenRatio = 0x9E3779B97F4A7C15u;
} // namespace

std::uint64_t CodeSet::packed(std::string_view code) const noexcept
{
    // The bytes from the lowest up, the length plus one in the top byte: no packed
    // code is 0, not even the empty one.
    std::uint64_t word = std::uint64_t { code.size() + 1 } << 56;
    for (std::size_t i = 0; i < code.size(); ++i) {
        auto byte = static_cast<unsigned char>(code[i]);
        if (m_letterCase == LetterCase::Ignored)
            byte = foldCp1252(byte);
        word |= std::uint64_t { byte } << (8 * i);
    }
    return word;
}

std::size_t CodeSet::slotOf(std::uint64_t word) const noexcept
{
    // Fibonacci hashing: the top bits of the product spread any run of codes.
    const int bits = std::countr_zero(m_short.size());
    return static_cast<std::size_t>((word * kGoldenRatio) >> (64 - bits));
}

bool CodeSet::contains(std::string_view code) const
{
    if (code.size() > kPackedBytes) {
        if (m_letterCase == LetterCase::Significant)
            return m_long.find(code) != nullptr;
        return m_long.find(foldCase(code)) != nullptr;
    }
    if (m_short.empty())
        return false;
    const std::uint64_t word = packed(code);
    for (std::size_t at = slotOf(word);; at = (at + 1) & (m_short.size() - 1)) {
        if (m_short[at] == word)
            return true;
        if (m_short[at] == 0)
            return false;
    }
}

bool CodeSet::add(std::string_view code)
{
    if (code.size() > kPackedBytes) {
        const std::size_t before = m_long.size();
        if (m_letterCase == LetterCase::Significant)
            m_long.add(code, true);
        else
            m_long.add(foldCase(code), true);
        return m_long.size() != before;
    }
    // At most half full, so that probes stay short.
    if (2 * (m_shortCount + 1) > m_short.size()) {
        std::vector<std::uint64_t> old(std::max<std::size_t>(64, 2 * m_short.size()), 0);
        old.swap(m_short);
        for (std::uint64_t word : old) {
            if (word == 0)
                continue;
            std::size_t at = slotOf(word);
            while (m_short[at] != 0)
                at = (at + 1) & (m_short.size() - 1);
            m_short[at] = word;
        }
    }
    const std::uint64_t word = packed(code);
    std::size_t at = slotOf(word);
    for (; m_short[at] != 0; at = (at + 1) & (m_short.size() - 1)) {
        if (m_short[at] == word)
            return false;
    }
    m_short[at] = word;
    ++m_shortCount;
    return true;
}

void CodeSet::clear() noexcept
{
    m_short.clear();
    m_shortCount = 0;
    m_long.clear();
}

} // namespace tramazel::text
