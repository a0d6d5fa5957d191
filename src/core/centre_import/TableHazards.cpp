// SPDX-License-Identifier: GPL-3.0-or-later
#include "centre_import/TableHazards.h"

#include "text/Cp1252.h"
#include "xml/XmlDocument.h"

namespace tramazel::centre_import {

TableHazards::TableHazards(std::string_view table, Warnings& warnings)
    : m_table(table)
    , m_warnings(warnings)
    , m_cutDescription(warning::cutTexts(table))
{
}

template <typename MakeExample>
void TableHazards::report(std::string_view description, MakeExample&& makeExample)
{
    // Warnings keeps only the first few examples of a kind: build one only while it
    // can still be kept, so a hazard met on every record costs no text. Counts only
    // grow, so a kind once past that point is remembered here and not asked again.
    for (const std::string& full : m_fullKinds) {
        if (full == description) {
            m_warnings.add(description);
            return;
        }
    }
    if (m_warnings.count(description) < Warnings::kExamplesPerKind) {
        m_warnings.add(description, makeExample());
        return;
    }
    m_fullKinds.emplace_back(description);
    m_warnings.add(description);
}

std::string TableHazards::read(const xml::XmlElement& element, std::string_view attribute)
{
    std::size_t replaced = 0;
    std::string value = element.attribute(attribute, &replaced);
    if (replaced > 0)
        report(warning::kReplacedCharacters,
            [&] { return m_table + " " + std::string(attribute) + "=" + text::cp1252ToUtf8(value); });
    return value;
}

void TableHazards::noteCut(std::string_view field, std::string_view value, int width)
{
    if (value.size() > static_cast<std::size_t>(width))
        report(m_cutDescription, [&] { return std::string(field) + " «" + text::cp1252ToUtf8(value) + "»"; });
}

void TableHazards::noteKey(
    std::string_view value, int width, std::string_view description, std::string_view codi)
{
    // Lookups compare the stored text read back, without the blanks that pad it.
    std::string_view stored = value.substr(0, static_cast<std::size_t>(width));
    while (!stored.empty() && stored.back() == ' ')
        stored.remove_suffix(1);
    if (!m_keys.add(stored))
        report(description,
            [&] { return text::cp1252ToUtf8(stored) + " (codi " + text::cp1252ToUtf8(codi) + ")"; });
}

} // namespace tramazel::centre_import
