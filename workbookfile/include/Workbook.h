#pragma once

// Gridwell's workbook file engine: holds workbooks in memory and reads and writes them as
// Office Open XML SpreadsheetML packages (.xlsx, .xlsm) and as binary workbooks (.xlsb).
//
// Conventions of the whole interface:
// - Rows, columns and worksheet positions are 1-based.
// - Text is UTF-8 in std::string / std::string_view; UTF-16 overloads exist where the caller
//   usually holds UTF-16 (BSTR). Text lengths are counted in UTF-16 code units, as the
//   spreadsheet counts them.
// - Every failure throws workbookfile::Error whose what() is a complete English sentence fit to be
//   shown to the user and whose kind() says what sort of failure it is. A call that throws leaves
//   the workbook as it was.
// - A Workbook and its Worksheets are not thread-safe; use them from one thread at a time.

#include <cstdint>
#include <ctime>
#include <functional>
#include <memory>
#include <stdexcept>
#include <string>
#include <string_view>
#include <vector>

namespace workbookfile {

// What went wrong, for callers that react differently to different failures (a server mapping
// them to its own error codes, a test checking that the right refusal happened).
enum class ErrorKind {
    NotAWorkbook,    // the file is no workbook package at all
    Encrypted,       // password-protected workbook or encrypted zip entries
    Damaged,         // malformed, truncated or inconsistent contents
    TooLarge,        // the file exceeds the OpenLimits it is read under
    LimitExceeded,   // rows, columns, text lengths, sheet name rules, sizes a file format can hold
    Unsupported,     // a file format or conversion the engine does not serve
    FileSystem,      // the file or its folder cannot be read, written or replaced
    Protected,       // a protected worksheet or workbook structure refuses the change
    InvalidArgument, // a bad value or position given by the caller
    Interrupted,     // a signal stopped a save; the file is unchanged
};

// The kind's name as spelled in the enum, e.g. "Damaged".
const char* errorKindName(ErrorKind kind);

class Error : public std::runtime_error {
public:
    Error(ErrorKind kind, const std::string& sentence) : std::runtime_error(sentence), _kind(kind) {}
    ErrorKind kind() const noexcept { return _kind; }

private:
    ErrorKind _kind;
};

inline constexpr int kMaxRows = 1048576;
inline constexpr int kMaxColumns = 16384;
inline constexpr int kMaxTextLength = 32767; // UTF-16 code units
inline constexpr int kMaxSheetNameLength = 31;

// File formats a workbook can be saved in.
enum class FileFormat { Xlsx, Xlsm, Xls, Xlsb };

// What a sheet of the workbook is. Only worksheets hold cells; the engine keeps the others as they
// are, but they count in positions and names as the spreadsheet counts them.
enum class SheetType { Worksheet, Chartsheet, Dialogsheet, Macrosheet, Other };

enum class CellType {
    Empty,   // no value (the cell may still carry formatting)
    Number,  // a double
    Text,    // a string
    Boolean, // true / false
    Formula, // a formula kept from an opened file; its cached value is not interpreted
    Error,   // an error value (#N/A, ...) kept from an opened file
};

// What a cell holds, as read back by Worksheet::cell().
struct CellInfo {
    CellType type = CellType::Empty;
    double number = 0.0; // Number
    std::string text;    // Text (UTF-8), Formula (formula text without '='), Error (e.g. "#N/A")
    bool boolean = false;
    bool bold = false;
    std::string numberFormat = "General"; // format code of the cell's number format
};

// A table on a worksheet, as its part in the workbook holds it.
struct TableInfo {
    int firstRow = 0, firstColumn = 0, lastRow = 0, lastColumn = 0; // 1-based, inclusive
    bool headerRow = true;            // whether the first row of the area names the columns
    std::vector<std::string> columns; // the columns' names (UTF-8), left to right
    std::string name;                 // the name formulas know the table by, where the part gives it
};

// A rectangular block of values, filled cell by cell and put into a worksheet in one call.
// Positions inside the block are 1-based (row 1, column 1 is the block's top-left cell).
// Cells not set are Empty: putting them removes the value in the worksheet and keeps its format.
// The setters check their argument at once (text length, valid UTF-8/UTF-16, finite numbers)
// and throw Error on a bad value; the block is then unchanged at that cell.
class ValueBlock {
public:
    ValueBlock(int rows, int columns); // throws Error unless 1 <= rows/columns
    ~ValueBlock();
    ValueBlock(ValueBlock&&) noexcept;
    ValueBlock& operator=(ValueBlock&&) noexcept;
    ValueBlock(const ValueBlock&) = delete;
    ValueBlock& operator=(const ValueBlock&) = delete;

    int rows() const;
    int columns() const;

    void setNumber(int row, int column, double value);
    // An empty text leaves the cell empty, as the spreadsheet does: readers trip on
    // zero-length strings.
    void setText(int row, int column, std::string_view utf8);
    void setText(int row, int column, std::u16string_view utf16);
    void setBoolean(int row, int column, bool value);
    // A date-time as a spreadsheet serial number (days since 1899-12-30, fraction = time).
    // A cell still in the General format gets a date format when the block is put. In a workbook
    // that counts dates from 1904 (<workbookPr date1904="1">) the cell gets the serial of the same
    // day and time in that system; a date before 1904 is refused there.
    void setDate(int row, int column, double serial);
    void setEmpty(int row, int column);

    struct Data;
    const Data& data() const { return *d; }

private:
    std::unique_ptr<Data> d;
};

class Workbook;

// One worksheet of a workbook. Owned by its Workbook; the pointer stays valid for the workbook's
// lifetime, whatever worksheets are added before it.
class Worksheet {
public:
    ~Worksheet();
    Worksheet(const Worksheet&) = delete;
    Worksheet& operator=(const Worksheet&) = delete;

    const std::string& name() const;
    // Renames under the spreadsheet's rules: 1 to 31 characters, none of : \ / ? * [ ],
    // not starting or ending with an apostrophe, not "History", unique among the workbook's
    // sheets without regard to case. Throws Error when refused, also when the workbook's structure
    // is protected (<workbookProtection lockStructure="1">).
    void rename(std::string_view newName);
    int position() const;      // 1-based position among the workbook's worksheets
    int sheetPosition() const; // 1-based position among all its sheets, worksheets or not
    Workbook& workbook() const;

    // Puts the block with its top-left cell at (row, column). Throws Error (and changes nothing)
    // when any part of the block falls outside rows 1..kMaxRows or columns 1..kMaxColumns.
    // A cell that did not exist takes the format of its row, or else of its column.
    //
    // On a protected worksheet (<sheetProtection sheet="1">) every call that writes or clears
    // cells throws Error naming the worksheet and changes nothing when a cell it would change is
    // locked (as cells are unless their format says <protection locked="0"/>); formatting calls
    // do so too unless the protection allows formatting cells (formatCells="0").
    void putBlock(int row, int column, const ValueBlock& block);

    // Formatting of the inclusive rectangle firstRow..lastRow x firstColumn..lastColumn; each keeps
    // the cells' other formatting. Throws Error for a rectangle outside the sheet's bounds. A cell
    // format equal in every property to the one needed is used rather than a new one.
    void setBold(int firstRow, int firstColumn, int lastRow, int lastColumn, bool bold = true);
    void setNumberFormat(int firstRow, int firstColumn, int lastRow, int lastColumn,
                         std::string_view formatCode);

    // Clears the worksheet as the spreadsheet's Cells.Clear does: values, formats (also those of
    // whole columns), merged ranges, conditional formats, data validations, hyperlinks, comments and
    // the autofilter go, with the parts only they use; column widths, views, page setup, drawings,
    // charts and tables stay.
    void clear();
    // Removes values and formats of the cells in the inclusive rectangle (cheap for large areas:
    // only cells that exist are visited). Throws Error for a rectangle outside the sheet's bounds.
    void clearRange(int firstRow, int firstColumn, int lastRow, int lastColumn);

    // Column widths and frozen panes, on worksheets added since the workbook was made or opened (a
    // worksheet read from a file keeps its own; Error, kind Unsupported).
    // fitColumns widens each column of firstColumn..lastColumn that holds texts, dates or booleans to
    // show the longest of them in the default font, as the spreadsheet's AutoFit does; numbers in
    // the General format fit any width and are not measured, and a column is never made narrower.
    void fitColumns(int firstColumn, int lastColumn);
    // Keeps the first rows and columns in view when scrolling; 0, 0 unfreezes.
    void freezePanes(int rows, int columns);

    // Reads a cell back (value, type, bold, number format code).
    CellInfo cell(int row, int column) const;

    // The tables of the worksheet, in the order the worksheet lists them; a table part that does
    // not read is left out. Cells written on a table's header row rename its columns to their texts
    // when the workbook is saved; where they cannot be names (a cell without text, a name twice),
    // the table keeps its names and gives up its header row.
    std::vector<TableInfo> tables() const;

    // The used area: last row and column holding a value or a format, 0 when empty.
    int lastRow() const;
    int lastColumn() const;

    struct Impl;
    Impl& impl() const { return *d; }

private:
    friend class Workbook;
    explicit Worksheet(std::unique_ptr<Impl> impl);
    std::unique_ptr<Impl> d;
};

// Limits enforced while reading a file, so that hostile files cannot exhaust memory.
struct OpenLimits {
    std::uint64_t maxEntryBytes = 1ull << 30; // inflated size of one zip entry
    std::uint64_t maxTotalBytes = 4ull << 30; // inflated size of all entries read
    std::uint64_t maxEntries = 100000;        // entries in the archive
    // A part is held in memory as it is read, and as a tree of its XML elements while it is parsed:
    // what is held is bounded by what the file stores, not only by the caps above. Beyond
    // ratioFloorBytes, a part may inflate to at most maxInflationRatio times its stored size;
    // beyond elementFloor, an XML part may hold at most maxElementsPerStoredByte elements for
    // each byte stored, and never more than maxElements.
    std::uint64_t ratioFloorBytes = 64ull << 20;
    std::uint64_t maxInflationRatio = 200;
    std::uint64_t elementFloor = 1000000;
    std::uint64_t maxElementsPerStoredByte = 16;
    std::uint64_t maxElements = 1ull << 26;
};

class Workbook {
public:
    // A new, unsaved workbook with worksheetCount worksheets named Sheet1..SheetN (N >= 1).
    static std::unique_ptr<Workbook> create(int worksheetCount = 1);
    // Opens an existing .xlsx, .xlsm, .xlsb or .xls file. Throws Error with a clear text when the file
    // cannot be read, is not a workbook, is encrypted, malformed or exceeds the limits, or is
    // damaged: its sheets hold shared-string cells but it has no shared string table.
    static std::unique_ptr<Workbook> open(const std::string& path, const OpenLimits& limits = {});

    ~Workbook();
    Workbook(const Workbook&) = delete;
    Workbook& operator=(const Workbook&) = delete;

    // Path the workbook was opened from or last saved to; empty for a new, never saved workbook.
    const std::string& path() const;
    // Format of that file (Xlsx for a new workbook).
    FileFormat format() const;
    // The size of a worksheet in that format: 65,536 x 256 for Xls, kMaxRows x kMaxColumns otherwise.
    // Ranges beyond it are refused.
    int maxRows() const;
    int maxColumns() const;

    // Every sheet the workbook lists, worksheets and others (chart, dialog and macro sheets), in the
    // order of its tabs.
    struct SheetInfo {
        std::string name;
        SheetType type = SheetType::Worksheet;
        Worksheet* worksheet = nullptr; // nullptr unless type is Worksheet
    };
    int sheetCount() const;
    // The sheet at a 1-based position among all sheets; throws Error when out of range.
    SheetInfo sheet(int position) const;
    // 1-based position among all sheets of the sheet of any type whose name equals name without
    // regard to case; 0 when absent.
    int findSheet(std::string_view name) const;

    int worksheetCount() const;
    // Worksheet at a 1-based position; nullptr when out of range.
    Worksheet* worksheet(int position) const;
    // Worksheet whose name equals name without regard to case; nullptr when absent.
    Worksheet* findWorksheet(std::string_view name) const;
    // 1-based position of that worksheet, 0 when absent.
    int findWorksheetPosition(std::string_view name) const;
    // Adds a worksheet after the sheet (of any type) at position `after` among all sheets
    // (0 = at the front) with a default unique name "SheetN". Throws Error when `after` is out of
    // range or the workbook's structure is protected.
    Worksheet& addWorksheet(int after);

    // Saves to path() in format(). Throws Error when the workbook has no path yet or saving fails;
    // the file on disk is then unchanged. A file the process may not write is not replaced; a
    // symbolic link stays a link and the file it names is replaced; the new file keeps the old
    // one's permission bits and, where the process may give them, its owner and group.
    void save();
    // Saves to a new path in the given format and makes it the workbook's path, as save() does.
    // Refuses to replace an existing file other than the workbook's own (symbolic links followed),
    // and keeps a workbook read from a file in its kind: one read from .xlsb or .xls is saved in
    // that format only, one read from .xlsx or .xlsm not as Xlsb or Xls.
    void saveAs(const std::string& path, FileFormat format);
    // For a workbook never saved: names the file it will be saved as, in that format, without
    // writing anything yet; the first save() makes the file, so that nothing of the workbook is on
    // disk before (a process killed in between leaves no file). From now on the workbook counts as
    // that format (its sheet size, the format worksheets are packed in). Throws Error, writing
    // nothing, when the file could not be made there: something of that name exists, the folder is
    // missing or may not be written, the name is too long. Where a symbolic link stands at path, it
    // saves at once, as saveAs does. The first save() refuses to replace a file that appeared
    // there in the meantime.
    void saveAsLater(const std::string& path, FileFormat format);
    // What the last successful save did to the file besides what was asked, one sentence each for
    // the user (a stale 5.0/95 copy of an .xls workbook left out); empty after a failed save.
    const std::vector<std::string>& saveNotes() const;

    // Worksheets whose XML would exceed this many bytes are deflated piece by piece while they
    // are written instead of being held whole; 0 streams every worksheet (for tests).
    void setStreamingThreshold(std::size_t bytes);

    // Once something is written into another worksheet, the last one written is encoded and
    // deflated in the background and its cells are freed (a worksheet used again is read back
    // first); the saved bytes are the same. On by default; off keeps every worksheet's cells.
    void setWriteBehind(bool on);

    // Fixes the time stamp written into the package (zip entry times, document properties), so that
    // the same workbook gives the same bytes on every save. 0 (the default) means "now".
    void setFixedTimestamp(std::time_t utc);

    // Called after each step of a save (each part written, flushed, renamed), with the step number
    // from 1. Meant for progress display and for tests that interrupt saving.
    void setSaveProgressCallback(std::function<void(int step)> callback);

    struct Impl;
    Impl& impl() const { return *d; }

private:
    Workbook();
    std::unique_ptr<Impl> d;
};

// UTF-8 <-> UTF-16 conversion. Throws Error on invalid input (lone surrogates, bad UTF-8).
std::string toUtf8(std::u16string_view utf16);
std::u16string toUtf16(std::string_view utf8);

// Column letters: 1 -> "A", 28 -> "AB". Column must be 1..kMaxColumns.
std::string columnName(int column);

} // namespace workbookfile
