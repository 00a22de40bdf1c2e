#pragma once

// A codec: one encoding of workbooks (SpreadsheetML, the records of .xlsb, the records of .xls),
// as the model sees it. The model names no codec: a worksheet knows the codec its kept text or
// records belong to, a save asks the switchboard (Switchboard.h) for the codec of its format,
// and everything that depends on the encoding goes through these operations.

#include "SheetModel.h"
#include "Workbook.h"

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace workbookfile {

// Where the overwritten leading cell of a shared or array formula group stood (0-based), and the
// cell as it was kept; by group.
struct FormulaGroupLead {
    std::size_t row = 0;
    std::uint16_t column = 0;
    RawCell cell;
};
using FormulaGroupLeads = std::map<std::string, FormulaGroupLead>;

struct PackedEntry;

// What a codec keeps of an opened file besides the model (its records, its other streams);
// each codec's own header says how to reach its kind.
struct CodecBook {
    virtual ~CodecBook() = default;
};

class Codec {
public:
    virtual ~Codec() = default;

    // The last row and column a worksheet of this codec can hold.
    virtual int maxRows() const { return kMaxRows; }
    virtual int maxColumns() const { return kMaxColumns; }

    // Worksheets held in this codec.
    // Reads a worksheet's cells from the file, keeping what lies around them.
    virtual void loadSheet(Workbook::Impl& wb, Worksheet::Impl& sheet) const = 0;
    // Reads back a worksheet write-behind packed in this codec: one read from a file gets what
    // lies around its cells back, one the engine made only its cells.
    virtual void unpackSheet(Workbook::Impl& wb, Worksheet::Impl& sheet, const std::string& data) const = 0;
    // What a cell kept as read holds: formulas, errors, texts of their own.
    virtual void describeCell(const RawCell& raw, CellInfo& info) const = 0;
    // The group of shared or array formulas a kept cell leads ("" when none). Cells of groups
    // whose leading cell was overwritten would leave a file the spreadsheet repairs: they get
    // a formula of their own where the codec can give them one, and keep the values they
    // showed otherwise.
    virtual std::string formulaGroupOf(const RawCell& raw) const = 0;
    virtual void dropOrphanedFormulas(SheetModel& model, const FormulaGroupLeads& groups) const = 0;
    // What clearing a worksheet removes besides its cells: merges, conditional formats,
    // validations, hyperlinks, comments, the autofilter, with what only they use.
    virtual void clearSheetExtras(Workbook::Impl& wb, Worksheet::Impl& sheet) const = 0;
    // A worksheet the engine adds, held in this codec from the start (its part added by the
    // switchboard): what it holds before anything is written into it.
    virtual void startNewSheet(Worksheet::Impl&) const {}
    // A worksheet the engine made takes the column widths and panes of its layout.
    virtual void applyLayout(Worksheet::Impl& sheet) const = 0;
    // Cells referring to the shared strings in a worksheet not read yet, where the codec can
    // count them without reading it.
    virtual std::size_t unreadStringCells(Workbook::Impl& wb, const Worksheet::Impl& sheet) const = 0;
    // Adds to indices the positions of the shared strings that the cells of a worksheet not read
    // refer to, or that a kept cell refers to; false when that cannot be told for certain (no
    // string may then be taken for unused).
    virtual bool unreadSheetStrings(Workbook::Impl& wb, const Worksheet::Impl& sheet,
                                    std::vector<std::uint32_t>& indices) const = 0;
    virtual bool keptCellStrings(const RawCell& raw, std::vector<std::uint32_t>& indices) const = 0;
    // Tables of worksheets held in this codec, their parts written in it.
    // Whether what was kept of the worksheet lists table parts.
    virtual bool listsTables(const Worksheet::Impl&) const { return false; }
    // A table part's area, header row and column names; false when it does not read as a table.
    virtual bool readTable(const std::string&, const std::string&, TableInfo&) const { return false; }
    // Gives the table part data the header row and column names of table, keeping all else it
    // holds (without a header row it has no filter buttons); false when nothing changed.
    virtual bool rewriteTable(std::string&, const std::string&, const TableInfo&) const { return false; }
    // Whether a formula or name of the workbook names the table's columns by their names, which a
    // renamed column would leave naming nothing (formulas that refer to columns by position, as
    // binary ones do, stay right); where it is found, the first place.
    virtual bool namesTableColumns(Workbook::Impl&, const std::string&, std::string&) const { return false; }

    // Saving in this codec.
    // Whether write-behind can encode that worksheet now, for a save in this codec.
    virtual bool packable(const Workbook::Impl& wb, const Worksheet::Impl& sheet) const = 0;
    // The worksheet's part or records as the save would write them, deflated where the package
    // deflates them; first: it is the first worksheet of the workbook.
    virtual PackedEntry packSheet(Workbook::Impl& wb, const Worksheet::Impl& sheet, bool first) const = 0;
    // Throws Error for what the format cannot hold, before anything is written.
    virtual void checkSave(const Workbook::Impl& wb, const std::string& path) const = 0;
    // Whether preparing a save drops what the target format cannot hold (macros): a failed save
    // then puts the package back as it was.
    virtual bool dropsByFormat() const { return false; }
    // Brings the workbook's parts or records up to date for a save in that format.
    virtual void prepareSave(Workbook::Impl& wb, FileFormat target) const = 0;
    // Writes the whole file to fd.
    virtual void write(Workbook::Impl& wb, int fd, const std::string& path) const = 0;
};

} // namespace workbookfile
