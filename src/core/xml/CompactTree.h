// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A read-only tree of elements and attributes over the text of a loaded document,
// for the plain shape centre files take: no DOCTYPE, comments, CDATA, processing
// instructions or text, only the XML declaration, elements, attributes and the blanks
// between them. It costs a fraction of a full DOM: names and plain values stay in the
// text and are referred to by offset; only values that need decoding (references,
// blanks turned into spaces) are copied, into one arena.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace tramazel::xml::detail {

inline constexpr std::uint32_t kNoIndex = 0xFFFFFFFFu;

struct CompactAttribute {
    std::uint32_t name; // offset in the text
    std::uint32_t value; // offset in the text, or in the arena when valueInArena
    std::uint32_t valueSize;
    std::uint16_t nameSize;
    bool valueInArena;
};

struct CompactElement {
    std::uint32_t name; // offset in the text
    std::uint32_t firstAttribute; // index in CompactTree::attributes
    std::uint32_t firstChild; // index in CompactTree::elements, or kNoIndex
    std::uint32_t nextSibling; // likewise
    std::uint16_t nameSize;
    std::uint16_t attributeCount;
};

/// Elements in document order (the root first) and their attributes, values as the
/// full parser would give them (UTF-8, references decoded, blanks made spaces).
struct CompactTree {
    std::string storage; // owns the text when the tree outlives the caller's bytes
    std::string_view text;
    std::string arena;
    std::vector<CompactElement> elements;
    std::vector<CompactAttribute> attributes;
    std::size_t rootOffset = 0; // the '<' of the root's start tag in the text

    std::string_view name(const CompactElement& e) const noexcept { return text.substr(e.name, e.nameSize); }
    std::string_view name(const CompactAttribute& a) const noexcept
    {
        return text.substr(a.name, a.nameSize);
    }
    std::string_view value(const CompactAttribute& a) const noexcept
    {
        return a.valueInArena ? std::string_view(arena).substr(a.value, a.valueSize)
                              : text.substr(a.value, a.valueSize);
    }
    /// The attribute called `name` of `e`, or null.
    const CompactAttribute* find(const CompactElement& e, std::string_view name) const noexcept
    {
        const CompactAttribute* a = attributes.data() + e.firstAttribute;
        for (const CompactAttribute* end = a + e.attributeCount; a != end; ++a) {
            if (a->nameSize == name.size()
                && std::memcmp(text.data() + a->name, name.data(), name.size()) == 0)
                return a;
        }
        return nullptr;
    }
};

/// Builds the tree of `utf8` (the `text` member views it; offsets stay valid for a
/// copy of the same bytes). The byte after the text must be readable and nul, as it
/// is at the end of a std::string. Nothing when the text holds anything outside the plain
/// shape, or anything XML does not allow: the full parse then reads the text and
/// reports what is wrong. Whatever this accepts, the full parse accepts with the
/// same elements, attributes and values.
std::optional<CompactTree> parseCompact(std::string_view utf8);

} // namespace tramazel::xml::detail
