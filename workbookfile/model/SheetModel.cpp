#include "SheetModel.h"

#include <algorithm>
#include <unordered_map>

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
                (c.kind == CellKind::Raw &&
                 xmlCellAttributes(raws[c.index]).find(" t=\"s\"") != std::string::npos))
                ++count;
    return count;
}

std::string_view SheetModel::xmlCellAttributes(const RawCell& raw) const {
    return kept == KeptAs::Xml ? std::string_view(raw.attrs) : std::string_view();
}

std::string_view SheetModel::xmlRowAttributes(const Row& row) const {
    if (kept != KeptAs::Xml || row.attrs < 0)
        return {};
    return rowAttrs[std::size_t(row.attrs)];
}

std::vector<Cell>::iterator lowerColumn(std::vector<Cell>& cells, std::uint16_t column) {
    return std::lower_bound(cells.begin(), cells.end(), column,
                            [](const Cell& c, std::uint16_t v) { return c.column < v; });
}

// Replaces the cells of columns [first, last] of a row with segment.
void replaceSegment(std::vector<Cell>& cells, std::vector<Cell>::iterator from,
                    std::vector<Cell>::iterator to, const std::vector<Cell>& segment) {
    std::size_t oldCount = std::size_t(to - from);
    if (oldCount == segment.size()) {
        std::copy(segment.begin(), segment.end(), from);
    } else if (from == cells.end()) {
        cells.insert(cells.end(), segment.begin(), segment.end());
    } else {
        std::size_t at = std::size_t(from - cells.begin());
        cells.erase(from, to);
        cells.insert(cells.begin() + std::ptrdiff_t(at), segment.begin(), segment.end());
    }
}

std::vector<std::uint32_t> SheetModel::plainRows() const {
    std::vector<std::uint32_t> plain;
    for (std::size_t r = 0; r < rows.size(); ++r)
        if (rows[r].attrs < 0 && !rows[r].cells.empty())
            plain.push_back(std::uint32_t(r));
    return plain;
}

void SheetModel::makePlain(const std::vector<std::uint32_t>& plain) {
    if (plain.empty())
        return;
    for (std::uint32_t r : plain)
        if (r < rows.size())
            rows[r].attrs = -1;
    std::vector<std::string> kept;
    std::unordered_map<std::int32_t, std::int32_t> moved;
    for (Row& row : rows) {
        if (row.attrs < 0)
            continue;
        auto [at, added] = moved.try_emplace(row.attrs, std::int32_t(kept.size()));
        if (added)
            kept.push_back(std::move(rowAttrs[std::size_t(row.attrs)]));
        row.attrs = at->second;
    }
    rowAttrs = std::move(kept);
}

} // namespace workbookfile
