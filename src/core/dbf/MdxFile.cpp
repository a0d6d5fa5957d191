// SPDX-License-Identifier: GPL-3.0-or-later
#include "MdxFile.h"

#include "BlockFile.h"
#include "Bytes.h"
#include "DbfErrors.h"
#include "DbfFormat.h"
#include "Error.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <system_error>

namespace tramazel::dbf {

namespace {

// File header (page 0).
constexpr std::size_t kOffMdxVersion = 0;
constexpr std::size_t kOffMdxCreated = 1;
constexpr std::size_t kOffMdxTableName = 4;
constexpr std::size_t kMdxTableNameSize = 16;
constexpr std::size_t kOffMdxPagesPerBlock = 20;
constexpr std::size_t kOffMdxBlockBytes = 22;
constexpr std::size_t kOffMdxProduction = 24;
constexpr std::size_t kOffMdxTagSlots = 25;
constexpr std::size_t kOffMdxTagEntrySize = 26;
constexpr std::size_t kOffMdxTagsInUse = 28;
constexpr std::size_t kOffMdxLanguageDriver = 31;
constexpr std::size_t kOffMdxPageCount = 32;
constexpr std::size_t kOffMdxUpdated = 44;
constexpr std::uint8_t kMdxVersionDbase4 = 2;
// Entry 0 of the tag table is unused; its right thread names tag 1 as the root of
// the tree of tag names.
constexpr std::size_t kOffMdxTagTreeRoot = kMdxTagTableOffset + 17;

// Tag table entry.
constexpr std::size_t kEntHeaderPage = 0;
constexpr std::size_t kEntName = 4;
constexpr std::size_t kEntNameSize = 11;
constexpr std::size_t kEntKeyFormat = 15;
constexpr std::size_t kEntLeft = 16;
constexpr std::size_t kEntRight = 17;
constexpr std::size_t kEntParent = 18;
constexpr std::size_t kEntConstant = 19;
constexpr std::size_t kEntKeyType = 20;

// Tag header block.
constexpr std::size_t kTagRoot = 0;
constexpr std::size_t kTagPages = 4;
constexpr std::size_t kTagKeyFormat = 8;
constexpr std::size_t kTagKeyType = 9;
constexpr std::size_t kTagKeyLength = 12;
constexpr std::size_t kTagMaxKeys = 14;
constexpr std::size_t kTagItemLength = 18;
constexpr std::size_t kTagVersion = 20;
constexpr std::size_t kTagExpression = 24;
constexpr std::size_t kTagHasKeys = 246;
constexpr std::size_t kTagFirstLeaf = 248;
constexpr std::size_t kTagLastLeaf = 252;
constexpr std::size_t kTagUpdated = 257;
constexpr std::size_t kTagSingleField = 480;

constexpr std::uint8_t kKeyFormatField = 0x10;
constexpr std::uint8_t kEntryConstant = 0x02;
constexpr std::uint8_t kTagHeaderVersion = 0x02;

constexpr std::size_t kFileHeaderPages = 4;

void putName(unsigned char* p, std::string_view name, std::size_t size)
{
    std::memcpy(p, name.data(), std::min(name.size(), size - 1));
}

std::size_t boundedLength(const char* s, std::size_t max)
{
    const void* nul = std::memchr(s, 0, max);
    return nul ? static_cast<std::size_t>(static_cast<const char*>(nul) - s) : max;
}

/// Sizes of `total` items spread over the fewest groups of at most `capacity`, the
/// groups within one of each other.
std::vector<std::size_t> balancedGroups(std::size_t total, std::size_t capacity)
{
    std::size_t groups = std::max<std::size_t>(1, (total + capacity - 1) / capacity);
    std::vector<std::size_t> sizes(groups, total / groups);
    for (std::size_t i = 0; i < total % groups; ++i)
        ++sizes[i];
    return sizes;
}

/// The plan of one tag's B-tree: node sizes per level, leaves first.
struct TreePlan {
    std::vector<std::vector<std::size_t>> levels;
    std::size_t blocks = 0;
};

TreePlan planTree(std::size_t keyCount, std::size_t maxKeys)
{
    TreePlan plan;
    plan.levels.push_back(balancedGroups(keyCount, maxKeys));
    // Interior nodes hold one key fewer than their children; keeping them below the
    // leaf capacity as well means no reader can mistake a full interior node for a leaf.
    while (plan.levels.back().size() > 1)
        plan.levels.push_back(balancedGroups(plan.levels.back().size(), maxKeys));
    for (auto& level : plan.levels)
        plan.blocks += level.size();
    return plan;
}

/// Record numbers (0-based) in key order, ties by record number.
std::vector<std::uint32_t> sortedRecords(const std::string& keys, std::size_t keyLength, std::size_t count)
{
    // The first 8 key bytes as one big-endian number make most comparisons a single
    // integer compare; the rest of a longer key is compared only on a tie.
    struct Entry {
        std::uint64_t prefix;
        std::uint32_t record;
    };
    std::vector<Entry> entries(count);
    const auto* base = reinterpret_cast<const unsigned char*>(keys.data());
    std::size_t prefixLength = std::min<std::size_t>(keyLength, 8);
    for (std::size_t r = 0; r < count; ++r) {
        const unsigned char* k = base + r * keyLength;
        std::uint64_t prefix = 0;
        for (std::size_t i = 0; i < 8; ++i)
            prefix = (prefix << 8) | (i < prefixLength ? k[i] : 0u);
        entries[r] = { prefix, static_cast<std::uint32_t>(r) };
    }
    if (keyLength <= 8) {
        // The prefix is the whole key: a stable radix sort over its bytes, least
        // significant first, keeps equal keys in record order. Bytes that are the same
        // in every key (the padding of short codes, often) cost one counting pass.
        std::vector<Entry> scratch(count);
        for (std::size_t byte = 0; byte < 8; ++byte) {
            const unsigned shift = static_cast<unsigned>(8 * byte);
            std::size_t histogram[257] = {};
            for (const Entry& e : entries)
                ++histogram[((e.prefix >> shift) & 0xFF) + 1];
            if (count == 0 || histogram[((entries[0].prefix >> shift) & 0xFF) + 1] == count)
                continue;
            for (std::size_t i = 1; i < 257; ++i)
                histogram[i] += histogram[i - 1];
            for (const Entry& e : entries)
                scratch[histogram[(e.prefix >> shift) & 0xFF]++] = e;
            entries.swap(scratch);
        }
    } else {
        std::sort(entries.begin(), entries.end(), [&](const Entry& a, const Entry& b) {
            if (a.prefix != b.prefix)
                return a.prefix < b.prefix;
            int c = std::memcmp(
                base + a.record * keyLength + 8, base + b.record * keyLength + 8, keyLength - 8);
            return c != 0 ? c < 0 : a.record < b.record;
        });
    }
    std::vector<std::uint32_t> order(count);
    for (std::size_t i = 0; i < count; ++i)
        order[i] = entries[i].record;
    return order;
}

/// The index file written front to back through the engine's file layer.
class SequentialWriter {
public:
    SequentialWriter(const std::filesystem::path& file, const platform::IoHooks* io)
        : m_path(file)
    {
        if (!m_file.open(
                file, BlockFile::Mode::Create, { errors::indexUnreadable, errors::indexUnwritable }, io))
            throw errors::indexCannotCreate(file);
    }

    void write(const unsigned char* data, std::size_t size)
    {
        m_file.write(m_written, reinterpret_cast<const char*>(data), size);
        m_written += size;
    }

    void finish()
    {
        m_file.flush();
        if (!m_file.close())
            throw errors::indexUnwritable(m_path);
    }

private:
    std::filesystem::path m_path;
    BlockFile m_file;
    std::uint64_t m_written = 0;
};

/// Tag-name tree threads (left, right, parent; 1-based tag numbers) for tags
/// inserted in order, as an index that gained its tags one by one holds them.
std::vector<std::array<std::uint8_t, 3>> tagTree(const std::vector<MdxTagKeys>& tags)
{
    std::vector<std::array<std::uint8_t, 3>> links(tags.size(), { 0, 0, 0 });
    for (std::size_t t = 1; t < tags.size(); ++t) {
        std::size_t at = 0;
        for (;;) {
            bool left = tags[t].name < tags[at].name;
            std::uint8_t& child = links[at][left ? 0 : 1];
            if (child == 0) {
                child = static_cast<std::uint8_t>(t + 1);
                links[t][2] = static_cast<std::uint8_t>(at + 1);
                break;
            }
            at = child - 1u;
        }
    }
    return links;
}

} // namespace

std::size_t MdxFile::maxKeysPerNode(std::size_t keyLength)
{
    return (kMdxBlockSize - 12) / itemLength(keyLength);
}

void MdxFile::write(const std::filesystem::path& file, std::string_view tableName,
    std::uint8_t languageDriver, const std::vector<MdxTagKeys>& tags, const platform::IoHooks* io)
{
    std::vector<TreePlan> plans;
    std::vector<std::uint32_t> tagHeaderPage;
    std::uint32_t page = kMdxFirstTagPage;
    for (const auto& tag : tags) {
        std::size_t count = tag.keyLength ? tag.keys.size() / tag.keyLength : 0;
        plans.push_back(planTree(count, maxKeysPerNode(tag.keyLength)));
        tagHeaderPage.push_back(page);
        page += static_cast<std::uint32_t>(kMdxPagesPerBlock * (1 + plans.back().blocks));
    }
    const std::uint32_t totalPages = page;

    SequentialWriter out(file, io);

    std::vector<unsigned char> head(kFileHeaderPages * kMdxPageSize, 0);
    head[kOffMdxVersion] = kMdxVersionDbase4;
    writeToday(&head[kOffMdxCreated]);
    putName(&head[kOffMdxTableName], tableName, kMdxTableNameSize + 1);
    writeU16(&head[kOffMdxPagesPerBlock], kMdxPagesPerBlock);
    writeU16(&head[kOffMdxBlockBytes], kMdxBlockSize);
    head[kOffMdxProduction] = 1;
    head[kOffMdxTagSlots] = static_cast<unsigned char>(kMdxTagSlots);
    head[kOffMdxTagEntrySize] = static_cast<unsigned char>(kMdxTagEntrySize);
    writeU16(&head[kOffMdxTagsInUse], static_cast<std::uint32_t>(tags.size()));
    head[kOffMdxLanguageDriver] = languageDriver;
    writeU32(&head[kOffMdxPageCount], totalPages);
    writeToday(&head[kOffMdxUpdated]);
    if (!tags.empty())
        head[kOffMdxTagTreeRoot] = 1;
    auto links = tagTree(tags);
    for (std::size_t t = 0; t < tags.size(); ++t) {
        unsigned char* e = &head[kMdxTagTableOffset + kMdxTagEntrySize * (t + 1)];
        writeU32(e + kEntHeaderPage, tagHeaderPage[t]);
        putName(e + kEntName, tags[t].name, kEntNameSize);
        e[kEntKeyFormat] = kKeyFormatField;
        e[kEntLeft] = links[t][0];
        e[kEntRight] = links[t][1];
        e[kEntParent] = links[t][2];
        e[kEntConstant] = kEntryConstant;
        e[kEntKeyType] = kTypeCharacter;
    }
    out.write(head.data(), head.size());

    std::array<unsigned char, kMdxBlockSize> block {};
    for (std::size_t t = 0; t < tags.size(); ++t) {
        const MdxTagKeys& tag = tags[t];
        const TreePlan& plan = plans[t];
        const std::size_t keyLength = tag.keyLength;
        const std::size_t item = itemLength(keyLength);
        const std::size_t count = keyLength ? tag.keys.size() / keyLength : 0;
        const std::uint32_t firstNodePage = tagHeaderPage[t] + kMdxPagesPerBlock;
        const std::uint32_t rootPage
            = firstNodePage + static_cast<std::uint32_t>((plan.blocks - 1) * kMdxPagesPerBlock);
        const std::uint32_t lastLeafPage = firstNodePage
            + static_cast<std::uint32_t>((plan.levels.front().size() - 1) * kMdxPagesPerBlock);

        block.fill(0);
        writeU32(&block[kTagRoot], rootPage);
        writeU32(&block[kTagPages], static_cast<std::uint32_t>(plan.blocks * kMdxPagesPerBlock));
        block[kTagKeyFormat] = kKeyFormatField;
        block[kTagKeyType] = kTypeCharacter;
        writeU16(&block[kTagKeyLength], static_cast<std::uint32_t>(keyLength));
        writeU16(&block[kTagMaxKeys], static_cast<std::uint32_t>(maxKeysPerNode(keyLength)));
        writeU16(&block[kTagItemLength], static_cast<std::uint32_t>(item));
        block[kTagVersion] = kTagHeaderVersion;
        putName(&block[kTagExpression], tag.expression, kMdxMaxExpression);
        block[kTagHasKeys] = count > 0 ? 1 : 0;
        writeU32(&block[kTagFirstLeaf], firstNodePage);
        writeU32(&block[kTagLastLeaf], lastLeafPage);
        writeToday(&block[kTagUpdated]);
        block[kTagSingleField] = 1;
        out.write(block.data(), block.size());

        const auto order = sortedRecords(tag.keys, keyLength, count);
        const auto* keys = reinterpret_cast<const unsigned char*>(tag.keys.data());
        // Per node of the level below: its page and the position (in key order) of
        // the highest key of its subtree.
        std::vector<std::pair<std::uint32_t, std::size_t>> below;
        std::uint32_t nextPage = firstNodePage;

        std::size_t position = 0;
        for (std::size_t size : plan.levels.front()) {
            block.fill(0);
            writeU32(&block[0], static_cast<std::uint32_t>(size));
            unsigned char* p = &block[kMdxNodeHeader];
            for (std::size_t i = 0; i < size; ++i, p += item) {
                std::uint32_t record = order[position + i];
                writeU32(p, record + 1);
                std::memcpy(p + 4, keys + std::size_t { record } * keyLength, keyLength);
            }
            out.write(block.data(), block.size());
            below.emplace_back(nextPage, position + size - 1);
            nextPage += kMdxPagesPerBlock;
            position += size;
        }
        for (std::size_t level = 1; level < plan.levels.size(); ++level) {
            std::vector<std::pair<std::uint32_t, std::size_t>> current;
            std::size_t child = 0;
            for (std::size_t children : plan.levels[level]) {
                block.fill(0);
                writeU32(&block[0], static_cast<std::uint32_t>(children - 1));
                unsigned char* p = &block[kMdxNodeHeader];
                for (std::size_t i = 0; i + 1 < children; ++i, p += item) {
                    auto [childPage, highest] = below[child + i];
                    writeU32(p, childPage);
                    std::memcpy(p + 4, keys + std::size_t { order[highest] } * keyLength, keyLength);
                }
                // The page after the last item is the rightmost child: what lies above
                // every separator of this node.
                writeU32(p, below[child + children - 1].first);
                out.write(block.data(), block.size());
                current.emplace_back(nextPage, below[child + children - 1].second);
                nextPage += kMdxPagesPerBlock;
                child += children;
            }
            below = std::move(current);
        }
    }
    out.finish();
}

std::vector<MdxTagInfo> MdxFile::readTags(const std::filesystem::path& file, const platform::IoHooks* io)
{
    auto corrupt = [&](const std::string& reason, const std::string& what) {
        return errors::indexCorrupt(file, reason, what);
    };
    BlockFile f;
    if (!f.open(file, BlockFile::Mode::Read, { errors::indexUnreadable, errors::indexUnwritable }, io))
        throw errors::indexUnreadable(file);
    std::error_code ec;
    auto size = std::filesystem::file_size(file, ec);
    if (ec)
        throw errors::indexUnreadable(file);
    std::vector<unsigned char> head(kFileHeaderPages * kMdxPageSize);
    if (size < head.size() || !f.read(0, reinterpret_cast<char*>(head.data()), head.size()))
        throw corrupt("el archivo es más corto que su cabecera", "shorter than its header");
    if (head[kOffMdxTagEntrySize] != kMdxTagEntrySize)
        throw corrupt("la lista de etiquetas no tiene el formato de dBASE",
            "tag entry size " + std::to_string(head[kOffMdxTagEntrySize]));
    std::size_t inUse = readU16(&head[kOffMdxTagsInUse]);
    if (inUse >= kMdxTagSlots)
        throw corrupt("dice tener " + std::to_string(inUse) + " etiquetas, más de las que caben",
            "tag count " + std::to_string(inUse));
    std::vector<MdxTagInfo> tags;
    std::array<unsigned char, kTagExpression + kMdxMaxExpression> tagHead {};
    for (std::size_t t = 1; t <= inUse; ++t) {
        const unsigned char* e = &head[kMdxTagTableOffset + kMdxTagEntrySize * t];
        std::uint64_t offset = std::uint64_t { readU32(e + kEntHeaderPage) } * kMdxPageSize;
        if (offset < head.size() || offset + tagHead.size() > size)
            throw corrupt("la etiqueta " + std::to_string(t) + " apunta fuera del archivo",
                "tag header page out of the file");
        if (!f.read(offset, reinterpret_cast<char*>(tagHead.data()), tagHead.size()))
            throw corrupt("no se puede leer la etiqueta " + std::to_string(t), "tag header unreadable");
        MdxTagInfo info;
        const char* name = reinterpret_cast<const char*>(e + kEntName);
        info.name.assign(name, boundedLength(name, kEntNameSize));
        const char* expr = reinterpret_cast<const char*>(&tagHead[kTagExpression]);
        info.expression.assign(expr, boundedLength(expr, kMdxMaxExpression));
        info.keyType = static_cast<char>(tagHead[kTagKeyType]);
        info.keyLength = readU16(&tagHead[kTagKeyLength]);
        tags.push_back(std::move(info));
    }
    return tags;
}

} // namespace tramazel::dbf
