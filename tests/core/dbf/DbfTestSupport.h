// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "Error.h"
#include "TestSupport.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <functional>
#include <string>

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

} // namespace tramazel::test
