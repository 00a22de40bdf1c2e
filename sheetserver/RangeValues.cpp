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

void checkSize(const CellArea& area, const char* use = "write") {
    if (static_cast<long long>(area.rows) * area.columns > maxBlockCells)
        throw ServerError{DISP_E_EXCEPTION, std::string("The range is too large to ") + use + " at once."};
}

// The spreadsheet's error values as automation returns them (CVErr codes in an SCODE).
SCODE errorCode(const std::string& text) {
    static const std::pair<const char*, LONG> codes[] = {
        {"#NULL!", 2000}, {"#DIV/0!", 2007}, {"#VALUE!", 2015},      {"#REF!", 2023},
        {"#NAME?", 2029}, {"#NUM!", 2036},   {"#GETTING_DATA", 2043}};
    LONG code = 2042; // #N/A, also for error texts not known here
    for (const auto& [name, value] : codes)
        if (text == name)
            code = value;
    return SCODE(0x800A0000u | ULONG(code));
}

void putCellValue(VARIANT& v, const workbookfile::CellInfo& cell) {
    VariantInit(&v);
    switch (cell.type) {
    case workbookfile::CellType::Empty:
        return;
    case workbookfile::CellType::Number:
        v.vt = VT_R8;
        v.dblVal = cell.number;
        return;
    case workbookfile::CellType::Boolean:
        v.vt = VT_BOOL;
        v.boolVal = cell.boolean ? VARIANT_TRUE : VARIANT_FALSE;
        return;
    case workbookfile::CellType::Error:
        v.vt = VT_ERROR;
        v.scode = errorCode(cell.text);
        return;
    case workbookfile::CellType::Text:
    case workbookfile::CellType::Formula: {
        const std::u16string text =
            workbookfile::toUtf16((cell.type == workbookfile::CellType::Formula ? "=" : "") + cell.text);
        BSTR s = SysAllocStringLen(text.data(), UINT(text.size()));
        if (!s)
            throw std::bad_alloc();
        v.vt = VT_BSTR;
        v.bstrVal = s;
        return;
    }
    }
}
} // namespace

void returnCellValues(VARIANT* result, const workbookfile::Worksheet& sheet, const CellArea& area) {
    if (!result)
        return;
    if (area.rows == 1 && area.columns == 1) {
        putCellValue(*result, sheet.cell(area.firstRow, area.firstColumn));
        return;
    }
    checkSize(area, "read");
    SAFEARRAYBOUND bounds[2] = {{ULONG(area.rows), 1}, {ULONG(area.columns), 1}};
    SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, 2, bounds);
    if (!array)
        throw std::bad_alloc();
    try {
        for (int r = 0; r < area.rows; ++r) {
            for (int c = 0; c < area.columns; ++c) {
                VARIANT v;
                putCellValue(v, sheet.cell(area.firstRow + r, area.firstColumn + c));
                LONG indices[2] = {LONG(r + 1), LONG(c + 1)};
                const HRESULT put = SafeArrayPutElement(array, indices, &v);
                VariantClear(&v);
                if (FAILED(put))
                    throw std::bad_alloc();
            }
        }
    } catch (...) {
        SafeArrayDestroy(array);
        throw;
    }
    result->vt = VT_ARRAY | VT_VARIANT;
    result->parray = array;
}

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
