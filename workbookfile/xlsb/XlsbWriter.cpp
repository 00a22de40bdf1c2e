// Saving binary workbooks. An opened one keeps every part it does not change byte for byte, as
// the XML path does; a new one is made from the engine's model. Worksheets are made and deflated
// a few at a time beside the thread that writes the archive in order.

#include "NewParts.h"
#include "OrderedZip.h"
#include "PackageNames.h"
#include "PartNames.h"
#include "Utf.h"
#include "Xlsb.h"
#include "XlsbRecords.h"
#include "XmlDom.h"
#include "XmlText.h"

namespace workbookfile {

namespace {

// A worksheet's records made and deflated on a worker thread.
std::function<PackedEntry()> makeSheet(const std::string& name, const SheetModel& model,
                                       const std::string& head, const std::string& tail) {
    return [name, &model, &head, &tail] {
        return packEntry(name, xlsbSheetRecords(model, head, tail, name), kBinaryDeflateLevel);
    };
}

void writeItems(Workbook::Impl& wb, const std::vector<ZipItem>& items, int fd, const std::string& path) {
    ZipWriter zip(fd, path, wb.fixedTime ? wb.fixedTime : std::time(nullptr));
    int step = 0;
    writeInOrder(zip, wb.source.get(), items, [&] {
        if (wb.progress)
            wb.progress(++step);
    });
}

} // namespace

std::string addXlsbSheetPart(Workbook::Impl& wb) {
    const std::string part = wb.newPartName(wb.workbookDir + "worksheets/sheet", ".bin");
    wb.appendOverride(part, kXlsbWorksheetType);
    return part;
}

namespace {

// A worksheet the engine added to an opened binary workbook as XML becomes a binary part.
void makeBinary(Workbook::Impl& wb, Worksheet::Impl& sheet) {
    wb.ensureLoaded(sheet);
    const std::string part = wb.newPartName(wb.workbookDir + "worksheets/sheet", ".bin");
    const std::string id = wb.sheetRelationshipId(sheet.node);
    for (pugi::xml_node rel = rootElement(wb.workbookRels).first_child(); rel; rel = rel.next_sibling())
        if (std::string_view(rel.attribute("Id").value()) == id)
            rel.attribute("Target").set_value(wb.relativeTarget(part).c_str());
    wb.workbookRelsChanged = true;
    wb.removeOverride(sheet.part);
    wb.removePart(sheet.part);
    wb.appendOverride(part, kXlsbWorksheetType);
    for (SheetEntry& tab : wb.tabs)
        if (tab.part == sheet.part)
            tab.part = part;
    sheet.part = part;
    sheet.head = newXlsbSheetHead(sheet.layout);
    sheet.tail = newXlsbSheetTail();
    sheet.prefix.clear();
    sheet.codec = &xlsbCodec();
    sheet.changed = true;
}

void writeNew(Workbook::Impl& wb, int fd, const std::string& path) {
    // Parts made here, in the order they go into the archive.
    std::vector<std::pair<std::string, std::string>> parts;
    std::string types = contentTypesHead() + "<Default Extension=\"bin\" ContentType=\"" + kXlsbMainType +
                        "\"/>" + contentTypeOverride("xl/workbook.bin", kXlsbMainType);
    std::string rels =
        std::string(kXmlDeclaration) + "<Relationships xmlns=\"" + kPackageRelNamespace + "\">";
    std::vector<std::string> sheetParts;
    int n = 0;
    for (const SheetEntry& tab : wb.tabs) {
        sheetParts.push_back("xl/worksheets/sheet" + std::to_string(++n) + ".bin");
        types += contentTypeOverride(sheetParts.back(), kXlsbWorksheetType);
        rels += relationshipElement(wb.sheetRelationshipId(tab.node), relationshipType("worksheet"),
                                    "worksheets/sheet" + std::to_string(n) + ".bin");
    }
    auto freeId = [&] {
        for (std::size_t i = wb.relIds.size() + 1;; ++i)
            if (!wb.relIds.count("rId" + std::to_string(i)) &&
                rels.find("\"rId" + std::to_string(i) + "\"") == std::string::npos)
                return "rId" + std::to_string(i);
    };
    rels += relationshipElement(freeId(), relationshipType("styles"), "styles.bin");
    types += contentTypeOverride("xl/styles.bin", kXlsbStylesType);
    long long references = 0;
    for (const auto& s : wb.sheets)
        references += (long long)s->impl().stringCells();
    const bool strings = wb.strings.size() > 0;
    if (strings) {
        rels += relationshipElement(freeId(), relationshipType("sharedStrings"), "sharedStrings.bin");
        types += contentTypeOverride("xl/sharedStrings.bin", kXlsbStringsType);
    }
    rels += "</Relationships>";
    types += contentTypeOverride("docProps/core.xml", kCorePropertiesContentType) +
             contentTypeOverride("docProps/app.xml", kExtendedPropertiesContentType) + "</Types>";

    parts.emplace_back("[Content_Types].xml", types);
    parts.emplace_back("_rels/.rels", newRootRelationships("xl/workbook.bin"));
    parts.emplace_back("docProps/app.xml", wb.readPart("docProps/app.xml"));
    parts.emplace_back("docProps/core.xml",
                       newCoreProperties(wb.fixedTime ? wb.fixedTime : std::time(nullptr)));
    parts.emplace_back("xl/workbook.bin", newXlsbWorkbook(wb));
    parts.emplace_back("xl/_rels/workbook.bin.rels", rels);
    parts.emplace_back("xl/styles.bin", xlsbStylesFromXml(wb.styles.serialize()));
    if (strings)
        parts.emplace_back("xl/sharedStrings.bin",
                           xlsbStringsFromTable(wb.strings, 0, {}, "xl/sharedStrings.bin", references));

    static const std::string tail = newXlsbSheetTail();
    std::vector<std::string> heads(wb.tabs.size()); // each sheet's, for its own layout
    std::vector<ZipItem> items;
    for (const auto& part : parts) {
        ZipItem item;
        item.name = part.first;
        item.make = [&part] { return packEntry(part.first, part.second, kBinaryDeflateLevel); };
        items.push_back(std::move(item));
    }
    for (std::size_t i = 0; i < wb.tabs.size(); ++i) {
        const Worksheet::Impl& sheet = wb.tabs[i].worksheet->impl();
        ZipItem item;
        item.name = sheetParts[i];
        if (sheet.packed) {
            item.write = [&wb, &sheet, name = item.name](ZipWriter& zip) { wb.addPacked(zip, sheet, name); };
        } else {
            heads[i] = newXlsbSheetHead(sheet.layout);
            item.make = makeSheet(item.name, sheet.model, heads[i], tail);
        }
        items.push_back(std::move(item));
    }
    writeItems(wb, items, fd, path);
}

} // namespace

void prepareXlsbSave(Workbook::Impl& wb) {
    if (!xlsbBookOf(wb)) {
        // A new workbook is made whole while it is written, from its worksheets' cells (or the
        // records packed from them).
        for (const auto& s : wb.sheets)
            if (!s->impl().packed)
                wb.ensureLoaded(s->impl());
        return;
    }
    const XlsbBook& book = *xlsbBookOf(wb);
    for (const auto& s : wb.sheets)
        if (s->impl().codec != &xlsbCodec())
            makeBinary(wb, s->impl());
    // Formulas elsewhere may depend on changed cells: the calculation chain goes and the workbook
    // asks for a full recalculation on opening (updatedXlsbWorkbook).
    if (wb.cellsChanged)
        wb.dropWorkbookRelated("calcChain");

    const long long references = wb.stringReferenceCount();
    if (wb.strings.appended() || references != wb.strings.fileReferenceCount()) {
        wb.ensureStringsPart(".bin", kXlsbStringsType);
        wb.setPart(wb.stringsPart, xlsbStringsFromTable(wb.strings, book.stringCount, book.stringRecords,
                                                        wb.stringsPart, references, wb.unusedStrings()));
    }
    if (wb.styles.changed() || (wb.stylesPart.empty() && wb.cellsChanged)) {
        if (book.styleRecords.empty()) {
            if (wb.stylesPart.empty()) {
                wb.stylesPart = wb.newPartName(wb.workbookDir + "styles", ".bin", false);
                wb.addRelationship(relationshipType("styles"), wb.relativeTarget(wb.stylesPart));
                wb.setOverride(wb.stylesPart, kXlsbStylesType);
            }
            wb.setPart(wb.stylesPart, xlsbStylesFromXml(wb.styles.serialize()));
        } else {
            wb.setPart(wb.stylesPart, extendXlsbStyles(book, wb.styles.serialize(), wb.stylesPart));
        }
    }
    if (wb.workbookChanged || wb.cellsChanged)
        wb.setPart(wb.workbookPart, updatedXlsbWorkbook(wb));
    if (wb.workbookRelsChanged)
        wb.setPart(wb.workbookRelsPart, serializePart(wb.workbookRels));
    if (wb.contentTypesChanged)
        wb.setPart("[Content_Types].xml", serializePart(wb.contentTypes));
}

void writeXlsbPackage(Workbook::Impl& wb, int fd, const std::string& path) {
    if (!xlsbBookOf(wb)) {
        writeNew(wb, fd, path);
        return;
    }
    const std::vector<ZipItem> items =
        wb.packageItems(kBinaryDeflateLevel, [](ZipItem& item, const Worksheet::Impl& sheet) {
            item.make = makeSheet(item.name, sheet.model, sheet.head, sheet.tail);
        });
    writeItems(wb, items, fd, path);
}

} // namespace workbookfile
