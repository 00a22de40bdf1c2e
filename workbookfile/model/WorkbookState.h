#pragma once

// Private state behind the public Workbook handle: the package's parts, the list of sheets, the
// styles and shared strings every codec shares, and write-behind.

#include "Codec.h"
#include "OrderedZip.h"
#include "SharedStrings.h"
#include "Styles.h"
#include "Workbook.h"
#include "WorkerPool.h"
#include "WorksheetState.h"
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

// The rectangle a change of cells touches (1-based, inclusive), and whether it changes values
// (written or cleared) or only formats.
struct CellChange {
    int firstRow = 1, firstColumn = 1, lastRow = kMaxRows, lastColumn = kMaxColumns;
    bool formatsOnly = false;
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
    bool fileAwaited = false; // saveAsLater named the file; the first save makes it
    // What the next successful save will do besides what was asked (noted by the codec that read
    // the file), and what the last one did.
    std::vector<std::string> pendingSaveNotes, saveNotes;
    bool date1904 = false;        // dates count from 1904-01-01 (<workbookPr date1904="1">)
    bool structureLocked = false; // <workbookProtection lockStructure="1">

    std::unique_ptr<ZipReader> source; // the zip package read
    const Codec* readAs = nullptr;     // the codec of the file read; none for a new workbook
    std::shared_ptr<CodecBook> book;   // what that codec keeps of the file
    // Parts added or replaced, in the order they were added, and their index by lower-case name.
    std::vector<std::pair<std::string, std::string>> memoryParts;
    std::unordered_map<std::string, std::size_t> memoryIndex;
    std::set<std::string> removedParts; // lower-case names
    std::unordered_map<std::string, int> nextPartNumber;
    std::set<std::string> relIds;
    std::unordered_multiset<std::string> foldedSheetNames; // of all sheets, worksheets or not
    // Where each folded name stands first among all sheets and among the worksheets (0-based), so
    // that finding a sheet by name does not fold every name; rebuilt when sheets move.
    mutable std::unordered_map<std::string, std::size_t> tabByName, worksheetByName;
    mutable bool nameIndexStale = true;
    void indexNames() const;
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
    // The package's entries in the order a save writes them: those of the file read, in their
    // order, then the parts added, then changed worksheets whose part is in neither. Parts in
    // memory are deflated at that level, packed worksheets copied from their packed bytes, other
    // changed worksheets made by changedSheet (which sets the item's make or write), the rest
    // copied as they are.
    std::vector<ZipItem>
    packageItems(int deflateLevel, const std::function<void(ZipItem&, const Worksheet::Impl&)>& changedSheet);
    // The relationship id a <sheet> element names its part by, under the workbook part's prefix
    // of the relationships namespace (whatever prefix the file or a codec's reader chose).
    std::string sheetRelationshipId(const pugi::xml_node& sheet) const {
        return sheet.attribute((relPrefix + "id").c_str()).value();
    }
    // The workbook part's relationships by id (the first of an id), their types and resolved
    // targets; their ids join relIds.
    struct WorkbookRelationship {
        std::string type, target;
    };
    std::unordered_map<std::string, WorkbookRelationship> workbookRelationshipsById();
    // The shared string table's part, made (with its relationship and content type) when the
    // workbook has none; a relationship whose part is missing is given its part rather than a
    // second one.
    const std::string& ensureStringsPart(const char* extension, const char* contentType);
    // Reads the relationships of a part into rels; false when the part has none.
    bool readRelationships(const std::string& part, pugi::xml_document& rels);
    // Removes a part together with its content-type override and its own relationships.
    void dropPart(const std::string& part);
    // Removes the workbook's relationship of that type and the part it leads to.
    void dropWorkbookRelated(std::string_view typeSuffix);

    // The one way to change a worksheet: its cells are made present (the join with write-behind's
    // packing), it becomes the worksheet being written (which lets the last one be packed), change
    // runs, and the worksheet is marked changed when change says it changed anything.
    template <typename Change> void changeSheet(Worksheet::Impl& sheet, Change&& change) {
        ensureLoaded(sheet);
        noteWrite(sheet);
        if (change())
            sheet.changed = true;
    }
    // The same for a change of cells: the worksheet's protection is asked first; a change of
    // values notes the table header cells it writes and marks the workbook's cells changed.
    template <typename Change>
    void changeCells(Worksheet::Impl& sheet, const CellChange& area, Change&& change) {
        changeSheet(sheet, [&] {
            checkCellsWritable(sheet, area.firstRow, area.firstColumn, area.lastRow, area.lastColumn,
                               area.formatsOnly);
            if (!area.formatsOnly)
                noteCellWrites(sheet, area.firstRow, area.firstColumn, area.lastRow, area.lastColumn);
            change();
            if (!area.formatsOnly)
                cellsChanged = true;
            return true;
        });
    }

    // Reads the package's content types and root relationships and finds its main part; returns
    // the main part's content type.
    std::string readPackageRoot();
    // The list of sheets, as the XML workbook part would hold it, begun empty for a codec whose
    // workbook part is records: the codec appends a <sheet> for each of its own.
    void startSheetList();
    // Throws Error (Damaged) when two sheets, one of them a worksheet, name one part: writing one
    // would lose the other's cells.
    void refuseSharedSheetParts() const;
    // Makes a worksheet's cells present: read when first used, brought back when packed; the
    // one join with write-behind's packing.
    void ensureLoaded(Worksheet::Impl& sheet);
    // The handle of a worksheet a codec read.
    static std::unique_ptr<Worksheet> makeWorksheet(std::unique_ptr<Worksheet::Impl> impl) {
        return std::unique_ptr<Worksheet>(new Worksheet(std::move(impl)));
    }
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

    // Notes cells of the rectangle being written or cleared that lie in a table's header row.
    void noteCellWrites(Worksheet::Impl& sheet, int firstRow, int firstColumn, int lastRow, int lastColumn);
    // Gives the columns of tables whose header cells were written the names of those cells.
    void renameTableColumns();
    // Brings the shared string table's count of references up to date.
    void countStringReferences();
    // The strings of the shared string table that no cell refers to any more, by position (empty
    // when all are used or when that cannot be told for certain). The table writes them as
    // empty strings: their positions, which cells of worksheets not read hold, stay, and what a
    // workbook that collects successive studies no longer uses does not pile up.
    std::vector<bool> unusedStrings();

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
    // The threads that pack; made with the first worksheet packed, ended first of all members.
    std::unique_ptr<WorkerPool> pool;
    ~Impl();

    // The count of cells referring to the shared strings in the whole workbook: as the file stated
    // it, moved by what changed in the worksheets read (those not read keep theirs).
    long long stringReferenceCount();

    // Workbook::saveAs: the checks, the save in the target's codec and the atomic replacement; a
    // failed save leaves the package as it was.
    void saveAs(const std::string& path, FileFormat format);
};

// Throws Error unless the inclusive rectangle lies inside a worksheet of the workbook's format, first
// before last.
void checkRectangle(const Workbook::Impl& wb, int firstRow, int firstColumn, int lastRow, int lastColumn);

} // namespace workbookfile
