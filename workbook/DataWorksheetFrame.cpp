#include "DataWorksheetFrame.h"

#include "BlockWrite.h"
#include "ConversionObserver.h"
#include "ExcelCom.h"
#include "ExcelWrite.h"
#include "LeftoverCells.h"
#include "PvxModel.h"
#include "SelectionPlaces.h"

#include <algorithm>

HeadingLine timestepHeadings(const QList<double>& serials, const QString& dateFormat, bool down) {
    return HeadingLine{down ? VariantBlock::dateColumn(serials) : VariantBlock::dateRow(serials), dateFormat,
                       QStringList()};
}

HeadingLine labelHeadings(const QStringList& labels, bool down, bool mustStand) {
    return HeadingLine{down ? VariantBlock::textColumn(labels) : VariantBlock::textRow(labels), QString(),
                       mustStand ? labels : QStringList()};
}

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
    if (const WriteStatus status = checkSelectionPlaces(connection, workbookPath, plan); !status.isEmpty())
        return status;
    for (int sheet = 0; sheet < plan.worksheetNames.size(); ++sheet) {
        if (stopped())
            return ExcelWrite::stoppedMessage();
        const QString& name = plan.worksheetNames.at(sheet);
        if (plan.observer)
            plan.observer->writingWorksheet(name, valuesPerSheet * sheet, valuesInAll);
        if (plan.leftovers)
            if (const QString found =
                    leftoverCellBeside(connection, workbookPath, name, dataRows, dataColumns);
                !found.isEmpty())
                plan.leftovers->append(found);
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
