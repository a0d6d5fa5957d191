// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <optional>

namespace tramazel::help {

/// Reads `size` bytes at byte `offset` of a file into `out`; false when it cannot.
using ChmByteReader = std::function<bool(std::uint64_t offset, std::size_t size, unsigned char* out)>;

/// Where the structures that opening a compiled help file reads lie in it.
struct ChmLayout {
    std::uint64_t directoryOffset = 0; ///< the directory header ("ITSP")
    std::uint64_t firstChunkOffset = 0; ///< directory chunk 0
    std::uint32_t chunkSize = 0;
    std::uint32_t chunkCount = 0;
    std::uint32_t firstListingChunk = 0; ///< the first chunk of the name listing ("PMGL")
    std::optional<std::uint64_t> resetTableOffset; ///< of the compressed section, when it has one
    std::optional<std::uint64_t> controlDataOffset;
    std::optional<std::uint64_t> contentOffset; ///< the compressed bytes of that section
};

/// Checks the headers and the directory of a compiled help file of `fileSize`
/// bytes before chmlib opens it: the file and directory headers, the chunk size and
/// count, every directory chunk (entries inside their chunk, links to chunks that
/// exist, no cycles), and the compressed section's control data and reset table
/// (window, reset interval, block length, block offsets), which chmlib divides by
/// and sizes its buffers with. Nothing when any of them is damaged, or when the file
/// has compressed objects that chmlib would not decompress: chmlib could divide by
/// zero, read or write out of bounds or loop forever on such a file.
std::optional<ChmLayout> checkChmDirectory(std::uint64_t fileSize, const ChmByteReader& read);

} // namespace tramazel::help
