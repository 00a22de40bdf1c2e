#pragma once

#include "WriteStatus.h"

#include <QDateTime>
#include <QList>
#include <QString>
#include <QStringList>

class QIODevice;
class PvxLineReader;
class PvxSelection;

// One slot of a run: an object's named data series (or a table or scalar) with its
// column headers.
class PvxSlot {
public:
    bool preambleRead = false;
    QString objectType;
    QString objectName;
    QString slotType;
    QString slotName;
    qint32 rows = 0;
    qint32 cols = 0;
    QStringList tableRows;
    QStringList units;
    QList<double> scales;
    QStringList methods;

    // cols for a table slot, else 1.
    int columnCount() const;
    // -1 (one row per timestep) for a series slot, rows for a table slot, else 1.
    int rowCount() const;
    bool isSeries() const { return slotType.isEmpty() || slotType == QLatin1String("SeriesSlot"); }
    bool isTable() const { return slotType == QLatin1String("TableSlot"); }

    WriteStatus readSlotPreamble(QIODevice& device);
    WriteStatus readSlotPreamble(PvxLineReader& reader);
};

// One run of the study: its time axis and rule and slot sets.
class PvxRun {
public:
    bool preambleRead = false;
    qint32 trace = -1;
    QDateTime start;
    QDateTime end;
    QString timeStepUnit;
    qint32 unitQuantity = 0;
    qint32 timeSteps = 0;
    qint32 consecutive = -1;
    QString slotSet;
    QString ruleSet;
    qint32 idxSequential = -1;
    QStringList timestamps;

    WriteStatus readRunPreamble(QIODevice& device);
    WriteStatus readRunPreamble(PvxLineReader& reader);
};

// A whole PVX file in memory: the package preamble, its runs, the first run's slots and
// every run's values, indexed by run, slot, column and value.
class PvxPackage {
public:
    using Column = QList<double>;
    using SlotValues = QList<Column>;
    using RunValues = QList<SlotValues>;

    bool preambleRead = false;
    QString name;
    QString owner;
    QString description;
    QDateTime createDate;
    qint32 numberOfRuns = 0;
    // Whether the preamble gave "number_of_runs:" at all.
    bool runCountGiven = false;
    QList<PvxRun> runs;
    QList<PvxSlot> slots;
    QList<RunValues> values;
    // What was read as it stands but deserves a word in the log (units that differ between runs,
    // runs beyond number_of_runs).
    QStringList warnings;

    // What a read of a selection kept, by the file's numbers: the number of each kept run and
    // of each kept series slot (counting series slots only). Empty when everything was kept.
    QList<qint32> runNumbers;
    QList<qint32> seriesNumbers;
    qint32 fileRunCount = 0;
    // Every series slot of the file, by object and slot name, when a selection was read: what
    // the kept slots' names are made distinct from, as in a conversion of the whole study.
    QStringList fileSeriesObjects;
    QStringList fileSeriesSlots;

    WriteStatus readPvx(QIODevice& device);
    // Keeps only the chosen runs and series slots (table slots are dropped), each under its
    // file number; a selection that chooses no run or no slot fails.
    WriteStatus readPvx(QIODevice& device, const PvxSelection& selection);
    // Reads and checks the whole file as a conversion would, but keeps no values and no run
    // after the first: what a listing of the study needs.
    WriteStatus readContents(QIODevice& device);
    WriteStatus readPackagePreamble(QIODevice& device);
    WriteStatus readPackagePreamble(PvxLineReader& reader);

    const PvxRun& runAt(int index) const;
    const PvxSlot& slotAt(int index) const;
    qint32 slotCount() const { return static_cast<qint32>(slots.size()); }
    QList<double> columnValues(int run, int slot, int column) const;
    // The file's number of a kept run or series slot.
    qint32 runNumber(int kept) const { return runNumbers.isEmpty() ? kept : runNumbers.value(kept, kept); }
    qint32 seriesNumber(int kept) const {
        return seriesNumbers.isEmpty() ? kept : seriesNumbers.value(kept, kept);
    }

private:
    struct ReadPlan;
    struct RunContext;
    class TailReader;
    WriteStatus read(QIODevice& device, const ReadPlan& plan);
    WriteStatus readBody(PvxLineReader& reader, const ReadPlan& plan);
    WriteStatus readRun(PvxLineReader& reader, qint32 r, const ReadPlan& plan, RunContext& context);
    WriteStatus keepOnly(const PvxSelection& selection);
};

WriteStatus readColumnHeader(QIODevice& device, QString& units, double& scale, QString& method);
