#include "PvxModel.h"
#include "PvxReading.h"
#include "PvxSelection.h"

#include <QBuffer>
#include <QElapsedTimer>
#include <QRegularExpression>
#include <QTemporaryFile>
#include <QTest>

#include <cmath>
#include <limits>

namespace {
// The worked example: one run of two daily timesteps, a series slot and a scalar slot.
const char* const workedExample = "name:Demo study\n"
                                  "number_of_runs:1\n"
                                  "END_PACKAGE_PREAMBLE\n"
                                  "start:2021-1-1 24:00\n"
                                  "time_step_unit:day\n"
                                  "time_steps:2\n"
                                  "END_RUN_PREAMBLE\n"
                                  "2021-1-2 24:00\n"
                                  "2021-1-3 24:00\n"
                                  "object_name: Lake A\n"
                                  "slot_type: SeriesSlot\n"
                                  "slot_name: Storage\n"
                                  "END_SLOT_PREAMBLE\n"
                                  "units: acre-ft\n"
                                  "scale: 1000\n"
                                  "12.5\n"
                                  "13\n"
                                  "END_COLUMN\n"
                                  "END_SLOT\n"
                                  "slot_type: ScalarSlot\n"
                                  "slot_name: Capacity\n"
                                  "END_SLOT_PREAMBLE\n"
                                  "units: acre-ft\n"
                                  "scale: 1\n"
                                  "method: fixed\n"
                                  "40\n"
                                  "END_COLUMN\n"
                                  "END_SLOT\n"
                                  "END_RUN\n";

QString readText(const QByteArray& text, PvxPackage& package) {
    QBuffer buffer;
    buffer.setData(text);
    buffer.open(QIODevice::ReadOnly);
    return package.readPvx(buffer);
}

QString readText(const QByteArray& text) {
    PvxPackage package;
    return readText(text, package);
}

// A whole-file failure without the " (line N, run R, slot O.S)" that tells where it happened.
QString withoutLocation(const QString& message) {
    static const QRegularExpression location(QStringLiteral(" \\(line \\d+(, run \\d+)?(, slot [^)]*)?\\)$"));
    return QString(message).remove(location);
}

QByteArray preamble(int runs) {
    return "name:P\nnumber_of_runs:" + QByteArray::number(runs) + "\nEND_PACKAGE_PREAMBLE\n";
}

QByteArray runBlock(const QByteArray& slots, int steps = 2) {
    QByteArray text = "start:2021-1-1 00:00\nend:2021-1-3 00:00\ntime_steps:" + QByteArray::number(steps) +
                      "\nEND_RUN_PREAMBLE\n";
    for (int t = 0; t < steps; ++t)
        text += "2021-1-" + QByteArray::number(t + 2) + " 00:00\n";
    return text + slots + "END_RUN\n";
}

QByteArray seriesSlot(const QByteArray& name, const QByteArray& values,
                      const QByteArray& type = "SeriesSlot") {
    QByteArray text = "object_name: Lake\nslot_name: " + name + "\n";
    if (!type.isEmpty())
        text += "slot_type: " + type + "\n";
    return text + "END_SLOT_PREAMBLE\nunits: cfs\nscale: 1\n" + values + "END_COLUMN\nEND_SLOT\n";
}

const QByteArray tableSlot = "object_name: Lake\nslot_name: Table\nrows: 2\ncols: 3\nEND_SLOT_PREAMBLE\n"
                             "a b c\nd e f\nanything\nEND_SLOT\n";

// A study of six runs of two slots, in which one later run can be made to differ.
QByteArray sixRuns(int declaredRuns, const QByteArray& lateRun, int latePosition = 4) {
    QByteArray text = preamble(declaredRuns);
    for (int r = 0; r < 6; ++r)
        text +=
            r == latePosition && !lateRun.isEmpty()
                ? lateRun
                : runBlock(seriesSlot("A", QByteArray::number(r) + ".5\n" + QByteArray::number(r) + "\n") +
                           seriesSlot("B", "7\n8\n"));
    return text;
}

struct FileRead {
    QString status;
    QStringList warnings;
    QList<PvxPackage::RunValues> values;
    QList<QStringList> timestamps;
    QStringList slotNames;
};

// Reads a file from disk, on one core or split across two, opened as the program opens it (in
// text mode) or as bytes.
FileRead readFile(const QString& path, bool split, bool textMode) {
    const qint64 minimum = pvxSplitReadMinimum();
    setPvxSplitReadMinimum(split ? 0 : std::numeric_limits<qint64>::max());
    QFile file(path);
    file.open(textMode ? QIODevice::ReadOnly | QIODevice::Text : QIODevice::ReadOnly);
    PvxPackage package;
    FileRead read;
    read.status = package.readPvx(file);
    setPvxSplitReadMinimum(minimum);
    read.warnings = package.warnings;
    read.values = package.values;
    for (const PvxRun& run : std::as_const(package.runs))
        read.timestamps.append(run.timestamps);
    for (const PvxSlot& slot : std::as_const(package.slots))
        read.slotNames.append(slot.objectName + '.' + slot.slotName);
    return read;
}
} // namespace

class TestPvxReader : public QObject {
    Q_OBJECT
private Q_SLOTS:
    // A large file is read in two halves on two cores; whatever the second half holds, the
    // outcome (values, failure, warnings and the lines they name) is a single reader's.
    void splitReadsMatchOneReader_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<bool>("splitTaken");
        const QByteArray slotB = seriesSlot("B", "7\n8\n");
        QTest::newRow("clean") << sixRuns(6, {}) << true;
        QTest::newRow("blank lines after the last run") << sixRuns(6, {}) + "\n  \n\n" << true;
        QTest::newRow("windows line ends") << sixRuns(6, {}).replace("\n", "\r\n") << true;
        QTest::newRow("windows line ends, blank lines after the last run")
            << sixRuns(6, {}).replace("\n", "\r\n") + "\r\n\r\n"
            << true;
        QTest::newRow("a carriage return inside a line")
            << sixRuns(6, {}).replace("name: B", "name: B\rC") << true;
        QTest::newRow("late slot out of place")
            << sixRuns(6, runBlock(slotB + seriesSlot("A", "1\n2\n"))) << false;
        QTest::newRow("late unreadable value")
            << sixRuns(6, runBlock(seriesSlot("A", "1\nx2\n") + slotB)) << false;
        QTest::newRow("late units") << sixRuns(6, runBlock(seriesSlot("A", "1\n2\n").replace("cfs", "m3/s") +
                                                           slotB))
                                    << false;
        QTest::newRow("late Windows-1252 text")
            << sixRuns(6, runBlock(seriesSlot("A", "1\n2\n").replace("cfs", "\xB5g") + slotB)) << false;
        QTest::newRow("late value missing") << sixRuns(6, runBlock(seriesSlot("A", "1\n") + slotB)) << false;
        QTest::newRow("more runs than the count") << sixRuns(5, {}) << false;
        QTest::newRow("fewer runs than the count") << sixRuns(7, {}) << false;
        QTest::newRow("text after the last run") << sixRuns(6, {}) + "trailing words\n" << false;
        QTest::newRow("cut short") << sixRuns(6, {}).chopped(20) << false;
        QTest::newRow("late extra slot")
            << sixRuns(6, runBlock(seriesSlot("A", "1\n2\n") + slotB + slotB)) << false;
        QTest::newRow("late slot missing") << sixRuns(6, runBlock(seriesSlot("A", "1\n2\n"))) << false;
        QTest::newRow("late unreadable scale")
            << sixRuns(6, runBlock(seriesSlot("A", "1\n2\n").replace("scale: 1", "scale: 1,5") + slotB))
            << false;
        QTest::newRow("a run end in a table")
            << sixRuns(6, runBlock(QByteArray(tableSlot).replace("d e f", "END_RUN")), 3) << false;
    }
    void splitReadsMatchOneReader() {
        QFETCH(QByteArray, text);
        QFETCH(bool, splitTaken);
        QTemporaryFile file;
        QVERIFY(file.open());
        file.write(text);
        file.close();
        for (const bool textMode : {true, false}) {
            const FileRead single = readFile(file.fileName(), false, textMode);
            const qint64 splitsBefore = pvxSplitReadsTaken();
            const FileRead split = readFile(file.fileName(), true, textMode);
            QCOMPARE(pvxSplitReadsTaken() - splitsBefore, splitTaken ? 1 : 0);
            QCOMPARE(split.status, single.status);
            QCOMPARE(split.warnings, single.warnings);
            QCOMPARE(split.slotNames, single.slotNames);
            QCOMPARE(split.timestamps, single.timestamps);
            QCOMPARE(split.values, single.values);
            if (splitTaken)
                QCOMPARE(split.values.size(), 6);
        }
    }
    void readsTheWorkedExample() {
        PvxPackage package;
        QCOMPARE(readText(workedExample, package), QString());
        QCOMPARE(package.name, QStringLiteral("Demo study"));
        QCOMPARE(package.numberOfRuns, 1);
        QCOMPARE(package.runs.size(), 1);
        QCOMPARE(package.values.size(), 1);
        const PvxRun& run = package.runAt(0);
        QCOMPARE(run.start.toString(Qt::ISODate), QStringLiteral("2021-01-02T00:00:00Z"));
        QCOMPARE(run.timeStepUnit, QStringLiteral("day"));
        QCOMPARE(run.timestamps, QStringList({"2021-1-2 24:00", "2021-1-3 24:00"}));
        QCOMPARE(package.slotCount(), 2);
        QCOMPARE(package.slotAt(0).objectName, QStringLiteral("Lake A"));
        QCOMPARE(package.slotAt(0).units, QStringList{"acre-ft"});
        QCOMPARE(package.slotAt(0).scales, QList<double>{1000.0});
        QCOMPARE(package.slotAt(0).methods, QStringList{QString()});
        QCOMPARE(package.slotAt(1).methods, QStringList{"fixed"});
        QCOMPARE(package.columnValues(0, 0, 0), (QList<double>{12.5, 13}));
        QCOMPARE(package.columnValues(0, 1, 0), QList<double>{40});
    }

    void defaultsOutOfRange() {
        PvxPackage package;
        QCOMPARE(readText(workedExample, package), QString());
        for (int index : {-1, 1}) {
            const PvxRun& run = package.runAt(index);
            QCOMPARE(run.trace, -1);
            QCOMPARE(run.consecutive, -1);
            QCOMPARE(run.idxSequential, -1);
            QCOMPARE(run.unitQuantity, 0);
            QCOMPARE(run.timeSteps, 0);
            QVERIFY(run.timeStepUnit.isEmpty());
            QVERIFY(!run.start.isValid());
        }
        const PvxSlot& slot = package.slotAt(2);
        QVERIFY(slot.objectName.isEmpty());
        QCOMPARE(slot.rows, 0);
        QCOMPARE(slot.cols, 0);
        QVERIFY(slot.units.isEmpty());
        QVERIFY(package.columnValues(0, 0, 1).isEmpty());
        QVERIFY(package.columnValues(1, 0, 0).isEmpty());
        QVERIFY(package.columnValues(0, -1, 0).isEmpty());
    }

    void slotKinds() {
        PvxPackage package;
        const QByteArray slots = seriesSlot("A", "1\n2\n") + tableSlot + seriesSlot("B", "3\n4\n", "") +
                                 seriesSlot("C", "5\n", "ScalarSlot");
        QCOMPARE(readText(preamble(1) + runBlock(slots), package), QString());
        QCOMPARE(package.slotCount(), 4);
        const PvxSlot& table = package.slotAt(1);
        QCOMPARE(table.slotType, QStringLiteral("TableSlot"));
        QCOMPARE(table.rowCount(), 2);
        QCOMPARE(table.columnCount(), 3);
        QCOMPARE(table.tableRows, QStringList({"a b c", "d e f"}));
        QVERIFY(table.units.isEmpty());
        QVERIFY(package.columnValues(0, 1, 0).isEmpty());
        QCOMPARE(package.values[0][1].size(), 0);
        QCOMPARE(package.slotAt(2).rowCount(), -1);
        QCOMPARE(package.columnValues(0, 2, 0), (QList<double>{3, 4}));
        QCOMPARE(package.slotAt(3).rowCount(), 1);
        QCOMPARE(package.slotAt(3).columnCount(), 1);
        QCOMPARE(package.columnValues(0, 3, 0), QList<double>{5});
    }

    void valueLines() {
        PvxPackage package;
        const QByteArray slots = seriesSlot("A", "\n  7.5  \nabc\nnan\n-inf\n1e3\n", "");
        QCOMPARE(readText(preamble(1) + runBlock(slots, 6), package), QString());
        const QList<double> values = package.columnValues(0, 0, 0);
        QCOMPARE(values.size(), 6);
        QCOMPARE(values[0], 0.0);
        QCOMPARE(values[1], 7.5);
        QCOMPARE(values[2], 0.0);
        QVERIFY(std::isnan(values[3]));
        QVERIFY(std::isinf(values[4]) && values[4] < 0);
        QCOMPARE(values[5], 1000.0);
        // Read as 0, as ever, with one word for the log.
        QCOMPARE(package.warnings,
                 QStringList{"2 value lines did not read as numbers and were converted as 0: "
                             "line 19 \"\", line 21 \"abc\""});
        PvxPackage many;
        QCOMPARE(readText(preamble(1) + runBlock(seriesSlot("A", "x\ny\nz\nw\n", ""), 4), many), QString());
        QCOMPARE(many.warnings.value(0),
                 QStringLiteral("4 value lines did not read as numbers and were converted "
                                "as 0: line 17 \"x\", line 18 \"y\", line 19 \"z\", …"));
    }

    void preambleKeys() {
        PvxPackage package;
        const QByteArray text =
            "junk before\nname: Spaced\nname:Later wins\ncreate_date:2021-3-5 7:30\n"
            "number_of_runs:2\nEND_PACKAGE_PREAMBLE\n" +
            runBlock("") +
            "trace:4\ntimesteps:1\ntime_steps:2\nstart: 2021-1-1 00:00\n"
            "rule_set:Rules A\nslot_set:Slots B\nidx_sequential:1\nconsecutive:0\n"
            "unit_quantity:6\nEND_RUN_PREAMBLE\n2021-1-1 06:00\n2021-1-1 12:00\nEND_RUN\n";
        QCOMPARE(readText(text, package), QString());
        QCOMPARE(package.name, QStringLiteral("Later wins"));
        QCOMPARE(package.createDate.toString(Qt::ISODate), QStringLiteral("2021-03-05T07:30:00Z"));
        const PvxRun& second = package.runAt(1);
        QCOMPARE(second.trace, 4);
        QCOMPARE(second.timeSteps, 2);
        QVERIFY(!second.start.isValid()); // the blank after the colon belongs to the value
        QCOMPARE(second.ruleSet, QStringLiteral("Rules A"));
        QCOMPARE(second.slotSet, QStringLiteral("Slots B"));
        QCOMPARE(second.idxSequential, 1);
        QCOMPARE(second.consecutive, 0);
        QCOMPARE(second.unitQuantity, 6);
    }

    void endOfRunRecognition() {
        // Text behind END_RUN and white space is dropped with the line.
        PvxPackage package;
        QByteArray run = runBlock(seriesSlot("A", "1\n2\n"));
        run.replace("END_RUN\n", "END_RUN trailing words\n");
        QCOMPARE(readText(preamble(1) + run, package), QString());
        QCOMPARE(package.slotCount(), 1);

        // Without a final line feed at the end of the input.
        QByteArray last = preamble(1) + runBlock(seriesSlot("A", "1\n2\n"));
        last.chop(1);
        QCOMPARE(readText(last), QString());

        // An indented END_RUN is read as a slot preamble line.
        QByteArray indented = preamble(1) + runBlock(seriesSlot("A", "1\n2\n"));
        indented.replace("END_RUN\n", "  END_RUN\n");
        QCOMPARE(withoutLocation(readText(indented)), QStringLiteral("Cannot read slot preamble"));
    }

    void failures_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("message");
        const QString package = QStringLiteral("Cannot read package preamble");
        const QString run = QStringLiteral("Cannot read run preamble");
        const QString slot = QStringLiteral("Cannot read slot preamble");
        QTest::newRow("empty file") << QByteArray() << package;
        QTest::newRow("blank line in package preamble")
            << QByteArray("name:X\n\nEND_PACKAGE_PREAMBLE\n") << package;
        QTest::newRow("fewer runs than claimed") << preamble(2) + runBlock(seriesSlot("A", "1\n2\n")) << run;
        QTest::newRow("date line that does not match")
            << preamble(1) + runBlock("").replace("2021-1-3 00:00", "soon") << run;
        QTest::newRow("missing END_RUN")
            << preamble(1) + runBlock(seriesSlot("A", "1\n2\n")).replace("END_RUN\n", "") << slot;
        QTest::newRow("units without value")
            << preamble(1) + runBlock(seriesSlot("A", "1\n2\n")).replace("units: cfs", "units:")
            << QStringLiteral("Cannot read PVX file: Missing units or scale");
        QTest::newRow("scale before units")
            << preamble(1) +
                   runBlock(seriesSlot("A", "1\n2\n")).replace("units: cfs\nscale: 1", "scale: 1\nunits: cfs")
            << QStringLiteral("Cannot read PVX file: Missing units or scale");
        QTest::newRow("negative run count")
            << preamble(-1) << QStringLiteral("Cannot read PVX file: Negative number of runs");
        QTest::newRow("negative timesteps")
            << preamble(1) + runBlock("").replace("time_steps:2", "time_steps:-3")
            << QStringLiteral("Cannot read PVX file: Negative number of timesteps");
        QTest::newRow("zero runs") << preamble(0) << QString();

        // Counts that do not read are refused rather than taken as 0.
        const QByteArray oneRun = runBlock(seriesSlot("A", "1\n2\n"));
        QTest::newRow("run count empty") << QByteArray("number_of_runs:\nEND_PACKAGE_PREAMBLE\n") + oneRun
                                         << QStringLiteral("Cannot read PVX file: Invalid number of runs: ");
        QTest::newRow("run count not a number")
            << QByteArray("number_of_runs:two\nEND_PACKAGE_PREAMBLE\n") + oneRun
            << QStringLiteral("Cannot read PVX file: Invalid number of runs: two");
        QTest::newRow("run count out of range")
            << QByteArray("number_of_runs:3000000000\nEND_PACKAGE_PREAMBLE\n") + oneRun
            << QStringLiteral("Cannot read PVX file: Invalid number of runs: 3000000000");
        QTest::newRow("run count fraction")
            << QByteArray("number_of_runs:1.5\nEND_PACKAGE_PREAMBLE\n") + oneRun
            << QStringLiteral("Cannot read PVX file: Invalid number of runs: 1.5");
        QTest::newRow("later valid run count wins")
            << QByteArray("number_of_runs:x\nnumber_of_runs:1\nEND_PACKAGE_PREAMBLE\n") + oneRun << QString();
        QTest::newRow("timestep count not a number")
            << preamble(1) + QByteArray(oneRun).replace("time_steps:2", "time_steps:2x")
            << QStringLiteral("Cannot read PVX file: Invalid number of timesteps: 2x");
        QTest::newRow("timestep count empty")
            << preamble(1) + QByteArray(oneRun).replace("time_steps:2", "timesteps:")
            << QStringLiteral("Cannot read PVX file: Invalid number of timesteps: ");
        QTest::newRow("run count missing before a run")
            << QByteArray("name:P\nEND_PACKAGE_PREAMBLE\n") + oneRun
            << QStringLiteral("Cannot read PVX file: Missing number of runs");
        QTest::newRow("run count missing, nothing follows")
            << QByteArray("name:P\nEND_PACKAGE_PREAMBLE\n\n\n") << QString();

        // One value line too few or too many is caught in whichever slot it happens.
        const QByteArray second = seriesSlot("B", "3\n4\n");
        const QString firstShort =
            QStringLiteral("Cannot read PVX file: Slot Lake.A of run 0 does not have 2 values");
        QTest::newRow("value missing in first slot")
            << preamble(1) + runBlock(seriesSlot("A", "1\n") + second) << firstShort;
        QTest::newRow("value extra in first slot")
            << preamble(1) + runBlock(seriesSlot("A", "1\n2\n3\n") + second) << firstShort;
        QTest::newRow("value missing in second run")
            << preamble(2) + runBlock(seriesSlot("A", "1\n2\n")) + runBlock(seriesSlot("A", "1\n"))
            << QStringLiteral("Cannot read PVX file: Slot Lake.A of run 1 does not have 2 values");
        QTest::newRow("scalar with two values")
            << preamble(1) + runBlock(seriesSlot("S", "1\n2\n", "ScalarSlot"))
            << QStringLiteral("Cannot read PVX file: Slot Lake.S of run 0 does not have 1 value");
        // A later run's slots must stand where the first run's stand: values under another slot's
        // name would be a wrong result.
        const QByteArray firstRun = runBlock(seriesSlot("A", "1\n2\n") + second);
        const QByteArray swapped = preamble(2) + firstRun + runBlock(second + seriesSlot("A", "1\n2\n"));
        // The line where the second run's first slot begins: past the first run and the second
        // run's 4 preamble lines and 2 dates.
        const int swappedLine = int((preamble(2) + firstRun).count('\n')) + 6 + 1;
        QTest::newRow("later run lists its slots in another order")
            << swapped
            << QStringLiteral("Cannot read PVX file: Run 1 has slot Lake.B where run 0 has Lake.A (line %1)")
                   .arg(swappedLine);
        QTest::newRow("later run has another slot in a place")
            << preamble(2) + firstRun + runBlock(seriesSlot("A", "1\n2\n") + seriesSlot("C", "3\n4\n"))
            << QStringLiteral("Cannot read PVX file: Run 1 has slot Lake.C where run 0 has Lake.B (line %1)")
                   .arg(swappedLine + 10); // past the 10 lines of slot A
        QTest::newRow("later run with the same slots")
            << preamble(2) + firstRun + runBlock(seriesSlot("A", "5\n6\n") + seriesSlot("B", "7\n8\n"))
            << QString();
        // A slot preamble whose closing line is missing would take in the slot's column and the
        // slots after it up to the next preamble's closing line.
        QTest::newRow("slot preamble closing line missing")
            << preamble(1) + runBlock(seriesSlot("A", "1\n2\n").replace("END_SLOT_PREAMBLE\n", "") + second)
            << slot;
        QTest::newRow("a run end indented into a slot preamble")
            << preamble(2) + runBlock(seriesSlot("A", "1\n2\n")).replace("END_RUN\n", "  END_RUN\n") +
                   runBlock(seriesSlot("A", "1\n2\n"))
            << slot;
        QTest::newRow("slot closing line missing")
            << preamble(1) + runBlock(seriesSlot("A", "1\n2\n").replace("END_SLOT\n", "") + second)
            << firstShort;
    }

    void failures() {
        QFETCH(QByteArray, text);
        QFETCH(QString, message);
        const QString read = readText(text);
        if (read != message)
            QCOMPARE(withoutLocation(read), message);
    }

    // The reader's own text comes first; then the line and, when known, the run and the slot.
    void failuresSayWhere() {
        const QByteArray slot = seriesSlot("A", "1\n2\n");
        QCOMPARE(
            readText(preamble(1) + runBlock(slot).replace("units: cfs", "units:")),
            QStringLiteral("Cannot read PVX file: Missing units or scale (line 15, run 0, slot Lake.A)"));
        QCOMPARE(readText(preamble(2) + runBlock(slot)),
                 QStringLiteral("Cannot read run preamble (line 21, run 1)"));
        QCOMPARE(readText("name:X\n\nEND_PACKAGE_PREAMBLE\n"),
                 QStringLiteral("Cannot read package preamble (line 2)"));
        // The closing line that gives the missing one away.
        QCOMPARE(readText(preamble(1) + runBlock(slot).replace("END_SLOT_PREAMBLE\n", "")),
                 QStringLiteral("Cannot read slot preamble (line 17, run 0, slot Lake.A)"));
        // A date line of the first run must name a date: its dates become the workbook's.
        QCOMPARE(readText(preamble(1) + runBlock(slot).replace("2021-1-3 00:00\n", "2021-2-29 00:00\n")),
                 QStringLiteral("Cannot read PVX file: The date line 2021-2-29 00:00 does not read as a date "
                                "(line 9, run 0)"));
        QCOMPARE(readText(preamble(1) + runBlock(slot).replace("2021-1-2 00:00\n", "2021-1-2 24:30\n")),
                 QStringLiteral("Cannot read PVX file: The date line 2021-1-2 24:30 does not read as a date "
                                "(line 8, run 0)"));
        QCOMPARE(
            readText(preamble(1) + runBlock(seriesSlot("A", "1\n"))),
            QStringLiteral("Cannot read PVX file: Slot Lake.A of run 0 does not have 2 values (line 18)"));
    }

    void hostileCountsFailFast_data() {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QString>("message");
        const QByteArray huge = "2000000000";
        QTest::newRow("runs") << preamble(2000000000) + runBlock(seriesSlot("A", "1\n2\n"))
                              << QStringLiteral("Cannot read run preamble");
        QTest::newRow("timesteps") << preamble(1) + "time_steps:" + huge +
                                          "\nEND_RUN_PREAMBLE\n2021-1-1 00:00\n"
                                   << QStringLiteral("Cannot read run preamble");
        QTest::newRow("table rows") << preamble(1) + runBlock("").replace("END_RUN\n", "") +
                                           "object_name: T\nrows: " + huge + "\nEND_SLOT_PREAMBLE\nrow one\n"
                                    << QStringLiteral("Cannot read slot preamble");
    }

    void hostileCountsFailFast() {
        QFETCH(QByteArray, text);
        QFETCH(QString, message);
        QElapsedTimer timer;
        timer.start();
        QCOMPARE(withoutLocation(readText(text)), message);
        // Reading billions of lines past the end would take minutes, not a second.
        QVERIFY(timer.elapsed() < 5000);

        // A truncated series: the end of the input inside its values.
        QByteArray claimed = preamble(1) +
                             "time_steps:3\nEND_RUN_PREAMBLE\n2021-1-1 00:00\n2021-1-2 00:00\n"
                             "2021-1-3 00:00\nobject_name: A\nEND_SLOT_PREAMBLE\nunits: x\nscale: 1\n1\n";
        QCOMPARE(withoutLocation(readText(claimed)), QStringLiteral("Cannot read slot preamble"));
    }

    void readsAcrossBlockBoundaries() {
        // A file of several megabytes, so that lines straddle the reader's blocks, and one
        // very long ignored line longer than a block.
        QByteArray values;
        const int steps = 400000;
        for (int t = 0; t < steps; ++t)
            values += QByteArray::number(t * 0.5, 'g', 17) + "\n";
        QByteArray dates;
        for (int t = 0; t < steps; ++t)
            dates += "2021-1-1 00:00\n";
        const QByteArray text = preamble(1) + "junk " + QByteArray(3 << 20, 'x') + "\n" +
                                "time_steps:" + QByteArray::number(steps) + "\nEND_RUN_PREAMBLE\n" + dates +
                                "object_name: A\nEND_SLOT_PREAMBLE\nunits: x\nscale: 1\n" + values +
                                "END_COLUMN\nEND_SLOT\nEND_RUN\n";
        QTemporaryFile file;
        QVERIFY(file.open());
        file.write(text);
        file.close();
        QFile input(file.fileName());
        QVERIFY(input.open(QIODevice::ReadOnly | QIODevice::Text));
        PvxPackage package;
        QCOMPARE(package.readPvx(input), QString());
        const QList<double> read = package.columnValues(0, 0, 0);
        QCOMPARE(read.size(), steps);
        for (int t = 0; t < steps; t += 9973)
            QCOMPARE(read[t], t * 0.5);
        QCOMPARE(read.last(), (steps - 1) * 0.5);
    }

    void byteOrderMark() {
        PvxPackage package;
        QCOMPARE(readText("\xEF\xBB\xBF" + QByteArray(workedExample), package), QString());
        QCOMPARE(package.name, QStringLiteral("Demo study"));
        QCOMPARE(package.numberOfRuns, 1);
        QCOMPARE(package.slotCount(), 2);

        // A file saved as UTF-16 is named as such, with or without its byte-order mark, rather than
        // failing at its end on the package preamble.
        const QString utf16 =
            QStringLiteral("Cannot read PVX file: The file is UTF-16 text; save it as UTF-8 text");
        const QString text = QString::fromLatin1(workedExample);
        const QByteArray littleEndian(reinterpret_cast<const char*>(text.utf16()), text.size() * 2);
        QCOMPARE(readText("\xFF\xFE" + littleEndian), utf16);
        QCOMPARE(readText(littleEndian), utf16);
        QByteArray bigEndian = littleEndian;
        for (qsizetype i = 0; i + 1 < bigEndian.size(); i += 2)
            std::swap(bigEndian[i], bigEndian[i + 1]);
        QCOMPARE(readText("\xFE\xFF" + bigEndian), utf16);
        // Bytes that are no text at all keep the preamble's message.
        QCOMPARE(withoutLocation(readText(QByteArray(64, '\0'))),
                 QStringLiteral("Cannot read package preamble"));
    }

    void overlongLineIsRefused() {
        // Anywhere in the file, with or without a line end, in either way of reading.
        const QByteArray longLine((16 << 20) + 1, 'x');
        QCOMPARE(readText(preamble(1) + longLine + "\n" + runBlock("")),
                 QStringLiteral("Cannot read PVX file: line 4 is longer than 16 MiB"));
        QCOMPARE(readText("name:" + longLine),
                 QStringLiteral("Cannot read PVX file: line 1 is longer than 16 MiB"));
        QBuffer buffer;
        buffer.setData("junk " + longLine + "\n");
        buffer.open(QIODevice::ReadOnly);
        PvxPackage package;
        QCOMPARE(package.readPackagePreamble(buffer),
                 QStringLiteral("Cannot read PVX file: line 1 is longer than 16 MiB"));
        // A line of exactly the limit is still read.
        const QByteArray longest(16 << 20, 'y');
        QCOMPARE(readText(preamble(1) + longest + "\n" + runBlock(seriesSlot("A", "1\n2\n"))), QString());
    }

    void stopsAfterTheLastRun() {
        PvxPackage package;
        QCOMPARE(readText(QByteArray(workedExample) + "\n\nanything at all\n", package), QString());
        QCOMPARE(package.slotCount(), 2);
        QCOMPARE(package.warnings, QStringList());
    }

    // Read as it stands, with a word for the log: runs beyond the count, another run's units.
    void warnings() {
        const QByteArray slot = seriesSlot("A", "1\n2\n");
        PvxPackage extra;
        QCOMPARE(readText(preamble(1) + runBlock(slot) + runBlock(slot) + runBlock(slot), extra), QString());
        QCOMPARE(extra.warnings,
                 QStringList{"The file holds 3 runs; number_of_runs says 1; the last 2 were not converted"});
        PvxPackage units;
        QCOMPARE(readText(preamble(2) + runBlock(slot) +
                              runBlock(QByteArray(slot).replace("units: cfs", "units: m3/s")),
                          units),
                 QString());
        QCOMPARE(units.warnings,
                 QStringList{"Run 1 gives slot Lake.A the units m3/s and scale 1 where run 0 has "
                             "cfs and 1; the first run's are used"});
        QCOMPARE(units.slots.at(0).units.at(0), QString("cfs"));

        // A later run's slots beyond the first run's are not converted; slots it lacks stay empty.
        const QByteArray second = seriesSlot("B", "3\n4\n");
        PvxPackage more;
        QCOMPARE(readText(preamble(2) + runBlock(slot) + runBlock(slot + second + seriesSlot("C", "5\n6\n")),
                          more),
                 QString());
        QCOMPARE(more.warnings,
                 QStringList{"Run 1 has 2 slots more than run 0, from slot Lake.B (line 37) on; "
                             "they are not converted"});
        QCOMPARE(more.values.at(1).size(), 3);
        PvxPackage fewer;
        QCOMPARE(readText(preamble(2) + runBlock(slot + second) + runBlock(slot), fewer), QString());
        QCOMPARE(fewer.warnings,
                 QStringList{"Run 1 ends before slot Lake.B of run 0 (line 47); its cells are left empty"});
        QCOMPARE(fewer.slotCount(), 2);

        // A scale that is no number is 0, as a value is; "nan" in every run is one scale.
        PvxPackage scales;
        QCOMPARE(readText(preamble(2) + runBlock(QByteArray(slot).replace("scale: 1", "scale: 1,5")) +
                              runBlock(QByteArray(slot).replace("scale: 1", "scale: 1,5")),
                          scales),
                 QString());
        QCOMPARE(
            scales.warnings,
            QStringList{"2 scale lines did not read as numbers and were converted as 0: line 15 \"scale: "
                        "1,5\", line 32 \"scale: 1,5\""});
        QCOMPARE(scales.slots.at(0).scales.at(0), 0.0);
        PvxPackage nan;
        QCOMPARE(readText(preamble(2) + runBlock(QByteArray(slot).replace("scale: 1", "scale: nan")) +
                              runBlock(QByteArray(slot).replace("scale: 1", "scale: nan")),
                          nan),
                 QString());
        QVERIFY2(nan.warnings.isEmpty(), qPrintable(nan.warnings.join('\n')));
        QVERIFY(std::isnan(nan.slots.at(0).scales.at(0)));

        // A number too large for a double is no number either: 0, as the warning says.
        PvxPackage huge;
        QCOMPARE(readText(preamble(1) + runBlock(seriesSlot("A", "1e400\n2\n")), huge), QString());
        QCOMPARE(
            huge.warnings,
            QStringList{"1 value line did not read as a number and was converted as 0: line 16 \"1e400\""});
        QCOMPARE(huge.values.at(0).at(0).at(0).at(0), 0.0);
    }

    // Text that is not UTF-8 is read as Windows-1252, with one word for the log.
    void windows1252Text() {
        PvxPackage package;
        const QByteArray slot = seriesSlot("Pr\xe9"
                                           "cipitation \xb5"
                                           "g/m\xb3 \x80",
                                           "1\n2\n");
        QCOMPARE(readText(preamble(1) + runBlock(slot), package), QString());
        QCOMPARE(package.slotAt(0).slotName, QStringLiteral("Précipitation µg/m³ €"));
        QCOMPARE(package.warnings,
                 QStringList{"Line 11 (and perhaps later ones) is not UTF-8 text; it was read "
                             "as Windows-1252, as Windows tools write it"});
        PvxPackage utf8;
        QCOMPARE(readText(preamble(1) + runBlock(seriesSlot("Précipitation", "1\n2\n")), utf8), QString());
        QCOMPARE(utf8.slotAt(0).slotName, QStringLiteral("Précipitation"));
        QVERIFY(utf8.warnings.isEmpty());
    }

    // A selection keeps only its runs and series slots, each under its number in the file; what
    // it passes over is still read and checked.
    void selection() {
        const QByteArray run = runBlock(seriesSlot("A", "1\n2\n") + tableSlot + seriesSlot("B", "3\n4\n") +
                                        seriesSlot("Outflow", "5\n6\n"));
        const QByteArray study = preamble(3) + run + QByteArray(run).replace("\n5\n", "\n50\n") +
                                 QByteArray(run).replace("\n5\n", "\n500\n");
        PvxSelection chosen;
        QCOMPARE(chosen.addSlots(QStringLiteral("lake.out*, 0")), QString());
        QCOMPARE(chosen.addRuns(QStringLiteral("2")), QString());
        QCOMPARE(chosen.addRuns(QStringLiteral("0-0")), QString());
        QBuffer buffer;
        buffer.setData(study);
        buffer.open(QIODevice::ReadOnly);
        PvxPackage package;
        QCOMPARE(package.readPvx(buffer, chosen), QString());
        QCOMPARE(package.numberOfRuns, 2);
        QCOMPARE(package.runNumbers, (QList<qint32>{0, 2}));
        QCOMPARE(package.seriesNumbers, (QList<qint32>{0, 2}));
        QCOMPARE(package.slotCount(), 2);
        QCOMPARE(package.slotAt(1).slotName, QStringLiteral("Outflow"));
        QCOMPARE(package.columnValues(1, 1, 0), (QList<double>{500, 6}));
        QCOMPARE(package.columnValues(0, 0, 0), (QList<double>{1, 2}));
        QCOMPARE(package.fileSeriesSlots, (QStringList{"A", "B", "Outflow"}));
        QCOMPARE(package.fileRunCount, 3);

        // Items that match nothing are named; a selection that matches nothing fails.
        PvxSelection partly;
        partly.addSlots(QStringLiteral("1,zz*"));
        partly.addRuns(QStringLiteral("1,7-9"));
        buffer.seek(0);
        PvxPackage partial;
        QCOMPARE(partial.readPvx(buffer, partly), QString());
        QCOMPARE(partial.warnings, (QStringList{"The slot selection's \"zz*\" matches no series slot",
                                                "The run selection's \"7-9\" matches no run"}));
        PvxSelection none;
        none.addSlots(QStringLiteral("Table.*"));
        buffer.seek(0);
        PvxPackage empty;
        QVERIFY(empty.readPvx(buffer, none)
                    .startsWith(QStringLiteral(
                        "The slot selection \"Table.*\" matches none of the study's 3 series slots")));

        // What is passed over is checked all the same.
        PvxSelection first;
        first.addRuns(QStringLiteral("0"));
        QBuffer broken;
        broken.setData(preamble(2) + run + runBlock(seriesSlot("A", "1\n")));
        broken.open(QIODevice::ReadOnly);
        QVERIFY(PvxPackage().readPvx(broken, first).contains(QStringLiteral("does not have 2 values")));
    }

    void selectionTexts() {
        PvxSelection selection;
        QCOMPARE(
            selection.addRuns(QStringLiteral("a")),
            QStringLiteral("Invalid run selection: \"a\" is not a number or a range of numbers such as 0-9"));
        QCOMPARE(selection.addSlots(QStringLiteral("5-2")),
                 QStringLiteral("Invalid slot selection: \"5-2\" is a range that ends before it begins"));
        QCOMPARE(selection.addSlots(QStringLiteral("99999999999")),
                 QStringLiteral("Invalid slot selection: \"99999999999\" is too large a number"));
        QCOMPARE(selection.addSlots(QStringLiteral(",")),
                 QStringLiteral("Invalid slot selection: \",\" names nothing"));
        QVERIFY(selection.choosesEverything());
        QCOMPARE(selection.addSlots(QStringLiteral("[Lake]?.*")), QString());
        QVERIFY(selection.choosesSlot(4, QStringLiteral("[Lake]1"), QStringLiteral("x")));
        QVERIFY(!selection.choosesSlot(4, QStringLiteral("Lake1"), QStringLiteral("x")));
        QVERIFY(selection.choosesRun(12));
    }

    // A listing reads and checks the whole file but keeps no values.
    void contents() {
        QBuffer buffer;
        buffer.setData(QByteArray(workedExample));
        buffer.open(QIODevice::ReadOnly);
        PvxPackage package;
        QCOMPARE(package.readContents(buffer), QString());
        QCOMPARE(package.slotCount(), 2);
        QVERIFY(package.values.isEmpty());
        QCOMPARE(package.runAt(0).timestamps.size(), 2);
        QBuffer broken;
        broken.setData(preamble(2) + runBlock(seriesSlot("A", "1\n2\n")) + runBlock(seriesSlot("A", "1\n")));
        broken.open(QIODevice::ReadOnly);
        QCOMPARE(
            PvxPackage().readContents(broken),
            QStringLiteral("Cannot read PVX file: Slot Lake.A of run 1 does not have 2 values (line 35)"));
    }
};

QTEST_APPLESS_MAIN(TestPvxReader)
#include "tst_pvx_reader.moc"
