// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

// A read-only tree of elements and attributes, for the plain shape centre files
// take: no DOCTYPE, comments, CDATA, processing instructions or text, only the XML
// declaration, elements, attributes and the blanks between them. It costs a fraction
// of a full DOM and of the file: each distinct name is kept once, the values back to
// back, and each element and attribute is a small record of indexes. A value longer
// than 32767 bytes is left to the full parse.

#include <bit>
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
inline constexpr std::uint16_t kNoName = 0xFFFF;

/// A name's size and its first and last eight bytes (or all of it when shorter):
/// names up to 16 bytes long are equal exactly when their keys are.
struct NameKey {
    std::uint64_t head = 0;
    std::uint64_t tail = 0;
    std::uint64_t size = 0;

    NameKey() = default;
    explicit NameKey(std::string_view name) noexcept
        : size(name.size())
    {
        const char* p = name.data();
        const std::size_t n = name.size();
        if (n >= 8) {
            head = load(p, 8);
            tail = load(p + n - 8, 8);
        } else if (n >= 4) {
            // Two reads of four that overlap; the bytes they share are equal.
            head = load(p, 4) | load(p + n - 4, 4) << (8 * (n - 4));
        } else if (n > 0) {
            head = byte(p[0]) | byte(p[n / 2]) << (8 * (n / 2)) | byte(p[n - 1]) << (8 * (n - 1));
        }
    }
    bool operator==(const NameKey&) const noexcept = default;
    /// Where the name's search starts in a table of slots.
    std::size_t slot() const noexcept
    {
        const std::uint64_t mixed = (head ^ (tail * 0x9E3779B97F4A7C15u) ^ size) * 0xD6E8FEB86659FD93u;
        return static_cast<std::size_t>(mixed >> 40);
    }

    /// Eight bytes as a number, the first the lowest, as `head` holds a name's first
    /// bytes (all of them, above zeros, for a name shorter than eight).
    static std::uint64_t word(const char* p) noexcept { return load(p, 8); }

private:
    static std::uint64_t byte(char c) noexcept { return static_cast<unsigned char>(c); }
    // `count` (4 or 8) bytes as a number, the first the lowest.
    static std::uint64_t load(const char* p, std::size_t count) noexcept
    {
        if constexpr (std::endian::native == std::endian::little) {
            if (count == 8) {
                std::uint64_t word;
                std::memcpy(&word, p, 8);
                return word;
            }
            std::uint32_t word;
            std::memcpy(&word, p, 4);
            return word;
        }
        std::uint64_t word = 0;
        for (std::size_t i = 0; i < count; ++i)
            word |= byte(p[i]) << (8 * i);
        return word;
    }
};

// An attribute's value follows the values of the attributes before it in its element.
struct CompactAttribute {
    static constexpr std::uint16_t kMaxValueSize = 0x7FFF;
    // Set in `value` for a value that reads as stored: ASCII, nothing to trim.
    static constexpr std::uint16_t kReadsAsStored = 0x8000;

    std::uint16_t name; // index in CompactTree::names
    std::uint16_t value; // the value's size, with kReadsAsStored

    std::size_t valueSize() const noexcept { return value & kMaxValueSize; }
    bool readsAsStored() const noexcept { return (value & kReadsAsStored) != 0; }
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
        NameKey key;
    };
    std::string nameText;
    std::vector<Name> names;
    // Open addressing over `names` by NameKey::slot: name indexes, kNoName where free.
    std::vector<std::uint16_t> nameSlots;
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
    /// The index in `names` of `name`, or kNoName.
    std::uint16_t nameIndex(std::string_view name) const noexcept
    {
        if (nameSlots.empty())
            return kNoName;
        const NameKey key(name);
        const std::size_t mask = nameSlots.size() - 1;
        for (std::size_t slot = key.slot() & mask;; slot = (slot + 1) & mask) {
            const std::uint16_t index = nameSlots[slot];
            if (index == kNoName)
                return kNoName;
            const Name& n = names[index];
            if (n.key == key && (name.size() <= 16 || sameMiddle(n, name)))
                return index;
        }
    }
    /// Whether `name`, longer than 16 bytes, matches `n` between its first and last
    /// eight bytes.
    bool sameMiddle(const Name& n, std::string_view name) const noexcept;
    /// Lists every name in `nameSlots`; called once the names are all known.
    void indexNames();
    /// Elements matching the steps of an absolute path, in document order.
    std::vector<std::uint32_t> select(const std::vector<std::string_view>& steps) const;
    /// The attribute of `e` whose name has index `name` (from nameIndex), or null;
    /// `value` receives its value as stored.
    const CompactAttribute* find(
        const CompactElement& e, std::uint16_t name, std::string_view& value) const noexcept
    {
        std::size_t offset = e.firstValue;
        const CompactAttribute* a = attributes.data() + e.firstAttribute;
        for (const CompactAttribute* end = a + e.attributeCount; a != end; ++a) {
            if (a->name == name) {
                value = std::string_view(values.data() + offset, a->valueSize());
                return a;
            }
            offset += a->valueSize();
        }
        return nullptr;
    }
    /// The attribute of `e` called `name`, or null; `value` receives its value as stored.
    const CompactAttribute* find(
        const CompactElement& e, std::string_view name, std::string_view& value) const noexcept
    {
        // An element's attributes are few and its names most often known: looking
        // the name up once lets each attribute be tested by its index alone.
        const std::uint16_t index = nameIndex(name);
        return index == kNoName ? nullptr : find(e, index, value);
    }
};

/// A pugixml DOM with the elements and attributes of `tree`, for writing it out.
std::unique_ptr<pugi::xml_document> toDom(const CompactTree& tree);

/// Builds the tree of `utf8`, which it does not refer to afterwards. The byte after
/// the text must be readable and nul, as it is at the end of a std::string. Nothing when the text holds
/// anything outside the plain shape, or anything XML does not allow: the full parse then reads the text and
/// reports what is wrong. Whatever this accepts, the full parse accepts with the
/// same elements, attributes and values, given the XML declaration's content, which
/// this skips, has passed scanDeclaration (the load checks it before either parse).
std::optional<CompactTree> parseCompact(std::string_view utf8);

} // namespace tramazel::xml::detail
