// A conversion between its steps: progress and stops within one big worksheet, a spreadsheet
// application's lock file that appears while the workbook is made, and refusals that come
// before the study is read.
#include "ConversionObserver.h"
#include "ExcelWrite.h"
#include "SpreadsheetServer.h"
#include "WorkbookClaim.h"

#include <QBuffer>
#include <QCryptographicHash>
#include <QDir>
#include <QFile>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTest>

#include <functional>
#include <unistd.h>

namespace {
// One run of 300 slots over 1,000 daily steps: 300,000 values on one worksheet in arrangement 0.
QByteArray bigSingleRunStudy() {
    QByteArray text = "name:Big\nnumber_of_runs:1\nEND_PACKAGE_PREAMBLE\n"
                      "start:2021-1-1 24:00\nend:2023-9-27 24:00\ntime_step_unit:day\nunit_quantity:1\n"
                      "time_steps:1000\nEND_RUN_PREAMBLE\n";
    QDate day(2021, 1, 1);
    for (int t = 0; t < 1000; ++t, day = day.addDays(1))
        text += day.toString("yyyy-M-d").toLatin1() + " 24:00\n";
    for (int s = 0; s < 300; ++s) {
        text += "object_name: Lake\nslot_name: S" + QByteArray::number(s) +
                "\nEND_SLOT_PREAMBLE\nunits: cfs\nscale: 1\n";
        for (int t = 0; t < 1000; ++t)
            text += QByteArray::number(s * 1000 + t) + '\n';
        text += "END_COLUMN\nEND_SLOT\n";
    }
    return text + "END_RUN\n";
}

struct RecordingObserver : ConversionObserver {
    QList<QPair<QString, qint64>> worksheets;
    std::function<void()> onWorksheet;
    void packageRead(int, int, int) override {}
    void writingWorksheet(const QString& name, qint64 valuesWritten, qint64) override {
        worksheets.append({name, valuesWritten});
        if (onWorksheet)
            onWorksheet();
    }
    void saving(int, qint64) override {}
};

QByteArray digest(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly)
               ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256)
               : QByteArray();
}
} // namespace

class ConversionStepsTest : public QObject {
    Q_OBJECT
    QTemporaryDir dir;
    QByteArray study;

    WriteStatus convert(const QString& workbook, RecordingObserver* observer, const std::atomic<bool>* stop,
                        const QByteArray& text) {
        QBuffer input;
        input.setData(text);
        input.open(QIODevice::ReadOnly);
        ExcelWrite writer;
        writer.setOrientation(TimestepsSlotsRuns);
        writer.setSlotLabelPreference(Index);
        writer.setDevice(&input);
        writer.setWorkbookName(workbook);
        writer.setObserver(observer);
        writer.setStopRequest(stop);
        return writer.write();
    }

private Q_SLOTS:
    void initTestCase() {
        registerSpreadsheetServer();
        study = bigSingleRunStudy();
    }
    void cleanupTestCase() { unregisterSpreadsheetServer(); }

    void oneBigWorksheetReportsProgressAndStopsWithin() {
        const QString workbook = dir.filePath(QStringLiteral("one.xlsx"));
        RecordingObserver observer;
        QCOMPARE(convert(workbook, &observer, nullptr, study), QString());
        QList<qint64> written;
        for (const auto& [name, values] : observer.worksheets)
            if (name == QLatin1String("Run0"))
                written.append(values);
        QVERIFY2(written.size() >= 2, "progress within the worksheet");
        QCOMPARE(written.first(), 0);
        QVERIFY(std::is_sorted(written.begin(), written.end()) && written.last() < 300000);

        // A stop while the worksheet is written ends the conversion before the next band.
        const QString stopped = dir.filePath(QStringLiteral("stopped.xlsx"));
        std::atomic<bool> stop{false};
        RecordingObserver stopper;
        stopper.onWorksheet = [&] {
            if (stopper.worksheets.last().first == QLatin1String("Run0"))
                stop = true;
        };
        QCOMPARE(convert(stopped, &stopper, &stop, study), ExcelWrite::stoppedMessage());
        QVERIFY(!QFile::exists(stopped));
    }

    // A spreadsheet application that opens the workbook during the conversion keeps it as it was.
    void lockFileAppearingDuringTheConversion() {
        const QString workbook = dir.filePath(QStringLiteral("opened.xlsx"));
        QCOMPARE(convert(workbook, nullptr, nullptr, study), QString());
        const QByteArray before = digest(workbook);
        const QString lock = dir.filePath(QStringLiteral(".~lock.opened.xlsx#"));
        RecordingObserver opener;
        opener.onWorksheet = [&] {
            QFile file(lock);
            QVERIFY(file.open(QIODevice::WriteOnly));
        };
        const QString status = convert(workbook, &opener, nullptr, study);
        QVERIFY2(
            status.startsWith(
                QStringLiteral("The workbook \"%1\" is open in a spreadsheet application").arg(workbook)),
            qPrintable(status));
        QVERIFY(status.contains(QStringLiteral("remove the lock file, for example with: rm '%1'").arg(lock)));
        QCOMPARE(digest(workbook), before);
        // Not left by this user on this machine: not stale.
        QFile file(lock);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("Someone,someone-else," + QSysInfo::machineHostName().toUtf8() +
                   ",07.12.2026 10:00,file:///x;");
        file.close();
        QCOMPARE(WorkbookClaim::staleApplicationLock(workbook), QString());
        QFile::remove(lock);
        QCOMPARE(WorkbookClaim::staleApplicationLock(workbook), QString());
    }

    // A workbook that may not be replaced is refused before the study is read: even a file that
    // is no study at all gets the workbook's refusal.
    void refusedBeforeTheStudyIsRead() {
        if (::geteuid() == 0)
            QSKIP("permissions do not bind root");
        const QString workbook = dir.filePath(QStringLiteral("readonly.xlsx"));
        QCOMPARE(convert(workbook, nullptr, nullptr, study), QString());
        QFile::setPermissions(workbook, QFile::ReadOwner | QFile::ReadUser);
        const QString status = convert(workbook, nullptr, nullptr, "not a study");
        QVERIFY2(status.startsWith(QStringLiteral("Cannot save \"%1\": Permission denied").arg(workbook)),
                 qPrintable(status));
        QVERIFY(status.endsWith(QStringLiteral(" Could not save workbook \"%1\"").arg(workbook)));

        QDir(dir.path()).mkdir(QStringLiteral("closed"));
        const QString closed = dir.filePath(QStringLiteral("closed"));
        QFile::setPermissions(closed, QFile::ReadOwner | QFile::ExeOwner);
        const QString inClosed =
            convert(closed + QStringLiteral("/new.xlsx"), nullptr, nullptr, "not a study");
        QVERIFY2(inClosed.contains(QStringLiteral("the folder \"%1\" may not be written").arg(closed)),
                 qPrintable(inClosed));
    }
};

QTEST_GUILESS_MAIN(ConversionStepsTest)
#include "tst_conversion_steps.moc"
