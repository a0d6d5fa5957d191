// SPDX-License-Identifier: GPL-3.0-or-later
#include "ChmDirectoryCheck.h"

#include "Bytes.h"
#include "text/Ascii.h"

#include <algorithm>
#include <array>
#include <bit>
#include <cstring>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

namespace tramazel::help {

namespace {

// File header "ITSF": version 2 is 0x58 bytes long, version 3 adds the data offset.
constexpr std::uint64_t kItsfV2Length = 0x58;
constexpr std::uint64_t kItsfV3Length = 0x60;
// Directory header "ITSP", version 1.
constexpr std::uint64_t kItspLength = 0x54;
// Chunk headers: "PMGL" (a listing chunk) and "PMGI" (an index chunk).
constexpr std::uint32_t kPmglHeaderLength = 0x14;
constexpr std::uint32_t kPmgiHeaderLength = 0x08;
// chmlib allocates one chunk for every lookup; real files use 4 KiB.
constexpr std::uint32_t kMaxChunkSize = 1u << 20;
// chmlib's longest internal name (CHM_MAX_PATHLEN).
constexpr std::uint64_t kMaxNameLength = 512;
// chmlib reads the control data into a buffer of this size, and refuses more.
constexpr std::uint64_t kMaxControlDataLength = 256;
constexpr std::uint64_t kResetTableLength = 0x28;
constexpr std::uint64_t kMinControlDataLength = 0x18;
// chmlib decompresses blocks of exactly this length (the LZX frame of the format)
// and gives a block's compressed bytes a buffer of the block length plus 6 KiB.
constexpr std::uint64_t kBlockLength = 0x8000;
constexpr std::uint64_t kMaxCompressedBlockLength = kBlockLength + 6144;
// Control data of version 2 counts the window and the reset interval in blocks;
// LZX windows run from 2^15 to 2^21 bytes.
constexpr std::uint32_t kMaxWindowBlocks = (1u << 21) / kBlockLength;

constexpr std::string_view kResetTableName
    = "::DataSpace/Storage/MSCompressed/Transform/{7FC28940-9D31-11D0-9B27-00A0C91E9C7C}/InstanceData/"
      "ResetTable";
constexpr std::string_view kContentName = "::DataSpace/Storage/MSCompressed/Content";
constexpr std::string_view kControlDataName = "::DataSpace/Storage/MSCompressed/ControlData";

std::uint64_t u64(const unsigned char* p)
{
    return std::uint64_t(readU32(p)) | std::uint64_t(readU32(p + 4)) << 32;
}

std::int32_t i32(const unsigned char* p)
{
    return static_cast<std::int32_t>(readU32(p));
}

struct Entry {
    std::uint64_t space = 0;
    std::uint64_t start = 0;
    std::uint64_t length = 0;
};

// Reads the entries of one chunk, each wholly inside it.
class ChunkCursor {
public:
    ChunkCursor(const std::vector<unsigned char>& chunk, std::uint32_t from, std::uint32_t end)
        : m_chunk(chunk)
        , m_pos(from)
        , m_end(end)
    {
    }
    bool more() const { return m_pos < m_end; }
    // A number of 7-bit groups, high bit set on all but the last byte.
    bool number(std::uint64_t& value)
    {
        value = 0;
        for (int groups = 0; groups < 10; ++groups) {
            if (m_pos >= m_chunk.size())
                return false;
            const unsigned char byte = m_chunk[m_pos++];
            value = (value << 7) | (byte & 0x7fu);
            if (byte < 0x80)
                return true;
        }
        return false;
    }
    bool name(std::string& out)
    {
        std::uint64_t length = 0;
        if (!number(length) || length > kMaxNameLength || length > m_chunk.size() - m_pos)
            return false;
        out.assign(reinterpret_cast<const char*>(m_chunk.data() + m_pos), std::size_t(length));
        m_pos += std::size_t(length);
        return true;
    }

private:
    const std::vector<unsigned char>& m_chunk;
    std::size_t m_pos;
    std::size_t m_end;
};

struct Directory {
    std::vector<std::vector<std::uint32_t>> children; // of index chunks
    std::vector<std::int32_t> next; // of listing chunks; -2 for other chunks
    std::vector<Entry> resetTable, content, controlData;
    // Where the farthest object that chmlib would decompress ends in the
    // uncompressed section: it reads every section but 0 as compressed.
    std::uint64_t compressedEnd = 0;
};

bool readChunks(const ChmLayout& layout, const ChmByteReader& read, Directory& dir)
{
    const std::uint32_t size = layout.chunkSize;
    std::vector<unsigned char> chunk(size);
    dir.children.resize(layout.chunkCount);
    dir.next.assign(layout.chunkCount, -2);
    for (std::uint32_t i = 0; i < layout.chunkCount; ++i) {
        if (!read(layout.firstChunkOffset + std::uint64_t(i) * size, size, chunk.data()))
            return false;
        const bool listing = std::memcmp(chunk.data(), "PMGL", 4) == 0;
        const bool index = std::memcmp(chunk.data(), "PMGI", 4) == 0;
        if (!listing && !index)
            continue; // chmlib gives up at such a chunk
        // Offset 4: the free space at the end of the chunk.
        const std::uint32_t header = listing ? kPmglHeaderLength : kPmgiHeaderLength;
        const std::uint32_t freeSpace = readU32(chunk.data() + 4);
        if (freeSpace > size - header)
            return false;
        ChunkCursor cursor(chunk, header, size - freeSpace);
        std::string name;
        if (listing) {
            // Offset 0x10: the next listing chunk, or -1.
            const std::int32_t next = i32(chunk.data() + 0x10);
            if (next < -1 || next >= std::int64_t(layout.chunkCount))
                return false;
            dir.next[i] = next;
            while (cursor.more()) {
                Entry e;
                if (!cursor.name(name) || !cursor.number(e.space) || !cursor.number(e.start)
                    || !cursor.number(e.length))
                    return false;
                if (e.space != 0 && e.length != 0) {
                    constexpr std::uint64_t far = std::numeric_limits<std::uint64_t>::max();
                    dir.compressedEnd
                        = std::max(dir.compressedEnd, e.length > far - e.start ? far : e.start + e.length);
                }
                if (text::equalsIgnoringAsciiCase(name, kResetTableName))
                    dir.resetTable.push_back(e);
                else if (text::equalsIgnoringAsciiCase(name, kContentName))
                    dir.content.push_back(e);
                else if (text::equalsIgnoringAsciiCase(name, kControlDataName))
                    dir.controlData.push_back(e);
            }
        } else {
            while (cursor.more()) {
                std::uint64_t child = 0;
                if (!cursor.name(name) || !cursor.number(child) || child >= layout.chunkCount)
                    return false;
                dir.children[i].push_back(std::uint32_t(child));
            }
        }
    }
    return true;
}

// No lookup from `root` through index chunks may come back to a chunk on its path.
bool indexIsAcyclic(const Directory& dir, std::uint32_t root)
{
    enum class Mark : unsigned char { New, OnPath, Done };
    std::vector<Mark> mark(dir.children.size(), Mark::New);
    std::vector<std::pair<std::uint32_t, std::size_t>> stack { { root, 0 } };
    mark[root] = Mark::OnPath;
    while (!stack.empty()) {
        auto& [chunk, nextChild] = stack.back();
        if (nextChild == dir.children[chunk].size()) {
            mark[chunk] = Mark::Done;
            stack.pop_back();
            continue;
        }
        const std::uint32_t child = dir.children[chunk][nextChild++];
        if (mark[child] == Mark::OnPath)
            return false;
        if (mark[child] == Mark::New) {
            mark[child] = Mark::OnPath;
            stack.emplace_back(child, 0);
        }
    }
    return true;
}

// The listing chain that enumerating the names follows must end.
bool listingChainEnds(const Directory& dir, std::uint32_t head)
{
    std::int64_t chunk = head;
    for (std::size_t steps = 0; steps <= dir.next.size(); ++steps) {
        if (chunk == -1 || dir.next[std::size_t(chunk)] == -2)
            return true;
        chunk = dir.next[std::size_t(chunk)];
    }
    return false;
}

bool within(std::uint64_t fileSize, std::uint64_t offset, std::uint64_t length)
{
    return offset <= fileSize && length <= fileSize - offset;
}

// Control data: u32 size, "LZXC", u32 version, u32 reset interval, u32 window
// size, u32 windows per reset (also called the cache size). chmlib turns
// compression off unless the signature is there, the reset interval is a nonzero
// multiple of half the window and the window is larger than a byte; it divides by
// half the window and by the number of blocks between resets, reckoned in 32 bits,
// even when it turned compression off. Version 2 counts in 32 KiB blocks, the only
// unit in use. The decoder's window is the lowest set bit of the window size.
bool controlDataIsSound(const unsigned char* control)
{
    if (std::memcmp(control + 4, "LZXC", 4) != 0 || readU32(control + 8) != 2)
        return false;
    const std::uint32_t resetInterval = readU32(control + 0x0c);
    const std::uint32_t window = readU32(control + 0x10);
    const std::uint32_t windowsPerReset = readU32(control + 0x14);
    if (!std::has_single_bit(window) || window > kMaxWindowBlocks)
        return false;
    // chmlib multiplies the interval by the block length in 32 bits.
    if (resetInterval == 0 || resetInterval > std::numeric_limits<std::uint32_t>::max() / kBlockLength)
        return false;
    // Half the window is window / 2 blocks: the interval must hold it whole.
    if (std::uint64_t(resetInterval) * 2 % window != 0)
        return false;
    const std::uint64_t blocksBetweenResets = std::uint64_t(resetInterval) * 2 / window * windowsPerReset;
    return blocksBetweenResets != 0 && blocksBetweenResets <= std::numeric_limits<std::uint32_t>::max();
}

// Reset table: u32 version (2), u32 block count, u32 entry size, u32 offset of the
// entries, u64 uncompressed length, u64 compressed length, u64 block length, then
// one u64 per block: where its compressed bytes start in the content. chmlib takes
// block n from entry n to entry n + 1, the last block listed to the compressed
// length, and reads it into its fixed buffer without comparing: a block length
// other than 32 KiB, or offsets that do not rise inside the content, overrun its
// buffers. It finds the block of an object by dividing the object's position by
// the block length, and reads entries at any index: every object decompressed must
// lie inside the uncompressed length, which the table's blocks must cover. Some
// compilers close the table with the compressed length as an entry of its own.
bool resetTableIsSound(const unsigned char* table, std::uint64_t tableLength, std::uint64_t tableOffset,
    const Entry& content, const Directory& dir, const ChmByteReader& read)
{
    const std::uint32_t count = readU32(table + 4);
    const std::uint32_t entriesOffset = readU32(table + 0x0c);
    const std::uint64_t uncompressedLength = u64(table + 0x10);
    const std::uint64_t compressedLength = u64(table + 0x18);
    if (readU32(table + 8) != 8 || u64(table + 0x20) != kBlockLength)
        return false;
    if (entriesOffset < kResetTableLength || entriesOffset > tableLength
        || count > (tableLength - entriesOffset) / 8)
        return false;
    if (compressedLength > content.length || dir.compressedEnd > uncompressedLength)
        return false;
    const std::uint64_t blocks = uncompressedLength / kBlockLength + (uncompressedLength % kBlockLength != 0);
    if (count != blocks && count != blocks + 1)
        return false;
    std::vector<unsigned char> bytes(std::size_t(count) * 8);
    if (count != 0 && !read(tableOffset + entriesOffset, bytes.size(), bytes.data()))
        return false;
    std::vector<std::uint64_t> offsets(count);
    for (std::size_t i = 0; i < offsets.size(); ++i)
        offsets[i] = u64(bytes.data() + 8 * i);
    if (count == blocks + 1 && offsets[blocks] != compressedLength)
        return false;
    if (blocks != 0 && offsets[0] != 0)
        return false;
    for (std::uint64_t i = 0; i < blocks; ++i) {
        const std::uint64_t end = i + 1 < blocks ? offsets[i + 1] : compressedLength;
        if (end <= offsets[i] || end - offsets[i] > kMaxCompressedBlockLength)
            return false;
    }
    return true;
}

// chmlib turns compression on when the three objects are found uncompressed and the
// reset table reads as version 2; it then decompresses every object outside section
// 0 with the control data and the reset table as they are. With compression off it
// reads none of them: a file that has such objects is damaged.
bool compressionIsSound(std::uint64_t fileSize, std::uint64_t dataOffset, const Directory& dir,
    const ChmByteReader& read, ChmLayout& layout)
{
    if (dir.resetTable.size() > 1 || dir.content.size() > 1 || dir.controlData.size() > 1)
        return false; // which one chmlib would take depends on its search
    const bool needed = dir.compressedEnd != 0;
    if (dir.resetTable.empty() || dir.content.empty() || dir.controlData.empty())
        return !needed;
    const Entry& rt = dir.resetTable.front();
    const Entry& cn = dir.content.front();
    const Entry& cd = dir.controlData.front();
    // Section 0 holds plain bytes, section 1 the compressed ones. chmlib turns
    // compression off when one of the three is in section 1, but reads an object of
    // any other section as compressed: the reset table or the control data there
    // would be decompressed while the file opens, before chmlib has a block cache
    // to divide by.
    if (rt.space > 1 || cn.space > 1 || cd.space > 1)
        return false;
    if (rt.space != 0 || cn.space != 0 || cd.space != 0)
        return !needed;
    if (rt.length < kResetTableLength || rt.start > fileSize || dataOffset > fileSize - rt.start)
        return !needed; // the table cannot be read: compression stays off
    const std::uint64_t rtOffset = dataOffset + rt.start;
    std::array<unsigned char, kResetTableLength> table {};
    if (!within(fileSize, rtOffset, table.size()) || !read(rtOffset, table.size(), table.data()))
        return !needed;
    if (readU32(table.data()) != 2)
        return !needed;
    layout.resetTableOffset = rtOffset;

    if (cd.length > kMaxControlDataLength)
        return false; // chmlib refuses the file itself
    if (cd.length < kMinControlDataLength || cd.start > fileSize || dataOffset > fileSize - cd.start)
        return false; // chmlib would divide by values it never read
    const std::uint64_t cdOffset = dataOffset + cd.start;
    std::array<unsigned char, kMinControlDataLength> control {};
    if (!within(fileSize, cdOffset, cd.length) || !read(cdOffset, control.size(), control.data()))
        return false;
    layout.controlDataOffset = cdOffset;
    if (!controlDataIsSound(control.data()))
        return false;

    if (!within(fileSize, rtOffset, rt.length) || cn.start > fileSize - dataOffset
        || !within(fileSize, dataOffset + cn.start, cn.length))
        return false;
    layout.contentOffset = dataOffset + cn.start;
    return resetTableIsSound(table.data(), rt.length, rtOffset, cn, dir, read);
}

} // namespace

std::optional<ChmLayout> checkChmDirectory(std::uint64_t fileSize, const ChmByteReader& read)
{
    std::array<unsigned char, kItsfV3Length> itsf {};
    if (fileSize < itsf.size() || !read(0, itsf.size(), itsf.data()))
        return std::nullopt;
    // ITSF: signature, version at 4, header length at 8, directory offset and length
    // at 0x48 and 0x50, data offset at 0x58 (version 3; else after the directory).
    if (std::memcmp(itsf.data(), "ITSF", 4) != 0)
        return std::nullopt;
    const std::uint32_t version = readU32(itsf.data() + 4);
    const std::uint32_t headerLength = readU32(itsf.data() + 8);
    if ((version != 2 && version != 3) || headerLength < (version == 2 ? kItsfV2Length : kItsfV3Length))
        return std::nullopt;
    const std::uint64_t dirOffset = u64(itsf.data() + 0x48);
    const std::uint64_t dirLength = u64(itsf.data() + 0x50);
    if (dirLength < kItspLength || !within(fileSize, dirOffset, dirLength))
        return std::nullopt;
    const std::uint64_t dataOffset = version == 3 ? u64(itsf.data() + 0x58) : dirOffset + dirLength;

    // ITSP: signature, version 1 at 4, header length at 8, chunk size at 0x10, index
    // root at 0x1c (-1: none), first listing chunk at 0x20, chunk count at 0x2c.
    std::array<unsigned char, kItspLength> itsp {};
    if (!read(dirOffset, itsp.size(), itsp.data()) || std::memcmp(itsp.data(), "ITSP", 4) != 0
        || readU32(itsp.data() + 4) != 1 || readU32(itsp.data() + 8) != kItspLength)
        return std::nullopt;
    ChmLayout layout;
    layout.directoryOffset = dirOffset;
    layout.firstChunkOffset = dirOffset + kItspLength;
    layout.chunkSize = readU32(itsp.data() + 0x10);
    layout.chunkCount = readU32(itsp.data() + 0x2c);
    if (layout.chunkSize <= kPmglHeaderLength || layout.chunkSize > kMaxChunkSize || layout.chunkCount == 0
        || layout.chunkCount > (dirLength - kItspLength) / layout.chunkSize)
        return std::nullopt;
    const std::int32_t head = i32(itsp.data() + 0x20);
    std::int32_t root = i32(itsp.data() + 0x1c);
    if (root <= -1)
        root = head;
    if (head < 0 || std::uint32_t(head) >= layout.chunkCount || std::uint32_t(root) >= layout.chunkCount)
        return std::nullopt;
    layout.firstListingChunk = std::uint32_t(head);

    Directory dir;
    if (!readChunks(layout, read, dir) || !indexIsAcyclic(dir, std::uint32_t(root))
        || !listingChainEnds(dir, std::uint32_t(head)))
        return std::nullopt;
    if (!compressionIsSound(fileSize, dataOffset, dir, read, layout))
        return std::nullopt;
    return layout;
}

} // namespace tramazel::help
