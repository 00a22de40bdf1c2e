#include "ExcelWrite.h"

#include "BlockWrite.h"
#include "ExcelCom.h"
#include "PvxDateTime.h"
#include "PvxModel.h"
#include "SlotWorksheetNames.h"
#include "VariantBlock.h"

#include <memory>

namespace {

const QString headerSheet = QStringLiteral("Header");

// The bold row above each table. The short slot names get a column only when they are the
// slots' labels.
struct Headings {
    std::unique_ptr<VariantBlock> package;
    std::unique_ptr<VariantBlock> run;
    std::unique_ptr<VariantBlock> slot;
    std::unique_ptr<VariantBlock> timestep;
};

Headings makeHeadings(bool withShortNames) {
    QStringList slotHeadingTexts = {QStringLiteral("Slot #"),      QStringLiteral("Object Type"),
                                    QStringLiteral("Object Name"), QStringLiteral("Slot Name"),
                                    QStringLiteral("Units"),       QStringLiteral("Scale"),
                                    QStringLiteral("Method")};
    if (withShortNames)
        slotHeadingTexts.append(QStringLiteral("Short Slot Name"));

    Headings headings;
    headings.package =
        VariantBlock::textRow({QStringLiteral("Name"), QStringLiteral("Owner"), QStringLiteral("Description"),
                               QStringLiteral("Creation Date"), QStringLiteral("Number Of Runs"),
                               QStringLiteral("Number Of Slots"), QStringLiteral("Number Of Timesteps")});
    headings.run = VariantBlock::textRow({QStringLiteral("Run #"), QStringLiteral("Start"),
                                          QStringLiteral("End"), QStringLiteral("Timestep Unit"),
                                          QStringLiteral("Unit Quantity"), QStringLiteral("Timesteps"),
                                          QStringLiteral("Consecutive"), QStringLiteral("Index Sequential"),
                                          QStringLiteral("Rule Set"), QStringLiteral("Slot Set")});
    headings.slot = VariantBlock::textRow(slotHeadingTexts);
    headings.timestep = VariantBlock::textRow({QStringLiteral("Time #"), QStringLiteral("Time")});
    return headings;
}

// Every header builds the composition lists anew; the data worksheets of this conversion
// must see nothing of an earlier one.
void clearCompositionLists(ExcelWrite& writer) {
    writer.runLabels.clear();
    writer.slotIndexLabels.clear();
    writer.slotLabels.clear();
    writer.shortSlotNames.clear();
    writer.fullSlotNames.clear();
    writer.timestepLabels.clear();
    writer.timestepSerials.clear();
    writer.dateNumberFormat.clear();
}

// One row per run. The dates shown are the first run's: a workbook has one time axis, so
// every run must share them.
struct RunTable {
    explicit RunTable(int runCount) : numbers(runCount, 1), dates(runCount, 2), details(runCount, 7) {}
    VariantBlock numbers;
    VariantBlock dates;
    VariantBlock details;
    double startSerial = 0.0;
    double endSerial = 0.0;
};

// Every run's values stand under the first run's dates: a later run whose date lines name other
// dates would have its values dated wrongly. Lines that differ only in how they write a date
// ("2021-1-1 24:00", "2021-1-2 0:00") name the same one.
WriteStatus sameDates(const PvxPackage& package, int r) {
    const QStringList& dates = package.runAt(r).timestamps;
    const QStringList& firstDates = package.runAt(0).timestamps;
    for (qsizetype t = 0; t < dates.size() && t < firstDates.size(); ++t) {
        if (dates.at(t) == firstDates.at(t))
            continue;
        const QDateTime date = parsePvxDateTime(dates.at(t));
        if (date.isValid() && date == parsePvxDateTime(firstDates.at(t)))
            continue;
        return QStringLiteral(
                   "Run date ranges don't all match: timestep %1 of Run%2 is %3 where Run%4 has %5")
            .arg(QString::number(t + 1), QString::number(package.runNumber(r)), dates.at(t),
                 QString::number(package.runNumber(0)), firstDates.at(t));
    }
    return WriteStatus();
}

// Labels run r and fills its row. The label is given before the checks, so a run that
// differs from the first in its dates or its number of timesteps has its label when the
// header fails on it.
WriteStatus addRunRow(RunTable& table, const PvxPackage& package, int r, QStringList& runLabels) {
    const int row = r + 1;
    // A run keeps its number from the file when only some runs are converted.
    runLabels.append(QStringLiteral("Run%1").arg(package.runNumber(r)));
    table.numbers.setText(row, 1, runLabels.last());

    const PvxRun& run = package.runAt(r);
    const PvxRun& firstRun = package.runAt(0);
    if (r == 0) {
        table.startSerial = ExcelWrite::excelDateSerial(run.start);
        table.endSerial = ExcelWrite::excelDateSerial(run.end);
    } else if (run.start != firstRun.start || run.end != firstRun.end) {
        return QStringLiteral("Run date ranges don't all match");
    }

    table.dates.setDate(row, 1, table.startSerial);
    table.dates.setDate(row, 2, table.endSerial);
    table.details.setText(row, 1, run.timeStepUnit);
    table.details.setInteger(row, 2, run.unitQuantity);
    table.details.setInteger(row, 3, run.timeSteps);
    table.details.setInteger(row, 4, run.consecutive);
    table.details.setInteger(row, 5, run.idxSequential);
    table.details.setText(row, 6, run.ruleSet);
    table.details.setText(row, 7, run.slotSet);

    if (r != 0 && run.timeSteps != firstRun.timeSteps)
        return QStringLiteral("Number of timesteps in runs don't all match");
    if (r != 0)
        return sameDates(package, r);
    return WriteStatus();
}

// The time axis of the whole workbook, from the first run: a label and a date per
// timestamp. The package table shows the run's own count of timesteps, which the
// timestamps need not match; without runs both are empty.
struct TimestepTable {
    qint32 count = 0;
    std::unique_ptr<VariantBlock> numbers = std::make_unique<VariantBlock>(0, 1);
    std::unique_ptr<VariantBlock> dates = std::make_unique<VariantBlock>(0, 1);
};

void fillTimestepTable(TimestepTable& table, const PvxRun& firstRun, QStringList& timestepLabels,
                       QList<double>& timestepSerials) {
    table.count = firstRun.timeSteps;
    const int timestampCount = static_cast<int>(firstRun.timestamps.size());
    table.numbers = std::make_unique<VariantBlock>(timestampCount, 1);
    table.dates = std::make_unique<VariantBlock>(timestampCount, 1);
    for (int t = 0; t < timestampCount; ++t) {
        timestepLabels.append(QStringLiteral("Time%1").arg(t));
        table.numbers->setText(t + 1, 1, timestepLabels.last());
        const double serial = ExcelWrite::excelDateSerial(parsePvxDateTime(firstRun.timestamps.at(t)));
        timestepSerials.append(serial);
        table.dates->setDate(t + 1, 1, serial);
    }
}

// One row per series slot, in the package's order; other slots hold no data and get no
// row. Index labels, full names and short names all go into the composition lists,
// whichever of them labels the slots.
std::unique_ptr<VariantBlock> slotTable(ExcelWrite& writer, const PvxPackage& package, bool withShortNames) {
    int seriesCount = 0;
    for (int s = 0; s < package.slotCount(); ++s)
        if (package.slotAt(s).isSeries())
            ++seriesCount;
    auto slotRows = std::make_unique<VariantBlock>(seriesCount, 8);
    // Of a selection, each slot keeps the number and the short name a conversion of the whole
    // study gives it.
    const QStringList fileShortNames =
        package.seriesNumbers.isEmpty() ? QStringList() : fileSeriesLabels(package, Short);
    int k = 0;
    for (int s = 0; s < package.slotCount(); ++s) {
        const PvxSlot& slot = package.slotAt(s);
        if (!slot.isSeries())
            continue;
        const QString fullName = slot.objectName + slot.slotName;
        writer.fullSlotNames.append(fullName);
        const QString shortName = fileShortNames.isEmpty() ? writer.shortenSlotName(fullName)
                                                           : fileShortNames.value(package.seriesNumber(k));
        if (!fileShortNames.isEmpty())
            writer.shortSlotNames.append(shortName);
        writer.slotIndexLabels.append(QStringLiteral("Slot%1").arg(package.seriesNumber(k)));

        const int slotRow = k + 1;
        slotRows->setText(slotRow, 1, writer.slotIndexLabels.last());
        slotRows->setText(slotRow, 2, slot.objectType);
        slotRows->setText(slotRow, 3, slot.objectName);
        slotRows->setText(slotRow, 4, slot.slotName);
        // A slot without a column header leaves its header cells empty.
        if (!slot.units.isEmpty())
            slotRows->setText(slotRow, 5, slot.units.first());
        if (!slot.scales.isEmpty())
            slotRows->setValue(slotRow, 6, slot.scales.first()); // "NaN" as the values have it
        if (!slot.methods.isEmpty())
            slotRows->setText(slotRow, 7, slot.methods.first());
        if (withShortNames)
            slotRows->setText(slotRow, 8, shortName);
        ++k;
    }
    return slotRows;
}

// The labels the data worksheets give the slots, as the writer's preference says.
WriteStatus chooseSlotLabels(ExcelWrite& writer) {
    switch (writer.slotLabelPreferenceValue()) {
    case Index:
        writer.slotLabels = writer.slotIndexLabels;
        break;
    case Short:
        writer.slotLabels = writer.shortSlotNames;
        break;
    case Full:
        writer.slotLabels = writer.fullSlotNames;
        break;
    default:
        return QStringLiteral("Slot name preference not supported.");
    }
    return WriteStatus();
}

std::unique_ptr<VariantBlock> packageTable(const PvxPackage& package, int slotCount, qint32 timestepCount) {
    auto packageValues = std::make_unique<VariantBlock>(1, 7);
    packageValues->setText(1, 1, package.name);
    packageValues->setText(1, 2, package.owner);
    packageValues->setText(1, 3, package.description);
    packageValues->setText(1, 4, package.createDate.toString(QStringLiteral("yyyy-MM-d h:mm")));
    packageValues->setInteger(1, 5, package.numberOfRuns);
    packageValues->setInteger(1, 6, slotCount);
    packageValues->setInteger(1, 7, timestepCount);
    return packageValues;
}

// The tables one below the other, each under its heading: package, runs, slots,
// timesteps, written from the top down. errMsg is the header's own, carried on from clearing
// the worksheet.
struct HeaderTables {
    const Headings& headings;
    VariantBlock& package;
    RunTable& runs;
    VariantBlock& slots;
    TimestepTable& timesteps;
};

WriteStatus placeTables(ExcelCom& connection, const QString& workbookPath, const HeaderTables& tables,
                        const QString& dateNumberFormat, QString& errMsg) {
    const int runRows = tables.runs.numbers.rows();
    const int slotCount = tables.slots.rows();
    const QString noFormat;
    struct Placement {
        VariantBlock* block;
        int row;
        int column;
        bool bold;
        const QString& format;
    };
    const Placement placements[] = {
        {tables.headings.package.get(), 1, 1, true, noFormat},
        {&tables.package, 2, 1, false, noFormat},
        {tables.headings.run.get(), 3, 1, true, noFormat},
        {&tables.runs.numbers, 4, 1, false, noFormat},
        {&tables.runs.dates, 4, 2, false, dateNumberFormat},
        {&tables.runs.details, 4, 4, false, noFormat},
        {tables.headings.slot.get(), runRows + 4, 1, true, noFormat},
        {&tables.slots, runRows + 5, 1, false, noFormat},
        {tables.headings.timestep.get(), runRows + 5 + slotCount, 1, true, noFormat},
        {tables.timesteps.numbers.get(), runRows + 6 + slotCount, 1, false, noFormat},
        {tables.timesteps.dates.get(), runRows + 6 + slotCount, 2, false, dateNumberFormat},
    };
    for (const Placement& placement : placements) {
        if (!writeBlock(connection, workbookPath, headerSheet, placement.row, placement.column,
                        *placement.block, placement.bold, placement.format, errMsg))
            return connectionFailure(connection, errMsg);
    }
    // A "Header" the conversion made shows its labels and dates whole.
    if (!connection.layOutNewWorksheet(workbookPath, headerSheet, 0, 0, errMsg))
        return connectionFailure(connection, errMsg);
    return WriteStatus();
}

} // namespace

WriteStatus ExcelWrite::writeHeaderWorksheet(ExcelCom& connection, const PvxPackage& package) {
    QString errMsg;
    if (!connection.clearWorksheet(workbookPath, headerSheet, errMsg))
        return connectionFailure(connection, errMsg);

    const bool withShortNames = slotLabelPreference == Short;
    const Headings headings = makeHeadings(withShortNames);
    const int runCount = package.numberOfRuns > 0 ? package.numberOfRuns : 0;
    RunTable runs(runCount);
    clearCompositionLists(*this);
    TimestepTable timesteps;
    std::unique_ptr<VariantBlock> slotRows = std::make_unique<VariantBlock>(0, 8);

    for (int r = 0; r < runCount; ++r) {
        const WriteStatus runStatus = addRunRow(runs, package, r, runLabels);
        if (!runStatus.isEmpty())
            return runStatus;
        if (r != 0)
            continue;
        // The first run supplies the time axis and the slots of the whole workbook.
        fillTimestepTable(timesteps, package.runAt(0), timestepLabels, timestepSerials);
        slotRows = slotTable(*this, package, withShortNames);
        const WriteStatus labelStatus = chooseSlotLabels(*this);
        if (!labelStatus.isEmpty())
            return labelStatus;
    }

    dateNumberFormat = dateNumberFormatFor(timestepSerials);
    const std::unique_ptr<VariantBlock> packageValues =
        packageTable(package, slotRows->rows(), timesteps.count);

    // Not saved here: the data worksheets' save at the end takes the whole conversion to the
    // file at once, so a failure in between leaves the workbook as it was.
    return placeTables(connection, workbookPath, {headings, *packageValues, runs, *slotRows, timesteps},
                       dateNumberFormat, errMsg);
}
