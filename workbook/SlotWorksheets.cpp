#include "ExcelWrite.h"

#include "DataWorksheetFrame.h"
#include "PvxModel.h"
#include "SelectionPlaces.h"
#include "SlotWorksheetNames.h"

// One worksheet per series slot: timesteps down and runs across (runs on columns), or
// the other way round (runs on rows).
WriteStatus ExcelWrite::writeSlotWorksheets(ExcelCom& connection, const PvxPackage& package) {
    if (runRole != Rows && runRole != Columns)
        return QStringLiteral("Unknown worksheet orientation set");
    const bool runsDown = runRole == Rows;

    const HeadingLine runHeadings = labelHeadings(runLabels, runsDown, selectionLeavesSomeOut(package));
    const HeadingLine stepHeadings = timestepHeadings(timestepSerials, dateNumberFormat, !runsDown);
    const QList<int> series = seriesSlotIndices(package, slotLabels.size());
    const int timestepCount = static_cast<int>(timestepSerials.size());
    const int runCount = static_cast<int>(runLabels.size());

    DataWorksheetPlan plan = newPlan();
    if (package.seriesNumbers.isEmpty()) {
        plan.worksheetNames = slotWorksheetNames(slotLabels, slotIndexLabels).mid(0, series.size());
    } else {
        // Names made distinct over the whole study, so each matches a whole-study conversion's.
        const QStringList fileNames = slotWorksheetNames(fileSeriesLabels(package, slotLabelPreference),
                                                         fileSeriesLabels(package, Index));
        for (int k = 0; k < series.size(); ++k)
            plan.worksheetNames.append(fileNames.value(package.seriesNumber(k)));
    }
    plan.rowHeadings = runsDown ? &runHeadings : &stepHeadings;
    plan.columnHeadings = runsDown ? &stepHeadings : &runHeadings;
    plan.rowHeadingsFirst = runsDown;
    plan.fillCorner = [this](int k, VariantBlock& corner) { corner.setText(1, 1, fullSlotNames.at(k)); };
    plan.fillData = [&](int k, VariantBlock& data, int firstRow) {
        for (int run = 0; run < runCount; ++run)
            placeSeries(data, !runsDown, run + 1, package.columnValues(run, series.at(k), 0), timestepCount,
                        firstRow);
    };
    return writeDataWorksheets(connection, workbookPath, plan);
}
