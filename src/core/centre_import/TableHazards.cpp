// SPDX-License-Identifier: GPL-3.0-or-later
#include "centre_import/TableHazards.h"

#include "text/Cp1252.h"
#include "xml/XmlDocument.h"

namespace tramazel::centre_import {

std::string warning::cutTexts(std::string_view table)
{
    return std::string(table) + ": textos cortados al ancho de su campo";
}

TableHazards::TableHazards(std::string_view table, Warnings& warnings)
    : m_table(table)
    , m_warnings(warnings)
    , m_cutDescription(warning::cutTexts(table))
{
}

std::string TableHazards::read(const xml::XmlElement& element, std::string_view attribute)
{
    std::size_t replaced = 0;
    std::string value = element.attribute(attribute, &replaced);
    if (replaced > 0)
        m_warnings.add(warning::kReplacedCharacters,
            m_table + " " + std::string(attribute) + "=" + text::cp1252ToUtf8(value));
    return value;
}

void TableHazards::noteCut(std::string_view field, std::string_view value, int width)
{
    if (value.size() > static_cast<std::size_t>(width))
        m_warnings.add(m_cutDescription, std::string(field) + " «" + text::cp1252ToUtf8(value) + "»");
}

void TableHazards::noteKey(
    std::string_view value, int width, std::string_view description, std::string_view codi)
{
    // Lookups compare the stored text read back, without the blanks that pad it.
    std::string_view stored = value.substr(0, static_cast<std::size_t>(width));
    while (!stored.empty() && stored.back() == ' ')
        stored.remove_suffix(1);
    std::string key(stored);
    if (m_keys.contains(key)) {
        m_warnings.add(description, text::cp1252ToUtf8(key) + " (codi " + text::cp1252ToUtf8(codi) + ")");
        return;
    }
    m_keys.insert(std::move(key));
}

} // namespace tramazel::centre_import
