// Opening and creating workbooks, finding and adding worksheets: the calls made and
// the messages of the failures that only a misbehaving application produces, against a
// recording stand-in for the application.

#include "FakeExcel.h"

namespace {
const QStringList failedOpen = {"get Application.Workbooks()", "put Application.DisplayAlerts(0)",
                                "call Workbooks.Open(\"C:\\out\\book.xlsx\")",
                                "put Application.DisplayAlerts(1)"};
} // namespace

class ExcelWorkbooksTest : public QObject, ExcelFixture {
    Q_OBJECT

private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    void newWorkbookIsCreatedNamedAndSaved() {
        start();
        excel->existingSheets.insert(QStringLiteral("Header"));
        QString errMsg;
        QVERIFY(com->openWorksheet(fakeBook, QStringLiteral("Header"), errMsg, true));
        QVERIFY(errMsg.isEmpty());
        QCOMPARE(
            excel->callTexts(),
            (failedOpen + QStringList{"call Workbooks.Add()", "get Workbook.Sheets()", "get Sheets.Item(1)",
                                      "put Worksheet.Name(\"Header\")", "get Application.Version()",
                                      "call Workbook.SaveAs(\"C:\\out\\book.xlsx\", 51)",
                                      "get Workbook.Sheets()", "get Sheets.Item(\"Header\")"}));
        QCOMPARE(excel->liveObjects(), 3); // application, workbook, worksheet
    }

    void missingWorksheetIsAddedAfterTheLast() {
        excel->sheetCount = 3;
        startOn(fakeBook, QStringLiteral("Header"));
        QString errMsg;
        QVERIFY(com->openWorksheet(fakeBook, QStringLiteral("Run 1"), errMsg, true));
        QCOMPARE(excel->callTexts(),
                 (QStringList{"get Workbook.Sheets()", "get Sheets.Item(\"Run 1\")", "get Sheets.Count()",
                              "get Sheets.Item(3)", "call Sheets.Add(null, Worksheet, 1, -4167)",
                              "put Worksheet.Name(\"Run 1\")"}));
        QCOMPARE(excel->liveObjects(), 3);
        // Without a count the new worksheet goes after the first.
        excel->failing.insert(QStringLiteral("Sheets.Count"));
        excel->clearRecord();
        errMsg = QStringLiteral("earlier");
        QVERIFY(com->openWorksheet(fakeBook, QStringLiteral("Slots"), errMsg, true));
        QVERIFY(excel->callTexts().contains(QStringLiteral("get Sheets.Item(1)")));
        QCOMPARE(errMsg, QString());
    }

    void currentTargetMakesNoCall() {
        startOn(fakeBook, QStringLiteral("Header"));
        QString errMsg;
        QVERIFY(com->openWorksheet(fakeBook, QStringLiteral("Header"), errMsg, true));
        QVERIFY(excel->calls.isEmpty());
        // Names compare with case here: another spelling is looked up again.
        QVERIFY(!com->openWorksheet(fakeBook, QStringLiteral("HEADER"), errMsg, false));
        QCOMPARE(excel->callTexts(), (QStringList{"get Workbook.Sheets()", "get Sheets.Item(\"HEADER\")"}));
    }

    void otherWorkbookReplacesTheCurrent() {
        const QString other = QStringLiteral("C:\\data\\OTHER.XLSX");
        excel->existingPaths.insert(other);
        startOn(fakeBook, QStringLiteral("Header"));
        QString errMsg;
        QVERIFY(com->openWorksheet(other, QStringLiteral("Header"), errMsg, true));
        const QStringList calls = excel->callTexts();
        QCOMPARE(calls.mid(0, 3), (QStringList{"put Workbook.Saved(1)", "call Workbook.Close()",
                                               "get Application.Workbooks()"}));
        // An existing workbook is used whatever its extension: nothing is added or saved.
        QVERIFY(!calls.join(' ').contains(QLatin1String("Add")));
        QVERIFY(!calls.join(' ').contains(QLatin1String("SaveAs")));
        QCOMPARE(excel->liveObjects(), 3);
    }

    void saveFormatFollowsExtensionAndVersion_data() {
        QTest::addColumn<QString>("version"); // empty: the query fails
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("format"); // 0: not supported
        QTest::addColumn<QString>("extension");
        const auto row = [](const char* name, const char* version, const char* path, int format,
                            const char* extension) {
            QTest::newRow(name) << QString(version) << QString(path) << format << QString(extension);
        };
        row("xlsm", "16.0", "C:\\a.xlsm", 52, ".xlsm");
        row("xlsb", "12.0", "C:\\a.xlsb", 50, ".xlsb");
        row("xls on 16", "16.0", "C:\\a.xls", 56, ".xls");
        row("xls on 11", "11.0", "C:\\a.xls", -4143, ".xls");
        row("xls, no version", "", "C:\\a.xls", -4143, ".xls");
        row("capitals after .xl", "16.0", "C:\\a.xlSX", 0, ".xlSX");
        row("xlsx then more", "16.0", "C:\\a.xlsx.bak", 0, ".xlsx.bak");
    }
    void saveFormatFollowsExtensionAndVersion() {
        QFETCH(QString, version);
        QFETCH(QString, path);
        QFETCH(int, format);
        QFETCH(QString, extension);
        excel->version = version;
        if (version.isEmpty())
            excel->failing.insert(QStringLiteral("Application.Version"));
        excel->existingSheets.insert(QStringLiteral("Header"));
        start();
        QString errMsg = QStringLiteral("earlier");
        QCOMPARE(com->openWorksheet(path, QStringLiteral("Header"), errMsg, true), format != 0);
        const QStringList calls = excel->callTexts();
        if (format != 0) {
            QVERIFY(errMsg.isEmpty());
            QVERIFY(calls.contains(QStringLiteral("call Workbook.SaveAs(\"%1\", %2)").arg(path).arg(format)));
            return;
        }
        QCOMPARE(errMsg,
                 QStringLiteral("The file extension of \"%1\" for workbook \"%2\" is not supported in "
                                "your version of Excel")
                     .arg(extension, path));
        QVERIFY(!calls.join(' ').contains(QLatin1String("SaveAs")));
        QCOMPARE(excel->liveObjects(), 1); // the new workbook is let go
    }

    void failuresOfNewWorkbook_data() {
        QTest::addColumn<QString>("failing");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("held");
        const auto row = [](const char* failing, const char* message, int held) {
            QTest::newRow(failing) << QString(failing) << QString(message) << held;
        };
        row("Application.Workbooks", " Could not get Workbooks collection.", 1);
        row("Workbooks.Add", " Could not open or create workbook \"C:\\out\\book.xlsx\"", 1);
        row("Workbook.Sheets", " Could not get the Sheets collection for new workbook", 2);
        row("Sheets.Item", " Could not get the first worksheet in the new workbook", 2);
        row("Worksheet.Name", " Could not name the first worksheet in the new workbook", 2);
        row("Workbook.SaveAs", " Could not create and save workbook to path \"C:\\out\\book.xlsx\"", 1);
    }
    void failuresOfNewWorkbook() {
        QFETCH(QString, failing);
        QFETCH(QString, message);
        QFETCH(int, held);
        excel->failing.insert(failing);
        start();
        QString errMsg = QStringLiteral("earlier text that the failed call wipes");
        QVERIFY(!com->openWorksheet(fakeBook, QStringLiteral("Header"), errMsg, true));
        QCOMPARE(errMsg, message);
        QCOMPARE(excel->liveObjects(), held);
    }

    void failuresOfWorksheetStep_data() {
        QTest::addColumn<QString>("failing");
        QTest::addColumn<QString>("message");
        const QString book = QStringLiteral(" in workbook \"C:\\out\\book.xlsx\"");
        QTest::newRow("Sheets") << "Workbook.Sheets"
                                << " Could not get the Sheets collection for workbook \"C:\\out\\book.xlsx\"";
        QTest::newRow("last") << "Sheets.Item"
                              << " Could not get the last worksheet" + book;
        QTest::newRow("Add") << "Sheets.Add"
                             << " Could not get or add the worksheet \"Data\"" + book;
        QTest::newRow("Name") << "Worksheet.Name"
                              << " Could not name new worksheet as \"Data\"" + book;
    }
    void failuresOfWorksheetStep() {
        QFETCH(QString, failing);
        QFETCH(QString, message);
        excel->existingPaths.insert(fakeBook);
        excel->failing.insert(failing);
        start();
        QString errMsg = QStringLiteral("earlier");
        QVERIFY(!com->openWorksheet(fakeBook, QStringLiteral("Data"), errMsg, true));
        QCOMPARE(errMsg, message);
        // The workbook stays current; no worksheet is held.
        QCOMPARE(excel->liveObjects(), 2);
        excel->clearRecord();
        excel->failing.clear();
        QVERIFY(com->openWorksheet(fakeBook, QStringLiteral("Data"), errMsg, true));
        QCOMPARE(excel->callTexts().first(), QStringLiteral("get Workbook.Sheets()"));
    }

    void openingNeedsAStartedConnection() {
        QString errMsg = QStringLiteral("earlier");
        QVERIFY(!com->openWorksheet(fakeBook, QStringLiteral("Header"), errMsg, true));
        QCOMPARE(errMsg, QStringLiteral("Excel connection has not been initialized properly"));
        QVERIFY(excel->calls.isEmpty());
    }
};

QTEST_APPLESS_MAIN(ExcelWorkbooksTest)
#include "tst_excel_workbooks.moc"
