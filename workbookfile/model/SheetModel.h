#pragma once

// The cells of one worksheet, held compactly: 16 bytes per cell, rows by index.

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace workbookfile {

// The words of the public CellType where the stored kinds are the same; Raw stands for what is
// kept as read (formulas, errors, inline strings), which CellType tells apart only when asked.
enum class CellKind : std::uint8_t {
    Empty,   // formatting only
    Number,  // number
    Text,    // index into the shared string table
    Boolean, // index 0/1
    Raw,     // anything else read from a file (formulas, errors, inline strings): index into raws
};

struct Cell {
    std::uint16_t column; // 0-based
    CellKind kind;
    std::uint32_t style;
    union {
        double number;
        std::uint32_t index;
    };
};
static_assert(sizeof(Cell) == 16, "cells must stay compact");

struct Row {
    std::vector<Cell> cells; // sorted by column
    std::int32_t attrs = -1; // index into SheetModel::rowAttrs (row formatting kept from a file)
};

// A cell kept as read: from XML, its attributes other than r and s and its inner XML; from
// records (SheetModel::kept), no attributes and its records.
struct RawCell {
    std::string attrs;
    std::string inner;
};

// What a model's kept cells and rows hold: the XML of a worksheet part, or the records of a binary
// worksheet. The model reads kept text as XML only through xmlCellAttributes and
// xmlRowAttributes, which give nothing for records.
enum class KeptAs : std::uint8_t { Xml, Records };

struct SheetModel {
    std::vector<Row> rows; // index = row number - 1
    std::vector<RawCell> raws;
    std::vector<std::string> rowAttrs; // the row's XML attributes, or its records' fields
    KeptAs kept = KeptAs::Xml;

    // The XML attributes of a kept cell or row ("" for records, or a row without any).
    std::string_view xmlCellAttributes(const RawCell& raw) const;
    std::string_view xmlRowAttributes(const Row& row) const;

    const Cell* find(int row, int column) const;
    Row& row(int row);
    void clear();
    int lastRow() const;
    int lastColumn() const;
    // Cells that refer to the shared string table.
    std::size_t sharedStringCells() const;
    // The rows that have cells and no properties of their own.
    std::vector<std::uint32_t> plainRows() const;
    // Takes the properties of those rows away again, and drops those no row refers to.
    void makePlain(const std::vector<std::uint32_t>& plain);
};

// The first cell of a row at or after a 0-based column.
std::vector<Cell>::iterator lowerColumn(std::vector<Cell>& cells, std::uint16_t column);
// Replaces the cells [from, to) of a row with segment.
void replaceSegment(std::vector<Cell>& cells, std::vector<Cell>::iterator from,
                    std::vector<Cell>::iterator to, const std::vector<Cell>& segment);

} // namespace workbookfile
