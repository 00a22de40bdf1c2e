// Clearing a worksheet as the spreadsheet's Cells.Clear does. Besides values and formats, merged
// ranges, conditional formats, data validations, hyperlinks, comments and the autofilter go: left
// behind they would act on whatever is written next (a leftover merged range hides cells of a new
// header in every reader). Column widths, views, page setup, drawings and tables stay.

#include "Xml.h"

#include "PartNames.h"
#include "XmlDom.h"

#include <algorithm>
#include <set>

namespace workbookfile {

namespace {

// Elements of the worksheet that describe its cells' content.
const std::string_view kCellElements[] = {"mergeCells", "conditionalFormatting", "dataValidations",
                                          "hyperlinks", "autoFilter"};
// Children of an extension that hold the newer (x14) conditional formats and validations.
const std::string_view kCellExtensions[] = {"conditionalFormattings", "dataValidations"};

template <std::size_t N> bool isOneOf(std::string_view name, const std::string_view (&names)[N]) {
    return std::find(std::begin(names), std::end(names), name) != std::end(names);
}

// The relationship id of an element: an attribute "id" under a prefix (the relationships
// namespace may be bound to any).
std::string relationshipId(const pugi::xml_node& node) {
    for (pugi::xml_attribute a = node.first_attribute(); a; a = a.next_attribute())
        if (localName(a) == "id" && !prefixOf(a.name()).empty())
            return a.value();
    return {};
}

pugi::xml_node relationshipById(const pugi::xml_document& rels, std::string_view id) {
    for (pugi::xml_node r = rootElement(rels).first_child(); r; r = r.next_sibling())
        if (r.type() == pugi::node_element && id == r.attribute("Id").value())
            return r;
    return {};
}

bool external(const pugi::xml_node& rel) {
    return std::string_view(rel.attribute("TargetMode").value()) == "External";
}

// A VML drawing that holds comment boxes only; form controls live in the same kind of part and
// must not go with the comments.
bool onlyCommentShapes(const std::string& vml) {
    const std::string_view key = "ObjectType=";
    for (std::size_t at = vml.find(key); at != std::string::npos; at = vml.find(key, at + 1)) {
        std::size_t value = at + key.size();
        if (value >= vml.size() || (vml[value] != '"' && vml[value] != '\''))
            continue;
        if (vml.compare(value + 1, 4, "Note") != 0 || value + 5 >= vml.size() || vml[value + 5] != vml[value])
            return false;
    }
    return true;
}

bool hasElementChild(const pugi::xml_node& node) {
    for (pugi::xml_node c = node.first_child(); c; c = c.next_sibling())
        if (c.type() == pugi::node_element)
            return true;
    return false;
}

} // namespace

void clearXmlSheetExtras(Workbook::Impl& wb, Worksheet::Impl& sheet) {
    // Everything is worked out first and committed at the end, so that a failure changes nothing.
    pugi::xml_document doc;
    parsePart(doc, sheet.head + "<" + sheet.prefix + "sheetData/>" + sheet.tail, sheet.part);
    pugi::xml_node root = rootElement(doc);
    pugi::xml_document rels;
    const bool hasRels = wb.readRelationships(sheet.part, rels);
    const std::string folder = partFolder(sheet.part);

    std::set<std::string> droppedIds;
    bool sheetChanged = false;
    for (pugi::xml_node node = root.first_child(); node;) {
        pugi::xml_node next = node.next_sibling();
        std::string_view name = localName(node);
        if (node.type() != pugi::node_element) {
            // comments, processing instructions: kept
        } else if (isOneOf(name, kCellElements)) {
            if (name == "hyperlinks")
                for (pugi::xml_node link = node.first_child(); link; link = link.next_sibling())
                    if (std::string id = relationshipId(link); !id.empty())
                        droppedIds.insert(id);
            root.remove_child(node);
            sheetChanged = true;
        } else if (name == "legacyDrawing" && hasRels) {
            std::string id = relationshipId(node);
            pugi::xml_node rel = relationshipById(rels, id);
            std::string vml =
                rel && !external(rel) ? resolveTarget(folder, rel.attribute("Target").value()) : "";
            if (!vml.empty() && wb.hasPart(vml) && onlyCommentShapes(wb.readPart(vml))) {
                droppedIds.insert(id);
                root.remove_child(node);
                sheetChanged = true;
            }
        } else if (name == "extLst") {
            for (pugi::xml_node ext = node.first_child(); ext;) {
                pugi::xml_node nextExt = ext.next_sibling();
                for (pugi::xml_node c = ext.first_child(); c; c = c.next_sibling())
                    if (c.type() == pugi::node_element && isOneOf(localName(c), kCellExtensions)) {
                        node.remove_child(ext);
                        sheetChanged = true;
                        break;
                    }
                ext = nextExt;
            }
            if (!hasElementChild(node)) {
                root.remove_child(node);
                sheetChanged = true;
            }
        } else if (name == "sheetPr") {
            // Says that a filter hides rows; without the autofilter there is none.
            sheetChanged |= node.remove_attribute("filterMode");
        } else if (name == "cols") {
            // Widths stay; the formats of whole columns go with the cells' formats.
            for (pugi::xml_node col = node.first_child(); col; col = col.next_sibling())
                sheetChanged |= col.remove_attribute("style");
        }
        node = next;
    }

    // Comments are related by type alone; hyperlinks and the comment drawing by the ids above.
    std::vector<std::string> droppedParts;
    bool relsChanged = false, threadedDropped = false;
    if (hasRels) {
        pugi::xml_node relsRoot = rootElement(rels);
        for (pugi::xml_node r = relsRoot.first_child(); r;) {
            pugi::xml_node next = r.next_sibling();
            std::string_view type = r.attribute("Type").value();
            bool threaded = endsWith(type, "/threadedComment");
            if (r.type() == pugi::node_element &&
                (droppedIds.count(r.attribute("Id").value()) || endsWith(type, "/comments") || threaded)) {
                if (!external(r))
                    droppedParts.push_back(resolveTarget(folder, r.attribute("Target").value()));
                threadedDropped |= threaded;
                relsRoot.remove_child(r);
                relsChanged = true;
            }
            r = next;
        }
    }
    if (!sheetChanged && !relsChanged)
        return;
    // The people of threaded comments are listed once for the workbook; they go with the last
    // worksheet that has threaded comments.
    bool dropPeople = threadedDropped;
    for (std::size_t i = 0; dropPeople && i < wb.sheets.size(); ++i) {
        const Worksheet::Impl& other = wb.sheets[i]->impl();
        pugi::xml_document otherRels;
        if (&other != &sheet && wb.readRelationships(other.part, otherRels))
            for (pugi::xml_node r = rootElement(otherRels).first_child(); r; r = r.next_sibling())
                if (endsWith(r.attribute("Type").value(), "/threadedComment"))
                    dropPeople = false;
    }

    // The cell data is written between head and tail; a marker in its place splits the text.
    const std::string marker = "gridwell-cells";
    pugi::xml_node data = childByLocalName(root, "sheetData");
    root.insert_child_before(pugi::node_pi, data).set_name(marker.c_str());
    root.remove_child(data);
    std::string xml = serializePart(doc);
    const std::string markerText = "<?" + marker + "?>";
    std::size_t at = xml.find(markerText);
    if (at == std::string::npos || xml.find(markerText, at + 1) != std::string::npos)
        throw Error(ErrorKind::Damaged, "The worksheet part \"" + sheet.part +
                                            "\" is malformed: its cell data cannot be located.");

    sheet.head = xml.substr(0, at);
    sheet.tail = xml.substr(at + markerText.size());
    if (relsChanged) {
        std::string relsPart = relationshipsPartOf(sheet.part);
        if (hasElementChild(rootElement(rels)))
            wb.setPart(relsPart, serializePart(rels));
        else
            wb.removePart(relsPart);
    }
    for (const std::string& part : droppedParts)
        if (wb.hasPart(part))
            wb.dropPart(part);
    if (dropPeople)
        wb.dropWorkbookRelated("person");
}

} // namespace workbookfile
