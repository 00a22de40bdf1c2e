#include "ExcelCom.h"

#include "ExcelComResults.h"
#include "ExcelComText.h"

namespace {
// Cells.Columns.AutoFit: every column widened to what it shows.
void fitColumns(ExcelCom& com, IDispatch* worksheet) {
    QString ignored;
    VARIANT result;
    VariantInit(&result);
    IDispatch* cells =
        takeDispatch(com.comCallWrap(ignored, DISPATCH_PROPERTYGET, &result, worksheet, OLESTR("Cells"), 0),
                     result, ignored);
    if (!cells)
        return;
    VariantInit(&result);
    IDispatch* columns =
        takeDispatch(com.comCallWrap(ignored, DISPATCH_PROPERTYGET, &result, cells, OLESTR("Columns"), 0),
                     result, ignored);
    releaseDispatch(cells);
    if (!columns)
        return;
    VariantInit(&result);
    com.comCallWrap(ignored, DISPATCH_METHOD, &result, columns, OLESTR("AutoFit"), 0);
    VariantClear(&result);
    releaseDispatch(columns);
}

// Freezing works on the application's window of the active worksheet: split, then freeze.
void freezeHeadings(ExcelCom& com, IDispatch* application, IDispatch* worksheet, int rows, int columns) {
    QString ignored;
    VARIANT result;
    VariantInit(&result);
    com.comCallWrap(ignored, DISPATCH_METHOD, &result, worksheet, OLESTR("Activate"), 0);
    VariantClear(&result);
    VariantInit(&result);
    IDispatch* window = takeDispatch(
        com.comCallWrap(ignored, DISPATCH_PROPERTYGET, &result, application, OLESTR("ActiveWindow"), 0),
        result, ignored);
    if (!window)
        return;
    com.comCallWrap(ignored, DISPATCH_PROPERTYPUT, nullptr, window, OLESTR("SplitRow"), 1,
                    excelComInteger(rows));
    com.comCallWrap(ignored, DISPATCH_PROPERTYPUT, nullptr, window, OLESTR("SplitColumn"), 1,
                    excelComInteger(columns));
    com.comCallWrap(ignored, DISPATCH_PROPERTYPUT, nullptr, window, OLESTR("FreezePanes"), 1,
                    excelComInteger(1));
    releaseDispatch(window);
}
} // namespace

bool ExcelCom::layOutNewWorksheet(const QString& workbookPath, const QString& worksheetName, int headingRows,
                                  int headingColumns, QString& errMsg) {
    forgetFailureCauses();
    if (workbookPath != _workbookPath || !_addedWorksheets.contains(worksheetName))
        return true;
    if (!openWorksheet(workbookPath, worksheetName, errMsg, false))
        return false;
    fitColumns(*this, _worksheet);
    if (headingRows > 0 || headingColumns > 0)
        freezeHeadings(*this, _application, _worksheet, headingRows, headingColumns);
    return true;
}
