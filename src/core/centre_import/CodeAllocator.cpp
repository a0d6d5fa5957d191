// SPDX-License-Identifier: GPL-3.0-or-later
#include "centre_import/CodeAllocator.h"

#include "text/CaseFold.h"

#include <charconv>

namespace tramazel::centre_import {

std::string CodeAllocator::lowestFree(std::string_view base)
{
    // Bases that differ only in letter case form the same candidates once folded,
    // so they share one cursor.
    auto it = m_cursors.try_emplace(text::foldCase(base), 0).first;
    std::uint64_t k = it->second;

    std::string candidate(base);
    char digits[24];
    for (;;) {
        ++k;
        auto [end, ec] = std::to_chars(digits, digits + sizeof digits, k);
        (void)ec;
        candidate.resize(base.size());
        candidate.append(digits, end);
        if (!m_inUse.contains(candidate))
            break;
    }
    // The caller may not take the candidate; leave the cursor one below it so the
    // next search tries it again.
    it->second = k - 1;
    return candidate;
}

std::string CodeAllocator::take(std::string_view code, std::string_view replacementBase)
{
    std::string result = m_inUse.contains(code) ? lowestFree(replacementBase) : std::string(code);
    m_inUse.add(result);
    return result;
}

} // namespace tramazel::centre_import
