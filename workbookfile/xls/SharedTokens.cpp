#include "SharedTokens.h"

#include "BinaryFields.h"

namespace workbookfile {

namespace {

constexpr std::uint16_t kRowRelative = 0x4000, kColumnRelative = 0x8000;
constexpr long kRows = 65536, kColumns = 256;

// A row and a column field of a reference in a shared formula, made to point from row and column.
bool placeReference(std::string& out, std::size_t at, std::uint32_t row, std::uint32_t column,
                    std::size_t rowAt, std::size_t columnAt) {
    const std::uint16_t rowField = readU16(out, at + rowAt);
    const std::uint16_t columnField = readU16(out, at + columnAt);
    long newRow = rowField;
    long newColumn = columnField & 0x3FFF;
    if (columnField & kRowRelative)
        newRow = long(row) + std::int16_t(rowField);
    if (columnField & kColumnRelative)
        newColumn = long(column) + std::int8_t(columnField & 0xFF);
    if (newRow < 0 || newRow >= kRows || newColumn < 0 || newColumn >= kColumns)
        return false;
    patchU16(out, at + rowAt, std::uint16_t(newRow));
    patchU16(out, at + columnAt, std::uint16_t((columnField & 0xC000) | std::uint16_t(newColumn)));
    return true;
}

} // namespace

bool sharedTokensAt(std::string_view shared, std::uint32_t row, std::uint32_t column, std::string& out) {
    out.assign(shared);
    std::size_t at = 0;
    while (at < out.size()) {
        const auto ptg = static_cast<std::uint8_t>(out[at]);
        std::size_t size = 0; // what follows the token's own byte
        if (ptg >= 0x03 && ptg <= 0x16) {
            size = 0;             // operators, parentheses, a missing argument
        } else if (ptg == 0x17) { // a text: length, flags, characters
            if (at + 2 >= out.size())
                return false;
            const std::size_t length = static_cast<std::uint8_t>(out[at + 1]);
            size = 2 + length * ((out[at + 2] & 1) ? 2 : 1);
        } else if (ptg == 0x19) { // attributes; a choice carries its jump table
            if (at + 3 >= out.size())
                return false;
            size = 3;
            if (out[at + 1] & 0x04)
                size += 2 * (std::size_t(readU16(out, at + 2)) + 1);
        } else if (ptg == 0x1C || ptg == 0x1D) {
            size = 1;
        } else if (ptg == 0x1E) {
            size = 2;
        } else if (ptg == 0x1F) {
            size = 8;
        } else if (ptg >= 0x20 && ptg <= 0x7F) {
            switch (ptg & 0x1F) {
            case 0x01: // a function
                size = 2;
                break;
            case 0x02: // a function with a count of arguments
                size = 3;
                break;
            case 0x03: // a name
            case 0x04: // a reference
            case 0x0A: // a reference made invalid
                size = 4;
                break;
            case 0x05: // an area
            case 0x0B: // an area made invalid
                size = 8;
                break;
            case 0x09: // the size of a function's reference result
                size = 2;
                break;
            case 0x0C: // a reference relative to the cell
                if (at + 5 > out.size() || !placeReference(out, at + 1, row, column, 0, 2))
                    return false;
                out[at] = char((ptg & 0x60) | 0x04);
                size = 4;
                break;
            case 0x0D: // an area relative to the cell
                if (at + 9 > out.size() || !placeReference(out, at + 1, row, column, 0, 4) ||
                    !placeReference(out, at + 1, row, column, 2, 6))
                    return false;
                out[at] = char((ptg & 0x60) | 0x05);
                size = 8;
                break;
            case 0x19: // a name in another workbook
                size = 6;
                break;
            default: // arrays and memory areas (data after the tokens), other sheets' references
                return false;
            }
        } else {
            return false;
        }
        at += 1 + size;
    }
    return at == out.size();
}

} // namespace workbookfile
