// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Error.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdint>
#include <filesystem>
#include <functional>
#include <string>
#include <utility>
#include <vector>

namespace tramazel::test {

inline unsigned u8(const std::string& bytes, std::size_t at)
{
    return static_cast<unsigned char>(bytes.at(at));
}
inline unsigned u16(const std::string& bytes, std::size_t at)
{
    return u8(bytes, at) | (u8(bytes, at + 1) << 8);
}
inline std::uint32_t u32(const std::string& bytes, std::size_t at)
{
    return u16(bytes, at) | (static_cast<std::uint32_t>(u16(bytes, at + 2)) << 16);
}

struct Walk {
    std::vector<std::pair<std::string, std::uint32_t>> entries; // key, record number
    int depth = 0;
    std::size_t nodes = 0;
};

// A deliberately plain reading of the index: follow the only tag from its root,
// interior items point at children, the word after the last item tells an
// interior node (a page) from a leaf (zero).
inline void walkNode(const std::string& mdx, std::uint32_t page, std::size_t keyLength, std::size_t item,
    int depth, Walk& walk)
{
    ASSERT_LT(page * 512u + 1024u, mdx.size() + 1) << "node beyond the file";
    const std::size_t at = page * 512u;
    const std::uint32_t n = u32(mdx, at);
    ASSERT_LE(n, (1024u - 12) / item);
    ++walk.nodes;
    const std::uint32_t trailer = u32(mdx, at + 8 + n * item);
    if (trailer == 0) {
        if (walk.depth == 0)
            walk.depth = depth;
        EXPECT_EQ(walk.depth, depth) << "every leaf at the same depth";
        for (std::uint32_t i = 0; i < n; ++i)
            walk.entries.emplace_back(
                mdx.substr(at + 8 + i * item + 4, keyLength), u32(mdx, at + 8 + i * item));
        return;
    }
    for (std::uint32_t i = 0; i <= n; ++i) {
        const std::size_t before = walk.entries.size();
        std::uint32_t child = i < n ? u32(mdx, at + 8 + i * item) : trailer;
        walkNode(mdx, child, keyLength, item, depth + 1, walk);
        if (i < n) {
            // The separator is the highest key of the child's subtree.
            ASSERT_GT(walk.entries.size(), before);
            EXPECT_EQ(mdx.substr(at + 8 + i * item + 4, keyLength), walk.entries.back().first);
        }
    }
}

inline Walk walkIndex(const std::filesystem::path& file)
{
    const std::string mdx = readFile(file);
    Walk walk;
    EXPECT_EQ(mdx.size(), u32(mdx, 32) * 512u) << "page count";
    EXPECT_EQ(u16(mdx, 28), 1u) << "one tag";
    const std::uint32_t tagPage = u32(mdx, 544);
    const std::size_t th = tagPage * 512u;
    const std::size_t keyLength = u16(mdx, th + 12);
    const std::size_t item = u16(mdx, th + 18);
    EXPECT_EQ(item, (4 + keyLength + 3) / 4 * 4);
    walkNode(mdx, u32(mdx, th), keyLength, item, 1, walk);
    EXPECT_EQ(u8(mdx, th + 246), walk.entries.empty() ? 0u : 1u) << "has-keys byte";
    return walk;
}

// The key order an index built from scratch holds: bytes, then record number.
inline std::vector<std::pair<std::string, std::uint32_t>> expectedOrder(std::vector<std::string> keys)
{
    std::vector<std::pair<std::string, std::uint32_t>> all;
    for (std::size_t i = 0; i < keys.size(); ++i)
        all.emplace_back(keys[i], static_cast<std::uint32_t>(i + 1));
    std::sort(all.begin(), all.end());
    return all;
}

} // namespace tramazel::test
