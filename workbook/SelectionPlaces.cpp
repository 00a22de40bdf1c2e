#include "SelectionPlaces.h"

#include "BlockWrite.h"
#include "CellReference.h"
#include "DataWorksheetFrame.h"
#include "ExcelCom.h"
#include "ExcelWrite.h"
#include "PvxModel.h"

#include <QLocale>

namespace {
// What a cell that Value2 gave holds, as the message shows it: texts in quotation marks, the
// empty text for an empty cell.
QString shownValue(const VARIANT& cell) {
    switch (cell.vt) {
    case VT_EMPTY:
        return QString();
    case VT_BSTR:
        return QLatin1Char('"') +
               (cell.bstrVal ? QString::fromUtf16(reinterpret_cast<const char16_t*>(cell.bstrVal),
                                                  qsizetype(SysStringLen(cell.bstrVal)))
                             : QString()) +
               QLatin1Char('"');
    case VT_R8:
        return QString::number(cell.dblVal, 'g', QLocale::FloatingPointShortest);
    case VT_BOOL:
        return cell.boolVal != VARIANT_FALSE ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    default:
        return QStringLiteral("an error value");
    }
}

WriteStatus checkLabels(ExcelCom& connection, const QString& workbookPath, const QString& worksheet,
                        const HeadingLine& headings, bool down) {
    const QStringList& labels = headings.labelsThatMustStand;
    if (labels.isEmpty())
        return WriteStatus();
    // Row headings start at A2, column headings at B1.
    const int row = down ? 2 : 1;
    const int column = down ? 1 : 2;
    const int count = int(labels.size());
    VARIANT values;
    QString errMsg;
    if (!connection.readRange(workbookPath, worksheet, row, column, down ? count : 1, down ? 1 : count,
                              &values, errMsg))
        return connectionFailure(connection, errMsg);
    WriteStatus status;
    for (int k = 0; k < count && status.isEmpty(); ++k) {
        const QString where = cellReference(down ? row + k : row, down ? column : column + k);
        VARIANT cell;
        VariantInit(&cell);
        HRESULT read = S_OK;
        if (values.vt == (VT_ARRAY | VT_VARIANT)) {
            LONG indices[2] = {down ? LONG(k + 1) : 1, down ? 1 : LONG(k + 1)};
            read = SafeArrayGetDim(values.parray) == 2 ? SafeArrayGetElement(values.parray, indices, &cell)
                                                       : E_INVALIDARG;
        } else if (count == 1 || values.vt == VT_EMPTY) {
            read = VariantCopy(&cell, &values);
        } else {
            read = E_INVALIDARG;
        }
        const QString found = SUCCEEDED(read) ? shownValue(cell) : QString();
        VariantClear(&cell);
        if (FAILED(read))
            status =
                QStringLiteral("Cannot read the labels of the worksheet \"%1\" (cell %2) to check where the "
                               "selection goes")
                    .arg(worksheet, where);
        else if (!found.isEmpty() && found != QLatin1Char('"') + labels.at(k) + QLatin1Char('"'))
            status =
                QStringLiteral("Cannot write the selection into the worksheet \"%1\": its cell %2 holds %3 "
                               "where the selection puts \"%4\". A selection puts its runs and slots next "
                               "to each other, and this worksheet was made from other ones, in another "
                               "arrangement or with other labels (-n), so its values would stand under "
                               "other labels; convert the selection into a new workbook, or the whole "
                               "study into this one")
                    .arg(worksheet, where, found, labels.at(k));
    }
    VariantClear(&values);
    return status;
}
} // namespace

bool selectionLeavesSomeOut(const PvxPackage& package) {
    return (!package.runNumbers.isEmpty() && package.runNumbers.size() < package.fileRunCount) ||
           (!package.seriesNumbers.isEmpty() &&
            package.seriesNumbers.size() < package.fileSeriesObjects.size());
}

WriteStatus checkSelectionPlaces(ExcelCom& connection, const QString& workbookPath,
                                 const DataWorksheetPlan& plan) {
    if (plan.rowHeadings->labelsThatMustStand.isEmpty() && plan.columnHeadings->labelsThatMustStand.isEmpty())
        return WriteStatus();
    for (const QString& name : plan.worksheetNames) {
        if (plan.stopRequested && plan.stopRequested())
            return ExcelWrite::stoppedMessage();
        for (const HeadingLine* headings : {plan.rowHeadings, plan.columnHeadings})
            if (const WriteStatus status =
                    checkLabels(connection, workbookPath, name, *headings, headings == plan.rowHeadings);
                !status.isEmpty())
                return status;
    }
    return WriteStatus();
}
