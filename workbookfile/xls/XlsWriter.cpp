// Saving 97-2003 workbooks. An opened one keeps every stream of its compound file and, in the
// workbook stream, every record it does not change, in its order; what must move (the positions of
// the sheets, the index of the shared strings, the row index of worksheets that moved) is
// recomputed. A new one is made from the engine's model.

#include "Utf.h"
#include "Xls.h"
#include "XlsRecords.h"

#include <algorithm>
#include <functional>
#include <optional>

namespace workbookfile {

namespace {

constexpr std::uint16_t kUtf16CodePage = 1200;
constexpr std::size_t kMaxStream = std::size_t(2000) << 20;

// What a worksheet's records are made from around its cells: a sheet read from the file keeps its
// own records, a new one gets a new worksheet's, laid out as it asks (the first worksheet of a new
// workbook is the selected one); cell formats map as the workbook's XF records do.
struct SheetFrame {
    std::string head;
    std::string tail;
    XfMap map;
};

SheetFrame frameOf(const Workbook::Impl& wb, const Worksheet::Impl& sheet, bool firstSheet) {
    const XlsBook* book = xlsBookOf(wb);
    const XfMap map = book ? book->xfMap : XfMap{};
    if (sheet.codec == &xlsCodec())
        return {sheet.head, sheet.tail, map};
    return {newXlsSheetHead(sheet.layout, map.xf(0)), newXlsSheetTail(firstSheet && !book, sheet.layout),
            map};
}

std::string bofBody(std::uint16_t type) {
    std::string body;
    putU16(body, biff::Biff8);
    putU16(body, type);
    putU16(body, 0x0DBB);
    putU16(body, 0x07CC);
    putU32(body, 0);
    putU32(body, 0x06);
    return body;
}

std::string u16Body(std::uint16_t v) {
    std::string body;
    putU16(body, v);
    return body;
}

std::string window1() {
    std::string body;
    putU16(body, 0);      // left
    putU16(body, 0);      // top
    putU16(body, 0x4000); // width
    putU16(body, 0x2000); // height
    putU16(body, 0x0038); // scroll bars and tabs shown
    putU16(body, 0);      // active tab
    putU16(body, 0);      // first tab shown
    putU16(body, 1);      // tabs selected
    putU16(body, 600);    // tab bar width
    return body;
}

// A BOUNDSHEET record whose position is filled in once the sheets are placed.
std::string boundSheet(std::uint8_t state, std::uint8_t type, const std::string& name) {
    std::string body;
    putU32(body, 0);
    putU8(body, state);
    putU8(body, type);
    putShortXlString(body, toUtf16(name));
    std::string record;
    appendBiff(record, biff::BoundSheet, body);
    return record;
}

std::uint8_t stateOf(const SheetEntry& tab) {
    const std::string_view state = tab.node.attribute("state").value();
    return state == "hidden" ? 1 : state == "veryHidden" ? 2 : 0;
}

// The workbook stream: the globals, then each sheet. A sheet is made only when it is written, so
// that one sheet's records are held at a time; its size is known before, for the BOUNDSHEET
// positions.
struct StreamPieces {
    struct Sheet {
        std::size_t size = 0;
        long long moved = 0; // for a sheet copied as read: how far its INDEX positions move
        std::function<std::string()> make;
    };
    std::string globals;
    std::vector<std::size_t> boundSheetAt; // in globals, one per tab
    std::vector<Sheet> sheets;

    void addCopied(const XlsSubstream& read) {
        sheets.push_back({read.records.size(), -(long long)read.offset, [&read] { return read.records; }});
    }
    // A worksheet made from its cells, or taken as write-behind made it already.
    void addMade(const Workbook::Impl& wb, const Worksheet::Impl& sheet, bool firstSheet) {
        if (sheet.packed) {
            sheets.push_back({sheet.spilled ? std::size_t(sheet.spilledSize) : sheet.packed->data.size(), 0,
                              [&wb, &sheet] { return wb.packedBytes(sheet); }});
            return;
        }
        const SheetFrame frame = frameOf(wb, sheet, firstSheet);
        sheets.push_back(
            {xlsSheetStreamSize(sheet.model, frame.head, frame.tail), 0, [&model = sheet.model, frame] {
                 return xlsSheetStream(model, frame.head, frame.tail, frame.map);
             }});
    }

    StreamProducer producer(const std::string& path) {
        if (boundSheetAt.size() != sheets.size())
            throw Error(ErrorKind::Damaged,
                        "Cannot save \"" + path + "\": the workbook lists its sheets nowhere.");
        std::size_t at = globals.size();
        for (std::size_t i = 0; i < sheets.size(); ++i) {
            patchU32(globals, boundSheetAt[i] + 4, std::uint32_t(at));
            at += sheets[i].size;
        }
        // Stream positions are 32-bit, and a compound file of 512-byte sectors holds at most 2 GB.
        if (at > kMaxStream)
            throw Error(ErrorKind::LimitExceeded,
                        "Cannot save \"" + path +
                            "\" as a 97-2003 workbook: its workbook stream would take " + std::to_string(at) +
                            " bytes, more than the format holds.");
        return [this](const std::function<void(std::string_view)>& write) {
            std::size_t at = globals.size();
            write(globals);
            for (const Sheet& sheet : sheets) {
                std::string records = sheet.make();
                if (records.size() != sheet.size)
                    throw Error(ErrorKind::Damaged, "A worksheet of the 97-2003 workbook came out at " +
                                                        std::to_string(records.size()) +
                                                        " bytes instead of " + std::to_string(sheet.size) +
                                                        "; nothing was saved.");
                relocateXlsSheet(records, (long long)at + sheet.moved);
                at += records.size();
                write(records);
            }
        };
    }
};

void writeNew(Workbook::Impl& wb, int fd, const std::string& path) {
    StreamPieces pieces;
    std::string& g = pieces.globals;
    appendBiff(g, biff::Bof, bofBody(biff::Globals));
    appendBiff(g, biff::CodePage, u16Body(kUtf16CodePage));
    appendBiff(g, biff::Window1, window1());
    appendBiff(g, biff::DateMode, u16Body(0));
    appendBiff(g, biff::Precision, u16Body(1));
    appendBiff(g, biff::BookBool, u16Body(0));
    g += xlsStylesFromXml(wb.styles.serialize());
    for (const SheetEntry& tab : wb.tabs) {
        pieces.boundSheetAt.push_back(g.size());
        g += boundSheet(stateOf(tab), 0, tab.node.attribute("name").value());
    }
    if (wb.strings.size() > 0)
        g += xlsStringRecords({}, wb.strings, wb.stringReferenceCount(), g.size());
    appendBiff(g, biff::Eof, {});

    for (std::size_t i = 0; i < wb.tabs.size(); ++i)
        pieces.addMade(wb, wb.tabs[i].worksheet->impl(), i == 0);
    CompoundEntry root;
    root.storage = true;
    writeCompoundFile(fd, path, root, "Workbook", pieces.producer(path));
}

// Positions of sheets among all sheets: where each sheet read now stands.
std::vector<std::uint16_t> sheetPositions(const Workbook::Impl& wb, const XlsBook& book) {
    std::vector<std::uint16_t> now(book.sheets.size(), 0);
    for (std::size_t t = 0; t < wb.tabs.size(); ++t)
        if (auto it = book.sheetByPart.find(wb.tabs[t].part); it != book.sheetByPart.end())
            now[it->second] = std::uint16_t(t);
    return now;
}

std::string tabIds(const Workbook::Impl& wb, const XlsBook& book, std::string_view old) {
    std::vector<std::uint16_t> ids;
    std::uint16_t next = 0;
    for (std::size_t i = 0; i + 1 < old.size(); i += 2) {
        ids.push_back(readU16(old, i));
        next = std::max<std::uint16_t>(next, ids.back());
    }
    std::string body;
    for (const SheetEntry& tab : wb.tabs) {
        const auto it = book.sheetByPart.find(tab.part);
        putU16(body, it != book.sheetByPart.end() && it->second < ids.size() ? ids[it->second] : ++next);
    }
    std::string record;
    appendBiff(record, biff::TabId, body);
    return record;
}

// References of formulas and names to the workbook's own sheets follow sheets inserted before them.
void moveSheetReferences(std::string& record, std::uint16_t type, const std::vector<std::uint16_t>& now,
                         std::optional<std::uint16_t> selfBook, std::size_t sheetCount) {
    auto moved = [&](std::uint16_t itab) {
        return itab < now.size() ? now[itab] : itab; // 0xFFFE, 0xFFFF: no sheet
    };
    const std::size_t body = 4;
    if (type == biff::ExternSheet && selfBook && record.size() >= body + 2) {
        const std::size_t count =
            std::min<std::size_t>(readU16(record, body), (record.size() - body - 2) / 6);
        for (std::size_t i = 0; i < count; ++i) {
            const std::size_t at = body + 2 + 6 * i;
            const auto book = readU16(record, at);
            if (book != *selfBook)
                continue;
            for (std::size_t f : {at + 2, at + 4})
                patchU16(record, f, moved(readU16(record, f)));
        }
    } else if (type == biff::Name && record.size() >= body + 10) {
        const auto itab = readU16(record, body + 8);
        if (itab > 0)
            patchU16(record, body + 8, std::uint16_t(moved(std::uint16_t(itab - 1)) + 1));
    } else if (type == biff::SupBook && record.size() >= body + 4 && record[body + 2] == 0x01 &&
               record[body + 3] == 0x04) {
        patchU16(record, body, std::uint16_t(sheetCount));
    }
}

void writeOpened(Workbook::Impl& wb, int fd, const std::string& path) {
    const XlsBook& book = *xlsBookOf(wb);
    const XlsStyleAdditions added = xlsStyleAdditions(book, wb.styles.serialize());
    const std::vector<std::uint16_t> now = sheetPositions(wb, book);
    bool sheetsMoved = false;
    for (std::size_t i = 0; i < now.size(); ++i)
        sheetsMoved |= now[i] != i;

    // Where the last font, format and cell format stand, and which SUPBOOK is the workbook's own.
    std::size_t lastFont = 0, lastFormat = 0, firstFormat = 0, lastXf = 0, firstXf = 0, index = 0,
                supBooks = 0;
    std::optional<std::uint16_t> selfBook;
    {
        BiffReader reader(book.globals);
        BiffRecord r;
        while (reader.next(r)) {
            ++index;
            if (r.type == biff::Font)
                lastFont = index;
            else if (r.type == biff::Format) {
                lastFormat = index;
                if (!firstFormat)
                    firstFormat = index;
            } else if (r.type == biff::Xf) {
                lastXf = index;
                if (!firstXf)
                    firstXf = index;
            } else if (r.type == biff::SupBook) {
                if (r.body.size() >= 4 && r.body[2] == 0x01 && r.body[3] == 0x04)
                    selfBook = std::uint16_t(supBooks);
                ++supBooks;
            }
        }
    }
    const long long references = wb.stringReferenceCount();
    const std::vector<bool> unused = wb.unusedStrings();
    const bool writeStrings = book.hasStringTable || wb.strings.size() > 0;

    StreamPieces pieces;
    std::string& g = pieces.globals;
    BiffReader reader(book.globals);
    BiffRecord r;
    index = 0;
    bool skipContinues = false, sheetsPlaced = false, stringsPlaced = false;
    while (reader.next(r)) {
        ++index;
        if (r.type == biff::Continue && skipContinues)
            continue;
        skipContinues = false;
        if (!lastFont && index == (firstFormat ? firstFormat : firstXf))
            g += added.fonts; // a workbook without fonts of its own
        if (!lastFormat && index == firstXf)
            g += added.formats; // a workbook without number formats of its own
        std::string record(book.globals, r.begin, r.end - r.begin);
        switch (r.type) {
        case biff::BoundSheet:
            if (!sheetsPlaced)
                for (const SheetEntry& tab : wb.tabs) {
                    pieces.boundSheetAt.push_back(g.size());
                    const auto it = book.sheetByPart.find(tab.part);
                    const std::uint8_t type = it == book.sheetByPart.end() ? 0 : book.sheets[it->second].type;
                    g += boundSheet(stateOf(tab), type, tab.node.attribute("name").value());
                }
            sheetsPlaced = true;
            continue;
        case biff::Sst:
            skipContinues = true;
            g += xlsStringRecords(book.strings, wb.strings, references, g.size(), unused);
            stringsPlaced = true;
            continue;
        case biff::ExtSst:
            skipContinues = true;
            continue;
        case biff::Eof:
            if (writeStrings && !stringsPlaced)
                g += xlsStringRecords(book.strings, wb.strings, references, g.size(), unused);
            break;
        case biff::TabId:
            // One id per sheet, in tab order: the sheets read keep theirs, added ones get new ones.
            if (wb.tabs.size() != book.sheets.size() || sheetsMoved)
                record = tabIds(wb, book, r.body);
            break;
        case biff::RecalcId:
            // Formulas elsewhere may depend on changed cells: an older calculation engine's mark has
            // the spreadsheet recalculate every formula on loading.
            if (wb.cellsChanged && record.size() >= 4 + 8)
                patchU32(record, 4 + 4, 0);
            break;
        default:
            if (sheetsMoved || wb.tabs.size() != book.sheets.size())
                moveSheetReferences(record, r.type, now, selfBook, wb.tabs.size());
            break;
        }
        g += record;
        if (index == lastFont)
            g += added.fonts;
        if (index == lastFormat)
            g += added.formats;
        if (index == lastXf)
            g += added.xfs;
    }

    for (const SheetEntry& tab : wb.tabs) {
        const auto it = book.sheetByPart.find(tab.part);
        const Worksheet::Impl* sheet = tab.worksheet ? &tab.worksheet->impl() : nullptr;
        if (it == book.sheetByPart.end() || (sheet && sheet->loaded && sheet->changed))
            pieces.addMade(wb, *sheet, false);
        else
            pieces.addCopied(book.sheets[it->second]);
    }
    writeCompoundFile(fd, path, book.container, book.streamName, pieces.producer(path));
}

} // namespace

void checkXlsLimits(const Workbook::Impl& wb, const std::string& path) {
    for (const auto& s : wb.sheets) {
        const Worksheet::Impl& sheet = s->impl();
        if (!sheet.loaded)
            continue;
        if (!fitsXls(sheet.model))
            throw Error(ErrorKind::LimitExceeded,
                        "Cannot save \"" + path + "\" as a 97-2003 workbook: the worksheet \"" + sheet.name +
                            "\" uses cells beyond the format's 65,536 rows and 256 columns.");
    }
}

void prepareXlsSave(Workbook::Impl& wb) {
    for (const auto& s : wb.sheets) {
        Worksheet::Impl& sheet = s->impl();
        const bool added = !xlsBookOf(wb) || sheet.codec != &xlsCodec();
        // A worksheet packed as the first of a new workbook, or not, that no longer is.
        const bool firstChanged =
            sheet.packed && !xlsBookOf(wb) && sheet.packedFirst != (s.get() == wb.sheets.front().get());
        if (firstChanged)
            wb.bringBack(sheet);
        else if (added && !sheet.packed)
            wb.ensureLoaded(sheet);
    }
}

bool fitsXls(const SheetModel& model) {
    return model.lastRow() <= kXlsMaxRows && model.lastColumn() <= kXlsMaxColumns;
}

std::string xlsSheetRecords(const Workbook::Impl& wb, const Worksheet::Impl& sheet, bool firstSheet) {
    const SheetFrame frame = frameOf(wb, sheet, firstSheet);
    return xlsSheetStream(sheet.model, frame.head, frame.tail, frame.map);
}

void writeXlsFile(Workbook::Impl& wb, int fd, const std::string& path) {
    if (xlsBookOf(wb))
        writeOpened(wb, fd, path);
    else
        writeNew(wb, fd, path);
}

} // namespace workbookfile
