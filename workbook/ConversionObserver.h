#pragma once

#include <QString>

// What a conversion tells whoever watches it (the window's progress bar and diagnostics):
// called on the thread that runs the conversion, between its steps, never while the
// workbook is being changed. The command line watches nothing.
class ConversionObserver {
public:
    virtual ~ConversionObserver() = default;

    // The PVX file has been read: what the workbook will hold.
    virtual void packageRead(int runs, int seriesSlots, int timesteps) = 0;
    // A worksheet is about to be written; valuesWritten of valuesInAll data values are done.
    virtual void writingWorksheet(const QString& name, qint64 valuesWritten, qint64 valuesInAll) = 0;
    // Every value is written; the workbook is being saved.
    virtual void saving(int worksheets, qint64 valuesInAll) = 0;
};
