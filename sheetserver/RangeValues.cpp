#include "ServerObjects.h"

#include <algorithm>
#include <cstddef>
#include <cstring>

namespace {
// A Value put builds the whole block in memory first; beyond this it would not fit.
constexpr long long maxBlockCells = 1LL << 25;

// Text is always stored as text, never read as a number or a formula, whatever it looks like.
void setCell(workbookfile::ValueBlock& block, int row, int column, const VARIANT& given) {
    const VARIANT& v = (given.vt == (VT_BYREF | VT_VARIANT) && given.pvarVal) ? *given.pvarVal : given;
    switch (v.vt) {
    case VT_EMPTY:
    case VT_NULL:
        block.setEmpty(row, column);
        return;
    case VT_I2:
        block.setNumber(row, column, v.iVal);
        return;
    case VT_I4:
        block.setNumber(row, column, v.lVal);
        return;
    case VT_R4:
        block.setNumber(row, column, v.fltVal);
        return;
    case VT_R8:
        block.setNumber(row, column, v.dblVal);
        return;
    case VT_CY:
        block.setNumber(row, column, double(v.llVal) / 10000.0);
        return;
    case VT_DATE:
        block.setDate(row, column, v.date);
        return;
    case VT_BOOL:
        block.setBoolean(row, column, v.boolVal != VARIANT_FALSE);
        return;
    case VT_BSTR:
        block.setText(row, column,
                      v.bstrVal ? std::u16string_view(v.bstrVal, SysStringLen(v.bstrVal))
                                : std::u16string_view());
        return;
    default:
        throw ServerError{DISP_E_TYPEMISMATCH, "A cell cannot hold a value of this type."};
    }
}

char* slotAt(SAFEARRAY* array, LONG* indices) {
    void* slot = nullptr;
    if (FAILED(SafeArrayPtrOfIndex(array, indices, &slot)))
        throw ServerError{DISP_E_BADINDEX, "The array index is out of range."};
    return static_cast<char*>(slot);
}

// One element of an array of any element type, seen as a VARIANT that borrows its content.
VARIANT elementAt(const char* slot, VARTYPE elementType, ULONG elementSize) {
    if (elementType == VT_VARIANT)
        return *reinterpret_cast<const VARIANT*>(slot);
    VARIANT v;
    VariantInit(&v);
    v.vt = elementType;
    std::memcpy(&v.llVal, slot, elementSize);
    return v;
}

void checkSize(const CellArea& area) {
    if (static_cast<long long>(area.rows) * area.columns > maxBlockCells)
        throw ServerError{DISP_E_EXCEPTION, "The range is too large to write at once."};
}
} // namespace

workbookfile::ValueBlock emptyBlockFor(const CellArea& area) {
    checkSize(area);
    return workbookfile::ValueBlock(area.rows, area.columns);
}

workbookfile::ValueBlock valueBlockFor(const VARIANT& value, const CellArea& area) {
    checkSize(area);
    workbookfile::ValueBlock block(area.rows, area.columns);
    if (!(value.vt & VT_ARRAY)) {
        for (int r = 1; r <= area.rows; ++r) {
            for (int c = 1; c <= area.columns; ++c)
                setCell(block, r, c, value);
        }
        return block;
    }

    SAFEARRAY* array = (value.vt & VT_BYREF)
                           ? (value.byref ? *static_cast<SAFEARRAY**>(value.byref) : nullptr)
                           : value.parray;
    VARTYPE elementType = VT_EMPTY;
    if (!array || FAILED(SafeArrayGetVartype(array, &elementType)))
        throw ServerError{DISP_E_TYPEMISMATCH, "The value is no array."};
    const UINT dimensions = SafeArrayGetDim(array);
    if (dimensions < 1 || dimensions > 2)
        throw ServerError{DISP_E_TYPEMISMATCH, "Only one- and two-dimensional arrays can be written."};

    // Rows come first; a one-dimensional array is a single row. Cells of the range beyond
    // the array are left empty.
    LONG rowLower = 0, rowUpper = 0, columnLower = 0, columnUpper = 0;
    if (dimensions == 2) {
        SafeArrayGetLBound(array, 1, &rowLower);
        SafeArrayGetUBound(array, 1, &rowUpper);
        SafeArrayGetLBound(array, 2, &columnLower);
        SafeArrayGetUBound(array, 2, &columnUpper);
    } else {
        SafeArrayGetLBound(array, 1, &columnLower);
        SafeArrayGetUBound(array, 1, &columnUpper);
    }
    const long long arrayRows = static_cast<long long>(rowUpper) - rowLower + 1;
    const long long arrayColumns = static_cast<long long>(columnUpper) - columnLower + 1;
    const int rows = int(std::min<long long>(area.rows, arrayRows));
    const int columns = int(std::min<long long>(area.columns, arrayColumns));
    if (rows < 1 || columns < 1)
        return block;
    // The array's own index arithmetic gives the first element and the steps to the next row and
    // column once; the elements are then reached by those steps.
    auto slotOf = [&](LONG row, LONG column) {
        LONG indices[2] = {row, column};
        if (dimensions == 1)
            indices[0] = column;
        return slotAt(array, indices);
    };
    char* const first = slotOf(rowLower, columnLower);
    const std::ptrdiff_t rowStep = rows > 1 ? slotOf(rowLower + 1, columnLower) - first : 0;
    const std::ptrdiff_t columnStep = columns > 1 ? slotOf(rowLower, columnLower + 1) - first : 0;
    const ULONG elementSize = array->cbElements;
    for (int r = 1; r <= rows; ++r) {
        const char* const rowStart = first + (r - 1) * rowStep;
        for (int c = 1; c <= columns; ++c)
            setCell(block, r, c, elementAt(rowStart + (c - 1) * columnStep, elementType, elementSize));
    }
    return block;
}
