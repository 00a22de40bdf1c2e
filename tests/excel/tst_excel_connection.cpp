// The dispatch wrapper and the connection's start, version query, close and destruction,
// against a recording stand-in for the application.

#include "ExcelComText.h"
#include "FakeExcel.h"

class ExcelConnectionTest : public QObject, ExcelFixture {
    Q_OBJECT

    // The open workbook and worksheet held, then the record cleared.
    void startOnBook() { startOn(fakeBook, QStringLiteral("Header")); }

private slots:
    void init() { setUp(); }
    void cleanup() { tearDown(); }

    void failureWipesMessageAndSuccessKeepsIt() {
        QString errMsg = QStringLiteral("earlier");
        QVERIFY(!com->comCallWrap(errMsg, DISPATCH_METHOD, nullptr, nullptr, OLESTR("Quit"), 0));
        QCOMPARE(errMsg, QStringLiteral("NULL IDispatch argument passed to comCallWrap()"));

        IDispatch* sheet = excel->newObject(QStringLiteral("Worksheet"));
        // An unknown member: no Invoke; the lookup uses the user's locale.
        errMsg = QStringLiteral("earlier");
        QVERIFY(!com->comCallWrap(errMsg, DISPATCH_PROPERTYGET, nullptr, sheet, OLESTR("Nonexistent"), 0));
        QVERIFY(errMsg.isEmpty());
        QVERIFY(excel->calls.isEmpty());
        QCOMPARE(excel->lookupLocales, QList<LCID>{LOCALE_USER_DEFAULT});
        // A call that fails.
        excel->failing.insert(QStringLiteral("Worksheet.Name"));
        errMsg = QStringLiteral("earlier");
        QVERIFY(!com->comCallWrap(errMsg, DISPATCH_PROPERTYPUT, nullptr, sheet, OLESTR("Name"), 1,
                                  excelComInteger(1)));
        QVERIFY(errMsg.isEmpty());
        // Success, with a member name in other case.
        errMsg = QStringLiteral("kept");
        VARIANT result;
        VariantInit(&result);
        QVERIFY(com->comCallWrap(errMsg, DISPATCH_PROPERTYGET, &result, sheet, OLESTR("cells"), 0));
        QCOMPARE(errMsg, QStringLiteral("kept"));
        QCOMPARE(result.vt, VARTYPE(VT_DISPATCH));
        VariantClear(&result);
        sheet->Release();
    }

    // A get asks for a result in the system locale; a put asks for none and leaves the string
    // to the caller.
    void argumentsReachInvokeAsPassed() {
        IDispatch* sheet = excel->newObject(QStringLiteral("Worksheet"));
        QString errMsg;
        VARIANT result;
        VariantInit(&result);
        QVERIFY(com->comCallWrap(errMsg, DISPATCH_PROPERTYGET, &result, sheet, OLESTR("Cells"), 2,
                                 excelComInteger(7), excelComInteger(3)));
        VariantClear(&result);
        VARIANT name = excelComText(QStringLiteral("Runs"));
        QVERIFY(com->comCallWrap(errMsg, DISPATCH_PROPERTYPUT, nullptr, sheet, OLESTR("Name"), 1, name));
        QCOMPARE(excel->calls.value(0).lcid, LCID(LOCALE_SYSTEM_DEFAULT));
        QVERIFY(excel->calls.value(0).resultRequested);
        QVERIFY(!excel->calls.value(1).resultRequested);
        QCOMPARE(OleLiveStringCount(), stringsBefore + 1);
        QCOMPARE(SysStringLen(name.bstrVal), 4u);
        VariantClear(&name);
        sheet->Release();
    }

    void emptyTextIsAnEmptyString() {
        VARIANT v = excelComText(QString());
        QCOMPARE(v.vt, VARTYPE(VT_BSTR));
        QVERIFY(v.bstrVal);
        QCOMPARE(SysStringLen(v.bstrVal), 0u);
        VariantClear(&v);
    }

    void startSetsUpTheApplication_data() {
        QTest::addColumn<bool>("visible");
        QTest::addColumn<bool>("settingsFail");
        QTest::addColumn<QStringList>("calls");
        const QString sheets = QStringLiteral("put Application.SheetsInNewWorkbook(1)");
        const QString shown = QStringLiteral("put Application.Visible(1)");
        QTest::newRow("hidden") << false << false << QStringList{sheets};
        QTest::newRow("visible") << true << false << QStringList{sheets, shown};
        QTest::newRow("settings fail") << true << true << QStringList{sheets, shown};
    }
    void startSetsUpTheApplication() {
        QFETCH(bool, visible);
        QFETCH(bool, settingsFail);
        QFETCH(QStringList, calls);
        if (settingsFail)
            excel->failing << QStringLiteral("Application.SheetsInNewWorkbook")
                           << QStringLiteral("Application.Visible");
        QString errMsg = QStringLiteral("earlier");
        QVERIFY(com->startExcel(errMsg, visible));
        // Failed settings only wipe the message.
        QCOMPARE(errMsg, settingsFail ? QString() : QStringLiteral("earlier"));
        QCOMPARE(excel->callTexts(), calls);
        QCOMPARE(OleComInitializeDepth(), 1);
        // Starting again creates and initialises nothing.
        const long initsBefore = OleCoInitializeCallCount();
        QVERIFY(com->startExcel(errMsg, true));
        QCOMPARE(excel->instancesCreated, 1);
        QCOMPARE(OleCoInitializeCallCount(), initsBefore);
        QCOMPARE(excel->callTexts(), calls);
        com->closeExcel();
    }

    void versionIsTheLeadingNumber_data() {
        QTest::addColumn<QString>("text"); // null: the query fails
        QTest::addColumn<int>("major");
        QTest::newRow("no digits") << "Excel" << 0;
        QTest::newRow("empty") << "" << 0;
        QTest::newRow("query fails") << QString() << -1;
    }
    void versionIsTheLeadingNumber() {
        QFETCH(QString, text);
        QFETCH(int, major);
        QCOMPARE(com->excelVersion(), -1); // not started
        excel->version = text;
        if (text.isNull())
            excel->failing.insert(QStringLiteral("Application.Version"));
        QString errMsg = QStringLiteral("kept");
        QVERIFY(com->startExcel(errMsg, false));
        QCOMPARE(com->excelVersion(), major);
        QCOMPARE(errMsg, QStringLiteral("kept"));
        com->closeExcel();
    }

    void closingMarksSavedAndQuits_data() {
        QTest::addColumn<bool>("byDestructor");
        QTest::addColumn<bool>("callsFail");
        QTest::newRow("closeExcel") << false << false;
        QTest::newRow("destructor") << true << false;
        QTest::newRow("calls fail") << false << true;
    }
    void closingMarksSavedAndQuits() {
        QFETCH(bool, byDestructor);
        QFETCH(bool, callsFail);
        if (callsFail)
            excel->failing << QStringLiteral("Workbook.Saved") << QStringLiteral("Application.Quit");
        startOnBook();
        const long uninitsBefore = OleCoUninitializeCallCount();
        if (byDestructor) {
            delete com;
            com = nullptr;
        } else {
            com->closeExcel();
            QCOMPARE(com->excelVersion(), -1);
        }
        QCOMPARE(excel->callTexts(), (QStringList{"put Workbook.Saved(1)", "call Application.Quit()"}));
        QVERIFY(!excel->calls[1].resultRequested);
        QCOMPARE(excel->liveObjects(), 0);
        QCOMPARE(OleCoUninitializeCallCount(), uninitsBefore + 1);
    }

    void closingWhatHoldsNothingOnlyUninitializes() {
        CoInitialize(nullptr);
        long uninitsBefore = OleCoUninitializeCallCount();
        com->closeExcel();
        QCOMPARE(OleCoUninitializeCallCount(), uninitsBefore + 1);
        // Closed twice, then destroyed: no call and no further uninitialisation.
        start();
        com->closeExcel();
        excel->clearRecord();
        CoInitialize(nullptr);
        com->closeExcel();
        uninitsBefore = OleCoUninitializeCallCount();
        delete com;
        com = new ExcelCom;
        delete com;
        com = nullptr;
        QVERIFY(excel->calls.isEmpty());
        QCOMPARE(OleCoUninitializeCallCount(), uninitsBefore);
    }
};

QTEST_APPLESS_MAIN(ExcelConnectionTest)
#include "tst_excel_connection.moc"
