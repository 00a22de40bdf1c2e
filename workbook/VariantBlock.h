#pragma once

#include "OleAutomation.h"

#include <QList>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <memory>

// One block of cell values for a range write: a VARIANT holding a two-dimensional
// SAFEARRAY of VARIANT elements, rows first, both dimensions starting at 1. The block
// owns its array and every text in it; the destructor clears it. Texts go through the
// automation layer's text conversion, which throws ExcelComOutOfMemory when out of memory.
class VariantBlock {
public:
    VariantBlock(int rows, int columns);
    ~VariantBlock();

    VariantBlock(const VariantBlock&) = delete;
    VariantBlock& operator=(const VariantBlock&) = delete;

    int rows() const { return _rows; }
    int columns() const { return _columns; }

    // The block as the range write takes it; it stays owned by this object.
    VARIANT* variant() { return &_block; }

    // Row and column count from 1.
    void setText(int row, int column, const QString& text);
    void setNumber(int row, int column, double number);
    void setDate(int row, int column, double serial);
    void setInteger(int row, int column, qint32 number);
    // A finite value as a number, anything else as the text "NaN".
    void setValue(int row, int column, double value);

    // A heading line: one column of texts or dates (downwards) or one row (rightwards). Dates
    // travel as VT_DATE, so that the application puts them into the workbook's own date system.
    static std::unique_ptr<VariantBlock> textColumn(const QStringList& texts);
    static std::unique_ptr<VariantBlock> textRow(const QStringList& texts);
    static std::unique_ptr<VariantBlock> dateColumn(const QList<double>& serials);
    static std::unique_ptr<VariantBlock> dateRow(const QList<double>& serials);

private:
    VARIANT* element(int row, int column) {
        return reinterpret_cast<VARIANT*>(_first + (row - 1) * _rowStride + (column - 1) * _columnStride);
    }
    // The element emptied of whatever it held, ready to be filled.
    VARIANT* freshElement(int row, int column);

    VARIANT _block;
    int _rows;
    int _columns;
    char* _first = nullptr;
    std::ptrdiff_t _rowStride = 0;
    std::ptrdiff_t _columnStride = 0;
};
