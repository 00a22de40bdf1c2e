// Opening an XML workbook: once the package's root is read, the workbook part and its
// relationships, styles and shared strings become the model; worksheets are read when first used.

#include "Xml.h"

#include "NewParts.h"
#include "PackageNames.h"
#include "PartNames.h"
#include "Utf.h"

#include "SheetNames.h"
#include "SheetXml.h"
#include "XmlDom.h"
#include "XmlText.h"

#include <algorithm>

namespace workbookfile {

namespace {

// A table made now would give such cells the texts written next: the file is damaged and is not
// to be reinterpreted. Only workbooks without a table pay for reading their sheets here.
void refuseStringCellsWithoutTable(Workbook::Impl& wb) {
    for (const SheetEntry& tab : wb.tabs) {
        if (tab.type == SheetType::Chartsheet || !wb.hasPart(tab.part) ||
            countSharedStringCells(wb.readPart(tab.part)) == 0)
            continue;
        throw Error(ErrorKind::Damaged, "The workbook \"" + wb.path + "\" is damaged: its " +
                                            (tab.type == SheetType::Worksheet ? "worksheet" : "sheet") +
                                            " \"" + tab.node.attribute("name").value() +
                                            "\" has shared-string cells but no shared string table.");
    }
}

} // namespace

void openXmlPackage(Workbook::Impl& wb, const std::string& mainType) {
    wb.format = mainType.find("macroEnabled") != std::string::npos ? FileFormat::Xlsm : FileFormat::Xlsx;
    if (!wb.isNew)
        wb.readAs = &xmlCodec();

    wb.workbookDir = partFolder(wb.workbookPart);
    wb.workbookRelsPart = relationshipsPartOf(wb.workbookPart);
    parsePart(wb.workbookXml, wb.readPart(wb.workbookPart), wb.workbookPart);
    if (wb.hasPart(wb.workbookRelsPart))
        parsePart(wb.workbookRels, wb.readPart(wb.workbookRelsPart), wb.workbookRelsPart);
    else
        parsePart(wb.workbookRels, emptyRelationships(), wb.workbookRelsPart);

    pugi::xml_node root = rootElement(wb.workbookXml);
    if (localName(root) != "workbook")
        throw Error(ErrorKind::NotAWorkbook,
                    "The file \"" + wb.path + "\" is not a workbook: its main part is not a workbook.");
    if (!namespacePrefix(root, kRelNamespace, wb.relPrefix) &&
        !namespacePrefix(root, kStrictRelNamespace, wb.relPrefix)) {
        root.append_attribute("xmlns:r").set_value(kRelNamespace);
        wb.relPrefix = "r:";
    }
    wb.date1904 = booleanAttribute(childByLocalName(root, "workbookPr"), "date1904", false);
    wb.structureLocked =
        booleanAttribute(childByLocalName(root, "workbookProtection"), "lockStructure", false);
    wb.sheetsNode = childByLocalName(root, "sheets");
    if (!wb.sheetsNode)
        throw Error(ErrorKind::Damaged, "The workbook part of \"" + wb.path + "\" has no list of sheets.");

    const auto rels = wb.workbookRelationshipsById();
    std::string idAttr = wb.relPrefix + "id";
    for (pugi::xml_node s = wb.sheetsNode.first_child(); s; s = s.next_sibling()) {
        if (s.type() != pugi::node_element || localName(s) != "sheet")
            continue;
        wb.indexSheetNode(s);
        const auto rel = rels.find(s.attribute(idAttr.c_str()).value());
        if (rel == rels.end())
            throw Error(ErrorKind::Damaged, "The sheet \"" + std::string(s.attribute("name").value()) +
                                                "\" of \"" + wb.path + "\" has no relationship to its part.");
        const SheetType type = sheetTypeOf(rel->second.type);
        if (type != SheetType::Worksheet) {
            wb.tabs.push_back({s, type, nullptr, rel->second.target}); // kept untouched
            continue;
        }
        if (!wb.hasPart(rel->second.target))
            throw Error(ErrorKind::Damaged, "The file \"" + wb.path + "\" lacks the part \"" +
                                                rel->second.target + "\" of the worksheet \"" +
                                                s.attribute("name").value() + "\".");
        auto impl = std::make_unique<Worksheet::Impl>();
        impl->workbook = wb.self;
        impl->name = s.attribute("name").value();
        impl->foldedName = foldSheetName(impl->name);
        impl->node = s;
        impl->part = rel->second.target;
        impl->codec = &xmlCodec();
        wb.sheets.push_back(Workbook::Impl::makeWorksheet(std::move(impl)));
        wb.tabs.push_back({s, type, wb.sheets.back().get(), rel->second.target});
    }

    wb.stylesPart = wb.relationshipTarget("styles");
    if (!wb.stylesPart.empty() && wb.hasPart(wb.stylesPart)) {
        wb.styles.load(wb.readPart(wb.stylesPart), wb.stylesPart);
    } else {
        wb.stylesPart = wb.newPartName(wb.workbookDir + "styles", ".xml", false);
        std::string xml = newStyleSheet();
        wb.styles.load(xml, wb.stylesPart);
        wb.setPart(wb.stylesPart, xml);
        wb.addRelationship(relationshipType("styles"), wb.relativeTarget(wb.stylesPart));
        wb.setOverride(wb.stylesPart, kStylesContentType);
    }
    wb.stringsPart = wb.relationshipTarget("sharedStrings");
    if (!wb.stringsPart.empty() && wb.hasPart(wb.stringsPart)) {
        wb.strings.load(wb.readPart(wb.stringsPart), wb.stringsPart);
    } else {
        wb.stringsPart.clear();
        refuseStringCellsWithoutTable(wb);
    }
}

void loadXmlSheet(Worksheet::Impl& sheet, const std::string& xml) {
    refuseDoctype(xml, sheet.part);
    RootSpan span;
    if (!findRootSpan(xml, span))
        throw Error(ErrorKind::Damaged, "The worksheet part \"" + sheet.part + "\" is not XML.");
    std::size_t nameEnd = xml.find_first_of(" \t\r\n/>", span.startTagBegin + 1);
    std::string qname = xml.substr(span.startTagBegin + 1, nameEnd - span.startTagBegin - 1);
    std::string prefix = prefixOf(qname.c_str());
    if (localName(qname.c_str()) != "worksheet")
        throw Error(ErrorKind::Damaged, "The part \"" + sheet.part + "\" is not a worksheet.");
    std::string open = "<" + prefix + "sheetData";
    std::size_t start = span.contentBegin;
    for (;;) {
        start = xml.find(open, start);
        if (start == std::string::npos)
            throw Error(ErrorKind::Damaged, "The worksheet part \"" + sheet.part + "\" has no cell data.");
        char next = start + open.size() < xml.size() ? xml[start + open.size()] : '\0';
        if (next == '>' || next == '/' || next == ' ' || next == '\t' || next == '\r' || next == '\n')
            break;
        start += open.size();
    }
    std::size_t tagEnd = xml.find('>', start);
    if (tagEnd == std::string::npos)
        throw Error(ErrorKind::Damaged, "The worksheet part \"" + sheet.part + "\" is truncated.");
    std::size_t end;
    SheetModel model;
    if (xml[tagEnd - 1] == '/') {
        end = tagEnd + 1;
    } else {
        std::string close = "</" + prefix + "sheetData>";
        std::size_t closeAt = xml.find(close, tagEnd);
        if (closeAt == std::string::npos)
            throw Error(ErrorKind::Damaged, "The worksheet part \"" + sheet.part + "\" is truncated.");
        end = closeAt + close.size();
        parseSheetData(std::string_view(xml).substr(start, end - start), model, sheet.part);
    }
    // Check that the rest of the part is well-formed too before keeping it verbatim.
    pugi::xml_document check;
    {
        std::string outer = xml.substr(0, start) + xml.substr(end);
        parsePart(check, outer, sheet.part);
        // The cell data found must be the worksheet's own, not text inside a comment.
        if (childByLocalName(rootElement(check), "sheetData"))
            throw Error(ErrorKind::Damaged, "The worksheet part \"" + sheet.part +
                                                "\" is malformed: its cell data cannot be located.");
    }
    sheet.head = xml.substr(0, start);
    sheet.tail = xml.substr(end);
    sheet.prefix = prefix;
    sheet.model = std::move(model);
    sheet.columnFormats = readColumnFormats(rootElement(check));
    sheet.protection = readSheetProtection(rootElement(check));
    sheet.stringCellsAtLoad = sheet.model.sharedStringCells();
    sheet.loaded = true;
}

} // namespace workbookfile
