#pragma once

// SpreadsheetML workbooks (.xlsx, .xlsm): the codec whose parts the model's DOMs already are.
// Worksheets keep their XML text before and after <sheetData>; cells the model does not
// interpret are kept as XML. This room knows the package and the model, and no other codec.

#include "Codec.h"
#include "WorkbookState.h"

#include <set>
#include <string>
#include <string_view>

namespace workbookfile {

// Deflating is most of the cost of a save. Parts are deflated at level 5, whose lazy matching
// makes worksheets whose cells repeat their neighbours' text a sixth smaller than level 1 does.
inline constexpr int kXmlDeflateLevel = 5;
// The level for a worksheet's XML: a large one whose values vary gains a twentieth at level 5 for
// three times the time of level 1, so a sample of it deflated at level 1 decides; of the large
// ones whose cells repeat, half take level 5 and half level 1, trading a tenth of their size for
// a sixth of a conversion's time.
int sheetDeflateLevel(std::string_view xml);

const Codec& xmlCodec();

// Opening (XmlReader.cpp): the workbook part, its relationships, styles and shared strings of a
// package whose root the model has read, the main part being of that content type.
void openXmlPackage(Workbook::Impl& wb, const std::string& mainType);
// Reads a worksheet's cells from its XML text, keeping the text around them.
void loadXmlSheet(Worksheet::Impl& sheet, const std::string& xml);

// Worksheets.
// Adds the part of a new worksheet (NewWorksheet.cpp) and returns its name.
std::string addXmlSheetPart(Workbook::Impl& wb);
// A new worksheet's part, with the column widths and frozen panes of its layout.
std::string newWorksheetXml(const SheetLayout& layout = {});
// Kept cells (XmlCells.cpp).
void describeXmlCell(const RawCell& raw, CellInfo& info);
std::string xmlFormulaGroupOf(const RawCell& raw);
void dropOrphanedXmlFormulas(SheetModel& model, const FormulaGroupLeads& groups);
// Tables (XmlTables.cpp): the codec's operations of the same names.
bool xmlSheetListsTables(const Worksheet::Impl& sheet);
bool readXmlTable(const std::string& data, const std::string& part, TableInfo& table);
bool rewriteXmlTable(std::string& data, const std::string& part, const TableInfo& table);
// Whether a part of the workbook names the table's columns in a structured reference ("T1[Flow]"):
// the workbook part, its worksheets and its tables; where is set to the first such part.
bool xmlFormulasNameTable(Workbook::Impl& wb, const std::string& tableName, std::string& where);
// Clearing (ClearSheet.cpp): what Worksheet::clear removes besides cells.
void clearXmlSheetExtras(Workbook::Impl& wb, Worksheet::Impl& sheet);

// Saving (XmlWriter.cpp).
// About how many bytes a worksheet's XML part takes.
std::size_t estimatedXmlSize(const Worksheet::Impl& sheet);
// A worksheet's part as it is now, into xml, whose memory is reused.
void writeSheetXml(std::string& xml, const Worksheet::Impl& sheet);
void prepareXmlSave(Workbook::Impl& wb, FileFormat target);
void writeXmlPackage(Workbook::Impl& wb, int fd, const std::string& path);

} // namespace workbookfile
