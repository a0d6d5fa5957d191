// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

/// The checks of XML well-formedness that pugixml leaves out, made in one pass over
/// the document's UTF-8 text before it is parsed, and the expansion of the internal
/// entities a DOCTYPE declares.
namespace tramazel::xml {

namespace detail {
class Scanner;
}

/// Bounds on the expansion of internal entities, against expansion bombs.
struct EntityLimits {
    std::size_t maxDepth = 16; ///< entities nested inside entities
    std::size_t maxExpandedBytes = std::size_t { 8 } << 20; ///< replacement text read, in all
};

/// The first fault found: a byte offset in the text scanned and a reason in Spanish.
struct ScanFault {
    std::size_t offset = 0;
    std::string reason;
};

/// The outcome of a scan.
class ScanResult {
public:
    /// The first fault, if any; nothing else is valid then.
    const std::optional<ScanFault>& fault() const noexcept { return m_fault; }
    /// The text to parse: `utf8` itself, or a copy with every reference to a declared
    /// internal entity replaced by its expansion (escaped, so that it reads as text).
    std::string_view text(std::string_view utf8) const noexcept
    {
        return m_expanded ? std::string_view(*m_expanded) : utf8;
    }
    /// The offset in the scanned text of a byte offset in text(): a byte inside an
    /// expansion maps to the reference it replaces.
    std::size_t scannedOffset(std::size_t offset) const noexcept;

private:
    friend class detail::Scanner;
    struct Replacement {
        std::size_t scannedStart; // the '&' of the reference
        std::size_t scannedEnd; // one past its ';'
        std::size_t expandedStart;
        std::size_t expandedEnd;
    };
    std::optional<ScanFault> m_fault;
    std::optional<std::string> m_expanded;
    std::vector<Replacement> m_replacements;
};

/// The XML declaration at the start of a text, as scanDeclaration reads it.
struct XmlDeclaration {
    std::optional<ScanFault> fault; ///< the first thing in it that XML does not allow
    std::string_view encoding; ///< the encoding's name as written (a view of the text), or empty
    std::size_t encodingOffset = 0; ///< where that name starts in the text
};

/// Checks the XML declaration at the start of `utf8`, when there is one (pugixml skips
/// it unread): "<?xml" in lower case, a version 1.x, then optionally an encoding name
/// of the form XML gives and standalone="yes" or "no", in that order and nothing else.
/// A declaration never closed, or holding a character XML excludes, is left to
/// scanWellFormed and the parser, which report it.
XmlDeclaration scanDeclaration(std::string_view utf8);

/// Scans `utf8` for what XML forbids and pugixml accepts: characters XML excludes,
/// written or referenced; a "&" that starts no reference, a reference to an entity
/// not declared, or one without its ";"; "<" in an attribute value; "--" in a
/// comment; "]]>" in text; an XML declaration anywhere but at the start; a DOCTYPE
/// after the root element or a second one; CDATA outside the root; a name with a
/// character XML does not allow in names; in the DOCTYPE's internal subset, a
/// declaration of a kind XML does not know, and an attribute given a default value
/// (the document would read otherwise to a validating reader). External and
/// parameter entities are never read: a reference to one is a fault. A scan stops
/// quietly at a construct left unterminated, which the parser reports.
ScanResult scanWellFormed(std::string_view utf8, const EntityLimits& limits = {});

} // namespace tramazel::xml
