#include "SheetModel.h"

#include <algorithm>

namespace workbookfile {

const Cell* SheetModel::find(int row, int column) const {
    if (row < 1 || std::size_t(row) > rows.size())
        return nullptr;
    const auto& cells = rows[std::size_t(row - 1)].cells;
    auto col = std::uint16_t(column - 1);
    auto it = std::lower_bound(cells.begin(), cells.end(), col,
                               [](const Cell& c, std::uint16_t v) { return c.column < v; });
    return (it != cells.end() && it->column == col) ? &*it : nullptr;
}

Row& SheetModel::row(int row) {
    if (std::size_t(row) > rows.size())
        rows.resize(std::size_t(row));
    return rows[std::size_t(row - 1)];
}

void SheetModel::clear() {
    rows = {};
    raws = {};
    rowAttrs = {};
}

int SheetModel::lastRow() const {
    for (std::size_t i = rows.size(); i > 0; --i)
        if (!rows[i - 1].cells.empty() || rows[i - 1].attrs >= 0)
            return int(i);
    return 0;
}

int SheetModel::lastColumn() const {
    int last = 0;
    for (const auto& r : rows)
        if (!r.cells.empty())
            last = std::max(last, int(r.cells.back().column) + 1);
    return last;
}

std::size_t SheetModel::sharedStringCells() const {
    std::size_t count = 0;
    for (const auto& r : rows)
        for (const Cell& c : r.cells)
            if (c.kind == CellKind::Text ||
                (c.kind == CellKind::Raw && raws[c.index].attrs.find(" t=\"s\"") != std::string::npos))
                ++count;
    return count;
}

} // namespace workbookfile
