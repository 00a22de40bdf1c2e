#include "ExcelWrite.h"

#include "DataWorksheetFrame.h"
#include "PvxModel.h"
#include "SelectionPlaces.h"

namespace {

// The value of one run and slot at timestep t, when the package holds one.
const double* heldValue(const PvxPackage& package, int run, int slot, int t) {
    if (run >= package.runs.size() || run >= package.values.size() || slot >= package.slotCount())
        return nullptr;
    if (t >= package.runs.at(run).timeSteps)
        return nullptr;
    const PvxPackage::RunValues& runValues = package.values.at(run);
    if (slot >= runValues.size() || runValues.at(slot).isEmpty())
        return nullptr;
    const PvxPackage::Column& column = runValues.at(slot).first();
    return t < column.size() ? &column.at(t) : nullptr;
}

} // namespace

// One worksheet per timestep: slots down and runs across (slots on rows), or the other
// way round (slots on columns). A value the package does not hold leaves its cell empty.
WriteStatus ExcelWrite::writeTimestepWorksheets(ExcelCom& connection, const PvxPackage& package) {
    if (slotRole != Rows && slotRole != Columns)
        return QStringLiteral("Unknown worksheet orientation set");
    const bool slotsDown = slotRole == Rows;

    const HeadingLine slotHeadings = labelHeadings(slotLabels, slotsDown, selectionLeavesSomeOut(package));
    const HeadingLine runHeadings = labelHeadings(runLabels, !slotsDown, selectionLeavesSomeOut(package));
    const QList<int> series = seriesSlotIndices(package, slotLabels.size());
    const int runCount = static_cast<int>(runLabels.size());

    DataWorksheetPlan plan = newPlan();
    plan.worksheetNames = timestepLabels.mid(0, timestepSerials.size());
    plan.cornerFormat = dateNumberFormat;
    plan.rowHeadings = slotsDown ? &slotHeadings : &runHeadings;
    plan.columnHeadings = slotsDown ? &runHeadings : &slotHeadings;
    plan.rowHeadingsFirst = slotsDown;
    plan.fillCorner = [this](int t, VariantBlock& corner) { corner.setDate(1, 1, timestepSerials.at(t)); };
    plan.fillData = [&](int t, VariantBlock& data, int firstRow) {
        for (int run = 0; run < runCount; ++run) {
            for (int k = 0; k < series.size(); ++k) {
                const int row = slotsDown ? k + 1 : run + 1;
                if (!rowInBand(data, row, firstRow))
                    continue;
                const double* value = heldValue(package, run, series.at(k), t);
                if (value == nullptr)
                    continue;
                data.setValue(row - firstRow + 1, slotsDown ? run + 1 : k + 1, *value);
            }
        }
    };
    return writeDataWorksheets(connection, workbookPath, plan);
}
