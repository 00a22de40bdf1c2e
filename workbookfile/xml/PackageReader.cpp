// Opening a workbook package: its content types and root relationships, then the workbook part and
// its relationships, styles and shared strings become the model (a binary workbook is handed to
// XlsbReader.cpp there); worksheets are read when first used.

#include "Internal.h"
#include "NewParts.h"
#include "PackageNames.h"
#include "Utf.h"
#include "Xls.h"
#include "Xlsb.h"

#include "SheetNames.h"
#include "SheetXml.h"
#include "XmlDom.h"
#include "XmlText.h"

#include <algorithm>

namespace workbookfile {

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

void Workbook::Impl::loadPackage() {
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

    std::string mainType;
    std::string partKey = lowerAscii("/" + workbookPart);
    for (pugi::xml_node o = rootElement(contentTypes).first_child(); o; o = o.next_sibling())
        if (localName(o) == "Override" && lowerAscii(o.attribute("PartName").value()) == partKey)
            mainType = o.attribute("ContentType").value();
    if (mainType.find("ms-excel.sheet.binary") != std::string::npos) {
        loadXlsbPackage();
        return;
    }
    if (mainType.find("spreadsheetml.sheet.main") == std::string::npos &&
        mainType.find("spreadsheetml.template.main") == std::string::npos &&
        mainType.find("ms-excel.sheet.macroEnabled.main") == std::string::npos &&
        mainType.find("ms-excel.template.macroEnabled.main") == std::string::npos)
        throw Error(ErrorKind::NotAWorkbook, "The file \"" + path + "\" is not a spreadsheet workbook.");
    format = mainType.find("macroEnabled") != std::string::npos ? FileFormat::Xlsm : FileFormat::Xlsx;

    workbookDir = partFolder(workbookPart);
    workbookRelsPart = relationshipsPartOf(workbookPart);
    parsePart(workbookXml, readPart(workbookPart), workbookPart);
    if (hasPart(workbookRelsPart))
        parsePart(workbookRels, readPart(workbookRelsPart), workbookRelsPart);
    else
        parsePart(workbookRels, emptyRelationships(), workbookRelsPart);

    pugi::xml_node root = rootElement(workbookXml);
    if (localName(root) != "workbook")
        throw Error(ErrorKind::NotAWorkbook,
                    "The file \"" + path + "\" is not a workbook: its main part is not a workbook.");
    if (!namespacePrefix(root, kRelNamespace, relPrefix) &&
        !namespacePrefix(root, kStrictRelNamespace, relPrefix)) {
        root.append_attribute("xmlns:r").set_value(kRelNamespace);
        relPrefix = "r:";
    }
    date1904 = booleanAttribute(childByLocalName(root, "workbookPr"), "date1904", false);
    structureLocked = booleanAttribute(childByLocalName(root, "workbookProtection"), "lockStructure", false);
    sheetsNode = childByLocalName(root, "sheets");
    if (!sheetsNode)
        throw Error(ErrorKind::Damaged, "The workbook part of \"" + path + "\" has no list of sheets.");

    // Relationship ids of the workbook part.
    struct Rel {
        std::string type, target;
    };
    std::vector<std::pair<std::string, Rel>> rels;
    for (pugi::xml_node r = rootElement(workbookRels).first_child(); r; r = r.next_sibling())
        if (r.type() == pugi::node_element)
            rels.push_back(
                {r.attribute("Id").value(),
                 {r.attribute("Type").value(), resolveTarget(workbookDir, r.attribute("Target").value())}});

    for (const auto& r : rels)
        relIds.insert(r.first);
    std::string idAttr = relPrefix + "id";
    for (pugi::xml_node s = sheetsNode.first_child(); s; s = s.next_sibling()) {
        if (s.type() != pugi::node_element || localName(s) != "sheet")
            continue;
        indexSheetNode(s);
        std::string id = s.attribute(idAttr.c_str()).value();
        auto rel = std::find_if(rels.begin(), rels.end(), [&](const auto& r) { return r.first == id; });
        if (rel == rels.end())
            throw Error(ErrorKind::Damaged, "The sheet \"" + std::string(s.attribute("name").value()) +
                                                "\" of \"" + path + "\" has no relationship to its part.");
        const SheetType type = sheetTypeOf(rel->second.type);
        if (type != SheetType::Worksheet) {
            tabs.push_back({s, type, nullptr, rel->second.target}); // kept untouched
            continue;
        }
        if (!hasPart(rel->second.target))
            throw Error(ErrorKind::Damaged, "The file \"" + path + "\" lacks the part \"" +
                                                rel->second.target + "\" of the worksheet \"" +
                                                s.attribute("name").value() + "\".");
        auto impl = std::make_unique<Worksheet::Impl>();
        impl->workbook = self;
        impl->name = s.attribute("name").value();
        impl->foldedName = foldSheetName(impl->name);
        impl->node = s;
        impl->part = rel->second.target;
        sheets.push_back(std::unique_ptr<Worksheet>(new Worksheet(std::move(impl))));
        tabs.push_back({s, type, sheets.back().get(), rel->second.target});
    }

    stylesPart = relationshipTarget("styles");
    if (!stylesPart.empty() && hasPart(stylesPart)) {
        styles.load(readPart(stylesPart), stylesPart);
    } else {
        stylesPart = newPartName(workbookDir + "styles", ".xml", false);
        std::string xml = newStyleSheet();
        styles.load(xml, stylesPart);
        setPart(stylesPart, xml);
        addRelationship(relationshipType("styles"), relativeTarget(stylesPart));
        setOverride(stylesPart, kStylesContentType);
    }
    stringsPart = relationshipTarget("sharedStrings");
    if (!stringsPart.empty() && hasPart(stringsPart)) {
        strings.load(readPart(stringsPart), stringsPart);
    } else {
        stringsPart.clear();
        refuseStringCellsWithoutTable();
    }
}

// A table made now would give such cells the texts written next: the file is damaged and is not
// to be reinterpreted. Only workbooks without a table pay for reading their sheets here.
void Workbook::Impl::refuseStringCellsWithoutTable() {
    for (const SheetEntry& tab : tabs) {
        if (tab.type == SheetType::Chartsheet || !hasPart(tab.part) ||
            countSharedStringCells(readPart(tab.part)) == 0)
            continue;
        throw Error(ErrorKind::Damaged, "The workbook \"" + path + "\" is damaged: its " +
                                            (tab.type == SheetType::Worksheet ? "worksheet" : "sheet") +
                                            " \"" + tab.node.attribute("name").value() +
                                            "\" has shared-string cells but no shared string table.");
    }
}

void Workbook::Impl::ensureLoaded(Worksheet::Impl& sheet) {
    finishPacking(&sheet);
    if (sheet.packed) {
        bringBack(sheet);
        return;
    }
    if (sheet.loaded)
        return;
    if (sheet.codec == SheetCodec::Xlsb) {
        loadXlsbSheet(*this, sheet);
        return;
    }
    if (sheet.codec == SheetCodec::Xls) {
        loadXlsSheet(*this, sheet);
        return;
    }
    loadXmlSheet(sheet, readPart(sheet.part));
}

void Workbook::Impl::loadXmlSheet(Worksheet::Impl& sheet, const std::string& xml) {
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
