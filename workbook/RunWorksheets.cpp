#include "ExcelWrite.h"

#include "DataWorksheetFrame.h"
#include "PvxModel.h"
#include "SelectionPlaces.h"

// One worksheet per run: timesteps down and slots across (slots on columns), or the
// other way round (slots on rows).
WriteStatus ExcelWrite::writeRunWorksheets(ExcelCom& connection, const PvxPackage& package) {
    if (slotRole != Rows && slotRole != Columns)
        return QStringLiteral("Unknown worksheet orientation set");
    const bool slotsDown = slotRole == Rows;

    const HeadingLine slotHeadings = labelHeadings(slotLabels, slotsDown, selectionLeavesSomeOut(package));
    const HeadingLine stepHeadings = timestepHeadings(timestepSerials, dateNumberFormat, !slotsDown);
    const QList<int> series = seriesSlotIndices(package, slotLabels.size());
    const int timestepCount = static_cast<int>(timestepSerials.size());

    DataWorksheetPlan plan = newPlan();
    plan.worksheetNames = runLabels;
    plan.rowHeadings = slotsDown ? &slotHeadings : &stepHeadings;
    plan.columnHeadings = slotsDown ? &stepHeadings : &slotHeadings;
    plan.rowHeadingsFirst = slotsDown;
    plan.fillCorner = [this](int run, VariantBlock& corner) { corner.setText(1, 1, runLabels.at(run)); };
    plan.fillData = [&](int run, VariantBlock& data, int firstRow) {
        for (int k = 0; k < series.size(); ++k)
            placeSeries(data, !slotsDown, k + 1, package.columnValues(run, series.at(k), 0), timestepCount,
                        firstRow);
    };
    return writeDataWorksheets(connection, workbookPath, plan);
}
