// Relationships between parts, and removing a part with everything in the package that only
// serves it.

#include "Internal.h"

#include "XmlDom.h"

namespace workbookfile {

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

bool Workbook::Impl::readRelationships(const std::string& part, pugi::xml_document& rels) {
    std::string name = relationshipsPartOf(part);
    if (!hasPart(name))
        return false;
    parsePart(rels, readPart(name), name);
    return true;
}

void Workbook::Impl::dropPart(const std::string& part) {
    removePart(part);
    removeOverride(part);
    std::string rels = relationshipsPartOf(part);
    if (hasPart(rels))
        removePart(rels);
}

void Workbook::Impl::dropWorkbookRelated(std::string_view typeSuffix) {
    std::string id;
    std::string part = relationshipTarget(typeSuffix, &id);
    if (part.empty())
        return;
    removeRelationship(workbookRels, id);
    workbookRelsChanged = true;
    dropPart(part);
}

} // namespace workbookfile
