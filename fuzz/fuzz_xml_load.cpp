// SPDX-License-Identifier: GPL-3.0-or-later
// Parses arbitrary bytes as an XML file, then walks every element and reads every
// attribute the way the importers do. Errors of the core are the expected outcome
// for most inputs; anything else (crash, sanitizer report) is a fault. The reading
// must also agree with the full parse into a DOM: the same values read, the same
// document written back, or the same error.
#include "Error.h"
#include "xml/XmlDocument.h"

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <string>
#include <string_view>
#include <vector>

using tramazel::xml::XmlAttributeName;
using tramazel::xml::XmlDocument;
using tramazel::xml::XmlElement;

namespace {

const char* const kNames[] = { "codi", "descripcio", "v", "a", "", "abcdefghijklmnopq", "abcdefgh" };

// Every attribute read the importers could make, in each way, in document order;
// `looked` holds kNames looked up in the document.
void readAll(
    const XmlElement& element, const std::vector<XmlAttributeName>& looked, int depth, std::string& out)
{
    std::string scratch;
    for (std::size_t i = 0; i < std::size(kNames); ++i) {
        const char* name = kNames[i];
        std::size_t replaced = 0;
        out += element.attribute(name, &replaced);
        out += element.attribute(name, scratch, &replaced);
        out += element.attribute(looked[i], scratch, &replaced);
        out += std::to_string(replaced);
        out += element.hasAttribute(name) ? '+' : '-';
    }
    if (depth > 200)
        return;
    for (const char* child : { "A", "B", "MATERIA", "GRUP" }) {
        for (const XmlElement& e : element.children(child)) {
            out += '<';
            readAll(e, looked, depth + 1, out);
            out += '>';
        }
    }
}

// The outcome of a parse: the document written back, or the error's text.
std::string outcome(XmlDocument (*parse)(std::string_view, std::string_view), std::string_view bytes)
{
    try {
        const XmlDocument doc = parse(bytes, "fuzz");
        const auto root = doc.rootPosition();
        return doc.toUtf8() + (root ? std::to_string(root->line) + ":" + std::to_string(root->column) : "");
    } catch (const tramazel::Error& e) {
        const auto at = e.position();
        return "error " + std::to_string(static_cast<int>(e.code())) + " " + e.what()
            + (at ? std::to_string(at->line) + ":" + std::to_string(at->column) : "");
    }
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    const std::string_view bytes(reinterpret_cast<const char*>(data), size);
    if (outcome(XmlDocument::parse, bytes) != outcome(tramazel::xml::detail::parseFully, bytes))
        std::abort();
    try {
        const XmlDocument doc = XmlDocument::parse(bytes, "fuzz");
        const XmlElement root = doc.root();
        if (root.isNull())
            return 0;
        // The reads agree with those of the full parse.
        const XmlDocument full = tramazel::xml::detail::parseFully(bytes, "fuzz");
        std::vector<XmlAttributeName> looked, lookedFully;
        for (const char* name : kNames) {
            looked.push_back(doc.attributeName(name));
            lookedFully.push_back(full.attributeName(name));
        }
        std::string read, readFully;
        readAll(root, looked, 0, read);
        readAll(full.root(), lookedFully, 0, readFully);
        if (read != readFully)
            std::abort();
        std::size_t total = read.size();
        const std::string top(root.name());
        for (const char* tail : { "", "/A", "/A/B", "/MATERIES/MATERIA" }) {
            const std::string path = "/" + top + tail;
            total += doc.select(path).size();
            total += doc.selectSingle(path).isNull() ? 0u : 1u;
        }
        // Writing the document back must give something that parses again.
        const XmlDocument again = XmlDocument::parse(doc.toUtf8(), "fuzz round trip");
        total += again.root().isNull() ? 0u : 1u;
        volatile std::size_t sink = total;
        (void)sink;
    } catch (const tramazel::Error&) {
    }
    return 0;
}
