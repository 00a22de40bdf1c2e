// Saving binary workbooks. An opened one keeps every part it does not change byte for byte, as
// the XML path does; a new one is made from the engine's model. Worksheets are made and deflated
// a few at a time beside the thread that writes the archive in order.

#include "NewParts.h"
#include "PackageNames.h"
#include "PartNames.h"
#include "Utf.h"
#include "Xlsb.h"
#include "XlsbRecords.h"
#include "XmlDom.h"
#include "XmlText.h"
#include "ZipWriter.h"

#include <algorithm>
#include <deque>
#include <future>
#include <thread>

namespace workbookfile {

namespace {

struct Item {
    enum Kind { Copy, Content, Sheet, Packed } kind = Content;
    std::string name;
    long source = -1;
    const std::string* content = nullptr;
    const SheetModel* model = nullptr;
    const std::string* head = nullptr;
    const std::string* tail = nullptr;
    const Worksheet::Impl* packed = nullptr; // a worksheet packed while the workbook was written
};

PackedEntry pack(const Item& item) {
    if (item.kind == Item::Sheet)
        return packEntry(item.name, xlsbSheetRecords(*item.model, *item.head, *item.tail, item.name),
                         kBinaryDeflateLevel);
    return packEntry(item.name, *item.content, kBinaryDeflateLevel);
}

void writeItems(Workbook::Impl& wb, const std::vector<Item>& items, int fd, const std::string& path) {
    ZipWriter zip(fd, path, wb.fixedTime ? wb.fixedTime : std::time(nullptr));
    const std::size_t window = std::max(2u, std::min(std::thread::hardware_concurrency(), 4u));
    std::deque<std::pair<std::size_t, std::future<PackedEntry>>> pending;
    std::size_t next = 0;
    auto fill = [&](std::size_t current) {
        while (next < items.size() && pending.size() < window) {
            if (next >= current && items[next].kind != Item::Copy && items[next].kind != Item::Packed) {
                const Item* item = &items[next];
                pending.emplace_back(next, std::async(std::launch::async, [item] { return pack(*item); }));
            }
            ++next;
        }
    };
    int step = 0;
    try {
        for (std::size_t i = 0; i < items.size(); ++i) {
            fill(i);
            const Item& item = items[i];
            if (item.kind == Item::Copy) {
                ZipReader::RawInfo info = wb.source->rawInfo(std::size_t(item.source));
                zip.beginRaw(item.name, info.method, info.crc, info.compressedSize, info.size);
                wb.source->copyRaw(std::size_t(item.source),
                                   [&](const char* data, std::size_t size) { zip.appendRaw(data, size); });
                zip.endRaw();
            } else if (item.kind == Item::Packed) {
                wb.addPacked(zip, *item.packed, item.name);
            } else {
                PackedEntry entry = pending.front().second.get();
                pending.pop_front();
                zip.add(entry);
            }
            if (wb.progress)
                wb.progress(++step);
        }
        zip.finish();
    } catch (...) {
        for (auto& p : pending) // the workers read the workbook: let them finish first
            p.second.wait();
        throw;
    }
}

// A worksheet the engine added to an opened binary workbook becomes a binary part.
void makeBinary(Workbook::Impl& wb, Worksheet::Impl& sheet) {
    wb.ensureLoaded(sheet);
    const std::string part = wb.newPartName(wb.workbookDir + "worksheets/sheet", ".bin");
    const std::string id = sheet.node.attribute("r:id").value();
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
        rels += relationshipElement(tab.node.attribute("r:id").value(), relationshipType("worksheet"),
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
    std::vector<Item> items;
    for (const auto& [name, content] : parts)
        items.push_back({Item::Content, name, -1, &content});
    for (std::size_t i = 0; i < wb.tabs.size(); ++i) {
        Worksheet::Impl& sheet = wb.tabs[i].worksheet->impl();
        if (sheet.packed) {
            items.push_back({Item::Packed, sheetParts[i], -1, nullptr, nullptr, nullptr, nullptr, &sheet});
        } else {
            heads[i] = newXlsbSheetHead(sheet.layout);
            items.push_back({Item::Sheet, sheetParts[i], -1, nullptr, &sheet.model, &heads[i], &tail});
        }
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
        if (wb.stringsPart.empty()) {
            wb.stringsPart = wb.relationshipTarget("sharedStrings");
            if (wb.stringsPart.empty()) {
                wb.stringsPart = wb.newPartName(wb.workbookDir + "sharedStrings", ".bin", false);
                wb.addRelationship(relationshipType("sharedStrings"), wb.relativeTarget(wb.stringsPart));
            }
            wb.setOverride(wb.stringsPart, kXlsbStringsType);
        }
        wb.setPart(wb.stringsPart, xlsbStringsFromTable(wb.strings, book.stringCount, book.stringRecords,
                                                        wb.stringsPart, references));
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
    std::unordered_map<std::string, const Worksheet::Impl*> changedSheets;
    for (const auto& s : wb.sheets)
        if (s->impl().loaded && s->impl().changed)
            changedSheets.emplace(lowerAscii(s->impl().part), &s->impl());
    std::vector<Item> items;
    std::set<std::string> placed;
    auto itemFor = [&](const std::string& name, long source) {
        Item item{Item::Copy, name, source};
        const std::string key = lowerAscii(name);
        if (auto sheet = changedSheets.find(key); sheet != changedSheets.end() && sheet->second->packed) {
            item.kind = Item::Packed;
            item.packed = sheet->second;
        } else if (sheet != changedSheets.end()) {
            item.kind = Item::Sheet;
            item.model = &sheet->second->model;
            item.head = &sheet->second->head;
            item.tail = &sheet->second->tail;
        } else if (std::string* content = wb.memoryPart(name)) {
            item.kind = Item::Content;
            item.content = content;
        }
        return item;
    };
    for (std::size_t i = 0; i < wb.source->count(); ++i) {
        const std::string& name = wb.source->name(i);
        const std::string key = lowerAscii(name);
        if (wb.removedParts.count(key) || name.empty() || name.back() == '/' || !placed.insert(key).second)
            continue;
        items.push_back(itemFor(name, long(i)));
    }
    for (const auto& p : wb.memoryParts)
        if (placed.insert(lowerAscii(p.first)).second)
            items.push_back(itemFor(p.first, -1));
    // Worksheets the engine added are held by their model alone.
    for (const SheetEntry& tab : wb.tabs)
        if (tab.worksheet && placed.insert(lowerAscii(tab.part)).second &&
            changedSheets.count(lowerAscii(tab.part)))
            items.push_back(itemFor(tab.part, -1));
    writeItems(wb, items, fd, path);
}

} // namespace workbookfile
