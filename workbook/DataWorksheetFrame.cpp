#include "DataWorksheetFrame.h"

#include "BlockWrite.h"
#include "ConversionObserver.h"
#include "ExcelCom.h"
#include "ExcelWrite.h"
#include "PvxModel.h"

#include <algorithm>

HeadingLine timestepHeadings(const QList<double>& serials, const QString& dateFormat, bool down) {
    return HeadingLine{down ? VariantBlock::dateColumn(serials) : VariantBlock::dateRow(serials), dateFormat};
}

HeadingLine labelHeadings(const QStringList& labels, bool down) {
    return HeadingLine{down ? VariantBlock::textColumn(labels) : VariantBlock::textRow(labels), QString()};
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
    for (int sheet = 0; sheet < plan.worksheetNames.size(); ++sheet) {
        if (stopped())
            return ExcelWrite::stoppedMessage();
        const QString& name = plan.worksheetNames.at(sheet);
        if (plan.observer)
            plan.observer->writingWorksheet(name, valuesPerSheet * sheet, valuesInAll);
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
        VariantBlock data(dataRows, dataColumns);
        plan.fillData(sheet, data);
        if (!writeBlock(connection, workbookPath, name, 2, 2, data, false, QString(), errMsg))
            return connectionFailure(connection, errMsg);
        // A worksheet the conversion added shows its headings whole and keeps them in view.
        if (!connection.layOutNewWorksheet(workbookPath, name, 1, 1, errMsg))
            return connectionFailure(connection, errMsg);
    }

    if (stopped())
        return ExcelWrite::stoppedMessage();
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

void placeSeries(VariantBlock& data, bool timestepsDown, int line, const QList<double>& values, int count) {
    const int placed = std::min(count, static_cast<int>(values.size()));
    for (int t = 0; t < placed; ++t) {
        if (timestepsDown)
            data.setValue(t + 1, line, values.at(t));
        else
            data.setValue(line, t + 1, values.at(t));
    }
}
