// SPDX-License-Identifier: GPL-3.0-or-later
#include "MessageQuote.h"

#include "text/SourceEncoding.h"

#include <algorithm>

namespace tramazel::xml::detail {

std::string quoted(std::string_view text)
{
    std::string out = "«";
    std::size_t characters = 0;
    std::size_t i = 0;
    while (i < text.size()) {
        if (characters == kQuotedCharacters) {
            out += "…";
            break;
        }
        // The valid UTF-8 ahead is copied a character at a time; a byte that starts
        // no valid sequence shows as one "?".
        const std::string_view rest = text.substr(i);
        const std::size_t valid = std::min(text::firstInvalidUtf8(rest.substr(0, 4)), rest.size());
        const auto lead = static_cast<unsigned char>(text[i]);
        const std::size_t length = lead < 0x80 ? 1 : lead < 0xE0 ? 2 : lead < 0xF0 ? 3 : 4;
        if (valid < length) {
            out.push_back('?');
            i += 1;
        } else if (lead < 0x20 || lead == 0x7F
            || (lead == 0xC2 && static_cast<unsigned char>(text[i + 1]) < 0xA0)) {
            // C0 and C1 controls, and DEL: nothing a reader should see raw.
            out.push_back('?');
            i += length;
        } else {
            out.append(text.substr(i, length));
            i += length;
        }
        ++characters;
    }
    out += "»";
    return out;
}

} // namespace tramazel::xml::detail
