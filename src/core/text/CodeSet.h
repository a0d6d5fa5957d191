// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "FirstMatchIndex.h"

#include <string>
#include <string_view>

namespace tramazel::text {

/// The list of codes in use during one builder run: cp1252 texts looked up without
/// regard to letter case (see CaseFold.h), in constant time.
class CodeSet {
public:
    /// True when a code equal to `code` after folding is in the set.
    bool contains(std::string_view code) const;
    /// Adds `code`; adding a code already present (after folding) changes nothing.
    void add(std::string_view code);
    std::size_t size() const noexcept { return m_folded.size(); }
    void clear() noexcept { m_folded.clear(); }

private:
    FirstMatchIndex<bool> m_folded; ///< the folded codes
};

} // namespace tramazel::text
