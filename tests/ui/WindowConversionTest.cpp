#include "ExcelWrite.h"
#include "FakeUiHooks.h"
#include "GridwellDlg.h"
#include "QsLog.h"
#include "QsLogDest.h"

#ifdef GRIDWELL_HAS_SPREADSHEET_SERVER
#include "SpreadsheetServer.h"
#endif

#include <QComboBox>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QtTest>

using namespace QsLogging;

namespace {

QStringList loggedLines;
void captureLine(const QString& line, Level) {
    loggedLines.append(line);
}

// Reads the workbook back with an independent reader: sheet names, then the first data
// worksheet's B1 and its row count.
QStringList readBack(const QString& workbook) {
    QProcess python;
    python.start(QStringLiteral("/usr/bin/python3"),
                 {QStringLiteral("-c"),
                  QStringLiteral("import sys, openpyxl\n"
                                 "wb = openpyxl.load_workbook(sys.argv[1])\n"
                                 "print('\\n'.join(wb.sheetnames))\n"
                                 "ws = wb.worksheets[1]\n"
                                 "print(ws['B1'].value)\n"
                                 "print(ws.max_row)\n"),
                  workbook});
    if (!python.waitForFinished(60000) || python.exitCode() != 0) {
        qWarning("%s", python.readAllStandardError().constData());
        return {};
    }
    return QString::fromUtf8(python.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
}

} // namespace

// The window end to end: a real PVX file through the writer into a workbook.
class WindowConversionTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void createWorkbookConvertsTheSample() {
#ifndef GRIDWELL_HAS_SPREADSHEET_SERVER
        QSKIP("no spreadsheet server in this build");
#else
        registerSpreadsheetServer();
        FakeUiHooks hooks;
        DestinationPtr capture = DestinationFactory::MakeFunctorDestination(&captureLine);
        Logger::instance().addDestination(capture);
        ExcelWrite writer;
        GridwellDlg window(&writer);

        QTemporaryDir dir;
        const QString workbook = dir.filePath(QStringLiteral("study.xlsx"));
        window.findChild<QLineEdit*>(QStringLiteral("_sourcePvxLineEdit"))
            ->setText(QStringLiteral(GRIDWELL_EXAMPLES_DIR "/upper-basin-study.pvx"));
        window.findChild<QLineEdit*>(QStringLiteral("_resultWorkbookLineEdit"))->setText(workbook);
        window.findChild<QComboBox*>(QStringLiteral("_configurationComboBox"))->setCurrentIndex(1);
        window.findChild<QRadioButton*>(QStringLiteral("_indexNameRadioButton"))->setChecked(true);
        window.findChild<QPushButton*>(QStringLiteral("_okButton"))->click();
        Logger::instance().removeDestination(capture);

        QCOMPARE(hooks.warnings.size(), 1);
        QCOMPARE(hooks.warnings.at(0).title, QStringLiteral("Excel Write"));
        QCOMPARE(hooks.warnings.at(0).text, QStringLiteral("Workbook write successfully completed!"));
        QVERIFY(loggedLines.last().startsWith(QStringLiteral("INFO  ")));
        QVERIFY(loggedLines.last().endsWith(QStringLiteral(" \"Workbook write successfully completed!\" ")));

        const QStringList read = readBack(workbook);
        QVERIFY(!read.isEmpty());
        const QStringList expectedSheets = QStringList{QStringLiteral("Header")} + writer.slotIndexLabels;
        QVERIFY(writer.slotIndexLabels.size() >= 2);
        QCOMPARE(read.mid(0, expectedSheets.size()), expectedSheets);
        QCOMPARE(read.at(expectedSheets.size()), QStringLiteral("Run0"));
        QCOMPARE(read.at(expectedSheets.size() + 1), QStringLiteral("37")); // a heading row and 36 months
        unregisterSpreadsheetServer();
#endif
    }
};

QTEST_MAIN(WindowConversionTest)
#include "WindowConversionTest.moc"
