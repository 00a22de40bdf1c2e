// Which strings of the shared string table the workbook's cells still refer to. A workbook that
// collects successive studies would otherwise keep every text it ever held: the strings no cell
// uses are written as empty strings, in their places, so that the cells of worksheets not read
// (copied as they are) keep theirs.

#include "Codec.h"
#include "WorkbookState.h"

#include <algorithm>

namespace workbookfile {

bool sharedStringsOf(const SheetModel& model, const Codec& codec, std::vector<std::uint32_t>& indices) {
    indices.clear();
    for (const Row& row : model.rows)
        for (const Cell& cell : row.cells) {
            if (cell.kind == CellKind::Text)
                indices.push_back(cell.index);
            else if (cell.kind == CellKind::Raw && !codec.keptCellStrings(model.raws[cell.index], indices))
                return false;
        }
    std::sort(indices.begin(), indices.end());
    indices.erase(std::unique(indices.begin(), indices.end()), indices.end());
    return true;
}

std::vector<bool> Workbook::Impl::unusedStrings() {
    if (strings.size() == 0)
        return {};
    // Macro and dialog sheets have cells too, which the engine does not read.
    for (const SheetEntry& tab : tabs)
        if (!tab.worksheet && tab.type != SheetType::Chartsheet)
            return {};
    std::vector<bool> used(strings.size(), false);
    std::vector<std::uint32_t> indices;
    auto mark = [&](const std::vector<std::uint32_t>& list) {
        for (std::uint32_t i : list)
            if (i < used.size())
                used[i] = true;
    };
    for (const auto& s : sheets) {
        const Worksheet::Impl& sheet = s->impl();
        bool known;
        if (sheet.packed) {
            known = sheet.packedStringsKnown;
            mark(sheet.packedStrings);
        } else if (sheet.loaded) {
            known = sharedStringsOf(sheet.model, *sheet.codec, indices);
            mark(indices);
        } else {
            indices.clear();
            known = sheet.codec->unreadSheetStrings(*this, sheet, indices);
            mark(indices);
        }
        if (!known)
            return {};
    }
    if (std::find(used.begin(), used.end(), false) == used.end())
        return {};
    used.flip();
    return used;
}

} // namespace workbookfile
