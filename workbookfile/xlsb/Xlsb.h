#pragma once

// Binary workbooks (.xlsb). The engine keeps one model for every format: an opened binary
// workbook is described to the rest of the engine by the same DOMs (its list of sheets, styles
// and shared strings as the XML parts would hold them), while its own records are kept and
// written back unchanged wherever nothing changed. Worksheets read from a binary part hold
// records instead of XML text around their cells. This room knows the package, the model and the
// record fields both record codecs share, and no other codec.

#include "Codec.h"
#include "PackageNames.h"
#include "WorkbookState.h"

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace workbookfile {

// Binary parts, whose 8-byte doubles hardly repeat, are within a tenth of level 3's size at level 1
// in a third of its time.
inline constexpr int kBinaryDeflateLevel = 1;

const Codec& xlsbCodec();

// What an opened binary workbook keeps of its own parts.
struct XlsbBook : CodecBook {
    std::string workbookRecords; // the workbook part as read
    // The <sheet> element made for each sheet record, in the order of the records.
    std::vector<pugi::xml_node> sheetNodes;
    bool date1904 = false;

    std::string styleRecords; // the styles part as read; empty when the workbook had none
    std::size_t fontCount = 0, cellXfCount = 0;
    std::vector<std::uint32_t> formatIds; // of the number formats it defines

    std::string stringRecords; // the shared strings part as read
    std::size_t stringCount = 0;
};

// What the workbook keeps of the binary workbook it was read from; null for any other.
inline const XlsbBook* xlsbBookOf(const Workbook::Impl& wb) {
    return dynamic_cast<const XlsbBook*>(wb.book.get());
}

// Opening (XlsbReader.cpp): the parts of a binary workbook whose package root the model has read.
void openXlsbPackage(Workbook::Impl& wb);
// Reads a worksheet's records: its cells into the model, the records around them kept as they are.
void loadXlsbSheet(Workbook::Impl& wb, Worksheet::Impl& sheet);
// The same from the part's records.
void loadXlsbSheetRecords(Worksheet::Impl& sheet, const std::string& data);

// Adds the part of a worksheet the engine adds to an opened binary workbook, and returns its name;
// the worksheet is held by its model until it is written.
std::string addXlsbSheetPart(Workbook::Impl& wb);

// Saving (XlsbWriter.cpp).
// Brings the parts of an opened binary workbook up to date, as prepareForSave does for XML.
void prepareXlsbSave(Workbook::Impl& wb);
// Writes the package to fd: an opened binary workbook with its parts as they are now, a new one
// made from the engine's model.
void writeXlsbPackage(Workbook::Impl& wb, int fd, const std::string& path);

// The workbook part (XlsbWorkbook.cpp): of a new workbook, and of an opened one with its list of
// sheets and calculation properties brought up to date.
std::string newXlsbWorkbook(const Workbook::Impl& wb);
std::string updatedXlsbWorkbook(const Workbook::Impl& wb);

// Tables (XlsbTables.cpp): the codec's operations of the same names.
bool xlsbSheetListsTables(const Worksheet::Impl& sheet);
bool readXlsbTable(const std::string& data, const std::string& part, TableInfo& table);
bool rewriteXlsbTable(std::string& data, const std::string& part, const TableInfo& table);

// Clearing a binary worksheet (XlsbClear.cpp): what Worksheet::clear removes besides cells.
void clearXlsbSheetExtras(Workbook::Impl& wb, Worksheet::Impl& sheet);

// Worksheet records (XlsbSheet.cpp).
// A new worksheet's records before its cells: its view (with frozen panes) and column widths.
std::string newXlsbSheetHead(const SheetLayout& layout = {});
std::string newXlsbSheetTail();
// The whole worksheet part: head with its dimension brought up to date, the rows, the tail.
std::string xlsbSheetRecords(const SheetModel& model, const std::string& head, const std::string& tail,
                             const std::string& part);
// Reads the records between the worksheet's cell table markers into an empty model; head and tail
// receive the records before and after them.
void parseXlsbSheet(std::string_view data, const std::string& part, SheetModel& model, std::string& head,
                    std::string& tail);
// What a cell kept as records holds: formulas (their text is not read), errors, inline texts.
void describeXlsbCell(const RawCell& raw, CellInfo& info);
// The positions of the shared strings that the cells among records name; false when a cell's
// cannot be read.
bool xlsbStringIndices(std::string_view records, std::vector<std::uint32_t>& indices);
// True when the worksheet part holds cells referring to the shared string table.
bool xlsbSheetHasStringCells(std::string_view data, const std::string& part);

// Styles (XlsbStyles.cpp).
// The style sheet of a new workbook, from the style DOM the engine built.
std::string xlsbStylesFromXml(const std::string& styleXml);
// The style DOM describing a binary style sheet, for Styles::load.
std::string xmlStylesFromXlsb(std::string_view records, const std::string& part, XlsbBook& book);
// The binary style sheet read, extended by what the style DOM gained since.
std::string extendXlsbStyles(const XlsbBook& book, const std::string& styleXml, const std::string& part);

// Shared strings (XlsbStrings.cpp).
// The table of a new workbook (original empty), or the one read (original) with the strings from
// index `from` on added; references is the count of cells referring to it. The strings marked in
// unused are written empty.
std::string xlsbStringsFromTable(const SharedStrings& strings, std::size_t from, std::string_view original,
                                 const std::string& part, long long references,
                                 const std::vector<bool>& unused = {});
// The shared string DOM describing a binary table, for SharedStrings::load.
std::string xmlStringsFromXlsb(std::string_view records, const std::string& part, XlsbBook& book);

} // namespace workbookfile
