// SPDX-License-Identifier: GPL-3.0-or-later
#include "centre_import/GroupsInSubjectName.h"

#include <algorithm>

namespace tramazel::centre_import {

namespace {

bool isBlank(char c)
{
    return c == ' ' || c == '\t' || c == '\r' || c == '\n';
}

std::string_view trimmed(std::string_view s)
{
    while (!s.empty() && isBlank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && isBlank(s.back()))
        s.remove_suffix(1);
    return s;
}

std::vector<std::string_view> segmentsOf(std::string_view description)
{
    std::vector<std::string_view> segments;
    std::size_t start = 0;
    while (true) {
        const std::size_t dash = description.find('-', start);
        segments.push_back(
            trimmed(description.substr(start, dash == std::string_view::npos ? dash : dash - start)));
        if (dash == std::string_view::npos)
            return segments;
        start = dash + 1;
    }
}

bool isGroupName(std::span<const std::string> groupNames, std::string_view s)
{
    return std::find(groupNames.begin(), groupNames.end(), s) != groupNames.end();
}

// Every group name whose character is among `letters`, in the order of the names.
std::vector<std::string> namesAmong(std::span<const std::string> groupNames, std::string_view letters)
{
    std::vector<std::string> names;
    for (const std::string& name : groupNames) {
        if (letters.find(name.front()) != std::string_view::npos
            && std::find(names.begin(), names.end(), name) == names.end())
            names.push_back(name);
    }
    return names;
}

} // namespace

std::vector<std::string> groupsNamedInSubject(
    std::string_view description, std::span<const std::string> groupNames)
{
    const bool oneCharacterNames = !groupNames.empty()
        && std::all_of(
            groupNames.begin(), groupNames.end(), [](const std::string& n) { return n.size() == 1; });

    const std::vector<std::string_view> segments = segmentsOf(description);
    for (std::size_t i = segments.size(); i-- > 1;) {
        const std::string_view segment = segments[i];
        if (segment.empty())
            continue;
        if (isGroupName(groupNames, segment))
            return { std::string(segment) };
        if (!oneCharacterNames)
            continue;
        std::string_view letters = segment;
        while (!letters.empty() && letters.back() >= '0' && letters.back() <= '9')
            letters.remove_suffix(1);
        if (!letters.empty() && std::all_of(letters.begin(), letters.end(), [&](char c) {
                return isGroupName(groupNames, std::string_view(&c, 1));
            }))
            return namesAmong(groupNames, letters);
    }
    return {};
}

} // namespace tramazel::centre_import
