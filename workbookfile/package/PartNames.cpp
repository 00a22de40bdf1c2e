// Names in the package: folders of parts, relationship targets resolved, the relationships part of
// a part, relationship types.

#include "PartNames.h"

#include "PackageNames.h"
#include "Utf.h"
#include "XmlDom.h"

#include <vector>

namespace workbookfile {

bool endsWith(std::string_view s, std::string_view suffix) {
    return s.size() >= suffix.size() && s.substr(s.size() - suffix.size()) == suffix;
}

std::string partFolder(const std::string& part) {
    std::size_t slash = part.rfind('/');
    return slash == std::string::npos ? std::string() : part.substr(0, slash + 1);
}

// Resolves a relationship target against the folder of its source part ("" or "xl/").
std::string resolveTarget(const std::string& baseDir, std::string_view target) {
    std::string joined = (!target.empty() && target.front() == '/') ? std::string(target.substr(1))
                                                                    : baseDir + std::string(target);
    std::vector<std::string> parts;
    std::size_t start = 0;
    while (start <= joined.size()) {
        std::size_t end = joined.find('/', start);
        if (end == std::string::npos)
            end = joined.size();
        std::string seg = joined.substr(start, end - start);
        if (seg == "..") {
            if (!parts.empty())
                parts.pop_back();
        } else if (!seg.empty() && seg != ".") {
            parts.push_back(seg);
        }
        start = end + 1;
    }
    std::string out;
    for (const auto& p : parts)
        out += (out.empty() ? "" : "/") + p;
    return out;
}

std::string relationshipType(std::string_view suffix) {
    return std::string(kRelNamespace) + "/" + std::string(suffix);
}

std::string relationshipsPartOf(const std::string& part) {
    std::string folder = partFolder(part);
    return folder + "_rels/" + part.substr(folder.size()) + ".rels";
}

bool removeRelationship(const pugi::xml_document& rels, std::string_view id) {
    pugi::xml_node root = rootElement(rels);
    for (pugi::xml_node r = root.first_child(); r; r = r.next_sibling())
        if (r.type() == pugi::node_element && id == r.attribute("Id").value()) {
            root.remove_child(r);
            return true;
        }
    return false;
}

SheetType sheetTypeOf(std::string_view relationshipType) {
    if (endsWith(relationshipType, "/worksheet"))
        return SheetType::Worksheet;
    if (endsWith(relationshipType, "/chartsheet"))
        return SheetType::Chartsheet;
    if (endsWith(relationshipType, "/dialogsheet"))
        return SheetType::Dialogsheet;
    if (endsWith(relationshipType, "/xlMacrosheet") || endsWith(relationshipType, "/xlIntlMacrosheet"))
        return SheetType::Macrosheet;
    return SheetType::Other;
}

std::string contentTypeOf(const pugi::xml_document& contentTypes, const std::string& part) {
    const std::string name = lowerAscii("/" + part);
    const std::size_t dot = name.rfind('.');
    const std::string extension = dot == std::string::npos || name.find('/', dot) != std::string::npos
                                      ? std::string()
                                      : name.substr(dot + 1);
    std::string byDefault;
    for (pugi::xml_node o = rootElement(contentTypes).first_child(); o; o = o.next_sibling()) {
        if (o.type() != pugi::node_element)
            continue;
        if (localName(o) == "Override" && lowerAscii(o.attribute("PartName").value()) == name)
            return o.attribute("ContentType").value();
        if (localName(o) == "Default" && byDefault.empty() && !extension.empty() &&
            lowerAscii(o.attribute("Extension").value()) == extension)
            byDefault = o.attribute("ContentType").value();
    }
    return byDefault;
}

} // namespace workbookfile
