#pragma once

// 97-2003 workbooks (.xls). The engine keeps one model for every format: an opened .xls is
// described to the rest of the engine by the same DOMs (its list of sheets, styles and shared
// strings as the XML parts would hold them), while the compound file's other streams and the
// workbook stream's records are kept and written back unchanged wherever nothing changed.
// Worksheets read from the workbook stream hold records instead of XML text around their cells;
// their sheet's part name is only a key. This room knows the package's names, the model and the
// record fields both record codecs share, and no other codec.

#include "Codec.h"
#include "CompoundFile.h"
#include "WorkbookState.h"

#include <cstdint>
#include <set>
#include <string>
#include <string_view>
#include <unordered_map>
#include <vector>

namespace workbookfile {

inline constexpr int kXlsMaxRows = 65536;
inline constexpr int kXlsMaxColumns = 256;
// A new workbook's first cell format follows the 15 style formats every workbook starts with.
inline constexpr std::uint16_t kXlsStyleXfCount = 15;

// Between the model's cell formats and the workbook's XF records. The model's first cell format
// is the default one of a new cell; in a file the first XF records are style formats, so the
// default cell format (the first that is not a style) trades places with the first.
struct XfMap {
    std::uint32_t offset = kXlsStyleXfCount; // new workbooks: XF = model + offset
    std::uint32_t swapped = 0;               // opened workbooks: this XF and XF 0 trade places
    std::uint16_t xf(std::uint32_t style) const;
    std::uint32_t style(std::uint16_t xf) const;
};

// A string of the shared string table as read: its text and the formatting it carries.
struct XlsString {
    std::u16string text;
    std::string runs;     // formatting runs, 4 bytes each
    std::string phonetic; // ExtRst bytes
};

// One sheet's substream as read, and its BOUNDSHEET record's state and type.
struct XlsSubstream {
    std::string records;    // BOF to its EOF
    std::size_t offset = 0; // where it began in the stream read
    std::uint8_t state = 0, type = 0;
    std::string part; // the key its sheet goes by in the engine
};

const Codec& xlsCodec();

struct XlsBook : CodecBook {
    CompoundEntry container;          // every stream and storage as read
    std::string streamName;           // of the stream the records were read from
    std::string globals;              // the globals substream as read, BOF to EOF
    std::vector<XlsSubstream> sheets; // in the order of the BOUNDSHEET records
    std::unordered_map<std::string, std::size_t> sheetByPart;
    XfMap xfMap;
    std::size_t fontCount = 0, xfCount = 0;
    std::vector<std::uint32_t> formatIds;
    std::vector<XlsString> strings; // the shared string table read
    bool hasStringTable = false;
};

// What the workbook keeps of the 97-2003 workbook it was read from; null for any other.
inline const XlsBook* xlsBookOf(const Workbook::Impl& wb) {
    return dynamic_cast<const XlsBook*>(wb.book.get());
}

// Opening (XlsReader.cpp): the compound file's bytes, its workbook stream's globals become the
// model; worksheets are read when first used.
void openXlsFile(Workbook::Impl& wb, const std::string& bytes, const OpenLimits& limits);
// What an older spreadsheet file is, by its first record ("a 5.0/95 workbook", "a 4.0 worksheet
// file"), or "" when the records are no older format's.
std::string olderFormatOf(std::string_view records);
// The refusal of such a file, saying what it is and what to do.
Error olderFormatRefusal(const std::string& path, std::string_view records);
void loadXlsSheet(Workbook::Impl& wb, Worksheet::Impl& sheet);
// A worksheet's cells from its records again, after write-behind packed them; one read from the
// file also gets its head and tail back, a new one only its cells.
void loadXlsSheetRecords(Workbook::Impl& wb, Worksheet::Impl& sheet, std::string_view records);

// Saving (XlsWriter.cpp): checks what the format cannot hold before anything is written, and writes
// the compound file: an opened workbook with its records as they are now, a new one from the model.
void checkXlsLimits(const Workbook::Impl& wb, const std::string& path);
void prepareXlsSave(Workbook::Impl& wb);
void writeXlsFile(Workbook::Impl& wb, int fd, const std::string& path);
// Whether a worksheet's cells fit the format's rows and columns.
bool fitsXls(const SheetModel& model);
// The records a worksheet is saved with, as a save would make them; firstSheet: it is the first of
// a new workbook, the selected one.
std::string xlsSheetRecords(const Workbook::Impl& wb, const Worksheet::Impl& sheet, bool firstSheet);

// Worksheet substreams (XlsSheet.cpp).
// The records of a new worksheet before and after its cells, with its column widths (columns of the
// cell format defaultXf) and frozen panes.
std::string newXlsSheetHead(const SheetLayout& layout, std::uint16_t defaultXf);
std::string newXlsSheetTail(bool firstSheet, const SheetLayout& layout);
// Reads a worksheet substream: its cells into an empty model (styles through the map), the records
// before and after the cell table into head and tail (an INDEX record is dropped: it is made anew).
void parseXlsSheet(std::string_view records, const XfMap& xfMap, std::size_t stringCount, SheetModel& model,
                   std::string& head, std::string& tail);
// A worksheet substream from head, cells and tail, with its INDEX made for the substream beginning
// at offset 0 of the stream (relocateXlsSheet moves it) and its dimensions brought up to date.
std::string xlsSheetStream(const SheetModel& model, const std::string& head, const std::string& tail,
                           const XfMap& xfMap);
// The size xlsSheetStream's result will have.
std::size_t xlsSheetStreamSize(const SheetModel& model, const std::string& head, const std::string& tail);
// Moves the stream positions an INDEX record holds by delta bytes, for a substream that moved.
void relocateXlsSheet(std::string& records, long long delta);
// What a cell kept as records holds: formulas (their text is not read), errors, inline texts.
void describeXlsCell(const RawCell& raw, CellInfo& info);
// The positions of the shared strings that the cells among records name; false when a cell's
// cannot be read.
bool xlsStringIndices(std::string_view records, std::vector<std::uint32_t>& indices);
// Shared, array and table formulas: the cell that leads such a group (the formula the SHRFMLA,
// ARRAY or TABLE record follows) as "row,column", or ""; and the cells of groups whose leading
// cell was overwritten, which would leave a file the spreadsheet repairs: a shared formula's
// cells get its tokens as their own formula, moved to their place; the others, and those whose
// tokens cannot be moved, the values they showed.
std::string xlsFormulaGroupOf(const RawCell& raw);
void dropOrphanedXlsFormulas(SheetModel& model, const FormulaGroupLeads& groups);
// Clearing a worksheet read from a file: merges, conditional formats, validations, hyperlinks and the
// autofilter go, whole columns lose their formats.
void clearXlsSheetExtras(Worksheet::Impl& sheet, const XfMap& xfMap);

// Styles (XlsStyles.cpp).
// FONT, FORMAT, XF and STYLE records of a new workbook from the style DOM the engine built.
std::string xlsStylesFromXml(const std::string& styleXml);
// The style DOM describing the globals' fonts, formats and cell formats, for Styles::load.
std::string xmlStylesFromXls(std::string_view globals, XlsBook& book);
// The records to append after the last FONT, FORMAT and XF records: what the DOM gained since.
struct XlsStyleAdditions {
    std::string fonts, formats, xfs;
};
XlsStyleAdditions xlsStyleAdditions(const XlsBook& book, const std::string& styleXml);

// Shared strings (XlsStrings.cpp).
// Reads the SST record with its CONTINUE records (body joined without their headers, with the
// offsets where each record's body began).
std::vector<XlsString> readXlsStrings(std::string_view body, const std::vector<std::size_t>& recordStarts);
// The shared string DOM describing them, for SharedStrings::load.
std::string xmlStringsFromXls(const std::vector<XlsString>& strings, long long references);
// SST with its CONTINUE records, then EXTSST, for a table at stream position `at`: the strings
// read (kept with their formatting) followed by the engine's strings from index kept.size() on.
// The strings marked in unused are written empty.
std::string xlsStringRecords(const std::vector<XlsString>& kept, const SharedStrings& strings,
                             long long references, std::size_t at, const std::vector<bool>& unused = {});

} // namespace workbookfile
