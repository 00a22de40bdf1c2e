// The dispatch wrapper and the connection's start, version query, close and destruction,
// against a recording stand-in for the application.

#include "ExcelCom.h"
#include "ExcelComText.h"
#include "FakeExcel.h"
#include "OleDiagnostics.h"

#include <QtTest>

class ExcelConnectionTest : public QObject {
    Q_OBJECT
    FakeExcel* excel = nullptr;
    long stringsBefore = 0;

private slots:
    void init() {
        excel = new FakeExcel;
        stringsBefore = OleLiveStringCount();
    }
    void cleanup() {
        QCOMPARE(excel->liveObjects(), 0);
        QCOMPARE(OleLiveStringCount(), stringsBefore);
        QCOMPARE(OleComInitializeDepth(), 0);
        delete excel;
    }

    // comCallWrap.

    void nullObjectIsRefusedWithoutCall() {
        ExcelCom com;
        QString errMsg = QStringLiteral("earlier");
        QVERIFY(!com.comCallWrap(errMsg, DISPATCH_METHOD, nullptr, nullptr, OLESTR("Quit"), 0));
        QCOMPARE(errMsg, QStringLiteral("NULL IDispatch argument passed to comCallWrap()"));
    }

    void unknownMemberWipesMessage() {
        ExcelCom com;
        IDispatch* sheet = excel->newObject(QStringLiteral("Worksheet"));
        QString errMsg = QStringLiteral("earlier text");
        QVERIFY(!com.comCallWrap(errMsg, DISPATCH_PROPERTYGET, nullptr, sheet, OLESTR("Nonexistent"), 0));
        QVERIFY(errMsg.isEmpty());
        QVERIFY(excel->calls.isEmpty());
        QCOMPARE(excel->lookupLocales, QList<LCID>{LOCALE_USER_DEFAULT});
        sheet->Release();
    }

    void failedCallWipesMessage() {
        ExcelCom com;
        IDispatch* sheet = excel->newObject(QStringLiteral("Worksheet"));
        excel->failing.insert(QStringLiteral("Worksheet.Name"));
        QString errMsg = QStringLiteral("earlier text");
        VARIANT name = excelComText(QStringLiteral("X"));
        QVERIFY(!com.comCallWrap(errMsg, DISPATCH_PROPERTYPUT, nullptr, sheet, OLESTR("Name"), 1, name));
        QVERIFY(errMsg.isEmpty());
        VariantClear(&name);
        sheet->Release();
    }

    void successLeavesMessageAlone() {
        ExcelCom com;
        IDispatch* sheet = excel->newObject(QStringLiteral("Worksheet"));
        QString errMsg = QStringLiteral("kept");
        VARIANT result;
        VariantInit(&result);
        QVERIFY(com.comCallWrap(errMsg, DISPATCH_PROPERTYGET, &result, sheet, OLESTR("cells"), 0));
        QCOMPARE(errMsg, QStringLiteral("kept"));
        QCOMPARE(result.vt, VARTYPE(VT_DISPATCH));
        VariantClear(&result);
        sheet->Release();
    }

    void twoArgumentsReachInvokeLastFirst() {
        ExcelCom com;
        IDispatch* sheet = excel->newObject(QStringLiteral("Worksheet"));
        QString errMsg;
        VARIANT result;
        VariantInit(&result);
        QVERIFY(com.comCallWrap(errMsg, DISPATCH_PROPERTYGET, &result, sheet, OLESTR("Cells"), 2,
                                excelComInteger(7), excelComInteger(3)));
        VariantClear(&result);
        QCOMPARE(excel->calls.size(), 1);
        const RecordedCall& call = excel->calls[0];
        QCOMPARE(call.rawArguments.size(), 2);
        QCOMPARE(call.rawArguments[0].integer, 3); // column
        QCOMPARE(call.rawArguments[1].integer, 7); // row
        QVERIFY(call.namedArguments.isEmpty());
        QCOMPARE(call.flags, WORD(DISPATCH_PROPERTYGET));
        QCOMPARE(call.lcid, LCID(LOCALE_SYSTEM_DEFAULT));
        QVERIFY(call.resultRequested);
        sheet->Release();
    }

    void propertyPutNamesItsOneArgument() {
        ExcelCom com;
        IDispatch* font = excel->newObject(QStringLiteral("Font"));
        QString errMsg;
        QVERIFY(com.comCallWrap(errMsg, DISPATCH_PROPERTYPUT, nullptr, font, OLESTR("Bold"), 1,
                                excelComInteger(1)));
        const RecordedCall& call = excel->calls[0];
        QCOMPARE(call.namedArguments, QList<DISPID>{DISPID_PROPERTYPUT});
        QCOMPARE(call.rawArguments.size(), 1);
        QCOMPARE(call.rawArguments[0].vt, VARTYPE(VT_I4));
        QCOMPARE(call.rawArguments[0].integer, 1);
        QCOMPARE(call.flags, WORD(DISPATCH_PROPERTYPUT));
        QVERIFY(!call.resultRequested);
        font->Release();
    }

    void argumentsStayOwnedByCaller() {
        ExcelCom com;
        IDispatch* sheet = excel->newObject(QStringLiteral("Worksheet"));
        QString errMsg;
        VARIANT name = excelComText(QStringLiteral("Runs"));
        QVERIFY(com.comCallWrap(errMsg, DISPATCH_PROPERTYPUT, nullptr, sheet, OLESTR("Name"), 1, name));
        QCOMPARE(OleLiveStringCount(), stringsBefore + 1);
        QCOMPARE(name.vt, VARTYPE(VT_BSTR));
        QCOMPARE(SysStringLen(name.bstrVal), 4u);
        QCOMPARE(excel->calls[0].rawArguments[0].text, QStringLiteral("Runs"));
        VariantClear(&name);
        sheet->Release();
    }

    void textTravelsThroughTheLocalEncoding() {
        VARIANT text = excelComText(QStringLiteral("Gr\u00FC\u00DFe \u6E29\u5EA6"));
        QCOMPARE(QString::fromUtf16(text.bstrVal, SysStringLen(text.bstrVal)),
                 QStringLiteral("Gr\u00FC\u00DFe \u6E29\u5EA6"));
        VariantClear(&text);
        VARIANT empty = excelComText(QString());
        QCOMPARE(empty.vt, VARTYPE(VT_BSTR));
        QVERIFY(empty.bstrVal);
        QCOMPARE(SysStringLen(empty.bstrVal), 0u);
        VariantClear(&empty);
    }

    // startExcel.

    void startPutsOneSheetPerNewWorkbook() {
        {
            ExcelCom com;
            QString errMsg = QStringLiteral("kept");
            QVERIFY(com.startExcel(errMsg, false));
            QCOMPARE(errMsg, QStringLiteral("kept"));
            QCOMPARE(excel->callTexts(), QStringList{"put Application.SheetsInNewWorkbook(1)"});
            QCOMPARE(OleComInitializeDepth(), 1);
            com.closeExcel();
        }
        excel->clearRecord();
        ExcelCom visible;
        QString errMsg;
        QVERIFY(visible.startExcel(errMsg, true));
        QCOMPARE(excel->callTexts(),
                 (QStringList{"put Application.SheetsInNewWorkbook(1)", "put Application.Visible(1)"}));
        visible.closeExcel();
    }

    void startOnStartedConnectionCreatesNothing() {
        ExcelCom com;
        QString errMsg;
        QVERIFY(com.startExcel(errMsg, false));
        const long initsBefore = OleCoInitializeCallCount();
        QVERIFY(com.startExcel(errMsg, true));
        QCOMPARE(excel->instancesCreated, 1);
        QCOMPARE(OleCoInitializeCallCount(), initsBefore);
        QCOMPARE(excel->calls.size(), 1);
        com.closeExcel();
    }

    void startWithoutRegisteredClass() {
        excel->unregisterClass();
        ExcelCom com;
        QString errMsg;
        QVERIFY(!com.startExcel(errMsg, false));
        QCOMPARE(errMsg, QStringLiteral("CLSIDFromProgID() failed when trying to start Excel Application"));
        // The failed start has initialised COM and holds nothing; destruction touches nothing.
        QCOMPARE(OleComInitializeDepth(), 1);
        CoUninitialize();
    }

    void startWhenInstanceCannotBeCreated() {
        excel->createFails = true;
        ExcelCom com;
        QString errMsg;
        QVERIFY(!com.startExcel(errMsg, false));
        QCOMPARE(errMsg,
                 QStringLiteral("CoCreateInstance()failed - Excel not registered properly with the system"));
        QVERIFY(excel->calls.isEmpty());
        CoUninitialize();
    }

    void startSettingFailuresOnlyWipeMessage() {
        excel->failing.insert(QStringLiteral("Application.SheetsInNewWorkbook"));
        excel->failing.insert(QStringLiteral("Application.Visible"));
        ExcelCom com;
        QString errMsg = QStringLiteral("earlier");
        QVERIFY(com.startExcel(errMsg, true));
        QVERIFY(errMsg.isEmpty());
        com.closeExcel();
    }

    // excelVersion.

    void versionIsTheLeadingNumber_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<int>("major");
        QTest::newRow("16.0") << "16.0" << 16;
        QTest::newRow("11.0") << "11.0" << 11;
        QTest::newRow("12") << "12" << 12;
        QTest::newRow("no digits") << "Excel" << 0;
        QTest::newRow("empty") << "" << 0;
    }
    void versionIsTheLeadingNumber() {
        QFETCH(QString, text);
        QFETCH(int, major);
        excel->version = text;
        ExcelCom com;
        QString errMsg = QStringLiteral("kept");
        QVERIFY(com.startExcel(errMsg, false));
        QCOMPARE(com.excelVersion(), major);
        QCOMPARE(errMsg, QStringLiteral("kept"));
        com.closeExcel();
    }

    void versionUnavailable() {
        ExcelCom empty;
        QCOMPARE(empty.excelVersion(), -1);
        excel->failing.insert(QStringLiteral("Application.Version"));
        ExcelCom com;
        QString errMsg = QStringLiteral("kept");
        com.startExcel(errMsg, false);
        QCOMPARE(com.excelVersion(), -1);
        QCOMPARE(errMsg, QStringLiteral("kept"));
        com.closeExcel();
    }

    // closeExcel and destruction.

    void closeOnEmptyConnectionOnlyUninitializes() {
        ExcelCom com;
        CoInitialize(nullptr);
        const long uninitsBefore = OleCoUninitializeCallCount();
        com.closeExcel();
        QCOMPARE(OleCoUninitializeCallCount(), uninitsBefore + 1);
        QVERIFY(excel->calls.isEmpty());
    }

    void closeMarksWorkbookSavedAndQuits() {
        excel->existingPaths.insert(QStringLiteral("C:\\book.xlsx"));
        excel->existingSheets.insert(QStringLiteral("Header"));
        ExcelCom com;
        QString errMsg;
        QVERIFY(com.startExcel(errMsg, false));
        QVERIFY(com.openWorksheet(QStringLiteral("C:\\book.xlsx"), QStringLiteral("Header"), errMsg, false));
        excel->clearRecord();
        com.closeExcel();
        QCOMPARE(excel->callTexts(), (QStringList{"put Workbook.Saved(1)", "call Application.Quit()"}));
        QVERIFY(!excel->calls[1].resultRequested);
        QCOMPARE(excel->liveObjects(), 0);
        QCOMPARE(com.excelVersion(), -1);
        // Closing again is harmless.
        CoInitialize(nullptr);
        com.closeExcel();
        QCOMPARE(excel->calls.size(), 2);
    }

    void closeNeverFails() {
        excel->existingPaths.insert(QStringLiteral("C:\\book.xlsx"));
        excel->failing.insert(QStringLiteral("Workbook.Saved"));
        excel->failing.insert(QStringLiteral("Application.Quit"));
        ExcelCom com;
        QString errMsg;
        com.startExcel(errMsg, false);
        excel->existingSheets.insert(QStringLiteral("Header"));
        QVERIFY(com.openWorksheet(QStringLiteral("C:\\book.xlsx"), QStringLiteral("Header"), errMsg, false));
        com.closeExcel();
        QCOMPARE(excel->liveObjects(), 0);
    }

    void destroyingStartedConnectionClosesIt() {
        excel->existingPaths.insert(QStringLiteral("C:\\book.xlsx"));
        excel->existingSheets.insert(QStringLiteral("Header"));
        const long uninitsBefore = OleCoUninitializeCallCount();
        {
            ExcelCom com;
            QString errMsg;
            QVERIFY(com.startExcel(errMsg, false));
            QVERIFY(
                com.openWorksheet(QStringLiteral("C:\\book.xlsx"), QStringLiteral("Header"), errMsg, false));
            excel->clearRecord();
        }
        QCOMPARE(excel->callTexts(), (QStringList{"put Workbook.Saved(1)", "call Application.Quit()"}));
        QCOMPARE(OleCoUninitializeCallCount(), uninitsBefore + 1);
    }

    void destroyingEmptyConnectionTouchesNothing() {
        const long uninitsBefore = OleCoUninitializeCallCount();
        { ExcelCom com; }
        {
            ExcelCom closed;
            QString errMsg;
            closed.startExcel(errMsg, false);
            closed.closeExcel();
        }
        QCOMPARE(OleCoUninitializeCallCount(), uninitsBefore + 1);
    }
};

QTEST_APPLESS_MAIN(ExcelConnectionTest)
#include "tst_excel_connection.moc"
