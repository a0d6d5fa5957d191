// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <unordered_map>

namespace tramazel::text {

/// The lookup between tables: maps a key text to the first row (in the order rows
/// were added) whose key equals it exactly, letter case included. Built once per
/// table in one pass; each lookup is constant time.
template <typename Value> class FirstMatchIndex {
public:
    /// Records `value` under `key` unless an earlier row already holds that key.
    void add(std::string_view key, Value value)
    {
        if (m_map.find(key) == m_map.end())
            m_map.emplace(std::string(key), std::move(value));
    }

    /// The value of the first row whose key equals `key`, or nullptr.
    const Value* find(std::string_view key) const
    {
        auto it = m_map.find(key);
        return it == m_map.end() ? nullptr : &it->second;
    }

    std::size_t size() const noexcept { return m_map.size(); }
    void reserve(std::size_t n) { m_map.reserve(n); }

private:
    struct Hash {
        using is_transparent = void;
        std::size_t operator()(std::string_view s) const noexcept
        {
            return std::hash<std::string_view> {}(s);
        }
    };
    std::unordered_map<std::string, Value, Hash, std::equal_to<>> m_map;
};

} // namespace tramazel::text
