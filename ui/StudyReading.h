#pragma once

#include "StudyListing.h"
#include "WriteStatus.h"

#include <QDateTime>
#include <QList>
#include <QString>

// What the window reads of a study beside the conversion, on a worker thread: plain functions
// of a path that hand back values, so that nothing is shared with the window while they run.

struct StudyContents {
    QString path;
    WriteStatus status;
    StudyListing listing;
};
StudyContents readStudyContents(const QString& path);

// One series slot over the chosen runs: a line of values per run, on the first run's time axis.
struct SlotSeries {
    QString path;
    int slot = -1;
    WriteStatus status;
    QString units;
    QList<QDateTime> times;
    QList<int> runs;
    QList<QList<double>> values;
};
SlotSeries readSlotSeries(const QString& path, int slot, const QList<int>& runs);
