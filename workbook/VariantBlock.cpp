#include "VariantBlock.h"

#include "ExcelComText.h"

#include <cmath>

VariantBlock::VariantBlock(int rows, int columns) : _rows(rows), _columns(columns) {
    VariantInit(&_block);
    SAFEARRAYBOUND bounds[2];
    bounds[0].cElements = static_cast<ULONG>(rows);
    bounds[0].lLbound = 1;
    bounds[1].cElements = static_cast<ULONG>(columns);
    bounds[1].lLbound = 1;
    SAFEARRAY* array = SafeArrayCreate(VT_VARIANT, 2, bounds);
    if (array == nullptr)
        throw ExcelComOutOfMemory();
    _block.vt = VT_ARRAY | VT_VARIANT;
    _block.parray = array;

    // Elements are filled in place; the memory order of the array is the automation
    // library's, so the distance between neighbours is asked for rather than assumed.
    if (rows <= 0 || columns <= 0)
        return;
    LONG index[2] = {1, 1};
    void* address = nullptr;
    SafeArrayPtrOfIndex(array, index, &address);
    _first = static_cast<char*>(address);
    if (rows > 1) {
        index[0] = 2;
        SafeArrayPtrOfIndex(array, index, &address);
        _rowStride = static_cast<char*>(address) - _first;
        index[0] = 1;
    }
    if (columns > 1) {
        index[1] = 2;
        SafeArrayPtrOfIndex(array, index, &address);
        _columnStride = static_cast<char*>(address) - _first;
    }
}

VariantBlock::~VariantBlock() {
    VariantClear(&_block);
}

VARIANT* VariantBlock::freshElement(int row, int column) {
    VARIANT* cell = element(row, column);
    if (cell->vt != VT_EMPTY)
        VariantClear(cell);
    return cell;
}

void VariantBlock::setText(int row, int column, const QString& text) {
    const VARIANT value = excelComText(text);
    *freshElement(row, column) = value;
}

void VariantBlock::setNumber(int row, int column, double number) {
    VARIANT* cell = freshElement(row, column);
    cell->vt = VT_R8;
    cell->dblVal = number;
}

void VariantBlock::setDate(int row, int column, double serial) {
    VARIANT* cell = freshElement(row, column);
    cell->vt = VT_DATE;
    cell->date = serial;
}

void VariantBlock::setInteger(int row, int column, qint32 number) {
    VARIANT* cell = freshElement(row, column);
    cell->vt = VT_I4;
    cell->lVal = number;
}

void VariantBlock::setValue(int row, int column, double value) {
    if (std::isfinite(value))
        setNumber(row, column, value);
    else
        setText(row, column, QStringLiteral("NaN"));
}

std::unique_ptr<VariantBlock> VariantBlock::textColumn(const QStringList& texts) {
    auto block = std::make_unique<VariantBlock>(static_cast<int>(texts.size()), 1);
    for (int i = 0; i < texts.size(); ++i)
        block->setText(i + 1, 1, texts.at(i));
    return block;
}

std::unique_ptr<VariantBlock> VariantBlock::textRow(const QStringList& texts) {
    auto block = std::make_unique<VariantBlock>(1, static_cast<int>(texts.size()));
    for (int i = 0; i < texts.size(); ++i)
        block->setText(1, i + 1, texts.at(i));
    return block;
}

std::unique_ptr<VariantBlock> VariantBlock::dateColumn(const QList<double>& serials) {
    auto block = std::make_unique<VariantBlock>(static_cast<int>(serials.size()), 1);
    for (int i = 0; i < serials.size(); ++i)
        block->setDate(i + 1, 1, serials.at(i));
    return block;
}

std::unique_ptr<VariantBlock> VariantBlock::dateRow(const QList<double>& serials) {
    auto block = std::make_unique<VariantBlock>(1, static_cast<int>(serials.size()));
    for (int i = 0; i < serials.size(); ++i)
        block->setDate(1, i + 1, serials.at(i));
    return block;
}
