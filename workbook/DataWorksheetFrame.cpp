#include "DataWorksheetFrame.h"

#include "BlockWrite.h"
#include "ConversionObserver.h"
#include "ExcelCom.h"
#include "ExcelWrite.h"
#include "PvxModel.h"

#include <algorithm>

HeadingLine timestepHeadings(const QList<double>& serials, const QString& dateFormat, bool down) {
    return HeadingLine{down ? VariantBlock::dateColumn(serials) : VariantBlock::dateRow(serials), dateFormat,
                       QStringList()};
}

HeadingLine labelHeadings(const QStringList& labels, bool down, bool selectsSome) {
    return HeadingLine{down ? VariantBlock::textColumn(labels) : VariantBlock::textRow(labels), QString(),
                       selectsSome ? labels : QStringList()};
}

bool selectsSomeRuns(const PvxPackage& package) {
    return !package.runNumbers.isEmpty() && package.runNumbers.size() < package.fileRunCount;
}

bool selectsSomeSlots(const PvxPackage& package) {
    return !package.seriesNumbers.isEmpty() &&
           package.seriesNumbers.size() < package.fileSeriesObjects.size();
}

namespace {
QString cellReference(int row, int column) {
    QString letters;
    for (int c = column; c > 0; c = (c - 1) / 26)
        letters.prepend(QChar(u'A' + (c - 1) % 26));
    return letters + QString::number(row);
}

// What a cell that Value2 gave holds, as the text a label is compared with; the empty text for
// an empty cell.
QString cellText(const VARIANT& cell, bool& isText) {
    isText = cell.vt == VT_BSTR;
    if (cell.vt == VT_BSTR)
        return cell.bstrVal ? QString::fromUtf16(reinterpret_cast<const char16_t*>(cell.bstrVal),
                                                 qsizetype(SysStringLen(cell.bstrVal)))
                            : QString();
    if (cell.vt == VT_R8)
        return QString::number(cell.dblVal, 'g', 17);
    if (cell.vt == VT_BOOL)
        return cell.boolVal != VARIANT_FALSE ? QStringLiteral("TRUE") : QStringLiteral("FALSE");
    if (cell.vt == VT_EMPTY)
        return QString();
    return QStringLiteral("an error value");
}

// A selection's labels go next to each other: in a worksheet made from more runs or slots their
// cells hold other labels, and the values written under them would stand under those.
WriteStatus checkSelectedLabels(ExcelCom& connection, const QString& workbookPath, const QString& worksheet,
                                const HeadingLine& headings, bool down) {
    const QStringList& labels = headings.selectedLabels;
    if (labels.isEmpty())
        return WriteStatus();
    // Row headings start at A2, column headings at B1.
    const int row = down ? 2 : 1;
    const int column = down ? 1 : 2;
    const int rows = down ? int(labels.size()) : 1;
    const int columns = down ? 1 : int(labels.size());
    VARIANT values;
    QString errMsg;
    if (!connection.readRange(workbookPath, worksheet, row, column, rows, columns, &values, errMsg))
        return connectionFailure(connection, errMsg);
    WriteStatus status;
    for (int k = 0; k < labels.size() && status.isEmpty(); ++k) {
        VARIANT cell;
        VariantInit(&cell);
        if (values.vt == (VT_ARRAY | VT_VARIANT)) {
            LONG indices[2] = {down ? LONG(k + 1) : 1, down ? 1 : LONG(k + 1)};
            SafeArrayGetElement(values.parray, indices, &cell);
        } else {
            VariantCopy(&cell, &values);
        }
        bool isText = false;
        const QString found = cellText(cell, isText);
        VariantClear(&cell);
        if (found.isEmpty() || found == labels.at(k))
            continue;
        status =
            QStringLiteral("Cannot write the selection into the worksheet \"%1\": its cell %2 holds %3 where "
                           "the selection puts \"%4\". A selection puts its runs and slots next to each "
                           "other, so its values would stand under other labels; convert the selection "
                           "into a new workbook, or the whole study into this one")
                .arg(worksheet, cellReference(down ? row + k : row, down ? column : column + k),
                     isText ? QLatin1Char('"') + found + QLatin1Char('"') : found, labels.at(k));
    }
    VariantClear(&values);
    return status;
}
} // namespace

WriteStatus writeDataWorksheets(ExcelCom& connection, const QString& workbookPath,
                                const DataWorksheetPlan& plan) {
    QString errMsg;
    const HeadingLine* firstHeadings = plan.rowHeadingsFirst ? plan.rowHeadings : plan.columnHeadings;
    const HeadingLine* secondHeadings = plan.rowHeadingsFirst ? plan.columnHeadings : plan.rowHeadings;
    const auto headingPlace = [&](const HeadingLine* headings) {
        return headings == plan.rowHeadings ? std::make_pair(2, 1) : std::make_pair(1, 2);
    };
    const int dataRows = plan.rowHeadings->block->rows();
    const int dataColumns = plan.columnHeadings->block->columns();

    const auto stopped = [&] { return plan.stopRequested && plan.stopRequested(); };
    const qint64 valuesPerSheet = qint64(dataRows) * dataColumns;
    const qint64 valuesInAll = valuesPerSheet * plan.worksheetNames.size();
    // About a quarter of a second of writing a band: progress moves and a stop answers within
    // one worksheet of millions of values too.
    const int valuesPerBand = 1 << 18;
    const int bandRows = std::max(1, valuesPerBand / std::max(1, dataColumns));
    for (int sheet = 0; sheet < plan.worksheetNames.size(); ++sheet) {
        if (stopped())
            return ExcelWrite::stoppedMessage();
        const QString& name = plan.worksheetNames.at(sheet);
        if (plan.observer)
            plan.observer->writingWorksheet(name, valuesPerSheet * sheet, valuesInAll);
        for (const HeadingLine* headings : {plan.rowHeadings, plan.columnHeadings}) {
            if (const WriteStatus status = checkSelectedLabels(connection, workbookPath, name, *headings,
                                                               headings == plan.rowHeadings);
                !status.isEmpty())
                return status;
        }
        {
            VariantBlock corner(1, 1);
            plan.fillCorner(sheet, corner);
            if (!writeBlock(connection, workbookPath, name, 1, 1, corner, true, plan.cornerFormat, errMsg))
                return connectionFailure(connection, errMsg);
        }
        for (const HeadingLine* headings : {firstHeadings, secondHeadings}) {
            const auto place = headingPlace(headings);
            if (!writeBlock(connection, workbookPath, name, place.first, place.second, *headings->block, true,
                            headings->format, errMsg))
                return connectionFailure(connection, errMsg);
        }
        for (int firstRow = 1; firstRow <= dataRows; firstRow += bandRows) {
            if (firstRow > 1) {
                if (stopped())
                    return ExcelWrite::stoppedMessage();
                if (plan.observer)
                    plan.observer->writingWorksheet(
                        name, valuesPerSheet * sheet + qint64(firstRow - 1) * dataColumns, valuesInAll);
            }
            VariantBlock data(std::min(bandRows, dataRows - firstRow + 1), dataColumns);
            plan.fillData(sheet, data, firstRow);
            if (!writeBlock(connection, workbookPath, name, firstRow + 1, 2, data, false, QString(), errMsg))
                return connectionFailure(connection, errMsg);
        }
        // A worksheet the conversion added shows its headings whole and keeps them in view.
        if (!connection.layOutNewWorksheet(workbookPath, name, 1, 1, errMsg))
            return connectionFailure(connection, errMsg);
    }

    if (stopped())
        return ExcelWrite::stoppedMessage();
    if (plan.beforeSave)
        if (const WriteStatus status = plan.beforeSave(); !status.isEmpty())
            return status;
    if (plan.observer)
        plan.observer->saving(int(plan.worksheetNames.size()) + 1, valuesInAll);
    if (!connection.saveWorkbook(workbookPath, errMsg))
        return connectionFailure(connection, errMsg);
    return WriteStatus();
}

QList<int> seriesSlotIndices(const PvxPackage& package, qsizetype limit) {
    QList<int> indices;
    for (int s = 0; s < package.slotCount() && indices.size() < limit; ++s)
        if (package.slotAt(s).isSeries())
            indices.append(s);
    return indices;
}

void placeSeries(VariantBlock& data, bool timestepsDown, int line, const QList<double>& values, int count,
                 int firstRow) {
    const int placed = std::min(count, static_cast<int>(values.size()));
    if (timestepsDown) {
        const int last = std::min(placed, firstRow - 1 + data.rows());
        for (int t = firstRow - 1; t < last; ++t)
            data.setValue(t - firstRow + 2, line, values.at(t));
    } else if (rowInBand(data, line, firstRow)) {
        for (int t = 0; t < placed; ++t)
            data.setValue(line - firstRow + 1, t + 1, values.at(t));
    }
}
