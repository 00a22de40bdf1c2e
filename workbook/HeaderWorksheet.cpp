#include "ExcelWrite.h"

#include "BlockWrite.h"
#include "ExcelCom.h"
#include "PvxDateTime.h"
#include "PvxModel.h"
#include "ValueBlock.h"

#include <memory>

namespace {

const QString headerSheet = QStringLiteral("Header");

} // namespace

WriteStatus ExcelWrite::writeHeaderWorksheet(ExcelCom& connection, const PvxPackage& package) {
    QString errMsg;
    if (!connection.clearWorksheet(workbookPath, headerSheet, errMsg))
        return connectionFailure(connection, errMsg);

    const bool withShortNames = slotLabelPreference == Short;
    QStringList slotHeadingTexts = {QStringLiteral("Slot #"),      QStringLiteral("Object Type"),
                                    QStringLiteral("Object Name"), QStringLiteral("Slot Name"),
                                    QStringLiteral("Units"),       QStringLiteral("Scale"),
                                    QStringLiteral("Method")};
    if (withShortNames)
        slotHeadingTexts.append(QStringLiteral("Short Slot Name"));

    const auto packageHeadings =
        ValueBlock::textRow({QStringLiteral("Name"), QStringLiteral("Owner"), QStringLiteral("Description"),
                             QStringLiteral("Creation Date"), QStringLiteral("Number Of Runs"),
                             QStringLiteral("Number Of Slots"), QStringLiteral("Number Of Timesteps")});
    const auto runHeadings = ValueBlock::textRow(
        {QStringLiteral("Run #"), QStringLiteral("Start"), QStringLiteral("End"),
         QStringLiteral("Timestep Unit"), QStringLiteral("Unit Quantity"), QStringLiteral("Timesteps"),
         QStringLiteral("Consecutive"), QStringLiteral("Index Sequential"), QStringLiteral("Rule Set"),
         QStringLiteral("Slot Set")});
    const auto slotHeadings = ValueBlock::textRow(slotHeadingTexts);
    const auto timestepHeadings = ValueBlock::textRow({QStringLiteral("Time #"), QStringLiteral("Time")});

    const int runCount = package.numberOfRuns > 0 ? package.numberOfRuns : 0;
    ValueBlock runNumbers(runCount, 1);
    ValueBlock runDates(runCount, 2);
    ValueBlock runDetails(runCount, 7);

    runLabels.clear();
    slotIndexLabels.clear();
    slotLabels.clear();
    shortSlotNames.clear();
    fullSlotNames.clear();
    timestepLabels.clear();
    timestepSerials.clear();
    dateNumberFormat.clear();

    qint32 timestepCount = 0;
    double startSerial = 0.0;
    double endSerial = 0.0;
    std::unique_ptr<ValueBlock> timeNumbers = std::make_unique<ValueBlock>(0, 1);
    std::unique_ptr<ValueBlock> timeDates = std::make_unique<ValueBlock>(0, 1);
    std::unique_ptr<ValueBlock> slotRows = std::make_unique<ValueBlock>(0, 8);

    for (int r = 0; r < runCount; ++r) {
        const int row = r + 1;
        runLabels.append(QStringLiteral("Run%1").arg(r));
        runNumbers.setText(row, 1, runLabels.last());

        const PvxRun& run = package.runAt(r);
        const PvxRun& firstRun = package.runAt(0);
        if (r == 0) {
            startSerial = excelDateSerial(run.start);
            endSerial = excelDateSerial(run.end);
        } else if (run.start != firstRun.start || run.end != firstRun.end) {
            return QStringLiteral("Run date ranges don't all match");
        }

        runDates.setDate(row, 1, startSerial);
        runDates.setDate(row, 2, endSerial);
        runDetails.setText(row, 1, run.timeStepUnit);
        runDetails.setInteger(row, 2, run.unitQuantity);
        runDetails.setInteger(row, 3, run.timeSteps);
        runDetails.setInteger(row, 4, run.consecutive);
        runDetails.setInteger(row, 5, run.idxSequential);
        runDetails.setText(row, 6, run.ruleSet);
        runDetails.setText(row, 7, run.slotSet);

        if (r != 0) {
            if (run.timeSteps != firstRun.timeSteps)
                return QStringLiteral("Number of timesteps in runs don't all match");
            continue;
        }

        // The first run supplies the time axis and the slots of the whole workbook.
        timestepCount = run.timeSteps;
        const int timestampCount = static_cast<int>(run.timestamps.size());
        timeNumbers = std::make_unique<ValueBlock>(timestampCount, 1);
        timeDates = std::make_unique<ValueBlock>(timestampCount, 1);
        for (int t = 0; t < timestampCount; ++t) {
            timestepLabels.append(QStringLiteral("Time%1").arg(t));
            timeNumbers->setText(t + 1, 1, timestepLabels.last());
            const double serial = excelDateSerial(parsePvxDateTime(run.timestamps.at(t)));
            timestepSerials.append(serial);
            timeDates->setDate(t + 1, 1, serial);
        }

        int seriesCount = 0;
        for (int s = 0; s < package.slotCount(); ++s)
            if (package.slotAt(s).isSeries())
                ++seriesCount;
        slotRows = std::make_unique<ValueBlock>(seriesCount, 8);
        int k = 0;
        for (int s = 0; s < package.slotCount(); ++s) {
            const PvxSlot& slot = package.slotAt(s);
            if (!slot.isSeries())
                continue;
            const QString fullName = slot.objectName + slot.slotName;
            fullSlotNames.append(fullName);
            const QString shortName = shortenSlotName(fullName);
            slotIndexLabels.append(QStringLiteral("Slot%1").arg(k));

            const int slotRow = k + 1;
            slotRows->setText(slotRow, 1, slotIndexLabels.last());
            slotRows->setText(slotRow, 2, slot.objectType);
            slotRows->setText(slotRow, 3, slot.objectName);
            slotRows->setText(slotRow, 4, slot.slotName);
            // A slot without a column header leaves its header cells empty.
            if (!slot.units.isEmpty())
                slotRows->setText(slotRow, 5, slot.units.first());
            if (!slot.scales.isEmpty())
                slotRows->setNumber(slotRow, 6, slot.scales.first());
            if (!slot.methods.isEmpty())
                slotRows->setText(slotRow, 7, slot.methods.first());
            if (withShortNames)
                slotRows->setText(slotRow, 8, shortName);
            ++k;
        }

        switch (slotLabelPreference) {
        case Index:
            slotLabels = slotIndexLabels;
            break;
        case Short:
            slotLabels = shortSlotNames;
            break;
        case Full:
            slotLabels = fullSlotNames;
            break;
        default:
            return QStringLiteral("Slot name preference not supported.");
        }
    }

    dateNumberFormat = dateNumberFormatFor(timestepSerials);

    ValueBlock packageValues(1, 7);
    packageValues.setText(1, 1, package.name);
    packageValues.setText(1, 2, package.owner);
    packageValues.setText(1, 3, package.description);
    packageValues.setText(1, 4, package.createDate.toString(QStringLiteral("yyyy-MM-d h:mm")));
    packageValues.setInteger(1, 5, package.numberOfRuns);
    packageValues.setInteger(1, 6, slotRows->rows());
    packageValues.setInteger(1, 7, timestepCount);

    const int runRows = runNumbers.rows();
    const int slotCount = slotRows->rows();
    const QString noFormat;
    struct Placement {
        ValueBlock* block;
        int row;
        int column;
        bool bold;
        const QString& format;
    };
    const Placement placements[] = {
        {packageHeadings.get(), 1, 1, true, noFormat},
        {&packageValues, 2, 1, false, noFormat},
        {runHeadings.get(), 3, 1, true, noFormat},
        {&runNumbers, 4, 1, false, noFormat},
        {&runDates, 4, 2, false, dateNumberFormat},
        {&runDetails, 4, 4, false, noFormat},
        {slotHeadings.get(), runRows + 4, 1, true, noFormat},
        {slotRows.get(), runRows + 5, 1, false, noFormat},
        {timestepHeadings.get(), runRows + 5 + slotCount, 1, true, noFormat},
        {timeNumbers.get(), runRows + 6 + slotCount, 1, false, noFormat},
        {timeDates.get(), runRows + 6 + slotCount, 2, false, dateNumberFormat},
    };
    for (const Placement& placement : placements) {
        if (!writeBlock(connection, workbookPath, headerSheet, placement.row, placement.column,
                        *placement.block, placement.bold, placement.format, errMsg))
            return connectionFailure(connection, errMsg);
    }
    // Not saved here: the data worksheets' save at the end takes the whole conversion to the
    // file at once, so a failure in between leaves the workbook as it was.
    return WriteStatus();
}
