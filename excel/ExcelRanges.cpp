#include "ExcelCom.h"

#include "ExcelComResults.h"
#include "ExcelComText.h"

namespace {
// Upper bound of one dimension of the block; a bound that cannot be read counts as 1.
LONG blockExtent(const VARIANT* values, UINT dimension) {
    LONG bound = 1;
    if (!values || !(values->vt & VT_ARRAY) || !values->parray)
        return 1;
    if (FAILED(SafeArrayGetUBound(values->parray, dimension, &bound)))
        return 1;
    return bound;
}
} // namespace

IDispatch* ExcelCom::rangeAt(int row, int column, LONG rows, LONG columns, const QString& cellMissing,
                             const QString& rangeMissing, QString& errMsg) {
    VARIANT result;
    VariantInit(&result);
    IDispatch* firstCell =
        takeDispatch(comCallWrap(errMsg, DISPATCH_PROPERTYGET, &result, _worksheet, OLESTR("Cells"), 2,
                                 excelComInteger(row), excelComInteger(column)),
                     result, errMsg);
    if (!firstCell) {
        errMsg += cellMissing;
        return nullptr;
    }
    VariantInit(&result);
    IDispatch* range =
        takeDispatch(comCallWrap(errMsg, DISPATCH_PROPERTYGET, &result, firstCell, OLESTR("Resize"), 2,
                                 excelComInteger(rows), excelComInteger(columns)),
                     result, errMsg);
    releaseDispatch(firstCell);
    if (!range)
        errMsg += rangeMissing;
    return range;
}

bool ExcelCom::writeRange(const QString& workbookPath, const QString& worksheetName, int row, int column,
                          VARIANT* values, bool bold, const QString& numberFormat, QString& errMsg) {
    forgetFailureCauses();
    if (!openWorksheet(workbookPath, worksheetName, errMsg, true))
        return false;
    // Made first, so that a failed allocation leaves no range held.
    const TextArgument format(numberFormat);

    const QString where = QStringLiteral(" in worksheet ") + quoted(_worksheetName) +
                          QStringLiteral(" of workbook ") + quoted(_workbookPath);
    IDispatch* range = rangeAt(row, column, blockExtent(values, 1), blockExtent(values, 2),
                               QStringLiteral(" First cell in write range could not be found ") + where,
                               QStringLiteral(" The write range could not be found ") + where, errMsg);
    if (!range)
        return false;

    // The caller's block goes over unchanged and stays the caller's.
    VARIANT result;
    VARIANT block;
    VariantInit(&block);
    if (values)
        block = *values;
    if (!comCallWrap(errMsg, DISPATCH_PROPERTYPUT, nullptr, range, OLESTR("Value"), 1, block)) {
        errMsg += QStringLiteral(" Could not write values to the write range ") + where;
        releaseDispatch(range);
        return false;
    }

    // Formatting is a nicety: its failures leave the values written.
    QString ignored;
    if (bold) {
        VariantInit(&result);
        IDispatch* font = takeDispatch(
            comCallWrap(ignored, DISPATCH_PROPERTYGET, &result, range, OLESTR("Font"), 0), result, ignored);
        if (font) {
            comCallWrap(ignored, DISPATCH_PROPERTYPUT, nullptr, font, OLESTR("Bold"), 1, excelComInteger(1));
            releaseDispatch(font);
        }
    }
    if (!numberFormat.isEmpty()) {
        comCallWrap(ignored, DISPATCH_PROPERTYPUT, nullptr, range, OLESTR("NumberFormat"), 1,
                    format.variant());
    }

    releaseDispatch(range);
    return true;
}

bool ExcelCom::clearWorksheet(const QString& workbookPath, const QString& worksheetName, QString& errMsg) {
    forgetFailureCauses();
    // A workbook or worksheet that does not exist yet has nothing to clear; the caller's
    // next write repeats the failed step, which replaces what errMsg now holds.
    if (!openWorksheet(workbookPath, worksheetName, errMsg, false))
        return true;

    VARIANT result;
    VariantInit(&result);
    IDispatch* cells = takeDispatch(
        comCallWrap(errMsg, DISPATCH_PROPERTYGET, &result, _worksheet, OLESTR("Cells"), 0), result, errMsg);
    if (!cells) {
        errMsg += QStringLiteral(" Cells could not be found for worksheet ") + quoted(_worksheetName) +
                  QStringLiteral(" of workbook ") + quoted(_workbookPath);
        return false;
    }
    QString ignored;
    comCallWrap(ignored, DISPATCH_METHOD, nullptr, cells, OLESTR("Clear"), 0);
    releaseDispatch(cells);
    return true;
}

bool ExcelCom::readRange(const QString& workbookPath, const QString& worksheetName, int row, int column,
                         int rows, int columns, VARIANT* values, QString& errMsg) {
    forgetFailureCauses();
    VariantInit(values);
    // A worksheet that does not exist yet holds nothing; the caller's next write repeats the
    // failed step, which replaces what errMsg now holds.
    if (!openWorksheet(workbookPath, worksheetName, errMsg, false))
        return true;
    const QString where = QStringLiteral(" in worksheet ") + quoted(_worksheetName) +
                          QStringLiteral(" of workbook ") + quoted(_workbookPath);
    const QString missing = QStringLiteral(" The range to read could not be found ") + where;
    IDispatch* range = rangeAt(row, column, rows, columns, missing, missing, errMsg);
    if (!range)
        return false;
    const bool read = comCallWrap(errMsg, DISPATCH_PROPERTYGET, values, range, OLESTR("Value2"), 0);
    if (!read)
        errMsg += QStringLiteral(" Could not read the values of the range ") + where;
    releaseDispatch(range);
    return read;
}
