#include "ExcelWrite.h"

#include "ConversionObserver.h"
#include "DataWorksheetFrame.h"
#include "ExcelCom.h"
#include "LeftoverCells.h"
#include "PvxModel.h"
#include "SpreadsheetNumbers.h"
#include "WorkbookClaim.h"
#include "WorksheetLimits.h"

#include <QDir>
#include <QIODevice>
#include <QLocale>
#include <QScopeGuard>

namespace {
struct ArrangementRoles {
    DimensionRole timesteps;
    DimensionRole slots;
    DimensionRole runs;
};

// Indexed by Orientation.
const ArrangementRoles arrangementRoles[] = {
    {Rows, Columns, Sheets}, {Rows, Sheets, Columns}, {Columns, Rows, Sheets},
    {Sheets, Rows, Columns}, {Columns, Sheets, Rows}, {Sheets, Columns, Rows},
};
QString selectionSummaryOf(const PvxPackage& package) {
    const QLocale grouped(QLocale::English);
    return QStringLiteral("Converting %1 of %2 series slots and %3 of %4 runs")
        .arg(grouped.toString(package.seriesNumbers.size()),
             grouped.toString(package.fileSeriesObjects.size()), grouped.toString(package.runNumbers.size()),
             grouped.toString(package.fileRunCount));
}
} // namespace

ExcelWrite::ExcelWrite() = default;

ExcelWrite::~ExcelWrite() = default;

WriteStatus ExcelWrite::setSlotLabelPreference(SlotLabelPreference preference) {
    slotLabelPreference = preference;
    return WriteStatus();
}

WriteStatus ExcelWrite::setOrientation(int arrangement) {
    if (arrangement < TimestepsSlotsRuns || arrangement > RunsSlotsTimesteps)
        return QStringLiteral("Invalid workbook arrangement/orientation setting.");
    const ArrangementRoles& roles = arrangementRoles[arrangement];
    timestepRole = roles.timesteps;
    slotRole = roles.slots;
    runRole = roles.runs;
    return WriteStatus();
}

WriteStatus ExcelWrite::setDevice(QIODevice* newDevice) {
    if (!newDevice)
        return QStringLiteral("Input PVX device pointer cannot be NULL");
    device = newDevice;
    return WriteStatus();
}

WriteStatus ExcelWrite::setWorkbookName(const QString& path) {
    if (path.isEmpty())
        return QStringLiteral("Output Workbook name cannot be blank");
    // One path for the locks, the checks, the save and the messages. A backslash separates
    // folders, as the spreadsheet application reads it, also where the platform's own separator is
    // the slash; the path is kept in the platform's own separators.
    workbookPath = QDir::toNativeSeparators(QString(path).replace(u'\\', u'/'));
    return WriteStatus();
}

WriteStatus ExcelWrite::write() {
    spreadsheetNotes.clear();
    if (slotRole == Unset || !device || workbookPath.isEmpty())
        return QStringLiteral("PVX file device, workbook, or workbook orientation not set");

    // Held for the whole conversion: a second conversion into the same workbook fails at once.
    WorkbookClaim claim(workbookPath);
    WriteStatus status = claim.acquire();
    if (status.isEmpty())
        status = claim.checkReplaceable();
    if (!status.isEmpty())
        return status;
    // A spreadsheet application that opened the workbook meanwhile keeps it as it is.
    beforeSave = [&claim] { return claim.checkNotOpenElsewhere(); };
    const auto forgetClaim = qScopeGuard([this] { beforeSave = nullptr; });

    PvxPackage package;
    readWarnings.clear();
    convertedSummary.clear();
    status = package.readPvx(*device, selection);
    readWarnings = package.warnings;
    if (!status.isEmpty())
        return status;
    if (!selection.choosesEverything())
        convertedSummary = selectionSummaryOf(package);
    // A study that cannot fit fails before anything is written.
    status = checkWorksheetLimits(package, timestepRole, slotRole, runRole, slotLabelPreference,
                                  worksheetLimitsFor(workbookPath));
    if (!status.isEmpty())
        return status;
    if (stopRequested())
        return stoppedMessage();

    if (conversionObserver) {
        const StudyShape shape = studyShapeOf(package);
        conversionObserver->packageRead(int(shape.runs), int(shape.seriesSlots), int(shape.timesteps));
    }
    leftoverCells.clear();
    status = writeWorkbook(package);
    if (status.isEmpty() && !leftoverCells.isEmpty())
        readWarnings.append(leftoverCellsWarning(leftoverCells));
    // A stop that came in time for the conversion to leave the workbook alone says so, whatever
    // the step it interrupted made of it.
    if (!status.isEmpty() && stopRequested())
        status = stoppedMessage();
    // The workbook reaches its file only in the last save: whatever failed before it leaves
    // the file as it was, and a file that this conversion created goes again.
    if (!status.isEmpty())
        claim.discardCreatedWorkbook();
    return status;
}

DataWorksheetPlan ExcelWrite::newPlan() {
    DataWorksheetPlan plan;
    plan.stopRequested = [this] { return stopRequested(); };
    plan.beforeSave = beforeSave;
    plan.observer = conversionObserver;
    plan.leftovers = &leftoverCells;
    return plan;
}

QString ExcelWrite::stoppedMessage() {
    return QStringLiteral(
        "The conversion was stopped before it was finished; the workbook was left as it was.");
}

WriteStatus ExcelWrite::writeWorkbook(const PvxPackage& package) {
    ExcelCom connection;
    QString errMsg;
    if (!connection.startExcel(errMsg, false))
        return errMsg;

    if (conversionObserver)
        conversionObserver->writingWorksheet(QStringLiteral("Header"), 0, 0);
    WriteStatus status = writeHeaderWorksheet(connection, package);
    if (!status.isEmpty())
        return status;

    if (runRole == Sheets)
        status = writeRunWorksheets(connection, package);
    else if (slotRole == Sheets)
        status = writeSlotWorksheets(connection, package);
    else if (timestepRole == Sheets)
        status = writeTimestepWorksheets(connection, package);
    else
        status = QStringLiteral("Unknown worksheet orientation set");

    connection.closeExcel();
    return status;
}

WriteStatus ExcelWrite::defaultWorkbookExtension(QString& extension) {
    ExcelCom connection;
    QString errMsg;
    if (!connection.startExcel(errMsg, false))
        return errMsg;
    extension = connection.excelVersion() >= SpreadsheetNumbers::firstOpenXmlVersion ? QStringLiteral(".xlsx")
                                                                                     : QStringLiteral(".xls");
    connection.closeExcel();
    return WriteStatus();
}
