// SPDX-License-Identifier: GPL-3.0-or-later
#include "Warnings.h"

#include "WarningTexts.h"

#include <algorithm>

namespace tramazel {

namespace {
// An example shows what a value looks like, not all of it: a value of millions of
// characters would otherwise fill the summary.
std::string shortened(std::string_view utf8)
{
    std::size_t characters = 0;
    for (std::size_t i = 0; i < utf8.size(); ++i) {
        if ((static_cast<unsigned char>(utf8[i]) & 0xC0) == 0x80)
            continue;
        if (characters++ == Warnings::kExampleCharacters)
            return std::string(utf8.substr(0, i)) + "…";
    }
    return std::string(utf8);
}
} // namespace

std::size_t Warnings::add(std::string_view description, std::string_view example)
{
    auto it = std::find_if(
        m_kinds.begin(), m_kinds.end(), [&](const Kind& k) { return k.description == description; });
    if (it == m_kinds.end()) {
        m_kinds.push_back(Kind { std::string(description), 0, {} });
        it = m_kinds.end() - 1;
    }
    const auto kind = static_cast<std::size_t>(it - m_kinds.begin());
    addTo(kind, example);
    return kind;
}

void Warnings::addTo(std::size_t kind, std::string_view example)
{
    Kind& k = m_kinds.at(kind);
    ++k.count;
    if (!example.empty() && k.examples.size() < kExamplesPerKind)
        k.examples.push_back(shortened(example));
}

std::size_t Warnings::count(std::string_view description) const
{
    auto it = std::find_if(
        m_kinds.begin(), m_kinds.end(), [&](const Kind& k) { return k.description == description; });
    return it == m_kinds.end() ? 0 : it->count;
}

std::string Warnings::line(const Kind& k)
{
    std::string line = k.description + ": " + std::to_string(k.count);
    if (!k.examples.empty()) {
        line += " (p. ej. ";
        for (std::size_t i = 0; i < k.examples.size(); ++i) {
            if (i)
                line += ", ";
            line += k.examples[i];
        }
        if (k.count > k.examples.size())
            line += ", …";
        line += ")";
    }
    return line;
}

std::vector<std::string> Warnings::lines() const
{
    std::vector<std::string> out;
    out.reserve(m_kinds.size());
    for (const Kind& k : m_kinds)
        out.push_back(line(k));
    return out;
}

std::vector<std::string> Warnings::summaryLines() const
{
    std::vector<std::string> out = lines();
    for (std::string& line : out)
        line.insert(0, warning::kLinePrefix);
    return out;
}

} // namespace tramazel
