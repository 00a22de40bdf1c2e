// Opening and creating workbooks, finding and adding worksheets, saving: the calls made and
// every message, against a recording stand-in for the application.

#include "ExcelCom.h"
#include "FakeExcel.h"
#include "OleDiagnostics.h"

#include <QtTest>

namespace {
const QString book = QStringLiteral("C:\\out\\book.xlsx");

const QStringList openFails = {"get Application.Workbooks()", "put Application.DisplayAlerts(0)",
                               "call Workbooks.Open(\"C:\\out\\book.xlsx\")",
                               "put Application.DisplayAlerts(1)"};
} // namespace

class ExcelWorkbooksTest : public QObject {
    Q_OBJECT
    FakeExcel* excel = nullptr;
    ExcelCom* com = nullptr;
    long stringsBefore = 0;

    void start() {
        QString errMsg;
        QVERIFY(com->startExcel(errMsg, false));
        excel->clearRecord();
    }

private slots:
    void init() {
        stringsBefore = OleLiveStringCount();
        excel = new FakeExcel;
        com = new ExcelCom;
    }
    void cleanup() {
        delete com;
        QCOMPARE(excel->liveObjects(), 0);
        QCOMPARE(OleLiveStringCount(), stringsBefore);
        QCOMPARE(OleComInitializeDepth(), 0);
        delete excel;
    }

    void newWorkbookIsCreatedNamedAndSaved() {
        start();
        excel->existingSheets.insert(QStringLiteral("Header"));
        QString errMsg;
        QVERIFY(com->openWorksheet(book, QStringLiteral("Header"), errMsg, true));
        QVERIFY(errMsg.isEmpty());
        QCOMPARE(excel->callTexts(), (openFails + QStringList{
                                                      "call Workbooks.Add()",
                                                      "get Workbook.Sheets()",
                                                      "get Sheets.Item(1)",
                                                      "put Worksheet.Name(\"Header\")",
                                                      "get Application.Version()",
                                                      "call Workbook.SaveAs(\"C:\\out\\book.xlsx\", 51)",
                                                      "get Workbook.Sheets()",
                                                      "get Sheets.Item(\"Header\")",
                                                  }));
        // Held: application, workbook, worksheet.
        QCOMPARE(excel->liveObjects(), 3);
    }

    void missingWorksheetIsAddedAfterTheLast() {
        start();
        excel->sheetCount = 3;
        excel->existingPaths.insert(book);
        QString errMsg;
        QVERIFY(com->openWorksheet(book, QStringLiteral("Run 1"), errMsg, true));
        QCOMPARE(excel->callTexts(), (QStringList{
                                         "get Application.Workbooks()",
                                         "put Application.DisplayAlerts(0)",
                                         "call Workbooks.Open(\"C:\\out\\book.xlsx\")",
                                         "put Application.DisplayAlerts(1)",
                                         "get Workbook.Sheets()",
                                         "get Sheets.Item(\"Run 1\")",
                                         "get Sheets.Count()",
                                         "get Sheets.Item(3)",
                                         "call Sheets.Add(null, Worksheet, 1, -4167)",
                                         "put Worksheet.Name(\"Run 1\")",
                                     }));
        QCOMPARE(excel->liveObjects(), 3);
    }

    void unreadableCountAddsAfterTheFirst() {
        start();
        excel->sheetCount = 4;
        excel->existingPaths.insert(book);
        excel->failing.insert(QStringLiteral("Sheets.Count"));
        QString errMsg = QStringLiteral("kept");
        QVERIFY(com->openWorksheet(book, QStringLiteral("Slots"), errMsg, true));
        QVERIFY(excel->callTexts().contains(QStringLiteral("get Sheets.Item(1)")));
        // The failed name lookup emptied errMsg; the failed count adds nothing to it.
        QCOMPARE(errMsg, QStringLiteral(""));
    }

    void sameTargetTwiceMakesNoCall() {
        start();
        excel->existingPaths.insert(book);
        excel->existingSheets.insert(QStringLiteral("Header"));
        QString errMsg;
        QVERIFY(com->openWorksheet(book, QStringLiteral("Header"), errMsg, true));
        excel->clearRecord();
        QVERIFY(com->openWorksheet(book, QStringLiteral("Header"), errMsg, true));
        QVERIFY(excel->calls.isEmpty());
        // Names compare with case: another spelling is another worksheet.
        QVERIFY(!com->openWorksheet(book, QStringLiteral("HEADER"), errMsg, false));
        QCOMPARE(excel->callTexts(), (QStringList{"get Workbook.Sheets()", "get Sheets.Item(\"HEADER\")"}));
    }

    void existingWorkbookIsUsedWhateverItsExtension() {
        start();
        const QString odd = QStringLiteral("C:\\data\\BOOK.XLSX");
        excel->existingPaths.insert(odd);
        excel->existingSheets.insert(QStringLiteral("Header"));
        QString errMsg;
        QVERIFY(com->openWorksheet(odd, QStringLiteral("Header"), errMsg, true));
        for (const QString& call : excel->callTexts()) {
            QVERIFY(!call.contains(QLatin1String("SaveAs")));
            QVERIFY(!call.contains(QLatin1String("Add")));
        }
    }

    void switchingWorkbookDropsThePrevious() {
        start();
        const QString other = QStringLiteral("C:\\other.xlsx");
        excel->existingPaths << book << other;
        excel->existingSheets.insert(QStringLiteral("Header"));
        QString errMsg;
        QVERIFY(com->openWorksheet(book, QStringLiteral("Header"), errMsg, false));
        excel->clearRecord();
        QVERIFY(com->openWorksheet(other, QStringLiteral("Header"), errMsg, false));
        const QStringList calls = excel->callTexts();
        QCOMPARE(calls.mid(0, 3), (QStringList{"put Workbook.Saved(1)", "call Workbook.Close()",
                                               "get Application.Workbooks()"}));
        QCOMPARE(excel->liveObjects(), 3);
    }

    void saveFormatFollowsExtensionAndVersion_data() {
        QTest::addColumn<QString>("version");
        QTest::addColumn<QString>("path");
        QTest::addColumn<int>("format"); // 0: not supported
        QTest::addColumn<QString>("extension");
        QTest::newRow("xlsx") << "16.0"
                              << "C:\\a.xlsx" << 51 << ".xlsx";
        QTest::newRow("xlsm") << "16.0"
                              << "C:\\a.xlsm" << 52 << ".xlsm";
        QTest::newRow("xlsb") << "12.0"
                              << "C:\\a.xlsb" << 50 << ".xlsb";
        QTest::newRow("xls on 16") << "16.0"
                                   << "C:\\a.xls" << 56 << ".xls";
        QTest::newRow("xls on 11") << "11.0"
                                   << "C:\\a.xls" << -4143 << ".xls";
        QTest::newRow("xls, no version") << ""
                                         << "C:\\a.xls" << -4143 << ".xls";
        QTest::newRow("xlsx on 11") << "11.0"
                                    << "C:\\a.xlsx" << 0 << ".xlsx";
        QTest::newRow("capitals") << "16.0"
                                  << "C:\\a.XLSX" << 0 << "";
        QTest::newRow("capitals after .xl") << "16.0"
                                            << "C:\\a.xlSX" << 0 << ".xlSX";
        QTest::newRow("no extension") << "16.0"
                                      << "C:\\a.csv" << 0 << "";
        QTest::newRow(".xl in folder") << "16.0"
                                       << "C:\\my.xlfiles\\a.xlsx" << 0 << ".xlfiles\\a.xlsx";
        QTest::newRow("xlsx then more") << "16.0"
                                        << "C:\\a.xlsx.bak" << 0 << ".xlsx.bak";
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
        const bool opened = com->openWorksheet(path, QStringLiteral("Header"), errMsg, true);
        QCOMPARE(opened, format != 0);
        const QString saveAs = QStringLiteral("call Workbook.SaveAs(\"%1\", %2)").arg(path).arg(format);
        if (format != 0) {
            QVERIFY(errMsg.isEmpty());
            QVERIFY(excel->callTexts().contains(saveAs));
            return;
        }
        QCOMPARE(errMsg,
                 QStringLiteral("The file extension of \"%1\" for workbook \"%2\" is not supported in your "
                                "version of Excel")
                     .arg(extension, path));
        QVERIFY(!excel->callTexts().last().contains(QLatin1String("SaveAs")));
        // The new workbook is let go: only the application is held.
        QCOMPARE(excel->liveObjects(), 1);
    }

    void failuresOfNewWorkbook_data() {
        QTest::addColumn<QString>("failing");
        QTest::addColumn<QString>("message");
        QTest::addColumn<int>("held");
        QTest::newRow("Workbooks") << "Application.Workbooks"
                                   << " Could not get Workbooks collection." << 1;
        QTest::newRow("Add") << "Workbooks.Add"
                             << " Could not open or create workbook \"C:\\out\\book.xlsx\"" << 1;
        QTest::newRow("Sheets") << "Workbook.Sheets"
                                << " Could not get the Sheets collection for new workbook" << 2;
        QTest::newRow("Item") << "Sheets.Item"
                              << " Could not get the first worksheet in the new workbook" << 2;
        QTest::newRow("Name") << "Worksheet.Name"
                              << " Could not name the first worksheet in the new workbook" << 2;
        QTest::newRow("SaveAs") << "Workbook.SaveAs"
                                << " Could not create and save workbook to path \"C:\\out\\book.xlsx\"" << 1;
    }
    void failuresOfNewWorkbook() {
        QFETCH(QString, failing);
        QFETCH(QString, message);
        QFETCH(int, held);
        excel->failing.insert(failing);
        start();
        QString errMsg = QStringLiteral("earlier text that the failed call wipes");
        QVERIFY(!com->openWorksheet(book, QStringLiteral("Header"), errMsg, true));
        QCOMPARE(errMsg, message);
        QCOMPARE(excel->liveObjects(), held);
    }

    void failuresOfWorksheetStep_data() {
        QTest::addColumn<QString>("failing");
        QTest::addColumn<QString>("message");
        QTest::newRow("Sheets") << "Workbook.Sheets"
                                << " Could not get the Sheets collection for workbook \"C:\\out\\book.xlsx\"";
        QTest::newRow("last") << "Sheets.Item"
                              << " Could not get the last worksheet in workbook \"C:\\out\\book.xlsx\"";
        QTest::newRow("Add")
            << "Sheets.Add"
            << " Could not get or add the worksheet \"Data\" in workbook \"C:\\out\\book.xlsx\"";
        QTest::newRow("Name")
            << "Worksheet.Name"
            << " Could not name new worksheet as \"Data\" in workbook \"C:\\out\\book.xlsx\"";
    }
    void failuresOfWorksheetStep() {
        QFETCH(QString, failing);
        QFETCH(QString, message);
        excel->existingPaths.insert(book);
        excel->failing.insert(failing);
        start();
        QString errMsg = QStringLiteral("earlier");
        QVERIFY(!com->openWorksheet(book, QStringLiteral("Data"), errMsg, true));
        QCOMPARE(errMsg, message);
        // The workbook stays current; no worksheet is held.
        QCOMPARE(excel->liveObjects(), 2);
        excel->clearRecord();
        excel->failing.clear();
        QVERIFY(com->openWorksheet(book, QStringLiteral("Data"), errMsg, true));
        QCOMPARE(excel->callTexts().first(), QStringLiteral("get Workbook.Sheets()"));
    }

    void withoutCreateMissingThingsAreReported() {
        start();
        QString errMsg = QStringLiteral("earlier");
        QVERIFY(!com->openWorksheet(book, QStringLiteral("Header"), errMsg, false));
        QCOMPARE(errMsg, QStringLiteral(" Could not open workbook \"C:\\out\\book.xlsx\""));
        QCOMPARE(excel->callTexts(), openFails);
        QCOMPARE(excel->liveObjects(), 1);

        excel->existingPaths.insert(book);
        errMsg = QStringLiteral("earlier");
        QVERIFY(!com->openWorksheet(book, QStringLiteral("Missing"), errMsg, false));
        QCOMPARE(errMsg, QStringLiteral(
                             " Could not get the worksheet \"Missing\" in workbook \"C:\\out\\book.xlsx\""));
    }

    void openingNeedsAStartedConnection() {
        QString errMsg = QStringLiteral("earlier");
        QVERIFY(!com->openWorksheet(book, QStringLiteral("Header"), errMsg, true));
        QCOMPARE(errMsg, QStringLiteral("Excel connection has not been initialized properly"));
        QVERIFY(excel->calls.isEmpty());
    }

    void failedOpenRestoresAlertsAndFreesPath() {
        start();
        QString errMsg;
        com->openWorksheet(book, QStringLiteral("Header"), errMsg, false);
        QCOMPARE(OleLiveStringCount(), stringsBefore);
        QCOMPARE(excel->callTexts().last(), QStringLiteral("put Application.DisplayAlerts(1)"));
    }

    void saveOnlyTheCurrentWorkbook() {
        start();
        excel->existingPaths.insert(book);
        excel->existingSheets.insert(QStringLiteral("Header"));
        QString errMsg;
        QVERIFY(com->openWorksheet(book, QStringLiteral("Header"), errMsg, false));
        excel->clearRecord();
        QVERIFY(com->saveWorkbook(QStringLiteral("C:\\elsewhere.xlsx"), errMsg));
        QVERIFY(excel->calls.isEmpty());
        QVERIFY(com->saveWorkbook(book, errMsg));
        QCOMPARE(excel->callTexts(), QStringList{"call Workbook.Save()"});
        QVERIFY(excel->calls[0].resultRequested);

        excel->failing.insert(QStringLiteral("Workbook.Save"));
        errMsg = QStringLiteral("earlier");
        QVERIFY(!com->saveWorkbook(book, errMsg));
        QCOMPARE(errMsg, QStringLiteral(" Could not save workbook \"C:\\out\\book.xlsx\""));
    }
};

QTEST_APPLESS_MAIN(ExcelWorkbooksTest)
#include "tst_excel_workbooks.moc"
