// Relationships between parts: targets resolved and made, relationships added and found, and
// removing a part with everything in the package that only serves it.

#include "PackageNames.h"
#include "PartNames.h"
#include "WorkbookState.h"

#include "XmlDom.h"

namespace workbookfile {

std::string Workbook::Impl::relativeTarget(const std::string& part) const {
    if (part.compare(0, workbookDir.size(), workbookDir) == 0)
        return part.substr(workbookDir.size());
    return "/" + part;
}

std::string Workbook::Impl::addRelationship(const std::string& type, const std::string& target) {
    pugi::xml_node root = rootElement(workbookRels);
    std::string id;
    for (std::size_t n = relIds.size() + 1;; ++n) {
        id = "rId" + std::to_string(n);
        if (!relIds.count(id))
            break;
    }
    relIds.insert(id);
    pugi::xml_node rel = root.append_child((prefixOf(root.name()) + "Relationship").c_str());
    rel.append_attribute("Id").set_value(id.c_str());
    rel.append_attribute("Type").set_value(type.c_str());
    rel.append_attribute("Target").set_value(target.c_str());
    workbookRelsChanged = true;
    return id;
}

std::string Workbook::Impl::relationshipTarget(std::string_view typeSuffix, std::string* id) const {
    pugi::xml_node root = rootElement(workbookRels);
    std::string suffix = "/" + std::string(typeSuffix);
    for (pugi::xml_node r = root.first_child(); r; r = r.next_sibling()) {
        if (r.type() != pugi::node_element || !endsWith(r.attribute("Type").value(), suffix))
            continue;
        if (std::string_view(r.attribute("TargetMode").value()) == "External")
            continue;
        if (id)
            *id = r.attribute("Id").value();
        return resolveTarget(workbookDir, r.attribute("Target").value());
    }
    return {};
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

std::unordered_map<std::string, Workbook::Impl::WorkbookRelationship>
Workbook::Impl::workbookRelationshipsById() {
    std::unordered_map<std::string, WorkbookRelationship> byId;
    for (pugi::xml_node r = rootElement(workbookRels).first_child(); r; r = r.next_sibling())
        if (r.type() == pugi::node_element) {
            const std::string id = r.attribute("Id").value();
            relIds.insert(id);
            byId.emplace(id, WorkbookRelationship{r.attribute("Type").value(),
                                                  resolveTarget(workbookDir, r.attribute("Target").value())});
        }
    return byId;
}

const std::string& Workbook::Impl::ensureStringsPart(const char* extension, const char* contentType) {
    if (stringsPart.empty()) {
        stringsPart = relationshipTarget("sharedStrings");
        if (stringsPart.empty()) {
            stringsPart = newPartName(workbookDir + "sharedStrings", extension, false);
            addRelationship(relationshipType("sharedStrings"), relativeTarget(stringsPart));
        }
        setOverride(stringsPart, contentType);
    }
    return stringsPart;
}

} // namespace workbookfile
