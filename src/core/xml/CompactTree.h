// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A read-only tree of elements and attributes, for the plain shape centre files
// take: no DOCTYPE, comments, CDATA, processing instructions or text, only the XML
// declaration, elements, attributes and the blanks between them. It costs a fraction
// of a full DOM and of the file: each distinct name is kept once, the values back to
// back, and each element and attribute is a small record of indexes. A value longer
// than 65535 bytes is left to the full parse.

#include <cstddef>
#include <cstdint>
#include <cstring>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace pugi {
class xml_document;
}

namespace tramazel::xml::detail {

inline constexpr std::uint32_t kNoIndex = 0xFFFFFFFFu;

// An attribute's value follows the values of the attributes before it in its element.
struct CompactAttribute {
    std::uint16_t name; // index in CompactTree::names
    std::uint16_t valueSize;
};

struct CompactElement {
    std::uint32_t firstAttribute; // index in CompactTree::attributes
    std::uint32_t firstValue; // offset in CompactTree::values of its first attribute's value
    std::uint32_t firstChild; // index in CompactTree::elements, or kNoIndex
    std::uint32_t nextSibling; // likewise
    std::uint16_t name; // index in CompactTree::names
    std::uint16_t attributeCount;
};

/// Elements in document order (the root first) and their attributes, values as the
/// full parser would give them (UTF-8, references decoded, blanks made spaces).
struct CompactTree {
    struct Name {
        std::uint32_t offset; // in nameText
        std::uint32_t size;
    };
    std::string nameText;
    std::vector<Name> names;
    std::string values;
    std::vector<CompactElement> elements;
    std::vector<CompactAttribute> attributes;
    std::size_t rootOffset = 0; // the '<' of the root's start tag in the text parsed

    std::string_view name(std::uint16_t index) const noexcept
    {
        return std::string_view(nameText).substr(names[index].offset, names[index].size);
    }
    std::string_view name(const CompactElement& e) const noexcept { return name(e.name); }
    std::string_view name(const CompactAttribute& a) const noexcept { return name(a.name); }
    /// The first element called `name` from `index` on along the sibling chain, or
    /// kNoIndex.
    std::uint32_t nextNamed(std::uint32_t index, std::string_view name) const noexcept
    {
        while (index != kNoIndex && this->name(elements[index]) != name)
            index = elements[index].nextSibling;
        return index;
    }
    /// Elements matching the steps of an absolute path, in document order.
    std::vector<std::uint32_t> select(const std::vector<std::string_view>& steps) const;
    /// The value of the attribute called `name` of `e`, or nothing.
    std::optional<std::string_view> find(const CompactElement& e, std::string_view name) const noexcept
    {
        std::size_t offset = e.firstValue;
        const CompactAttribute* a = attributes.data() + e.firstAttribute;
        for (const CompactAttribute* end = a + e.attributeCount; a != end; ++a) {
            // Names mostly differ in length or first letter: test those before the rest.
            const Name& n = names[a->name];
            const char* stored = nameText.data() + n.offset;
            if (n.size == name.size() && !name.empty() && stored[0] == name[0]
                && std::memcmp(stored + 1, name.data() + 1, name.size() - 1) == 0)
                return std::string_view(values).substr(offset, a->valueSize);
            offset += a->valueSize;
        }
        return std::nullopt;
    }
};

/// A pugixml DOM with the elements and attributes of `tree`, for writing it out.
std::unique_ptr<pugi::xml_document> toDom(const CompactTree& tree);

/// Builds the tree of `utf8`, which it does not refer to afterwards. The byte after
/// the text must be readable and nul, as it is at the end of a std::string. Nothing when the text holds
/// anything outside the plain shape, or anything XML does not allow: the full parse then reads the text and
/// reports what is wrong. Whatever this accepts, the full parse accepts with the
/// same elements, attributes and values.
std::optional<CompactTree> parseCompact(std::string_view utf8);

} // namespace tramazel::xml::detail
