// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "text/CodeSet.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tramazel::centre_import {

/// The list of codes in use during one builder run, and the search for the lowest
/// free "<base><k>" (k = 1, 2, 3 … in decimal, compared without regard to letter
/// case). Codes are compared as the table will hold them: cut to the field's width,
/// without the trailing blanks the engine drops. Codes are only ever added, so the
/// lowest free k for a base never goes down: a cursor per base makes each search
/// resume where the last one stopped and the whole run linear, with the same result
/// as counting from 1 every time.
class CodeAllocator {
public:
    /// No field width: codes are compared whole, trailing blanks included.
    static constexpr std::size_t kUncut = static_cast<std::size_t>(-1);

    /// `storedWidth`: the width of the field the codes go to.
    explicit CodeAllocator(std::size_t storedWidth = kUncut)
        : m_width(storedWidth)
    {
    }
    CodeAllocator(const CodeAllocator&) = delete; // it keeps a pointer into itself
    CodeAllocator& operator=(const CodeAllocator&) = delete;

    /// True when `code`, as stored, is in use (letter case ignored).
    bool inUse(std::string_view code) const { return m_inUse.contains(stored(code)); }

    /// Marks `code`, as stored, as in use.
    void add(std::string_view code) { m_inUse.add(stored(code)); }

    /// The first of base+"1", base+"2", … whose stored form is not in use, keeping the
    /// letter case of `base`. Does not add it. When the suffix no longer fits the
    /// field, every further candidate repeats an earlier one once cut: the first of
    /// those is given, and would be stored as a duplicate.
    std::string lowestFree(std::string_view base);

    /// `code` when its stored form is free, otherwise the lowest free replacement
    /// with `base` (as lowestFree); the result is added to the codes in use.
    std::string take(std::string_view code, std::string_view replacementBase);

    std::size_t size() const noexcept { return m_inUse.size(); }

private:
    std::string_view stored(std::string_view code) const noexcept;
    std::uint64_t& cursor(std::string_view base);
    std::string nextFree(std::string_view base, bool takeIt);

    std::size_t m_width;
    text::CodeSet m_inUse; // stored forms
    // Folded base -> a k such that base+1 … base+k are all in use.
    std::unordered_map<std::string, std::uint64_t> m_cursors;
    // The base of the last search and its cursor: runs of one base are common.
    std::string m_lastBase;
    std::uint64_t* m_lastCursor = nullptr;
    std::string m_candidate; // reused, so that a search allocates nothing
};

} // namespace tramazel::centre_import
