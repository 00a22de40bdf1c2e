#pragma once

// The record layer of binary workbook parts (.xlsb): every part is a sequence of records, each a
// type (1 or 2 bytes of 7 bits) and a size (1 to 4 bytes of 7 bits) followed by that many bytes.
// Reading never trusts a size beyond the bytes that are there.

#include "BinaryFields.h"

#include <cstdint>
#include <string>
#include <string_view>

namespace workbookfile {

// Record types the engine reads or writes.
namespace rt {
constexpr std::uint32_t RowHdr = 0, CellBlank = 1, CellRk = 2, CellError = 3, CellBool = 4, CellReal = 5,
                        CellSt = 6, CellIsst = 7, FmlaString = 8, FmlaNum = 9, FmlaBool = 10, FmlaError = 11,
                        SSTItem = 19, Name = 39, Font = 43, Fmt = 44, Fill = 45, Border = 46, XF = 47,
                        Style = 48, ColInfo = 60, CellRString = 62, DVal = 64;
constexpr std::uint32_t FileVersion = 128, BeginSheet = 129, EndSheet = 130, BeginBook = 131, EndBook = 132,
                        BeginWsViews = 133, EndWsViews = 134, BeginBookViews = 135, EndBookViews = 136,
                        BeginWsView = 137, EndWsView = 138, BeginBundleShs = 143, EndBundleShs = 144,
                        BeginSheetData = 145, EndSheetData = 146, WsProp = 147, WsDim = 148, Pane = 151,
                        Sel = 152, WbProp = 153, BundleSh = 156, CalcProp = 157, BookView = 158,
                        BeginSst = 159, EndSst = 160, BeginAFilter = 161, EndAFilter = 162, MergeCell = 176,
                        BeginMergeCells = 177, EndMergeCells = 178;
constexpr std::uint32_t BeginStyleSheet = 278, EndStyleSheet = 279, BeginList = 343, EndList = 344,
                        BeginListCols = 345, EndListCols = 346, BeginListCol = 347, EndListCol = 348,
                        BeginExternals = 353, EndExternals = 354, SupBookSrc = 355, SupSelf = 357,
                        SupSame = 358, SupTabs = 359, ExternSheet = 362, BeginColInfos = 390,
                        EndColInfos = 391, BeginConditionalFormatting = 461, EndConditionalFormatting = 462,
                        PageMargins = 476, WsFmtInfo = 485, HLink = 494, BeginDXFs = 505, EndDXFs = 506,
                        BeginTableStyles = 508, EndTableStyles = 509, BookProtection = 534,
                        SheetProtection = 535, LegacyDrawing = 551, BeginDVals = 573, EndDVals = 574,
                        BeginFills = 603, EndFills = 604, BeginFonts = 611, EndFonts = 612,
                        BeginBorders = 613, EndBorders = 614, BeginFmts = 615, EndFmts = 616,
                        BeginCellXFs = 617, EndCellXFs = 618, BeginStyles = 619, EndStyles = 620,
                        BeginCellStyleXFs = 626, EndCellStyleXFs = 627, BeginListParts = 660, ListPart = 661,
                        EndListParts = 662, SheetProtectionIso = 1046, BookProtectionIso = 1062;
} // namespace rt

// Walks the records of a part. Throws Error naming the part on a header that does not read or a
// size that runs past the part's end.
class RecordReader {
public:
    RecordReader(std::string_view data, std::string_view partName) : _data(data), _part(partName) {}
    bool next(Record& record);
    std::size_t offset() const { return _at; }
    std::string_view part() const { return _part; }

private:
    std::string_view _data;
    std::string _part;
    std::size_t _at = 0;
};

// Appending records, and the text fields of binary parts.
void appendRecord(std::string& out, std::uint32_t type, std::string_view body);
void putWideString(std::string& out, std::string_view utf8);
// An XLWideString: a count of UTF-16 code units, then the units; returned as UTF-8. Lone
// surrogates are refused as the text cannot be kept.
std::string readWideString(BodyReader& body);
// An XLNullableWideString: as readWideString, and empty when absent (a count of 0xFFFFFFFF).
std::string readNullableWideString(BodyReader& body);

} // namespace workbookfile
