// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstdint>

/// Little-endian integers in byte buffers, the byte order of dBASE tables, MDX indexes
/// and compiled help files, read and written a byte at a time so that neither the
/// host's byte order nor the buffer's alignment matters.
namespace tramazel {

/// The 16-bit unsigned integer stored at `p` (2 bytes, least significant first).
inline std::uint16_t readU16(const unsigned char* p) noexcept
{
    return static_cast<std::uint16_t>(p[0] | (p[1] << 8));
}

/// The 32-bit unsigned integer stored at `p` (4 bytes, least significant first).
inline std::uint32_t readU32(const unsigned char* p) noexcept
{
    return static_cast<std::uint32_t>(p[0]) | (static_cast<std::uint32_t>(p[1]) << 8)
        | (static_cast<std::uint32_t>(p[2]) << 16) | (static_cast<std::uint32_t>(p[3]) << 24);
}

/// Stores the low 16 bits of `v` at `p`, least significant byte first.
inline void writeU16(unsigned char* p, std::uint32_t v) noexcept
{
    p[0] = static_cast<unsigned char>(v & 0xFF);
    p[1] = static_cast<unsigned char>((v >> 8) & 0xFF);
}

/// Stores `v` at `p` in 4 bytes, least significant first.
inline void writeU32(unsigned char* p, std::uint32_t v) noexcept
{
    for (int i = 0; i < 4; ++i)
        p[i] = static_cast<unsigned char>((v >> (8 * i)) & 0xFF);
}

} // namespace tramazel
