// Opening: the package's root (its content types, its relationships, its main part), and the
// worksheets, whose cells are read by their codec when first used.

#include "WorkbookState.h"

#include "PackageNames.h"
#include "PartNames.h"
#include "Utf.h"
#include "XmlDom.h"

#include <algorithm>
#include <unordered_map>

namespace workbookfile {

std::string Workbook::Impl::readPackageRoot() {
    if (!hasPart("[Content_Types].xml"))
        throw Error(ErrorKind::NotAWorkbook,
                    "The file \"" + path + "\" is not a workbook: it has no content types part.");
    parsePart(contentTypes, readPart("[Content_Types].xml"), "[Content_Types].xml");
    if (!hasPart("_rels/.rels"))
        throw Error(ErrorKind::NotAWorkbook,
                    "The file \"" + path + "\" is not a workbook: it has no package relationships.");
    pugi::xml_document rootRels;
    parsePart(rootRels, readPart("_rels/.rels"), "_rels/.rels");
    for (pugi::xml_node r = rootElement(rootRels).first_child(); r; r = r.next_sibling())
        if (r.type() == pugi::node_element && endsWith(r.attribute("Type").value(), "/officeDocument"))
            workbookPart = resolveTarget("", r.attribute("Target").value());
    if (workbookPart.empty() || !hasPart(workbookPart))
        throw Error(ErrorKind::NotAWorkbook,
                    "The file \"" + path + "\" is not a workbook: it has no workbook part.");

    return contentTypeOf(contentTypes, workbookPart);
}

void Workbook::Impl::startSheetList() {
    parsePart(workbookXml,
              std::string("<workbook xmlns=\"") + kMainNamespace + "\" xmlns:r=\"" + kRelNamespace +
                  "\"><sheets/></workbook>",
              workbookPart);
    relPrefix = "r:";
    sheetsNode = childByLocalName(rootElement(workbookXml), "sheets");
}

void Workbook::Impl::refuseSharedSheetParts() const {
    std::unordered_map<std::string, std::size_t> byPart;
    for (std::size_t i = 0; i < tabs.size(); ++i) {
        const auto [it, added] = byPart.emplace(lowerAscii(tabs[i].part), i);
        const SheetEntry& other = tabs[it->second];
        if (added || (!tabs[i].worksheet && !other.worksheet))
            continue;
        throw Error(ErrorKind::Damaged, "The workbook \"" + path + "\" is damaged: its sheets \"" +
                                            other.node.attribute("name").value() + "\" and \"" +
                                            tabs[i].node.attribute("name").value() + "\" name one part, \"" +
                                            tabs[i].part + "\".");
    }
}

void Workbook::Impl::ensureLoaded(Worksheet::Impl& sheet) {
    finishPacking(&sheet);
    if (sheet.packed) {
        bringBack(sheet);
        return;
    }
    if (!sheet.loaded)
        sheet.codec->loadSheet(*this, sheet);
}

void keepBinarySheet(Worksheet::Impl& sheet, std::string head, std::string tail, SheetModel model,
                     std::vector<ColumnFormat> columns, SheetProtection protection) {
    std::sort(columns.begin(), columns.end(),
              [](const ColumnFormat& a, const ColumnFormat& b) { return a.first < b.first; });
    sheet.head = std::move(head);
    sheet.tail = std::move(tail);
    sheet.prefix.clear();
    sheet.model = std::move(model);
    sheet.columnFormats = std::move(columns);
    sheet.protection = protection;
    sheet.stringCellsAtLoad = sheet.model.sharedStringCells();
    sheet.loaded = true;
}

} // namespace workbookfile
