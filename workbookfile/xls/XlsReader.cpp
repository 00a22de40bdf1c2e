// Opening 97-2003 workbooks: the compound file is read whole, the workbook stream's globals give
// the list of sheets, the styles and the shared strings, described to the engine in the XML form;
// every record and every other stream is kept for saving. Worksheets are read when first used.

#include "NewParts.h"
#include "PackageNames.h"
#include "PartNames.h"
#include "Utf.h"
#include "Xls.h"
#include "XlsRecords.h"
#include "XmlDom.h"

#include "SheetNames.h"

#include <algorithm>

namespace workbookfile {

namespace {

constexpr std::uint8_t kWorksheetType = 0, kMacroType = 1, kChartType = 2;

const CompoundEntry* findStream(const CompoundEntry& root, std::string_view name) {
    for (const CompoundEntry& c : root.children)
        if (!c.storage && lowerAscii(c.name) == lowerAscii(name))
            return &c;
    return nullptr;
}

// The substream beginning at offset: BOF to its EOF, embedded substreams (charts) included.
// A sheet's position that misses its BOF record by a few bytes (some writers get it wrong) is
// taken as the readers take it: the nearest 97-2003 BOF record within this many bytes.
constexpr std::size_t kBofSlack = 64;

bool bofAt(std::string_view stream, std::size_t at) {
    static const char bof[] = {'\x09', '\x08', '\x10', '\x00', '\x00', '\x06'};
    return at + sizeof bof <= stream.size() &&
           stream.compare(at, sizeof bof, std::string_view(bof, sizeof bof)) == 0;
}

std::string_view substreamAt(std::string_view stream, std::size_t& offset, const std::string& sheetName) {
    auto damaged = [&](const std::string& what) {
        return Error(ErrorKind::Damaged,
                     "The 97-2003 workbook is damaged: the sheet \"" + sheetName + "\" " + what + ".");
    };
    if (offset >= stream.size())
        throw damaged("begins past the end of the workbook stream");
    // Only a position that holds no BOF record at all has missed it: one whose BOF names another
    // version stays where it is, or it could be taken for the next sheet's.
    const bool bofThere =
        offset + 2 <= stream.size() && stream[offset] == '\x09' && stream[offset + 1] == '\x08';
    if (!bofThere)
        for (std::size_t d = 1; d <= kBofSlack; ++d) {
            if (offset + d < stream.size() && bofAt(stream, offset + d)) {
                offset += d;
                break;
            }
            if (d <= offset && bofAt(stream, offset - d)) {
                offset -= d;
                break;
            }
        }
    BiffReader reader(stream, offset);
    BiffRecord r;
    if (!reader.next(r) || r.type != biff::Bof)
        throw damaged("does not begin with a BOF record");
    int depth = 1;
    while (depth > 0 && reader.next(r)) {
        if (r.type == biff::Bof)
            ++depth;
        else if (r.type == biff::Eof)
            --depth;
    }
    if (depth > 0)
        throw damaged("does not end");
    return stream.substr(offset, r.end - offset);
}

// One past the highest shared string a worksheet's cells refer to (0 when none does).
std::size_t stringsReferred(std::string_view records) {
    BiffReader reader(records);
    BiffRecord r;
    std::size_t end = 0;
    while (reader.next(r))
        if (r.type == biff::LabelSst && r.body.size() >= 10)
            end = std::max<std::size_t>(end, std::size_t(readU32(r.body, 6)) + 1);
    return end;
}

} // namespace

std::string olderFormatOf(std::string_view records) {
    if (records.size() < 8)
        return {};
    const std::uint16_t type = readU16(records, 0), version = readU16(records, 4);
    // BIFF2 to BIFF4 begin with BOF records of their own, whose second field says what the file is.
    const char* release = type == 0x0009 ? "2.x" : type == 0x0209 ? "3.0" : type == 0x0409 ? "4.0" : nullptr;
    if (release) {
        const std::uint16_t kind = readU16(records, 6);
        const char* what = kind == 0x0010   ? "worksheet"
                           : kind == 0x0020 ? "chart"
                           : kind == 0x0040 ? "macro sheet"
                           : kind == 0x0100 ? "workbook"
                                            : "spreadsheet";
        return std::string("a ") + release + " " + what + " file";
    }
    if (type == biff::Bof &&
        (version == 0x0500 || version == 0x0400 || version == 0x0300 || version == 0x0200))
        return version == 0x0500 ? "a 5.0/95 workbook" : "a workbook older than the 97-2003 format";
    return {};
}

Error olderFormatRefusal(const std::string& path, std::string_view records) {
    std::string what = olderFormatOf(records);
    if (what.empty())
        what = "a workbook older than the 97-2003 format";
    return Error(ErrorKind::Unsupported, "The file \"" + path + "\" is " + what +
                                             ", which cannot be opened; save it in a newer format first.");
}

void openXlsFile(Workbook::Impl& wb, const std::string& bytes, const OpenLimits& limits) {
    auto book = std::make_shared<XlsBook>();
    book->container = readCompoundFile(bytes, limits, wb.path);
    // The 97-2003 records are in "Workbook"; some programs name that stream "Book", the name of
    // the 5.0/95 stream, so the records decide. A "Book" stream beside "Workbook" is the 5.0/95
    // copy a dual-format save keeps: it would show the old workbook after the update, so it goes.
    const CompoundEntry* stream = findStream(book->container, "Workbook");
    const CompoundEntry* older = findStream(book->container, "Book");
    if (!stream && older && olderFormatOf(older->data).empty() && older->data.size() >= 8 &&
        readU16(older->data, 0) == biff::Bof && readU16(older->data, 4) == biff::Biff8)
        std::swap(stream, older);
    if (!stream) {
        if (findStream(book->container, "EncryptedPackage"))
            throw Error(ErrorKind::Encrypted,
                        "The file \"" + wb.path +
                            "\" is encrypted (password-protected); it cannot be opened.");
        if (older)
            throw olderFormatRefusal(wb.path, older->data);
        throw Error(ErrorKind::NotAWorkbook,
                    "The file \"" + wb.path +
                        "\" is not a workbook: its compound file holds no workbook stream.");
    }
    if (older) {
        auto& children = book->container.children;
        const std::string staleName = older->name;
        const std::string keptName = stream->name;
        children.erase(
            std::remove_if(children.begin(), children.end(),
                           [&](const CompoundEntry& c) { return !c.storage && c.name == staleName; }),
            children.end());
        stream = findStream(book->container, keptName);
        wb.pendingSaveNotes.push_back(
            "\"" + wb.path + "\" also held a 5.0/95 copy of the workbook (its \"" + staleName +
            "\" stream); it was left out, as it would still show the workbook as it "
            "was before this update.");
    }
    // Written back as "Workbook": some readers find the stream under that spelling only.
    if (lowerAscii(stream->name) == "workbook")
        for (CompoundEntry& c : book->container.children)
            if (&c == stream)
                c.name = "Workbook";
    book->streamName = stream->name;
    const std::string_view data = stream->data;
    if (data.empty())
        throw Error(ErrorKind::Damaged,
                    "The file \"" + wb.path + "\" is damaged: its workbook stream is empty.");

    // The globals: BOF, then records up to the EOF.
    BiffReader reader(data);
    BiffRecord r;
    if (!olderFormatOf(data).empty())
        throw olderFormatRefusal(wb.path, data);
    if (!reader.next(r))
        throw olderFormatRefusal(wb.path, data);
    BodyReader bof(r.body, kWorkbookStream);
    if (r.type != biff::Bof || bof.u16() != biff::Biff8)
        throw olderFormatRefusal(wb.path, data);
    if (bof.u16() != biff::Globals)
        throw Error(ErrorKind::Damaged,
                    "The file \"" + wb.path +
                        "\" is damaged: its workbook stream does not begin with the globals.");
    struct Sheet {
        std::uint32_t offset;
        std::uint8_t state, type;
        std::string name;
    };
    std::vector<Sheet> sheetRecords;
    std::string stringBody;
    std::vector<std::size_t> stringStarts;
    bool inStrings = false, ended = false;
    while (reader.next(r)) {
        BodyReader body(r.body, kWorkbookStream);
        if (r.type == biff::Continue && inStrings) {
            stringStarts.push_back(stringBody.size());
            stringBody.append(r.body);
            continue;
        }
        inStrings = false;
        switch (r.type) {
        case biff::FilePass:
            throw Error(ErrorKind::Encrypted,
                        "The file \"" + wb.path +
                            "\" is encrypted (password-protected); it cannot be opened.");
        case biff::BoundSheet: {
            Sheet s;
            s.offset = body.u32();
            s.state = body.u8() & 3;
            s.type = body.u8();
            s.name = readShortXlString(body);
            sheetRecords.push_back(std::move(s));
            break;
        }
        case biff::DateMode:
            wb.date1904 = body.u16() != 0;
            break;
        case biff::Protect:
            wb.structureLocked = body.u16() != 0;
            break;
        case biff::Sst:
            if (book->hasStringTable)
                throw Error(ErrorKind::Damaged,
                            "The file \"" + wb.path + "\" is damaged: it has two shared string tables.");
            book->hasStringTable = true;
            inStrings = true;
            stringStarts.assign(1, 0);
            stringBody.assign(r.body);
            break;
        default:
            break;
        }
        if (r.type == biff::Eof) {
            ended = true;
            break;
        }
    }
    if (!ended)
        throw Error(ErrorKind::Damaged,
                    "The file \"" + wb.path + "\" is damaged: its workbook globals do not end.");
    book->globals = std::string(data.substr(0, r.end));
    wb.format = FileFormat::Xls;
    wb.book = book;
    wb.readAs = &xlsCodec();

    // The list of sheets, as the XML workbook part would hold it, for the rest of the engine.
    wb.workbookPart = "xl/workbook.xml";
    wb.workbookDir = "xl/";
    wb.workbookRelsPart = relationshipsPartOf(wb.workbookPart);
    parsePart(wb.contentTypes, contentTypesHead() + "</Types>", "[Content_Types].xml");
    parsePart(wb.workbookRels, emptyRelationships(), wb.workbookRelsPart);
    wb.startSheetList();
    if (sheetRecords.empty())
        throw Error(ErrorKind::Damaged,
                    "The file \"" + wb.path + "\" is damaged: its workbook lists no sheets.");
    std::uint64_t copied = 0;
    std::unordered_map<std::size_t, std::string> sheetAt;
    for (std::size_t i = 0; i < sheetRecords.size(); ++i) {
        const Sheet& s = sheetRecords[i];
        if (s.name.empty() || s.name.find('\0') != std::string::npos)
            throw Error(ErrorKind::Damaged, "The file \"" + wb.path +
                                                "\" is damaged: a sheet has an empty name or "
                                                "one with a null character.");
        XlsSubstream sub;
        std::size_t offset = s.offset;
        sub.records = std::string(substreamAt(data, offset, s.name));
        // One rule for every format: two sheets of one part (here, one substream) are damage.
        if (const auto [at, added] = sheetAt.emplace(offset, s.name); !added)
            throw Error(ErrorKind::Damaged, "The workbook \"" + wb.path + "\" is damaged: its sheets \"" +
                                                at->second + "\" and \"" + s.name + "\" name one part.");
        copied += sub.records.size();
        if (copied > limits.maxTotalBytes)
            throw Error(ErrorKind::TooLarge, "The file \"" + wb.path +
                                                 "\" is too large to open: its sheets hold more than " +
                                                 std::to_string(limits.maxTotalBytes) + " bytes.");
        sub.offset = offset;
        sub.state = s.state;
        sub.type = s.type;
        sub.part = "xl/xls/sheet" + std::to_string(i + 1);
        BodyReader subBof(std::string_view(sub.records).substr(4), kWorkbookStream);
        subBof.skip(2);
        const std::uint16_t bofType = subBof.u16();
        const SheetType type = s.type == kWorksheetType && bofType == biff::Sheet ? SheetType::Worksheet
                               : s.type == kChartType                             ? SheetType::Chartsheet
                               : s.type == kMacroType                             ? SheetType::Macrosheet
                                                                                  : SheetType::Other;
        const std::string relId = "rId" + std::to_string(i + 1);
        pugi::xml_node node = wb.sheetsNode.append_child("sheet");
        node.append_attribute("name").set_value(s.name.c_str());
        node.append_attribute("sheetId").set_value(unsigned(i + 1));
        if (s.state == 1 || s.state == 2)
            node.append_attribute("state").set_value(s.state == 1 ? "hidden" : "veryHidden");
        node.append_attribute((wb.relPrefix + "id").c_str()).set_value(relId.c_str());
        wb.relIds.insert(relId);
        wb.indexSheetNode(node);
        book->sheetByPart.emplace(sub.part, book->sheets.size());
        if (type == SheetType::Worksheet) {
            auto impl = std::make_unique<Worksheet::Impl>();
            impl->workbook = wb.self;
            impl->name = s.name;
            impl->foldedName = foldSheetName(s.name);
            impl->node = node;
            impl->part = sub.part;
            impl->codec = &xlsCodec();
            wb.sheets.push_back(Workbook::Impl::makeWorksheet(std::move(impl)));
            wb.tabs.push_back({node, type, wb.sheets.back().get(), sub.part});
        } else {
            wb.tabs.push_back({node, type, nullptr, sub.part});
        }
        book->sheets.push_back(std::move(sub));
    }

    wb.styles.load(xmlStylesFromXls(book->globals, *book), "styles");
    wb.stylesPart = "xl/styles.xml";
    if (book->hasStringTable) {
        book->strings = readXlsStrings(stringBody, stringStarts);
        if (stringBody.size() < 8)
            throw Error(ErrorKind::Damaged,
                        "The file \"" + wb.path + "\" is damaged: its shared string table is cut off.");
        wb.strings.load(xmlStringsFromXls(book->strings, readU32(stringBody, 0)), "sharedStrings");
    } else {
        wb.strings.load(xmlStringsFromXls({}, 0), "sharedStrings");
    }
    // Text cells beyond the table would show the texts written next, also in worksheets the
    // conversion never touches: such a workbook is refused as it stands.
    for (std::size_t i = 0; i < book->sheets.size(); ++i) {
        if (wb.tabs[i].type != SheetType::Worksheet)
            continue;
        const std::size_t referred = stringsReferred(book->sheets[i].records);
        if (referred == 0 || referred <= book->strings.size())
            continue;
        const std::string sheet = wb.tabs[i].node.attribute("name").value();
        if (!book->hasStringTable)
            throw Error(ErrorKind::Damaged, "The workbook \"" + wb.path + "\" is damaged: its worksheet \"" +
                                                sheet +
                                                "\" has shared-string cells but no shared string table.");
        throw Error(ErrorKind::Damaged, "The workbook \"" + wb.path + "\" is damaged: its worksheet \"" +
                                            sheet +
                                            "\" has text cells that refer past the end of its shared string "
                                            "table (" +
                                            std::to_string(book->strings.size()) + " strings).");
    }
    wb.stringsPart = "xl/sharedStrings.xml";
}

namespace {

void keepXlsSheet(const XlsBook& book, Worksheet::Impl& sheet, std::string_view records,
                  std::size_t stringCount) {
    SheetModel model;
    std::string head, tail;
    parseXlsSheet(records, book.xfMap, stringCount, model, head, tail);
    std::vector<ColumnFormat> columns;
    SheetProtection protection;
    for (const std::string* records : {&head, &tail}) {
        BiffReader reader(*records);
        BiffRecord r;
        int depth = records == &head ? 0 : 1; // the tail lies inside the worksheet already
        while (reader.next(r)) {
            if (r.type == biff::Bof)
                ++depth;
            BodyReader body(r.body, kWorkbookStream);
            if (depth == 1 && r.type == biff::ColInfo) {
                const std::uint16_t first = body.u16(), last = body.u16();
                body.skip(2);
                const std::uint32_t style = book.xfMap.style(body.u16());
                if (style && first <= last && first < kXlsMaxColumns)
                    columns.push_back({int(first) + 1, std::min(int(last) + 1, kXlsMaxColumns), style});
            } else if (depth == 1 && r.type == biff::Protect) {
                protection.cells = body.u16() != 0;
            }
            if (r.type == biff::Eof)
                --depth;
        }
    }
    keepBinarySheet(sheet, std::move(head), std::move(tail), std::move(model), std::move(columns),
                    protection);
}

} // namespace

void loadXlsSheet(Workbook::Impl& wb, Worksheet::Impl& sheet) {
    const XlsBook& book = *xlsBookOf(wb);
    keepXlsSheet(book, sheet, book.sheets[book.sheetByPart.at(sheet.part)].records, book.strings.size());
}

void loadXlsSheetRecords(Workbook::Impl& wb, Worksheet::Impl& sheet, std::string_view records) {
    if (sheet.codec == &xlsCodec()) {
        keepXlsSheet(*xlsBookOf(wb), sheet, records, wb.strings.size());
        return;
    }
    // A new worksheet: its head and tail are the new worksheet's.
    SheetModel model;
    std::string head, tail;
    parseXlsSheet(records, xlsBookOf(wb) ? xlsBookOf(wb)->xfMap : XfMap{}, wb.strings.size(), model, head,
                  tail);
    sheet.model = std::move(model);
}

} // namespace workbookfile
