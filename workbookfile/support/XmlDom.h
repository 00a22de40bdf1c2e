#pragma once

// Small helpers over pugixml for parts whose element names may carry a namespace prefix.

#include <pugixml.hpp>

#include <string>
#include <string_view>

namespace workbookfile {

// The declaration every XML part the engine writes begins with.
inline constexpr const char* kXmlDeclaration =
    "<?xml version=\"1.0\" encoding=\"UTF-8\" standalone=\"yes\"?>\n";

// How deep elements may nest in a part read from a file: real parts nest a few dozen levels, and
// walks over a part must not exhaust the stack.
inline constexpr int kMaxXmlDepth = 256;
// Throws Error (Damaged) when elements below root nest deeper than kMaxXmlDepth.
void refuseDeepNesting(const pugi::xml_node& root, std::string_view partName);

// Parses a part into doc; throws Error naming the part when the XML is malformed or has a DOCTYPE.
void parsePart(pugi::xml_document& doc, const std::string& xml, std::string_view partName);

// Serializes a document without reformatting (the declaration it was read with is kept).
std::string serializePart(const pugi::xml_document& doc);
// The children of a node as XML text, without reformatting.
std::string serializeChildren(const pugi::xml_node& parent);

std::string_view localName(const char* qualifiedName);
inline std::string_view localName(const pugi::xml_node& node) {
    return localName(node.name());
}
inline std::string_view localName(const pugi::xml_attribute& attr) {
    return localName(attr.name());
}

// Prefix of a qualified name including the colon ("x:" for "x:row"), empty when none.
std::string prefixOf(const char* qualifiedName);

pugi::xml_node childByLocalName(const pugi::xml_node& parent, std::string_view local);

// The root element of a document.
pugi::xml_node rootElement(const pugi::xml_document& doc);

// Prefix (with colon) under which the root declares namespace uri, or "" when it is the default
// namespace; returns false when the root does not declare it.
bool namespacePrefix(const pugi::xml_node& root, std::string_view uri, std::string& prefix);

} // namespace workbookfile
