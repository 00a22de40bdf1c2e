#include "XmlDom.h"

#include "Workbook.h"
#include "XmlText.h"

#include <cstring>
#include <sstream>

namespace workbookfile {

void refuseDeepNesting(const pugi::xml_node& root, std::string_view partName) {
    // Walked without recursion: the check must not need the stack it protects.
    int depth = 0;
    pugi::xml_node node = root.first_child();
    while (node) {
        if (node.first_child()) {
            if (++depth > kMaxXmlDepth)
                throw Error(ErrorKind::Damaged,
                            "The part \"" + std::string(partName) + "\" nests its elements more than " +
                                std::to_string(kMaxXmlDepth) + " deep; no workbook does.");
            node = node.first_child();
            continue;
        }
        while (node && !node.next_sibling() && node != root) {
            node = node.parent();
            --depth;
        }
        if (!node || node == root)
            break;
        node = node.next_sibling();
    }
}

void parsePart(pugi::xml_document& doc, const std::string& xml, std::string_view partName) {
    refuseDoctype(xml, partName);
    unsigned options = pugi::parse_default | pugi::parse_declaration | pugi::parse_ws_pcdata_single;
    pugi::xml_parse_result res = doc.load_buffer(xml.data(), xml.size(), options, pugi::encoding_utf8);
    if (!res)
        throw Error(ErrorKind::Damaged, "The part \"" + std::string(partName) +
                                            "\" is not well-formed XML (" + res.description() + " at byte " +
                                            std::to_string(res.offset) + ").");
    refuseDeepNesting(doc, partName);
    int roots = 0;
    for (pugi::xml_node c = doc.first_child(); c; c = c.next_sibling()) {
        if (c.type() == pugi::node_element)
            ++roots;
        else if (c.type() == pugi::node_pcdata || c.type() == pugi::node_cdata)
            roots += 2;
    }
    if (roots != 1)
        throw Error(ErrorKind::Damaged,
                    "The part \"" + std::string(partName) +
                        "\" is not well-formed XML (it must have exactly one root element).");
}

namespace {
struct StringWriter : pugi::xml_writer {
    std::string out;
    void write(const void* data, size_t size) override { out.append(static_cast<const char*>(data), size); }
};
} // namespace

std::string serializePart(const pugi::xml_document& doc) {
    StringWriter w;
    bool hasDeclaration = doc.first_child().type() == pugi::node_declaration;
    if (!hasDeclaration)
        w.out = kXmlDeclaration;
    doc.save(w, "", pugi::format_raw | pugi::format_no_declaration, pugi::encoding_utf8);
    return std::move(w.out);
}

std::string serializeChildren(const pugi::xml_node& parent) {
    StringWriter w;
    for (pugi::xml_node n = parent.first_child(); n; n = n.next_sibling())
        n.print(w, "", pugi::format_raw, pugi::encoding_utf8);
    return std::move(w.out);
}

std::string_view localName(const char* qualifiedName) {
    std::string_view n(qualifiedName);
    std::size_t colon = n.find(':');
    return colon == std::string_view::npos ? n : n.substr(colon + 1);
}

std::string prefixOf(const char* qualifiedName) {
    std::string_view n(qualifiedName);
    std::size_t colon = n.find(':');
    return colon == std::string_view::npos ? std::string() : std::string(n.substr(0, colon + 1));
}

pugi::xml_node childByLocalName(const pugi::xml_node& parent, std::string_view local) {
    for (pugi::xml_node c = parent.first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_element && localName(c) == local)
            return c;
    return {};
}

pugi::xml_node rootElement(const pugi::xml_document& doc) {
    for (pugi::xml_node c = doc.first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_element)
            return c;
    return {};
}

bool namespacePrefix(const pugi::xml_node& root, std::string_view uri, std::string& prefix) {
    for (pugi::xml_attribute a = root.first_attribute(); a; a = a.next_attribute()) {
        std::string_view name = a.name();
        if (uri != a.value())
            continue;
        if (name == "xmlns") {
            prefix.clear();
            return true;
        }
        if (name.substr(0, 6) == "xmlns:") {
            prefix = std::string(name.substr(6)) + ":";
            return true;
        }
    }
    return false;
}

} // namespace workbookfile
