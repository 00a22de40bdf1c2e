#pragma once

// Private state behind the public handles of Workbook.h.

#include "PackageNames.h"
#include "SharedStrings.h"
#include "SheetFormats.h"
#include "SheetLayout.h"
#include "SheetModel.h"
#include "Styles.h"
#include "Workbook.h"
#include "ZipReader.h"
#include "ZipWriter.h"

#include <pugixml.hpp>

#include <cstdint>
#include <functional>
#include <future>
#include <memory>
#include <mutex>
#include <set>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace workbookfile {

// Deflating is most of the cost of a save, so each kind of part gets the level past which
// libdeflate buys little. XML worksheets (cells counted from their neighbours, numbers as short
// texts) are nearly as small at level 3 as at level 5 in two thirds of the time; binary parts,
// whose 8-byte doubles hardly repeat, are within a tenth of level 3's size at level 1 in a
// third of its time.
inline constexpr int kXmlDeflateLevel = 5;
inline constexpr int kBinaryDeflateLevel = 1;
inline constexpr int deflateLevelFor(FileFormat format) {
    return format == FileFormat::Xlsb ? kBinaryDeflateLevel : kXmlDeflateLevel;
}

struct XlsbBook; // what an opened binary workbook keeps of its own parts (Xlsb.h)
struct XlsBook;  // what an opened 97-2003 workbook keeps of its own streams (Xls.h)

// What a worksheet's kept text around its cells is: XML, records of a binary workbook part (.xlsb),
// or records of a 97-2003 workbook stream (.xls).
enum class SheetCodec : std::uint8_t { Xml, Xlsb, Xls };

// The words of the public CellType; a date is kept apart until the block is put, when its cell gets
// a date format.
enum class BlockKind : std::uint8_t { Empty, Number, Text, Boolean, Date };

struct BlockCell {
    double number = 0.0;    // Number, Date, Boolean (0/1)
    std::uint32_t text = 0; // index into Data::texts for Text
    BlockKind kind = BlockKind::Empty;
};
static_assert(sizeof(BlockCell) == 16, "block cells must stay compact");

struct ValueBlock::Data {
    int rows = 0;
    int columns = 0;
    std::vector<BlockCell> cells;   // row-major
    std::vector<std::string> texts; // UTF-8, checked

    BlockCell& at(int row, int column);
};

// The header row of a table on a worksheet, and which of its cells were written since the file
// was opened: the table's column names must follow them.
struct TableHeader {
    std::string part;
    int row = 0; // 1-based
    int firstColumn = 0, lastColumn = 0;
    std::vector<bool> written; // by column of the table
    bool anyWritten = false;
};

struct Worksheet::Impl {
    Workbook* workbook = nullptr;
    std::string name;
    std::string foldedName; // name as compared without regard to case
    pugi::xml_node node;    // the <sheet> element in the workbook part
    std::string part;       // zip entry name of the worksheet part
    bool loaded = false;
    bool changed = false;
    SheetCodec codec = SheetCodec::Xml; // what head and tail hold
    // Added by the engine, not read from a file: its head is the engine's own, made from layout.
    bool madeHere = false;
    SheetLayout layout;
    // The part's text before and after <sheetData>, kept as read, and its element prefix.
    std::string head, tail, prefix;
    SheetModel model;
    std::vector<ColumnFormat> columnFormats; // formats of whole columns
    SheetProtection protection;
    std::size_t stringCellsAtLoad = 0; // cells referring to shared strings when read
    bool tablesKnown = false;
    std::vector<TableHeader> tables; // of tables with a header row

    // Write-behind (WriteBehind.cpp): once the conversion has moved on to another worksheet, this
    // one is encoded and deflated in the background for the format it will be saved in, and its
    // cells are freed; used again, it is brought back from these bytes.
    std::unique_ptr<PackedEntry> packed; // its data moved to the workbook's spill file when spilled
    bool spilled = false;
    std::uint64_t spilledAt = 0, spilledSize = 0;
    FileFormat packedAs = FileFormat::Xlsx;
    bool packedFirst = false; // .xls: packed as the first worksheet of a new workbook
    // Rows with cells but no properties when packed: binary records give every row its
    // properties, which must not stay with the row once its cells are gone.
    std::vector<std::uint32_t> packedPlainRows;
    std::size_t packedStringCells = 0;
    // Cells referring to the shared strings, whether the cells are held or packed.
    std::size_t stringCells() const { return packed ? packedStringCells : model.sharedStringCells(); }
};

// One entry of the workbook's list of sheets, of any type.
struct SheetEntry {
    pugi::xml_node node; // the <sheet> element
    SheetType type = SheetType::Worksheet;
    Worksheet* worksheet = nullptr; // for worksheets
    std::string part;
};

struct Workbook::Impl {
    Workbook* self = nullptr;
    std::string path;
    FileFormat format = FileFormat::Xlsx;
    std::vector<std::unique_ptr<Worksheet>> sheets; // the worksheets, in tab order
    std::vector<SheetEntry> tabs;                   // every sheet, in tab order
    std::time_t fixedTime = 0;
    std::function<void(int)> progress;
    bool isNew = false;
    bool fileAwaited = false;     // saveAsLater named the file; the first save makes it
    bool date1904 = false;        // dates count from 1904-01-01 (<workbookPr date1904="1">)
    bool structureLocked = false; // <workbookProtection lockStructure="1">

    std::unique_ptr<ZipReader> source;
    std::shared_ptr<XlsbBook> xlsb; // set when read from a binary workbook
    std::shared_ptr<XlsBook> xls;   // set when read from a 97-2003 workbook
    // Parts added or replaced, in the order they were added, and their index by lower-case name.
    std::vector<std::pair<std::string, std::string>> memoryParts;
    std::unordered_map<std::string, std::size_t> memoryIndex;
    std::set<std::string> removedParts; // lower-case names
    std::unordered_map<std::string, int> nextPartNumber;
    std::set<std::string> relIds;
    std::unordered_multiset<std::string> foldedSheetNames; // of all sheets, worksheets or not
    unsigned maxSheetId = 0;

    std::string workbookPart, workbookRelsPart, workbookDir;
    pugi::xml_document contentTypes, workbookXml, workbookRels;
    bool contentTypesChanged = false, workbookChanged = false, workbookRelsChanged = false;
    std::string relPrefix; // prefix of the relationship namespace in the workbook part, with colon
    pugi::xml_node sheetsNode;

    Styles styles;
    std::string stylesPart;
    SharedStrings strings;
    std::string stringsPart;
    bool cellsChanged = false;
    // Worksheets whose XML would exceed this many bytes are deflated piece by piece while they are
    // written instead of being held whole.
    std::size_t streamThreshold = std::size_t(256) << 20;

    // Package access.
    bool hasPart(std::string_view name) const;
    std::string readPart(std::string_view name);
    void setPart(const std::string& name, std::string content);
    void removePart(const std::string& name);
    // A part name not yet in the package: stem + number + extension, or stem + extension when
    // unnumbered names are preferred and free.
    std::string newPartName(const std::string& stem, const std::string& extension,
                            bool numbered = true) const;
    std::string relativeTarget(const std::string& part) const;
    std::string addRelationship(const std::string& type, const std::string& target);
    void setOverride(const std::string& part, const std::string& contentType);
    void appendOverride(const std::string& part, const std::string& contentType);
    std::string* memoryPart(std::string_view name);
    void removeOverride(const std::string& part);
    std::string relationshipTarget(std::string_view typeSuffix, std::string* id = nullptr) const;
    // Reads the relationships of a part into rels; false when the part has none.
    bool readRelationships(const std::string& part, pugi::xml_document& rels);
    // Removes a part together with its content-type override and its own relationships.
    void dropPart(const std::string& part);
    // Removes the workbook's relationship of that type and the part it leads to.
    void dropWorkbookRelated(std::string_view typeSuffix);

    void loadPackage();
    void loadXlsbPackage(); // the parts of a binary workbook (XlsbReader.cpp)
    void loadXls(const std::string& bytes, const OpenLimits& limits); // a 97-2003 workbook (XlsReader.cpp)
    void ensureLoaded(Worksheet::Impl& sheet);
    // Reads a worksheet's cells from its XML text, keeping the text around them.
    void loadXmlSheet(Worksheet::Impl& sheet, const std::string& xml);
    // Adds a worksheet after the sheet at position `after` among all sheets (0 = at the front).
    Worksheet& addSheet(std::size_t after, std::string name);
    int positionOf(const Worksheet* sheet) const;
    int tabPositionOf(const Worksheet* sheet) const;
    void renameSheet(Worksheet& sheet, std::string_view newName);
    void indexSheetNode(pugi::xml_node node);
    bool nameTaken(std::string_view name, const Worksheet* except) const;

    // Throws Error naming the worksheet when a cell of the rectangle is locked on a protected
    // worksheet; formatting is refused only where the protection covers formats too.
    void checkCellsWritable(const Worksheet::Impl& sheet, int firstRow, int firstColumn, int lastRow,
                            int lastColumn, bool formatting) const;
    // Throws Error when the workbook's structure is protected: what is refused, e.g. "add a worksheet".
    void checkStructureUnlocked(const std::string& refused) const;
    // Throws Error when a sheet holds shared-string cells but the workbook has no shared string table.
    void refuseStringCellsWithoutTable();

    // Removes what clearing a worksheet removes besides its cells (merges, conditional formats,
    // validations, hyperlinks, comments, the autofilter) with the parts only they use.
    void clearSheetExtras(Worksheet::Impl& sheet);

    // Notes cells of the rectangle being written or cleared that lie in a table's header row.
    void noteCellWrites(Worksheet::Impl& sheet, int firstRow, int firstColumn, int lastRow, int lastColumn);
    // Gives the columns of tables whose header cells were written the names of those cells.
    void renameTableColumns();
    // Brings the shared string table's count of references up to date.
    void countStringReferences();

    // Write-behind (WriteBehind.cpp). A write to a worksheet other than the last one written packs
    // the last one in the background (a few at a time); a packed worksheet is brought back when used.
    bool writeBehind = true;
    Worksheet::Impl* lastWritten = nullptr;
    std::vector<std::pair<Worksheet::Impl*, std::future<void>>> packing; // oldest first
    // Packed worksheets are kept in an unnamed file beside the workbook rather than in memory.
    int spillFd = -1;
    std::uint64_t spillEnd = 0;
    std::mutex spillMutex;
    // Buffers of packed worksheets' text, kept for the next: fresh megabytes of memory cost a
    // page fault per 4 KB.
    std::mutex bufferMutex;
    std::vector<std::string> spareBuffers;
    std::string takeBuffer();
    void keepBuffer(std::string buffer);
    void spill(Worksheet::Impl& sheet, const std::string& folder);
    std::string packedBytes(const Worksheet::Impl& sheet) const;
    // Writes a packed worksheet into the package under that name.
    void addPacked(ZipWriter& zip, const Worksheet::Impl& sheet, const std::string& name) const;
    void noteWrite(Worksheet::Impl& sheet);
    // Waits for the packing of that worksheet (of every one when null) to end.
    void finishPacking(const Worksheet::Impl* sheet = nullptr);
    void bringBack(Worksheet::Impl& sheet);
    // Before a save in that format: packing is over, and sheets packed for another format are back.
    void settlePacking(FileFormat target);
    ~Impl();

    // The count of cells referring to the shared strings in the whole workbook: as the file stated
    // it, moved by what changed in the worksheets read (those not read keep theirs).
    long long stringReferenceCount();
    // A worksheet's XML part as it is now (Save.cpp).
    std::string sheetXml(const Worksheet::Impl& sheet) const;
    // The same into xml, whose memory is reused.
    void writeSheetXml(std::string& xml, const Worksheet::Impl& sheet) const;

    // Workbook::saveAs: the checks, the save in the target's codec and the atomic replacement; a
    // failed save leaves the package as it was.
    void saveAs(const std::string& path, FileFormat format);
    void prepareForSave(FileFormat target);
    void writePackage(int fd, const std::string& path);
};

// Makes a worksheet read from binary records (.xlsb, .xls) loaded: the records before and after its
// cells, its cells, the formats of its columns (in any order) and its protection (PackageReader.cpp).
void keepBinarySheet(Worksheet::Impl& sheet, std::string head, std::string tail, SheetModel model,
                     std::vector<ColumnFormat> columns, SheetProtection protection);

// About how many bytes a worksheet's XML part takes (Save.cpp).
std::size_t estimatedXmlSize(const Worksheet::Impl& sheet);

// Part names: the folder of a part with its slash ("xl/" for "xl/workbook.xml"), the part a
// relationship target names from a folder, and the relationships part of a part.
std::string partFolder(const std::string& part);
std::string resolveTarget(const std::string& baseDir, std::string_view target);
std::string relationshipsPartOf(const std::string& part);
// Removes the relationship with that id from a relationships document; false when there is none.
bool removeRelationship(const pugi::xml_document& rels, std::string_view id);
bool endsWith(std::string_view s, std::string_view suffix);

// Throws Error unless the inclusive rectangle lies inside a worksheet of the workbook's format, first
// before last.
void checkRectangle(const Workbook::Impl& wb, int firstRow, int firstColumn, int lastRow, int lastColumn);

// A relationship type of kRelNamespace ("worksheet", "styles", ...).
std::string relationshipType(std::string_view suffix);
// What a relationship of that type from the workbook part points at.
SheetType sheetTypeOf(std::string_view relationshipType);

} // namespace workbookfile
