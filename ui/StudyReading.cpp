#include "StudyReading.h"

#include "PvxDateTime.h"
#include "PvxModel.h"
#include "PvxSelection.h"
#include "WorkbookTypes.h"

#include "SystemPaths.h"

#include <QFile>

namespace {
// The file opened under its name's own bytes, or why it cannot be read.
WriteStatus openStudy(QFile& file, const QString& path) {
    QString error;
    if (openFile(file, path, QIODevice::ReadOnly, error))
        return WriteStatus();
    return QStringLiteral("The file \"%1\" cannot be read: %2").arg(path, error);
}
} // namespace

StudyContents readStudyContents(const QString& path) {
    StudyContents contents;
    contents.path = path;
    QFile file;
    contents.status = openStudy(file, path);
    if (contents.status.isEmpty())
        contents.status = readStudyListing(file, Index, contents.listing);
    return contents;
}

SlotSeries readSlotSeries(const QString& path, int slot, const QList<int>& runs) {
    SlotSeries series;
    series.path = path;
    series.slot = slot;
    QFile file;
    series.status = openStudy(file, path);
    if (!series.status.isEmpty())
        return series;
    PvxSelection selection;
    selection.addSlotIndex(slot);
    for (const int run : runs)
        selection.addRunIndex(run);
    PvxPackage package;
    series.status = package.readPvx(file, selection);
    if (!series.status.isEmpty())
        return series;
    series.units = package.slotAt(0).units.value(0);
    for (const QString& stamp : package.runAt(0).timestamps)
        series.times.append(parsePvxDateTime(stamp));
    for (int kept = 0; kept < package.numberOfRuns; ++kept) {
        series.runs.append(package.runNumber(kept));
        series.values.append(package.columnValues(kept, 0, 0));
    }
    return series;
}
