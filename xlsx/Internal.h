#pragma once

// Private state behind the public handles of Workbook.h.

#include "Workbook.h"

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace xlsx {

enum class BlockKind : std::uint8_t { Empty, Number, Text, Boolean, Date };

struct BlockCell {
    BlockKind kind = BlockKind::Empty;
    double number = 0.0;    // Number, Date, Boolean (0/1)
    std::uint32_t text = 0; // index into Data::texts for Text
};

struct ValueBlock::Data {
    int rows = 0;
    int columns = 0;
    std::vector<BlockCell> cells;   // row-major
    std::vector<std::string> texts; // UTF-8, checked

    BlockCell& at(int row, int column);
};

struct Worksheet::Impl {
    Workbook* workbook = nullptr;
    std::string name;
};

struct Workbook::Impl {
    std::string path;
    FileFormat format = FileFormat::Xlsx;
    std::vector<std::unique_ptr<Worksheet>> sheets;
    std::time_t fixedTime = 0;
    std::function<void(int)> progress;

    Worksheet& insertSheet(Workbook& owner, std::size_t index, std::string name);
    int positionOf(const Worksheet* sheet) const;
    void renameSheet(Worksheet& sheet, std::string_view newName);
};

} // namespace xlsx
