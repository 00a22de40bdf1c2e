// Opening binary workbooks: the workbook part's list of sheets, the styles and the shared strings
// become the engine's model; the records themselves are kept for saving.

#include "NewParts.h"
#include "PartNames.h"
#include "Utf.h"
#include "Xlsb.h"
#include "XlsbRecords.h"
#include "XmlDom.h"

#include "SheetNames.h"

#include <algorithm>

namespace workbookfile {

namespace {

constexpr std::uint32_t kDate1904 = 1; // BrtWbProp: dates count from 1904

struct SheetRecord {
    std::uint32_t state = 0, tabId = 0;
    std::string relId, name;
};

SheetRecord readSheetRecord(std::string_view bytes, const std::string& part) {
    BodyReader body(bytes, part);
    SheetRecord s;
    s.state = body.u32();
    s.tabId = body.u32();
    // The relationship id may be absent (a sheet without a part); the name may not.
    s.relId = readNullableWideString(body);
    s.name = readWideString(body);
    return s;
}

} // namespace

void openXlsbPackage(Workbook::Impl& wb) {
    auto book = std::make_shared<XlsbBook>();
    wb.book = book;
    wb.readAs = &xlsbCodec();
    wb.format = FileFormat::Xlsb;
    wb.workbookDir = partFolder(wb.workbookPart);
    wb.workbookRelsPart = relationshipsPartOf(wb.workbookPart);
    if (wb.hasPart(wb.workbookRelsPart))
        parsePart(wb.workbookRels, wb.readPart(wb.workbookRelsPart), wb.workbookRelsPart);
    else
        parsePart(wb.workbookRels, emptyRelationships(), wb.workbookRelsPart);

    // The list of sheets, as the XML workbook part would hold it, for the rest of the engine.
    book->workbookRecords = wb.readPart(wb.workbookPart);
    wb.startSheetList();
    RecordReader reader(book->workbookRecords, wb.workbookPart);
    Record r;
    bool begun = false;
    while (reader.next(r)) {
        if (r.type == rt::BeginBook) {
            begun = true;
        } else if (r.type == rt::WbProp) {
            BodyReader body(r.body, wb.workbookPart);
            book->date1904 = (body.u32() & kDate1904) != 0;
        } else if (r.type == rt::BookProtection) {
            BodyReader body(r.body, wb.workbookPart);
            body.skip(4); // the password verifiers
            wb.structureLocked = (body.u16() & 1) != 0;
        } else if (r.type == rt::BundleSh) {
            const SheetRecord s = readSheetRecord(r.body, wb.workbookPart);
            pugi::xml_node node = wb.sheetsNode.append_child("sheet");
            node.append_attribute("name").set_value(s.name.c_str());
            node.append_attribute("sheetId").set_value(s.tabId);
            if (s.state == 1 || s.state == 2)
                node.append_attribute("state").set_value(s.state == 1 ? "hidden" : "veryHidden");
            node.append_attribute((wb.relPrefix + "id").c_str()).set_value(s.relId.c_str());
            book->sheetNodes.push_back(node);
        }
    }
    if (!begun)
        throw Error(ErrorKind::NotAWorkbook,
                    "The file \"" + wb.path +
                        "\" is not a workbook: its binary workbook part does not begin one.");
    wb.date1904 = book->date1904;

    const auto rels = wb.workbookRelationshipsById();
    for (pugi::xml_node s : book->sheetNodes) {
        wb.indexSheetNode(s);
        const auto rel = rels.find(wb.sheetRelationshipId(s));
        if (rel == rels.end())
            throw Error(ErrorKind::Damaged, "The sheet \"" + std::string(s.attribute("name").value()) +
                                                "\" of \"" + wb.path + "\" has no relationship to its part.");
        const SheetType type = sheetTypeOf(rel->second.type);
        const std::string& target = rel->second.target;
        if (type != SheetType::Worksheet) {
            wb.tabs.push_back({s, type, nullptr, target});
            continue;
        }
        if (!wb.hasPart(target))
            throw Error(ErrorKind::Damaged, "The file \"" + wb.path + "\" lacks the part \"" + target +
                                                "\" of the worksheet \"" + s.attribute("name").value() +
                                                "\".");
        auto impl = std::make_unique<Worksheet::Impl>();
        impl->workbook = wb.self;
        impl->name = s.attribute("name").value();
        impl->foldedName = foldSheetName(impl->name);
        impl->node = s;
        impl->part = target;
        impl->codec = &xlsbCodec();
        wb.sheets.push_back(Workbook::Impl::makeWorksheet(std::move(impl)));
        wb.tabs.push_back({s, type, wb.sheets.back().get(), target});
    }

    wb.stylesPart = wb.relationshipTarget("styles");
    if (!wb.stylesPart.empty() && wb.hasPart(wb.stylesPart)) {
        wb.styles.load(xmlStylesFromXlsb(wb.readPart(wb.stylesPart), wb.stylesPart, *book), wb.stylesPart);
    } else {
        // Written whole at the first save; its relationship is made then.
        wb.stylesPart.clear();
        wb.styles.load(newStyleSheet(), "styles");
    }
    wb.stringsPart = wb.relationshipTarget("sharedStrings");
    if (!wb.stringsPart.empty() && wb.hasPart(wb.stringsPart)) {
        wb.strings.load(xmlStringsFromXlsb(wb.readPart(wb.stringsPart), wb.stringsPart, *book),
                        wb.stringsPart);
    } else {
        wb.stringsPart.clear();
        // A table made now would give such cells the texts written next.
        for (const SheetEntry& tab : wb.tabs) {
            if (tab.type != SheetType::Worksheet || !xlsbSheetHasStringCells(wb.readPart(tab.part), tab.part))
                continue;
            throw Error(ErrorKind::Damaged, "The workbook \"" + wb.path + "\" is damaged: its worksheet \"" +
                                                tab.node.attribute("name").value() +
                                                "\" has shared-string cells but no shared string table.");
        }
    }
}

void loadXlsbSheet(Workbook::Impl& wb, Worksheet::Impl& sheet) {
    loadXlsbSheetRecords(sheet, wb.readPart(sheet.part));
}

void loadXlsbSheetRecords(Worksheet::Impl& sheet, const std::string& data) {
    SheetModel model;
    std::string head, tail;
    parseXlsbSheet(data, sheet.part, model, head, tail);
    std::vector<ColumnFormat> columns;
    SheetProtection protection;
    for (const std::string* records : {&head, &tail}) {
        RecordReader reader(*records, sheet.part);
        Record r;
        while (reader.next(r)) {
            BodyReader body(r.body, sheet.part);
            if (r.type == rt::ColInfo) {
                const std::uint32_t first = body.u32(), last = body.u32();
                body.skip(4);
                const std::uint32_t style = body.u32() & 0xFFFFFF;
                if (style && first <= last && last < std::uint32_t(kMaxColumns))
                    columns.push_back({int(first) + 1, int(last) + 1, style});
            } else if (r.type == rt::SheetProtection) {
                body.skip(2); // the password verifier
                protection.cells = body.u32() != 0;
                body.skip(8);
                protection.formats = body.u32() != 0; // formatting locked cells is refused
            }
        }
    }
    keepBinarySheet(sheet, std::move(head), std::move(tail), std::move(model), std::move(columns),
                    protection);
}

} // namespace workbookfile
