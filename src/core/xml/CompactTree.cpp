// SPDX-License-Identifier: GPL-3.0-or-later
#include "CompactTree.h"

#include "WellFormedScanner.h"
#include "text/Cp1252.h"
#include "text/Utf8.h"

#include <pugixml.hpp>

#include <array>
#include <bit>
#include <cstring>
#include <new>
#include <unordered_map>

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace tramazel::xml::detail {

namespace {

// Byte classes of the plain shape. Names are ASCII here; a name with other letters
// is left to the full parse.
enum : unsigned char {
    kNameStart = 1,
    kNameByte = 2,
    kSpace = 4,
    kValueStop = 8, // ends a run of plain bytes in an attribute value
};

constexpr std::array<unsigned char, 256> makeClasses()
{
    std::array<unsigned char, 256> table {};
    for (int c = 0; c < 256; ++c) {
        unsigned char k = 0;
        const bool letter = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == ':';
        if (letter)
            k |= kNameStart | kNameByte;
        if ((c >= '0' && c <= '9') || c == '.' || c == '-')
            k |= kNameByte;
        if (c == ' ' || c == '\t' || c == '\n' || c == '\r')
            k |= kSpace;
        // Controls (the blanks among them need converting), markup, references,
        // quotes, and bytes beyond ASCII: 0xEF leads the excluded U+FFFE and U+FFFF,
        // and a value with any of them needs converting when read.
        if (c < 0x20 || c == '<' || c == '&' || c == '"' || c == '\'' || c >= 0x80)
            k |= kValueStop;
        table[static_cast<std::size_t>(c)] = k;
    }
    return table;
}

constexpr std::array<unsigned char, 256> kClasses = makeClasses();

// Beyond this many attributes the full parse stops looking for repeated names;
// such an element is left to it so that both accept the same documents.
constexpr std::size_t kMaxAttributes = 64;

class CompactParser {
public:
    explicit CompactParser(std::string_view text)
        : m_s(text)
        , m_bytes(reinterpret_cast<const unsigned char*>(text.data()))
    {
    }

    std::optional<CompactTree> run();

private:
    // Reads up to the nul after the text, which stops every loop: each read is at
    // most one byte past one found not to be nul.
    unsigned char at(std::size_t i) const noexcept { return m_bytes[i]; }
    bool is(std::size_t i, unsigned char kind) const noexcept { return (kClasses[at(i)] & kind) != 0; }
    void skipSpace(std::size_t& p) const noexcept
    {
        while (is(p, kSpace))
            ++p;
    }
#if defined(__SSE2__)
    // Which of the sixteen bytes from i are kValueStop, as bits from the lowest; once
    // a value is known to go beyond ASCII, of the bytes beyond it only 0xEF.
    unsigned valueStops(std::size_t i, bool ascii) const noexcept
    {
        const __m128i v = _mm_loadu_si128(reinterpret_cast<const __m128i*>(m_bytes + i));
        // Read as signed, the bytes below 0x20 and those from 0x80 up are below 0x20.
        __m128i stop = _mm_cmplt_epi8(v, _mm_set1_epi8(0x20));
        if (!ascii)
            stop = _mm_or_si128(_mm_and_si128(stop, _mm_cmpgt_epi8(v, _mm_set1_epi8(-1))),
                _mm_cmpeq_epi8(v, _mm_set1_epi8(static_cast<char>(0xEF))));
        for (const char c : { '<', '&', '"', '\'' })
            stop = _mm_or_si128(stop, _mm_cmpeq_epi8(v, _mm_set1_epi8(c)));
        return static_cast<unsigned>(_mm_movemask_epi8(stop));
    }
#endif
    bool declaration(std::size_t& p) const;
    bool startTag(std::size_t& p, bool& empty, std::uint32_t hint, std::uint32_t& previous);
    bool attributeValue(std::size_t& p, CompactAttribute& attribute);
    bool reference(std::size_t& p, std::string* out) const;
    [[gnu::always_inline]] bool readName(std::size_t& p, std::uint32_t hint, std::uint16_t& index);
    [[gnu::noinline]] bool readNewName(std::size_t& p, std::uint32_t hint, std::uint16_t& index);
    bool intern(std::string_view name, std::uint16_t& index);

    std::string_view m_s;
    const unsigned char* m_bytes;
    CompactTree m_tree;
    // The distinct names, as views of the text while it is parsed.
    std::unordered_map<std::string_view, std::uint16_t> m_nameIndex;
    std::vector<std::string_view> m_nameViews;
    // The last element of each name: the next one of that name probably has its
    // attributes, in the same order, and its first child's name.
    std::vector<std::uint32_t> m_lastOfName;
};

// The index of `name` in the tree's names, added when new.
bool CompactParser::intern(std::string_view name, std::uint16_t& index)
{
    if (const auto found = m_nameIndex.find(name); found != m_nameIndex.end()) {
        index = found->second;
        return true;
    }
    if (m_nameViews.size() >= kNoName)
        return false;
    index = static_cast<std::uint16_t>(m_nameViews.size());
    m_nameIndex.emplace(name, index);
    m_nameViews.push_back(name);
    m_lastOfName.push_back(kNoIndex);
    m_tree.names.push_back({ static_cast<std::uint32_t>(m_tree.nameText.size()),
        static_cast<std::uint32_t>(name.size()), NameKey(name) });
    m_tree.nameText.append(name);
    return true;
}

// The name at p (which starts one); p moves past it. `hint` is the index it
// probably has: when the text there is that name, it is taken without a look-up.
inline bool CompactParser::readName(std::size_t& p, std::uint32_t hint, std::uint16_t& index)
{
    // The hint is tested by whole words while the text has sixteen bytes and a nul
    // after it, enough for any name up to 16 bytes and the byte after it.
    if (hint != kNoIndex && p + 16 < m_s.size()) {
        const CompactTree::Name& known = m_tree.names[hint];
        const std::size_t n = known.size;
        const char* at = m_s.data() + p;
        const std::uint64_t mask = n >= 8 ? ~std::uint64_t { 0 } : (std::uint64_t { 1 } << (8 * n)) - 1;
        if ((NameKey::word(at) & mask) == known.key.head
            && (n <= 8 || (n <= 16 && NameKey::word(at + n - 8) == known.key.tail))
            && !is(p + n, kNameByte)) {
            index = static_cast<std::uint16_t>(hint);
            p += n;
            return true;
        }
    }
    return readNewName(p, hint, index);
}

// readName when the hint is not the name at p.
bool CompactParser::readNewName(std::size_t& p, std::uint32_t hint, std::uint16_t& index)
{
    if (hint != kNoIndex) {
        const std::string_view known = m_nameViews[hint];
        std::size_t k = 0;
        while (k < known.size() && at(p + k) == static_cast<unsigned char>(known[k]))
            ++k;
        if (k == known.size() && !is(p + k, kNameByte)) {
            index = static_cast<std::uint16_t>(hint);
            p += k;
            return true;
        }
    }
    const std::size_t start = p;
    while (is(p, kNameByte))
        ++p;
    return intern(m_s.substr(start, p - start), index);
}

// "<?xml …?>" at the start: its content is skipped, as the full parse does, once
// it holds no character XML excludes.
bool CompactParser::declaration(std::size_t& p) const
{
    if (m_s.substr(0, 5) != "<?xml" || !is(5, kSpace))
        return true;
    const auto end = m_s.find("?>", 5);
    if (end == std::string_view::npos)
        return false;
    for (std::size_t i = 5; i < end; ++i) {
        const unsigned char c = at(i);
        if ((c < 0x20 && !is(i, kSpace)) || c == 0xEF)
            return false;
    }
    p = end + 2;
    return true;
}

// A reference at p ('&'), as the well-formedness scan accepts it without a DOCTYPE:
// a character reference to a character XML allows, or one of the five predefined
// entities. Appends its character to `out` when given; p moves past the ';'.
bool CompactParser::reference(std::size_t& p, std::string* out) const
{
    if (at(p + 1) == '#') {
        std::size_t i = p + 2;
        const bool hex = at(i) == 'x';
        if (hex)
            ++i;
        const std::size_t digits = i;
        char32_t cp = 0;
        for (;; ++i) {
            const unsigned char c = at(i);
            unsigned digit = 0;
            if (c >= '0' && c <= '9')
                digit = c - '0';
            else if (hex && c >= 'a' && c <= 'f')
                digit = c - 'a' + 10u;
            else if (hex && c >= 'A' && c <= 'F')
                digit = c - 'A' + 10u;
            else
                break;
            cp = std::min<char32_t>(cp * (hex ? 16 : 10) + digit, 0x110000);
        }
        if (i == digits || at(i) != ';' || !isXmlChar(cp))
            return false;
        if (out)
            text::appendUtf8(*out, cp);
        p = i + 1;
        return true;
    }
    static constexpr std::array<std::pair<std::string_view, char>, 5> kPredefined
        = { { { "lt;", '<' }, { "gt;", '>' }, { "amp;", '&' }, { "apos;", '\'' }, { "quot;", '"' } } };
    const std::string_view rest = m_s.substr(p + 1, 5);
    for (const auto& [name, c] : kPredefined) {
        if (rest.substr(0, name.size()) == name) {
            if (out)
                out->push_back(c);
            p += 1 + name.size();
            return true;
        }
    }
    return false;
}

// The value after its opening quote at p; p moves past the closing quote. Values
// as the parser gives them: references decoded, each tab, line feed, carriage
// return and CR LF pair one space.
bool CompactParser::attributeValue(std::size_t& p, CompactAttribute& attribute)
{
    const char quote = m_s[p];
    const std::size_t start = p + 1;
    std::size_t i = start;
    bool plain = true;
    bool ascii = true;
    while (true) {
        // Most values are a run of plain bytes: look at sixteen per step while the
        // text has them, else four.
        while (true) {
#if defined(__SSE2__)
            if (i + 16 <= m_s.size()) {
                if (const unsigned stops = valueStops(i, ascii); stops != 0) {
                    i += static_cast<std::size_t>(std::countr_zero(stops));
                    break;
                }
                i += 16;
                continue;
            }
#endif
            if (is(i, kValueStop))
                break;
            if (is(i + 1, kValueStop)) {
                i += 1;
                break;
            }
            if (is(i + 2, kValueStop)) {
                i += 2;
                break;
            }
            if (is(i + 3, kValueStop)) {
                i += 3;
                break;
            }
            i += 4;
        }
        const unsigned char c = at(i);
        if (c == static_cast<unsigned char>(quote) && i < m_s.size())
            break;
        if (c == '"' || c == '\'') {
            ++i;
        } else if (c == '\t' || c == '\n' || c == '\r') {
            plain = false;
            ++i;
        } else if (c == '&') {
            plain = false;
            if (!reference(i, nullptr))
                return false;
        } else if (c >= 0x80) {
            ascii = false;
            if (c == 0xEF && at(i + 1) == 0xBF && (at(i + 2) == 0xBE || at(i + 2) == 0xBF))
                return false;
            ++i;
        } else {
            return false; // '<', a control XML excludes, or the end of the text
        }
    }
    std::string& out = m_tree.values;
    const std::size_t from = out.size();
    if (i - start > CompactAttribute::kMaxValueSize || from + (i - start) > 0xFFFFFFFFu)
        return false;
    if (plain) {
        out.append(m_s.data() + start, i - start);
    } else {
        for (std::size_t k = start; k < i;) {
            const char c = m_s[k];
            if (c == '&') {
                reference(k, &out);
                continue;
            }
            if (c == '\r' && k + 1 < i && m_s[k + 1] == '\n')
                ++k;
            out.push_back(c == '\t' || c == '\n' || c == '\r' ? ' ' : c);
            ++k;
        }
    }
    const std::size_t size = out.size() - from;
    // A reference may stand for a character beyond ASCII.
    if (ascii && !plain)
        ascii = text::asciiPrefixLength(std::string_view(out).substr(from)) == size;
    const bool trimmed = size == 0
        || (static_cast<unsigned char>(out[from]) > 0x20 && static_cast<unsigned char>(out.back()) > 0x20);
    attribute.value
        = static_cast<std::uint16_t>(size | (ascii && trimmed ? CompactAttribute::kReadsAsStored : 0));
    p = i + 1;
    return true;
}

// The start tag at p ('<' before a name) of the last element listed; p moves past
// its '>'. `empty` tells "/>"; `hint` is the name index it probably has; `previous`
// receives the element of the same name before it, or kNoIndex.
bool CompactParser::startTag(std::size_t& p, bool& empty, std::uint32_t hint, std::uint32_t& previous)
{
    CompactElement& element = m_tree.elements.back();
    std::size_t q = p + 1;
    if (!readName(q, hint, element.name))
        return false;
    const std::uint32_t index = static_cast<std::uint32_t>(&element - m_tree.elements.data());
    previous = m_lastOfName[element.name];
    m_lastOfName[element.name] = index;
    element.firstAttribute = static_cast<std::uint32_t>(m_tree.attributes.size());
    element.firstValue = static_cast<std::uint32_t>(m_tree.values.size());
    element.attributeCount = 0;
    bool hinted = true;
    while (true) {
        const std::size_t beforeSpace = q;
        skipSpace(q);
        const unsigned char c = at(q);
        if (c == '>') {
            empty = false;
            p = q + 1;
            return true;
        }
        if (c == '/') {
            if (at(q + 1) != '>')
                return false;
            empty = true;
            p = q + 2;
            return true;
        }
        // An attribute, which needs a blank before it.
        if (q == beforeSpace || !is(q, kNameStart))
            return false;
        if (element.attributeCount == kMaxAttributes)
            return false;
        CompactAttribute attribute {};
        std::uint32_t slot = kNoIndex;
        if (previous != kNoIndex && element.attributeCount < m_tree.elements[previous].attributeCount)
            slot = m_tree.attributes[m_tree.elements[previous].firstAttribute + element.attributeCount].name;
        if (!readName(q, slot, attribute.name))
            return false;
        skipSpace(q);
        if (at(q) != '=')
            return false;
        ++q;
        skipSpace(q);
        if (at(q) != '"' && at(q) != '\'')
            return false;
        if (!attributeValue(q, attribute))
            return false;
        // Repeated names make the document malformed; the full parse reports them.
        // Names that so far follow those of the element before, which has none
        // repeated, need no test.
        hinted = hinted && attribute.name == slot;
        for (std::size_t k = element.firstAttribute; !hinted && k < m_tree.attributes.size(); ++k) {
            if (m_tree.attributes[k].name == attribute.name)
                return false;
        }
        m_tree.attributes.push_back(attribute);
        ++element.attributeCount;
    }
}

std::optional<CompactTree> CompactParser::run()
{
    if (m_s.size() >= kNoIndex)
        return std::nullopt;
    // Room for what a centre file usually holds (an element every 80 bytes or so, an
    // attribute every 27): pages reserved and never touched cost no memory.
    m_tree.elements.reserve(m_s.size() / 48);
    m_tree.attributes.reserve(m_s.size() / 20);
    m_tree.values.reserve(m_s.size() / 2);
    std::size_t p = 0;
    if (!declaration(p))
        return std::nullopt;
    skipSpace(p);
    if (at(p) != '<' || !is(p + 1, kNameStart))
        return std::nullopt;
    m_tree.rootOffset = p;

    struct Open {
        std::uint32_t element;
        std::uint32_t lastChild;
        std::uint32_t previousOfName; // the element of the same name before it
    };
    std::vector<Open> open;
    while (true) {
        // A start tag at p: link the element to its parent, then read it.
        const auto index = static_cast<std::uint32_t>(m_tree.elements.size());
        if (index == kNoIndex)
            return std::nullopt;
        m_tree.elements.push_back({ 0, 0, kNoIndex, kNoIndex, 0, 0 });
        // Siblings mostly share their name.
        std::uint32_t hint = kNoIndex;
        if (!open.empty()) {
            Open& parent = open.back();
            if (parent.lastChild == kNoIndex) {
                m_tree.elements[parent.element].firstChild = index;
                // The first child of the parent's predecessor of the same name.
                const std::uint32_t uncle = parent.previousOfName;
                if (uncle != kNoIndex && m_tree.elements[uncle].firstChild != kNoIndex)
                    hint = m_tree.elements[m_tree.elements[uncle].firstChild].name;
            } else {
                m_tree.elements[parent.lastChild].nextSibling = index;
                hint = m_tree.elements[parent.lastChild].name;
            }
            parent.lastChild = index;
        }
        bool empty = false;
        std::uint32_t previous = kNoIndex;
        if (!startTag(p, empty, hint, previous))
            return std::nullopt;
        if (!empty)
            open.push_back({ index, kNoIndex, previous });
        // Blanks and end tags up to the next start tag or the end of the root.
        while (!open.empty()) {
            skipSpace(p);
            if (at(p) != '<')
                return std::nullopt; // text, or the end with elements still open
            if (at(p + 1) != '/')
                break;
            const std::string_view name = m_nameViews[m_tree.elements[open.back().element].name];
            if (m_s.substr(p + 2, name.size()) != name)
                return std::nullopt;
            p += 2 + name.size();
            skipSpace(p);
            if (at(p) != '>')
                return std::nullopt;
            ++p;
            open.pop_back();
        }
        if (open.empty())
            break;
        if (!is(p + 1, kNameStart))
            return std::nullopt;
    }
    skipSpace(p);
    if (p != m_s.size())
        return std::nullopt;
    m_tree.indexNames();
    return std::move(m_tree);
}

} // namespace

bool CompactTree::sameMiddle(const Name& n, std::string_view name) const noexcept
{
    return std::memcmp(nameText.data() + n.offset + 8, name.data() + 8, name.size() - 16) == 0;
}

void CompactTree::indexNames()
{
    // At most half full, so that a search soon meets a free slot.
    std::size_t size = 16;
    while (size < 2 * names.size())
        size *= 2;
    nameSlots.assign(size, kNoName);
    for (std::size_t index = 0; index < names.size(); ++index) {
        std::size_t slot = names[index].key.slot() & (size - 1);
        while (nameSlots[slot] != kNoName)
            slot = (slot + 1) & (size - 1);
        nameSlots[slot] = static_cast<std::uint16_t>(index);
    }
}

std::vector<std::uint32_t> CompactTree::select(const std::vector<std::string_view>& steps) const
{
    // The root is the document's only element child; below it, level by level: the
    // children of elements listed in document order, taken in turn, are again in
    // document order.
    // Each step's name is looked up once; children are then told by its index.
    std::vector<std::uint32_t> level;
    if (steps.empty() || name(elements[0]) != steps[0])
        return level;
    level.push_back(0);
    std::vector<std::uint32_t> next;
    for (std::size_t s = 1; s < steps.size() && !level.empty(); ++s) {
        const std::uint16_t step = nameIndex(steps[s]);
        next.clear();
        for (const std::uint32_t parent : level) {
            for (std::uint32_t i = elements[parent].firstChild; step != kNoName && i != kNoIndex;
                 i = elements[i].nextSibling) {
                if (elements[i].name == step)
                    next.push_back(i);
            }
        }
        level.swap(next);
    }
    return level;
}

std::unique_ptr<pugi::xml_document> toDom(const CompactTree& tree)
{
    auto doc = std::make_unique<pugi::xml_document>();
    std::string name;
    // Each element after the root goes under the nearest open element whose
    // children it continues; the walk keeps the path from the root.
    struct Level {
        std::uint32_t element;
        pugi::xml_node node;
    };
    std::vector<Level> path;
    const auto add = [&](pugi::xml_node parent, std::uint32_t index) {
        const CompactElement& e = tree.elements[index];
        pugi::xml_node node = parent.append_child(name.assign(tree.name(e)).c_str());
        std::size_t offset = e.firstValue;
        for (std::uint32_t a = e.firstAttribute; a < e.firstAttribute + e.attributeCount; ++a) {
            const CompactAttribute& attribute = tree.attributes[a];
            const std::string_view v = std::string_view(tree.values).substr(offset, attribute.valueSize());
            offset += attribute.valueSize();
            node.append_attribute(name.assign(tree.name(attribute)).c_str()).set_value(v.data(), v.size());
        }
        path.push_back({ index, node });
    };
    add(*doc, 0);
    while (!path.empty()) {
        const Level top = path.back();
        const std::uint32_t child = tree.elements[top.element].firstChild;
        if (child != kNoIndex && top.node.first_child().empty()) {
            add(top.node, child);
            continue;
        }
        // Done with this element: on to its next sibling, or up.
        path.pop_back();
        const std::uint32_t sibling = tree.elements[top.element].nextSibling;
        if (sibling != kNoIndex && !path.empty())
            add(path.back().node, sibling);
    }
    return doc;
}

std::optional<CompactTree> parseCompact(std::string_view utf8)
{
    // Short of memory, the full parse runs instead and reports it in its own words.
    try {
        return CompactParser(utf8).run();
    } catch (const std::bad_alloc&) {
        return std::nullopt;
    }
}

} // namespace tramazel::xml::detail
