// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <cstddef>
#include <cstdint>
#include <filesystem>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "Error.h"

namespace pugi {
class xml_document;
class xml_node;
} // namespace pugi

namespace tramazel::xml {
class XmlDocument;
namespace detail {
struct CompactTree;
/// Parses like XmlDocument::parse but always into a pugixml DOM: the reference the
/// compact tree is checked against.
XmlDocument parseFully(std::string_view bytes, std::string_view sourceName);
} // namespace detail
} // namespace tramazel::xml

/// The XML document service: a small adapter over pugixml. Element and attribute
/// names are ASCII; values cross this interface as cp1252 text (the tables' text).
namespace tramazel::xml {

/// An attribute name looked up once in a document (XmlDocument::attributeName), so
/// that reading it from many elements does not look it up again each time. It views
/// the text it was given, which must outlive it; it is valid while the document
/// lives, and with an element of another document it reads by name.
class XmlAttributeName {
public:
    XmlAttributeName() = default;
    /// The name as given.
    std::string_view text() const noexcept { return m_text; }

private:
    friend class XmlDocument;
    friend class XmlElement;
    XmlAttributeName(std::string_view text, const detail::CompactTree* tree, std::uint16_t index)
        : m_text(text)
        , m_tree(tree)
        , m_index(index)
    {
    }
    std::string_view m_text;
    const detail::CompactTree* m_tree = nullptr;
    std::uint16_t m_index = 0;
};

/// A light handle on an element of an XmlDocument; valid while the document lives.
/// Elements of a loaded or parsed document are meant to be read: changing one may
/// throw ErrorCode::InvalidArgument.
class XmlElement {
public:
    XmlElement() = default;
    bool isNull() const noexcept { return m_node == nullptr; }
    std::string_view name() const;

    /// The element attribute read: the attribute's text with leading and trailing
    /// characters up to and including U+0020 removed, converted to cp1252 (a
    /// character cp1252 lacks becomes "?", counted in `replaced` when given).
    /// A missing attribute reads as empty text.
    std::string attribute(std::string_view name, std::size_t* replaced = nullptr) const;
    /// The same read without allocating for the common case: a view into the document
    /// when the value is plain ASCII, else of `scratch`, which receives the converted
    /// text. Valid until `scratch` changes or the document goes.
    std::string_view attribute(
        std::string_view name, std::string& scratch, std::size_t* replaced = nullptr) const;
    /// The same read by a name looked up beforehand: the fastest way to read the same
    /// attribute of many elements.
    std::string_view attribute(
        const XmlAttributeName& name, std::string& scratch, std::size_t* replaced = nullptr) const;
    bool hasAttribute(std::string_view name) const;

    /// Child elements called `name`, in document order.
    std::vector<XmlElement> children(std::string_view name) const;

    /// Calls `visit(XmlElement)` for each child element called `name`, in document
    /// order, without building a list.
    template <typename Visit> void forEachChild(std::string_view name, Visit&& visit) const
    {
        for (XmlElement child = firstChild(name); !child.isNull(); child = child.nextSibling(name))
            visit(child);
    }
    /// The first child element called `name`, or a null element.
    XmlElement firstChild(std::string_view name) const;
    /// The next sibling element after this one called `name`, or a null element.
    XmlElement nextSibling(std::string_view name) const;

    /// Appends a new child element and returns it.
    XmlElement appendChild(std::string_view name);
    /// Sets an attribute from cp1252 text; setting a name again replaces its value
    /// and keeps its place. New attributes go after the existing ones.
    void setAttribute(std::string_view name, std::string_view cp1252Value);
    /// Appends an attribute the element does not have yet, without looking for one of
    /// the same name: for building fresh elements in bulk. The caller guarantees the
    /// name is new; otherwise the document would repeat it.
    void appendAttribute(std::string_view name, std::string_view cp1252Value);

private:
    friend class XmlDocument;
    explicit XmlElement(void* node, const detail::CompactTree* tree = nullptr)
        : m_node(node)
        , m_tree(tree)
    {
    }
    static void assignValue(void* attribute, std::string_view name, std::string_view cp1252Value);
    void requireWritable(std::string_view what) const;
    // A pugi::xml_node_struct*, or a detail::CompactElement* of m_tree when set.
    void* m_node = nullptr;
    const detail::CompactTree* m_tree = nullptr;
};

/// An XML document, loaded from a file or built in memory.
class XmlDocument {
public:
    XmlDocument();
    ~XmlDocument();
    XmlDocument(XmlDocument&&) noexcept;
    XmlDocument& operator=(XmlDocument&&) noexcept;

    /// Loads a file: UTF-8 with or without byte-order mark, UTF-16 with byte-order
    /// mark, or a file that declares ISO-8859-1 or windows-1252. Throws
    /// ErrorCode::XmlMalformed with the line and column when it is not well-formed or
    /// says what this reading would not follow (an encoding it does not read or that
    /// its bytes contradict, an XML version other than 1.x, attribute default values),
    /// ErrorCode::FileNotFound / FileIo when it cannot be read.
    static XmlDocument load(const std::filesystem::path& file);
    /// Parses a document held in memory (same rules as load; `sourceName` names it
    /// in messages).
    static XmlDocument parse(std::string_view bytes, std::string_view sourceName = {});

    /// The root element, or a null element when the document is empty.
    XmlElement root() const;
    /// Where the root element's start tag begins in the loaded file (its '<'); nothing
    /// for a document built in memory or without a root.
    std::optional<TextPosition> rootPosition() const noexcept { return m_rootPosition; }
    /// Creates the root element (the document must be empty).
    XmlElement createRoot(std::string_view name);

    /// `name` looked up once for reading it from this document's elements; `name`
    /// must outlive the result.
    XmlAttributeName attributeName(std::string_view name) const;

    /// Elements matching an absolute path of element names ("/CENTRE/MATERIES/MATERIA"),
    /// in document order; no match gives an empty list.
    std::vector<XmlElement> select(std::string_view absolutePath) const;
    /// The first element matching an absolute path, or a null element.
    XmlElement selectSingle(std::string_view absolutePath) const;

    /// Saves as UTF-8 with a declaration naming UTF-8. Writes a temporary file in the
    /// target's folder and renames it over `file` only when complete, so a failed
    /// save leaves any existing file untouched. Throws ErrorCode::FileIo.
    void save(const std::filesystem::path& file) const;
    /// The document as it would be saved.
    std::string toUtf8() const;

private:
    friend XmlDocument detail::parseFully(std::string_view bytes, std::string_view sourceName);
    // A loaded document in the plain shape is held as a compact tree and m_doc is
    // null; any other document is a pugixml DOM.
    std::unique_ptr<pugi::xml_document> m_doc;
    std::unique_ptr<detail::CompactTree> m_tree;
    std::optional<TextPosition> m_rootPosition;
};

} // namespace tramazel::xml
