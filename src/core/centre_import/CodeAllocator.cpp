// SPDX-License-Identifier: GPL-3.0-or-later
#include "centre_import/CodeAllocator.h"

#include "text/CaseFold.h"

#include <charconv>

namespace tramazel::centre_import {

namespace {
void setSuffix(std::string& candidate, std::size_t baseLength, std::uint64_t k)
{
    char digits[24];
    const auto result = std::to_chars(digits, digits + sizeof digits, k);
    candidate.resize(baseLength);
    candidate.append(digits, result.ptr);
}
} // namespace

std::uint64_t& CodeAllocator::cursor(std::string_view base)
{
    // Bases that differ only in letter case form the same candidates once folded,
    // so they share one cursor.
    return m_cursors.try_emplace(text::foldCase(base), 0).first->second;
}

std::string CodeAllocator::lowestFree(std::string_view base)
{
    std::uint64_t& k = cursor(base);
    std::string candidate(base);
    do
        setSuffix(candidate, base.size(), ++k);
    while (m_inUse.contains(candidate));
    // Not taken here: the next search must try this candidate again.
    --k;
    return candidate;
}

std::string CodeAllocator::take(std::string_view code, std::string_view replacementBase)
{
    // Adding tells whether the code was free: the set grows only by a new code.
    std::size_t before = m_inUse.size();
    m_inUse.add(code);
    if (m_inUse.size() != before)
        return std::string(code);

    std::uint64_t& k = cursor(replacementBase);
    std::string candidate(replacementBase);
    do {
        setSuffix(candidate, replacementBase.size(), ++k);
        before = m_inUse.size();
        m_inUse.add(candidate);
    } while (m_inUse.size() == before);
    return candidate;
}

} // namespace tramazel::centre_import
