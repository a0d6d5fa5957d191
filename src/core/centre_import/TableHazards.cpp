// SPDX-License-Identifier: GPL-3.0-or-later
#include "centre_import/TableHazards.h"

#include "centre_import/CodeRules.h"
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
    // can still be kept, so a hazard met on every record costs no text.
    for (const ReportedKind& reported : m_reported) {
        if (reported.description == description) {
            if (m_warnings.kinds()[reported.kind].count < Warnings::kExamplesPerKind)
                m_warnings.addTo(reported.kind, makeExample());
            else
                m_warnings.addTo(reported.kind);
            return;
        }
    }
    // The kind may already hold examples from elsewhere in the run.
    const std::size_t kind = m_warnings.count(description) < Warnings::kExamplesPerKind
        ? m_warnings.add(description, makeExample())
        : m_warnings.add(description);
    m_reported.push_back(ReportedKind { std::string(description), kind });
}

std::string_view TableHazards::read(
    const xml::XmlElement& element, const xml::XmlAttributeName& attribute, std::string& scratch)
{
    std::size_t replaced = 0;
    const std::string_view value = element.attribute(attribute, scratch, &replaced);
    if (replaced > 0)
        report(warning::kReplacedCharacters,
            [&] { return m_table + " " + std::string(attribute.text()) + "=" + text::cp1252ToUtf8(value); });
    return value;
}

void TableHazards::noteCut(std::string_view field, std::string_view value, int width)
{
    if (value.size() > static_cast<std::size_t>(width))
        report(m_cutDescription, [&] { return std::string(field) + " «" + text::cp1252ToUtf8(value) + "»"; });
}

void TableHazards::noteKey(std::string_view field, std::string_view value, int width,
    std::string_view description, std::string_view codi)
{
    // Lookups compare the stored text read back, without the blanks that pad it.
    const std::string_view stored = rules::storedKey(value, width);
    if (stored.empty()) {
        report(warning::emptyKeys(m_table, field), [&] { return "codi " + text::cp1252ToUtf8(codi); });
        return;
    }
    if (!m_keys.add(stored))
        report(description,
            [&] { return text::cp1252ToUtf8(stored) + " (codi " + text::cp1252ToUtf8(codi) + ")"; });
}

} // namespace tramazel::centre_import
