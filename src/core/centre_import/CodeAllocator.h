// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "text/CodeSet.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tramazel::centre_import {

/// The list of codes in use during one builder run, and the search for the lowest
/// free "<base><k>" (k = 1, 2, 3 … in decimal, compared without regard to letter
/// case). Codes are only ever added, so the lowest free k for a base never goes
/// down: a cursor per base makes each search resume where the last one stopped and
/// the whole run linear, with the same result as counting from 1 every time.
class CodeAllocator {
public:
    /// True when `code` is in use (letter case ignored).
    bool inUse(std::string_view code) const { return m_inUse.contains(code); }

    /// Marks `code` as in use.
    void add(std::string_view code) { m_inUse.add(code); }

    /// The first of base+"1", base+"2", … not in use, keeping the letter case of
    /// `base`. Does not add it.
    std::string lowestFree(std::string_view base);

    /// `code` when it is free, otherwise the lowest free replacement with `base`;
    /// the result is added to the codes in use.
    std::string take(std::string_view code, std::string_view replacementBase);

    std::size_t size() const noexcept { return m_inUse.size(); }

private:
    std::uint64_t& cursor(std::string_view base);

    text::CodeSet m_inUse;
    // Folded base -> a k such that base+1 … base+k are all in use.
    std::unordered_map<std::string, std::uint64_t> m_cursors;
};

} // namespace tramazel::centre_import
