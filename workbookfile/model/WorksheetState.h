#pragma once

// Private state behind the public Worksheet handle.

#include "SheetFormats.h"
#include "SheetLayout.h"
#include "SheetModel.h"
#include "Workbook.h"
#include "ZipWriter.h"

#include <pugixml.hpp>

#include <cstdint>
#include <memory>
#include <string>
#include <vector>

namespace workbookfile {

class Codec;

// The header row of a table on a worksheet, and which of its cells were written since the file
// was opened: the table's column names must follow them.
struct TableHeader {
    std::string part;
    const Codec* codec = nullptr; // the table part's, its worksheet's
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
    const Codec* codec = nullptr; // what head, tail and the kept cells are written in
    // Added by the engine, not read from a file: its head is the engine's own, made from layout.
    bool madeHere = false;
    SheetLayout layout;
    // The text or records before and after the cells, kept as read, and the XML element prefix.
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
    const Codec* packedAs = nullptr;
    bool packedFirst = false; // packed as the first worksheet of the workbook
    // Rows with cells but no properties when packed: binary records give every row its
    // properties, which must not stay with the row once its cells are gone.
    std::vector<std::uint32_t> packedPlainRows;
    std::size_t packedStringCells = 0;
    // The shared strings its cells referred to when packed; unknown when a kept cell's could not
    // be told.
    std::vector<std::uint32_t> packedStrings;
    bool packedStringsKnown = true;
    // Cells referring to the shared strings, whether the cells are held or packed.
    std::size_t stringCells() const { return packed ? packedStringCells : model.sharedStringCells(); }
};

// Makes a worksheet read from records (.xlsb, .xls) loaded: the records before and after its
// cells, its cells, the formats of its columns (in any order) and its protection.
// The positions of the shared strings the cells of a model refer to, sorted, each once; false
// when a kept cell's cannot be told.
bool sharedStringsOf(const SheetModel& model, const Codec& codec, std::vector<std::uint32_t>& indices);

void keepBinarySheet(Worksheet::Impl& sheet, std::string head, std::string tail, SheetModel model,
                     std::vector<ColumnFormat> columns, SheetProtection protection);

} // namespace workbookfile
