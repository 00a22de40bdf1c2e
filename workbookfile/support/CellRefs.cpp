// Cell references: column letters and "AB12".

#include "CellRefs.h"

#include <charconv>
#include <iterator>
#include <string>

namespace workbookfile {

std::string columnName(int column) {
    if (column < 1 || column > kMaxColumns)
        throw Error(column > kMaxColumns ? ErrorKind::LimitExceeded : ErrorKind::InvalidArgument,
                    "Column " + std::to_string(column) + " is outside the worksheet.");
    char buf[4];
    int n = 0;
    while (column > 0) {
        int rem = (column - 1) % 26;
        buf[n++] = char('A' + rem);
        column = (column - 1) / 26;
    }
    return std::string(std::reverse_iterator<char*>(buf + n), std::reverse_iterator<char*>(buf));
}

bool parseCellRef(std::string_view ref, int& row, int& column) {
    std::size_t i = 0;
    int col = 0;
    while (i < ref.size() && ref[i] >= 'A' && ref[i] <= 'Z') {
        col = col * 26 + (ref[i] - 'A' + 1);
        if (col > kMaxColumns)
            return false;
        ++i;
    }
    if (i == 0 || i == ref.size())
        return false;
    int r = 0;
    auto res = std::from_chars(ref.data() + i, ref.data() + ref.size(), r);
    if (res.ec != std::errc() || res.ptr != ref.data() + ref.size() || r < 1 || r > kMaxRows)
        return false;
    row = r;
    column = col;
    return true;
}

bool parseCellRange(std::string_view ref, int& firstRow, int& firstColumn, int& lastRow, int& lastColumn) {
    std::size_t colon = ref.find(':');
    if (!parseCellRef(ref.substr(0, colon), firstRow, firstColumn))
        return false;
    if (colon == std::string_view::npos) {
        lastRow = firstRow;
        lastColumn = firstColumn;
        return true;
    }
    return parseCellRef(ref.substr(colon + 1), lastRow, lastColumn) && firstRow <= lastRow &&
           firstColumn <= lastColumn;
}

} // namespace workbookfile
