// SPDX-License-Identifier: GPL-3.0-or-later
#include "CodeSet.h"

#include "CaseFold.h"

namespace tramazel::text {

bool CodeSet::contains(std::string_view code) const
{
    return m_folded.find(foldCase(code)) != m_folded.end();
}

void CodeSet::add(std::string_view code)
{
    m_folded.insert(foldCase(code));
}

} // namespace tramazel::text
