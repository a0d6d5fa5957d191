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

std::string_view CodeAllocator::stored(std::string_view code) const noexcept
{
    if (m_width == kUncut)
        return code;
    code = code.substr(0, m_width);
    // The engine pads a text field with blanks and reads it back without them.
    while (!code.empty() && code.back() == ' ')
        code.remove_suffix(1);
    return code;
}

std::uint64_t& CodeAllocator::cursor(std::string_view base)
{
    if (m_lastCursor && base == m_lastBase)
        return *m_lastCursor;
    // Bases that differ only in letter case form the same candidates once folded,
    // so they share one cursor. The map's values stay where they are as it grows.
    m_lastCursor = &m_cursors.try_emplace(text::foldCase(base), 0).first->second;
    m_lastBase.assign(base);
    return *m_lastCursor;
}

std::string CodeAllocator::nextFree(std::string_view base, bool takeIt)
{
    std::uint64_t& k = cursor(base);
    std::string& candidate = m_candidate;
    candidate.assign(base);
    while (true) {
        setSuffix(candidate, base.size(), ++k);
        // Once cut, base+k reads as base+k' for a shorter k' < k, which the cursor has
        // passed, so it is taken: no candidate from here on can be told apart.
        if (candidate.size() > m_width)
            break;
        if (!takeIt) {
            if (!m_inUse.contains(stored(candidate)))
                break;
            continue;
        }
        if (m_inUse.add(stored(candidate)))
            return candidate;
    }
    // Not taken here (or a duplicate): the next search must try this k again only
    // when it was free.
    if (!takeIt)
        --k;
    return candidate;
}

std::string CodeAllocator::lowestFree(std::string_view base)
{
    return nextFree(base, false);
}

std::string CodeAllocator::take(std::string_view code, std::string_view replacementBase)
{
    // Adding tells whether the code was free.
    if (m_inUse.add(stored(code)))
        return std::string(code);
    return nextFree(replacementBase, true);
}

} // namespace tramazel::centre_import
