// SPDX-License-Identifier: GPL-3.0-or-later
#include "XmlDocument.h"

#include "Error.h"
#include "platform/Platform.h"
#include "platform/SystemErrorText.h"
#include "text/Cp1252.h"
#include "text/PathText.h"
#include "text/SourceEncoding.h"
#include "xml/CompactTree.h"
#include "xml/MessageQuote.h"
#include "xml/WellFormedScan.h"
#include "xml/WellFormedScanner.h"

#include <pugixml.hpp>

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <sstream>
#include <system_error>

namespace tramazel::xml {

namespace {

pugi::xml_node toNode(void* node)
{
    return pugi::xml_node(static_cast<pugi::xml_node_struct*>(node));
}

// A file's name between « and », whole: unlike the names and values a document holds
// (detail::quoted), it is the user's own and its end tells the file.
std::string inQuotes(std::string_view fileName)
{
    return "«" + std::string(fileName) + "»";
}

using detail::quoted;

// ---- Error reporting ---------------------------------------------------------

[[noreturn]] void throwMalformed(
    std::string_view source, std::string_view utf8, std::size_t offset, std::string_view reason)
{
    const TextPosition pos = text::positionInUtf8(utf8, offset);
    std::string message = "El archivo " + inQuotes(source)
        + " no es un documento XML bien formado: " + std::string(reason) + " (línea "
        + std::to_string(pos.line) + ", columna " + std::to_string(pos.column) + ").";
    throw Error(ErrorCode::XmlMalformed, std::move(message),
        std::string(source) + ": byte " + std::to_string(offset) + " of the UTF-8 text", pos);
}

std::string_view reasonOf(pugi::xml_parse_status status)
{
    switch (status) {
    case pugi::status_unrecognized_tag:
        return "hay una etiqueta no reconocida";
    case pugi::status_bad_pi:
        return "hay una declaración o instrucción de proceso incorrecta";
    case pugi::status_bad_comment:
        return "hay un comentario incorrecto";
    case pugi::status_bad_cdata:
        return "hay una sección CDATA incorrecta";
    case pugi::status_bad_doctype:
        return "hay una declaración de tipo de documento incorrecta";
    case pugi::status_bad_pcdata:
        return "hay un texto incorrecto";
    case pugi::status_bad_start_element:
        return "hay una etiqueta de apertura incorrecta";
    case pugi::status_bad_attribute:
        return "hay un atributo incorrecto";
    case pugi::status_bad_end_element:
        return "hay una etiqueta de cierre incorrecta";
    case pugi::status_end_element_mismatch:
        return "una etiqueta de cierre no corresponde a la de apertura";
    case pugi::status_no_document_element:
        return "no contiene ningún elemento";
    default:
        return "el analizador XML ha fallado";
    }
}

// pugixml accepts fragments that XML does not: several top-level elements, text
// outside the root, repeated attribute names. Report them like any other fault. The
// parse runs in fragment mode only so that text outside the root is kept to be seen.
// `utf8` is the text scanned, `parsed` the text the parser read (see ScanResult).
void checkWellFormed(const pugi::xml_document& doc, std::string_view source, std::string_view utf8,
    std::string_view parsed, const ScanResult& scan)
{
    const auto offsetOf = [&](const pugi::xml_node& node) {
        return scan.scannedOffset(static_cast<std::size_t>(std::max<std::ptrdiff_t>(node.offset_debug(), 0)));
    };
    bool seenRoot = false;
    for (pugi::xml_node top = doc.first_child(); top; top = top.next_sibling()) {
        if (top.type() == pugi::node_pcdata || top.type() == pugi::node_cdata) {
            // The text node starts with the blanks before it; point at the text itself.
            auto offset = static_cast<std::size_t>(std::max<std::ptrdiff_t>(top.offset_debug(), 0));
            while (offset < parsed.size() && static_cast<unsigned char>(parsed[offset]) <= 0x20)
                ++offset;
            throwMalformed(source, utf8, scan.scannedOffset(offset), "hay texto fuera del elemento raíz");
        }
        if (top.type() == pugi::node_element) {
            if (seenRoot)
                throwMalformed(source, utf8, offsetOf(top), "hay más de un elemento raíz");
            seenRoot = true;
        }
    }
    if (!seenRoot)
        throwMalformed(source, utf8, utf8.size(), reasonOf(pugi::status_no_document_element));
    // Repeated attribute names: elements rarely carry more than a handful, so a
    // pairwise check is cheapest; the walk is iterative to survive deep nesting.
    pugi::xml_node node = doc.document_element();
    const pugi::xml_node stop = node;
    while (node) {
        if (node.type() == pugi::node_element) {
            std::size_t count = 0;
            for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) {
                for (pugi::xml_attribute b = node.first_attribute(); b != a; b = b.next_attribute()) {
                    if (std::strcmp(a.name(), b.name()) == 0)
                        throwMalformed(source, utf8, offsetOf(node),
                            "el atributo " + quoted(a.name()) + " está repetido");
                }
                if (++count > 64)
                    break; // beyond this a machine wrote the file; not worth quadratic time
            }
        }
        if (node.first_child()) {
            node = node.first_child();
            continue;
        }
        while (node && node != stop && !node.next_sibling())
            node = node.parent();
        if (!node || node == stop)
            break;
        node = node.next_sibling();
    }
}

struct Parsed {
    std::unique_ptr<pugi::xml_document> doc;
    std::unique_ptr<detail::CompactTree> tree;
    std::optional<TextPosition> rootPosition;
};

// The full parse into a pugixml DOM, with every check, for any document.
Parsed parseWithPugixml(std::string_view utf8, std::string_view source)
{
    // The parser stops at a nul character as if the text ended there; whatever
    // followed would be dropped without a word.
    if (const auto nul = utf8.find('\0'); nul != std::string_view::npos)
        throwMalformed(source, utf8, nul, "contiene un carácter nulo");

    // What pugixml lets through (bad references, "<" in values, misplaced
    // declarations, excluded characters) is caught by a scan of the text, which also
    // expands the internal entities a DOCTYPE declares.
    const ScanResult scan = scanWellFormed(utf8);
    const std::string_view parsed = scan.text(utf8);

    auto doc = std::make_unique<pugi::xml_document>();
    // The encoding is fixed because the text handed over is always UTF-8 by now; a
    // declaration naming another encoding must not make the parser convert again.
    const pugi::xml_parse_result result = doc->load_buffer(
        parsed.data(), parsed.size(), pugi::parse_default | pugi::parse_fragment, pugi::encoding_utf8);
    if (result.status == pugi::status_out_of_memory)
        throw Error(ErrorCode::FileIo,
            "No hay memoria suficiente para cargar el archivo " + inQuotes(source) + ".",
            result.description());
    // Of the scan's fault and the parser's, the one earlier in the file is reported.
    const auto parserOffset = static_cast<std::size_t>(std::max<std::ptrdiff_t>(result.offset, 0));
    // A fault on the last character or with nothing but blanks after it, or inside a
    // tag or value that no ">" closes before the end, means the file stops before its
    // end: a copy or download cut short, which is what the user can act on.
    const auto reasonAt = [&](std::size_t offset, std::string_view reason) -> std::string {
        if (offset + 1 >= utf8.size()
            || utf8.find_first_not_of(" \t\r\n", offset + 1) == std::string_view::npos
            || utf8.find('>', offset) == std::string_view::npos)
            return "el archivo termina antes de cerrar sus elementos: parece incompleto (¿se copió o "
                   "descargó a medias?)";
        return std::string(reason);
    };
    if (const auto& fault = scan.fault(); fault && (result || fault->offset <= parserOffset))
        throwMalformed(source, utf8, fault->offset, reasonAt(fault->offset, fault->reason));
    if (!result) {
        const std::size_t offset = scan.scannedOffset(parserOffset);
        throwMalformed(source, utf8, offset, reasonAt(offset, reasonOf(result.status)));
    }
    checkWellFormed(*doc, source, utf8, parsed, scan);
    std::optional<TextPosition> rootPosition;
    // offset_debug() points at the element's name, one past its '<'.
    if (const pugi::xml_node root = doc->document_element(); root && root.offset_debug() > 0)
        rootPosition = text::positionInUtf8(
            utf8, scan.scannedOffset(static_cast<std::size_t>(root.offset_debug() - 1)));
    return { std::move(doc), nullptr, rootPosition };
}

// The first fault, by its offset in the text, of the bytes as the encoding they were
// read in and of the declaration (`declaration`, as scanned) with what it says of
// them. Both parse paths pass here first, so both refuse the same.
std::optional<ScanFault> checkEncoding(const text::DecodedSource& decoded, const XmlDeclaration& declaration)
{
    std::optional<ScanFault> first = declaration.fault;
    const auto consider = [&first](std::size_t offset, std::string reason) {
        if (!first || offset < first->offset)
            first = ScanFault { offset, std::move(reason) };
    };
    const std::string_view utf8 = decoded.utf8();
    const std::string_view name = declaration.encoding;
    const bool utf16 = decoded.encoding() == text::SourceEncoding::Utf16Le
        || decoded.encoding() == text::SourceEncoding::Utf16Be;
    if (utf16) {
        if (const std::size_t at = decoded.firstUnpairedSurrogate(); at != std::string_view::npos)
            consider(at, "contiene un carácter UTF-16 incompleto (un sustituto sin su pareja)");
        if (decoded.oddLastByte())
            consider(utf8.size(), "termina con medio carácter UTF-16 (le sobra un byte)");
        if (!name.empty() && !text::namesUtf16(name))
            consider(declaration.encodingOffset,
                "declara la codificación " + quoted(name)
                    + (decoded.byteOrderMark() ? ", que contradice su marca de orden de bytes, de UTF-16"
                                               : ", pero está escrito en UTF-16"));
        return first;
    }
    if (decoded.byteOrderMark()) {
        // Text after a UTF-8 mark is read as UTF-8 whatever the declaration says.
        if (!name.empty()
            && (text::namesUtf16(name) || text::encodingForDeclaredName(name) != text::SourceEncoding::Utf8))
            consider(declaration.encodingOffset,
                "declara la codificación " + quoted(name)
                    + ", que contradice su marca de orden de bytes, de UTF-8");
        if (const std::size_t bad = text::firstInvalidUtf8(utf8); bad != std::string_view::npos)
            consider(bad, std::string(detail::kReasonInvalidUtf8));
        return first;
    }
    // Read as the declaration says. The bytes of UTF-16 would have shown zero bytes.
    if (!name.empty() && text::namesUtf16(name))
        consider(declaration.encodingOffset,
            "declara la codificación " + quoted(name) + ", pero no está escrito en UTF-16");
    const std::size_t bad = decoded.firstInvalidByte();
    if (!decoded.declaredNameKnown()) {
        // Where the text first needs the encoding it names: its first byte that is
        // not UTF-8, or else the name itself (or the start, when a fault of the
        // declaration came before its name).
        const std::size_t at = bad != std::string_view::npos ? bad
            : name.empty() ? (declaration.fault ? declaration.fault->offset : 0)
                           : declaration.encodingOffset;
        consider(at, "declara la codificación " + quoted(decoded.declaredName()) + ", que no se admite");
    } else if (bad != std::string_view::npos) {
        consider(bad, std::string(detail::kReasonInvalidUtf8));
    }
    return first;
}

// With `compact`, a document in the plain shape becomes a compact tree; `bytes` must
// then end where a std::string ends, since that parse reads the nul after them.
// Otherwise, and for any other document, the result is a pugixml DOM.
Parsed parseBytes(std::string_view bytes, std::string_view source, bool compact)
{
    const text::DecodedSource decoded = text::decodeSource(bytes);
    const std::string_view utf8 = decoded.utf8();
    if (const std::optional<ScanFault> fault = checkEncoding(decoded, scanDeclaration(utf8)))
        throwMalformed(source, utf8, fault->offset, fault->reason);
    if (!compact)
        return parseWithPugixml(utf8, source);
    // The text ends where the bytes end or is a conversion of its own: either way a
    // std::string ends there.
    std::optional<detail::CompactTree> found = detail::parseCompact(utf8);
    if (!found)
        return parseWithPugixml(utf8, source);

    auto tree = std::make_unique<detail::CompactTree>(std::move(*found));
    const std::optional<TextPosition> rootPosition = text::positionInUtf8(utf8, tree->rootOffset);
    return { nullptr, std::move(tree), rootPosition };
}

// ---- Paths -------------------------------------------------------------------

std::vector<std::string_view> splitPath(std::string_view path)
{
    std::vector<std::string_view> steps;
    if (path.empty() || path.front() != '/')
        throw Error(ErrorCode::InvalidArgument, "La ruta XML " + quoted(path) + " no es una ruta absoluta.");
    std::size_t pos = 1;
    while (true) {
        const auto slash = path.find('/', pos);
        const auto step
            = path.substr(pos, slash == std::string_view::npos ? std::string_view::npos : slash - pos);
        if (step.empty())
            throw Error(ErrorCode::InvalidArgument, "La ruta XML " + quoted(path) + " tiene un paso vacío.");
        steps.push_back(step);
        if (slash == std::string_view::npos)
            break;
        pos = slash + 1;
    }
    return steps;
}

// Compares without measuring the stored name first: most names differ early, and
// this runs for every attribute of every element touched.
bool sameName(std::string_view name, const char* stored) noexcept
{
    for (char c : name) {
        if (*stored != c || c == '\0')
            return false;
        ++stored;
    }
    return *stored == '\0';
}

bool isElementNamed(const pugi::xml_node& node, std::string_view name)
{
    return node.type() == pugi::node_element && sameName(name, node.name());
}

// Depth-first search for the first match in document order.
pugi::xml_node firstMatch(pugi::xml_node parent, const std::vector<std::string_view>& steps, std::size_t step)
{
    for (pugi::xml_node child = parent.first_child(); child; child = child.next_sibling()) {
        if (!isElementNamed(child, steps[step]))
            continue;
        if (step + 1 == steps.size())
            return child;
        if (pugi::xml_node found = firstMatch(child, steps, step + 1))
            return found;
    }
    return {};
}

// Scratch buffers reused across calls, so that building a large document does not
// allocate a fresh string for every name and value.
thread_local std::string t_scratchName;
thread_local std::string t_scratchValue;

const char* terminated(std::string& scratch, std::string_view text)
{
    scratch.assign(text.data(), text.size());
    return scratch.c_str();
}

bool isPlainText(std::string_view text)
{
    for (char c : text) {
        const auto byte = static_cast<unsigned char>(c);
        if (byte < 0x20 || byte >= 0x80)
            return false;
    }
    return true;
}

} // namespace

// ---- XmlElement --------------------------------------------------------------

namespace {

const detail::CompactElement& compactOf(void* node)
{
    return *static_cast<const detail::CompactElement*>(node);
}

void* handleOf(const detail::CompactTree& tree, std::uint32_t index)
{
    return const_cast<detail::CompactElement*>(&tree.elements[index]);
}

// The attribute called `name` of a pugixml element, or an empty handle.
pugi::xml_attribute domAttribute(void* node, std::string_view name)
{
    for (pugi::xml_attribute a = toNode(node).first_attribute(); a; a = a.next_attribute()) {
        if (sameName(name, a.name()))
            return a;
    }
    return {};
}

// The read of a value that may need trimming or converting.
std::string_view readConverted(std::string_view value, std::string& scratch, std::size_t* replaced)
{
    value = text::trimControls(value);
    // ASCII reads the same in cp1252.
    if (text::asciiPrefixLength(value) == value.size())
        return value;
    text::utf8ToCp1252(value, scratch, replaced);
    return scratch;
}

// The element attribute read of the attribute of a compact element whose name has
// index `name`.
inline std::string_view compactRead(const detail::CompactTree& tree, void* node, std::uint16_t name,
    std::string& scratch, std::size_t* replaced)
{
    std::string_view value;
    const detail::CompactAttribute* found = tree.find(compactOf(node), name, value);
    if (!found)
        return {};
    return found->readsAsStored() ? value : readConverted(value, scratch, replaced);
}

} // namespace

std::string_view XmlElement::name() const
{
    if (m_tree)
        return m_tree->name(compactOf(m_node));
    return toNode(m_node).name();
}

std::string XmlElement::attribute(std::string_view name, std::size_t* replaced) const
{
    std::string scratch;
    const std::string_view value = attribute(name, scratch, replaced);
    return value.data() == scratch.data() ? std::move(scratch) : std::string(value);
}

std::string_view XmlElement::attribute(
    std::string_view name, std::string& scratch, std::size_t* replaced) const
{
    if (m_tree)
        return compactRead(*m_tree, m_node, m_tree->nameIndex(name), scratch, replaced);
    const pugi::xml_attribute stored = domAttribute(m_node, name);
    return stored ? readConverted(stored.value(), scratch, replaced) : std::string_view();
}

std::string_view XmlElement::attribute(
    const XmlAttributeName& name, std::string& scratch, std::size_t* replaced) const
{
    if (m_tree && m_tree == name.m_tree)
        return compactRead(*m_tree, m_node, name.m_index, scratch, replaced);
    return attribute(name.m_text, scratch, replaced);
}

bool XmlElement::hasAttribute(std::string_view name) const
{
    if (m_tree) {
        std::string_view value;
        return m_tree->find(compactOf(m_node), name, value) != nullptr;
    }
    return !domAttribute(m_node, name).empty();
}

std::vector<XmlElement> XmlElement::children(std::string_view name) const
{
    std::vector<XmlElement> out;
    forEachChild(name, [&out](const XmlElement& child) { out.push_back(child); });
    return out;
}

XmlElement XmlElement::firstChild(std::string_view name) const
{
    if (m_tree) {
        const std::uint32_t i = m_tree->nextNamed(compactOf(m_node).firstChild, name);
        return i == detail::kNoIndex ? XmlElement() : XmlElement(handleOf(*m_tree, i), m_tree);
    }
    for (pugi::xml_node child = toNode(m_node).first_child(); child; child = child.next_sibling()) {
        if (isElementNamed(child, name))
            return XmlElement(child.internal_object());
    }
    return {};
}

XmlElement XmlElement::nextSibling(std::string_view name) const
{
    if (m_tree) {
        const std::uint32_t i = m_tree->nextNamed(compactOf(m_node).nextSibling, name);
        return i == detail::kNoIndex ? XmlElement() : XmlElement(handleOf(*m_tree, i), m_tree);
    }
    for (pugi::xml_node next = toNode(m_node).next_sibling(); next; next = next.next_sibling()) {
        if (isElementNamed(next, name))
            return XmlElement(next.internal_object());
    }
    return {};
}

void XmlElement::requireWritable(std::string_view what) const
{
    if (m_tree)
        throw Error(ErrorCode::InvalidArgument,
            "No se puede modificar " + std::string(what) + " de un documento XML leído de un archivo.");
}

XmlElement XmlElement::appendChild(std::string_view name)
{
    if (isNull())
        throw Error(ErrorCode::InvalidArgument, "No se puede añadir un elemento a un elemento nulo.");
    requireWritable("un elemento");
    pugi::xml_node child = toNode(m_node).append_child(terminated(t_scratchName, name));
    if (!child)
        throw Error(ErrorCode::InvalidArgument, "No se puede añadir el elemento " + quoted(name) + ".");
    return XmlElement(child.internal_object());
}

void XmlElement::setAttribute(std::string_view name, std::string_view cp1252Value)
{
    pugi::xml_node node = toNode(m_node);
    if (!node)
        throw Error(ErrorCode::InvalidArgument, "No se puede poner un atributo en un elemento nulo.");
    requireWritable("un elemento");
    for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute()) {
        if (sameName(name, a.name())) {
            assignValue(a.internal_object(), name, cp1252Value);
            return;
        }
    }
    pugi::xml_attribute attr = node.append_attribute(terminated(t_scratchName, name));
    if (!attr)
        throw Error(ErrorCode::InvalidArgument, "No se puede poner el atributo " + quoted(name) + ".");
    assignValue(attr.internal_object(), name, cp1252Value);
}

void XmlElement::appendAttribute(std::string_view name, std::string_view cp1252Value)
{
    pugi::xml_node node = toNode(m_node);
    if (!node)
        throw Error(ErrorCode::InvalidArgument, "No se puede poner un atributo en un elemento nulo.");
    requireWritable("un elemento");
    pugi::xml_attribute attr = node.append_attribute(terminated(t_scratchName, name));
    if (!attr)
        throw Error(ErrorCode::InvalidArgument, "No se puede poner el atributo " + quoted(name) + ".");
    assignValue(attr.internal_object(), name, cp1252Value);
}

void XmlElement::assignValue(void* attribute, std::string_view name, std::string_view cp1252Value)
{
    pugi::xml_attribute attr(static_cast<pugi::xml_attribute_struct*>(attribute));
    bool ok = false;
    if (isPlainText(cp1252Value)) {
        ok = attr.set_value(cp1252Value.data(), cp1252Value.size());
    } else {
        // Control characters other than tab and line breaks cannot appear in an XML 1.0
        // document at all, not even as references; they would make the file unreadable.
        t_scratchValue = text::cp1252ToUtf8(cp1252Value);
        for (char& c : t_scratchValue) {
            if (static_cast<unsigned char>(c) < 0x20 && c != '\t' && c != '\n' && c != '\r')
                c = '?';
        }
        ok = attr.set_value(t_scratchValue.data(), t_scratchValue.size());
    }
    if (!ok)
        throw Error(ErrorCode::InvalidArgument, "No se puede poner el atributo " + quoted(name) + ".");
}

// ---- XmlDocument -------------------------------------------------------------

XmlDocument::XmlDocument()
    : m_doc(std::make_unique<pugi::xml_document>())
{
}
XmlDocument::~XmlDocument() = default;
XmlDocument::XmlDocument(XmlDocument&&) noexcept = default;
XmlDocument& XmlDocument::operator=(XmlDocument&&) noexcept = default;

XmlDocument XmlDocument::load(const std::filesystem::path& file)
{
    const std::string name = text::pathToUtf8(file);
    std::error_code ec;
    const auto status = std::filesystem::status(file, ec);
    if (status.type() == std::filesystem::file_type::not_found)
        throw Error(ErrorCode::FileNotFound, "No existe el archivo " + inQuotes(name) + ".", name);
    // The person sees why: a folder chosen, a folder that cannot be entered, a file
    // this user may not read.
    auto unreadable = [&](const std::string& reason, const std::string& detail) {
        return Error(ErrorCode::FileIo, "No se puede leer el archivo " + inQuotes(name) + ": " + reason + ".",
            name + ": " + detail);
    };
    if (ec)
        throw unreadable(platform::systemErrorText(ec), ec.message());
    if (status.type() == std::filesystem::file_type::directory)
        throw unreadable("es una carpeta, no un archivo", "is a directory");

    errno = 0;
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        const int error = errno;
        throw unreadable(
            error != 0 ? platform::systemErrorText(error) : std::string("el sistema no permite abrirlo"),
            "open failed");
    }
    // Into storage not cleared first, a nul after; then on to the end (it may have grown).
    std::size_t size = static_cast<std::size_t>(std::filesystem::file_size(file, ec));
    size = ec ? 0 : size;
    const auto whole = std::make_unique_for_overwrite<char[]>(size + 1);
    in.read(whole.get(), static_cast<std::streamsize>(size));
    std::string_view bytes(whole.get(), static_cast<std::size_t>(in.gcount()));
    whole[bytes.size()] = '\0';
    std::string grown;
    std::array<char, 1 << 16> chunk {};
    while (in.read(chunk.data(), chunk.size()) || in.gcount() > 0)
        bytes = grown.append(grown.empty() ? bytes : "")
                    .append(chunk.data(), static_cast<std::size_t>(in.gcount()));
    if (in.bad())
        throw unreadable(platform::systemErrorText(EIO), "read failed");

    Parsed parsed = parseBytes(bytes, name, true);
    XmlDocument doc;
    doc.m_doc = std::move(parsed.doc);
    doc.m_tree = std::move(parsed.tree);
    doc.m_rootPosition = parsed.rootPosition;
    return doc;
}

XmlDocument XmlDocument::parse(std::string_view bytes, std::string_view sourceName)
{
    const std::string owned(bytes);
    Parsed parsed
        = parseBytes(owned, sourceName.empty() ? std::string_view("documento XML") : sourceName, true);
    XmlDocument doc;
    doc.m_doc = std::move(parsed.doc);
    doc.m_tree = std::move(parsed.tree);
    doc.m_rootPosition = parsed.rootPosition;
    return doc;
}

XmlDocument detail::parseFully(std::string_view bytes, std::string_view sourceName)
{
    Parsed parsed
        = parseBytes(bytes, sourceName.empty() ? std::string_view("documento XML") : sourceName, false);
    XmlDocument doc;
    doc.m_doc = std::move(parsed.doc);
    doc.m_rootPosition = parsed.rootPosition;
    return doc;
}

XmlAttributeName XmlDocument::attributeName(std::string_view name) const
{
    if (!m_tree)
        return XmlAttributeName(name, nullptr, detail::kNoName);
    return XmlAttributeName(name, m_tree.get(), m_tree->nameIndex(name));
}

XmlElement XmlDocument::root() const
{
    if (m_tree)
        return XmlElement(handleOf(*m_tree, 0), m_tree.get());
    if (!m_doc)
        return {};
    pugi::xml_node root = m_doc->document_element();
    return root ? XmlElement(root.internal_object()) : XmlElement();
}

XmlElement XmlDocument::createRoot(std::string_view name)
{
    if (m_tree)
        throw Error(ErrorCode::InvalidArgument, "El documento XML ya tiene un elemento raíz.");
    if (!m_doc)
        m_doc = std::make_unique<pugi::xml_document>();
    if (m_doc->document_element())
        throw Error(ErrorCode::InvalidArgument, "El documento XML ya tiene un elemento raíz.");
    pugi::xml_node root = m_doc->append_child(terminated(t_scratchName, name));
    if (!root)
        throw Error(ErrorCode::InvalidArgument, "No se puede crear el elemento " + quoted(name) + ".");
    return XmlElement(root.internal_object());
}

std::vector<XmlElement> XmlDocument::select(std::string_view absolutePath) const
{
    const auto steps = splitPath(absolutePath);
    std::vector<XmlElement> out;
    if (m_tree) {
        const std::vector<std::uint32_t> found = m_tree->select(steps);
        out.reserve(found.size());
        for (const std::uint32_t i : found)
            out.push_back(XmlElement(handleOf(*m_tree, i), m_tree.get()));
        return out;
    }
    if (!m_doc)
        return out;
    // Level by level: the children of nodes listed in document order, taken in turn,
    // are again in document order.
    std::vector<pugi::xml_node> level { *m_doc };
    std::vector<pugi::xml_node> next;
    for (std::size_t s = 0; s < steps.size() && !level.empty(); ++s) {
        next.clear();
        for (const pugi::xml_node& parent : level) {
            for (pugi::xml_node child = parent.first_child(); child; child = child.next_sibling()) {
                if (isElementNamed(child, steps[s]))
                    next.push_back(child);
            }
        }
        level.swap(next);
    }
    out.reserve(level.size());
    for (const pugi::xml_node& node : level)
        out.push_back(XmlElement(node.internal_object()));
    return out;
}

XmlElement XmlDocument::selectSingle(std::string_view absolutePath) const
{
    const auto steps = splitPath(absolutePath);
    if (m_tree) {
        std::vector<XmlElement> all = select(absolutePath);
        return all.empty() ? XmlElement() : all.front();
    }
    if (!m_doc)
        return {};
    pugi::xml_node found = firstMatch(*m_doc, steps, 0);
    return found ? XmlElement(found.internal_object()) : XmlElement();
}

namespace {

constexpr std::string_view kDeclaration = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
// Indentation grows with depth, so a deeply nested document would be written in
// space quadratic in its depth; beyond this depth it is written without line breaks.
constexpr std::size_t kMaxIndentedDepth = 32;

bool deeperThan(const pugi::xml_document& doc, std::size_t limit)
{
    std::size_t depth = 0;
    pugi::xml_node node = doc.first_child();
    while (node) {
        if (node.first_child()) {
            node = node.first_child();
            if (++depth > limit)
                return true;
            continue;
        }
        while (node && !node.next_sibling()) {
            node = node.parent();
            --depth;
        }
        if (node)
            node = node.next_sibling();
    }
    return false;
}

void writeDocument(const pugi::xml_document* doc, std::ostream& out)
{
    out.write(kDeclaration.data(), static_cast<std::streamsize>(kDeclaration.size()));
    if (!doc)
        return;
    const unsigned layout = deeperThan(*doc, kMaxIndentedDepth) ? pugi::format_raw : pugi::format_indent;
    doc->save(out, "  ", layout | pugi::format_no_declaration, pugi::encoding_utf8);
}

} // namespace

std::string XmlDocument::toUtf8() const
{
    std::ostringstream out;
    writeDocument(m_tree ? detail::toDom(*m_tree).get() : m_doc.get(), out);
    return std::move(out).str();
}

void XmlDocument::save(const std::filesystem::path& file) const
{
    const std::string name = text::pathToUtf8(file);
    const std::filesystem::path tmp = platform::temporaryPathBeside(file);
    auto fail = [&](const std::string& detail) {
        std::error_code ignored;
        std::filesystem::remove(tmp, ignored);
        throw Error(ErrorCode::FileIo, "No se puede guardar el archivo " + inQuotes(name) + ".",
            name + ": " + detail);
    };
    {
        std::ofstream out;
        std::vector<char> buffer(1 << 16);
        out.rdbuf()->pubsetbuf(buffer.data(), static_cast<std::streamsize>(buffer.size()));
        out.open(tmp, std::ios::binary | std::ios::trunc);
        if (!out)
            fail("cannot create " + text::pathToUtf8(tmp));
        writeDocument(m_tree ? detail::toDom(*m_tree).get() : m_doc.get(), out);
        out.flush();
        if (!out)
            fail("write failed");
        out.close();
        if (out.fail())
            fail("close failed");
    }
    try {
        platform::replaceFile(tmp, file);
    } catch (const Error& e) {
        fail(e.detail());
    }
}

} // namespace tramazel::xml
