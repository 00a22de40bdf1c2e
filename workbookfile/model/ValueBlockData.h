#pragma once

// What a ValueBlock holds: compact cells over one list of texts.

#include "Workbook.h"

#include <cstdint>
#include <string>
#include <vector>

namespace workbookfile {

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

} // namespace workbookfile
