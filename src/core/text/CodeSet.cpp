// SPDX-License-Identifier: GPL-3.0-or-later
#include "CodeSet.h"

#include "CaseFold.h"

#include <array>

namespace tramazel::text {

bool CodeSet::contains(std::string_view code) const
{
    // Codes are short and code generation asks many times per code: fold into a
    // buffer on the stack instead of a new string each time.
    std::array<char, 64> buffer {};
    if (code.size() <= buffer.size()) {
        for (std::size_t i = 0; i < code.size(); ++i)
            buffer[i] = static_cast<char>(foldCp1252(static_cast<unsigned char>(code[i])));
        return m_folded.find(std::string_view(buffer.data(), code.size())) != nullptr;
    }
    return m_folded.find(foldCase(code)) != nullptr;
}

void CodeSet::add(std::string_view code)
{
    m_folded.add(foldCase(code), true);
}

} // namespace tramazel::text
