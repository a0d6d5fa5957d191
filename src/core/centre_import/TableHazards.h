// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include "WarningTexts.h"
#include "Warnings.h"
#include "text/CodeSet.h"

#include <string>
#include <string_view>
#include <vector>

namespace tramazel::xml {
class XmlAttributeName;
class XmlElement;
} // namespace tramazel::xml

namespace tramazel::centre_import {

/// What a builder notes while it fills one table: values whose characters
/// Windows-1252 lacks, texts the engine cuts to their field's width, and keys that
/// more than one record holds once cut. None of these stops the import; each goes
/// to the warnings list, one kind per hazard and table.
class TableHazards {
public:
    TableHazards(std::string_view table, Warnings& warnings);

    /// The element attribute read (trimmed cp1252 text, empty when missing); a
    /// value with characters turned into "?" is noted. The text is a view into the
    /// document, or into `scratch` when it had to be converted: it stays valid until
    /// `scratch` changes, so each value read at once needs its own. The builders look
    /// each attribute name up once per document (XmlDocument::attributeName).
    std::string_view read(
        const xml::XmlElement& element, const xml::XmlAttributeName& attribute, std::string& scratch);

    /// Notes `value` when it is longer than `width`, the width of `field`.
    void noteCut(std::string_view field, std::string_view value, int width);

    /// Notes a key of `field` as the table stores it (its first `width` characters).
    /// A key that an earlier record already holds, compared exactly as lookups
    /// compare, counts under `description`, with `codi` (the GestIB code of the
    /// record) in the example. An empty key counts as such (warning::emptyKeys): the
    /// export finds no record by an empty key.
    void noteKey(std::string_view field, std::string_view value, int width, std::string_view description,
        std::string_view codi);

private:
    template <typename MakeExample> void report(std::string_view description, MakeExample&& makeExample);

    std::string m_table;
    Warnings& m_warnings;
    std::string m_cutDescription;
    text::CodeSet m_keys { text::CodeSet::LetterCase::Significant };
    // The kinds this table has reported, with their place in the warnings list, so
    // that a hazard met on every record is counted without looking its kind up there.
    struct ReportedKind {
        std::string description;
        std::size_t kind;
    };
    std::vector<ReportedKind> m_reported;
};

} // namespace tramazel::centre_import
