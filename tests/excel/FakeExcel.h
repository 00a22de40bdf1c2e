#pragma once
// A recording stand-in for the spreadsheet application: IDispatch objects of the kinds
// that ExcelCom uses, registered as "Excel.Application", that log every lookup and every
// Invoke exactly as it arrives and answer from a small script of settings.

#include "ExcelCom.h"
#include "OleAutomation.h"
#include "OleDiagnostics.h"

#include <QSet>
#include <QtTest>

struct RecordedArgument {
    VARTYPE vt = VT_EMPTY;
    LONG integer = 0;
    QString text;               // VT_BSTR
    QString objectKind;         // VT_DISPATCH: kind of the fake object passed
    SAFEARRAY* array = nullptr; // VT_ARRAY: the array pointer as passed
};

struct RecordedCall {
    QString objectKind;
    QString member;
    WORD flags = 0;
    LCID lcid = 0;
    bool resultRequested = false;
    QList<RecordedArgument> rawArguments; // as Invoke got them: element 0 is the last argument
    QList<DISPID> namedArguments;

    // "get Worksheet.Cells(2, 1)": verb, object, member and arguments in declared order.
    QString text() const;
};

class FakeExcel {
public:
    FakeExcel();
    ~FakeExcel();

    // Script.
    QString version = QStringLiteral("16.0");
    LONG sheetCount = 1;
    QSet<QString> existingPaths;  // Workbooks.Open succeeds for these paths
    QSet<QString> existingSheets; // Sheets.Item by name succeeds for these names
    QSet<QString> failing;        // "Kind.Member" calls that fail with DISP_E_EXCEPTION

    // Record.
    QList<RecordedCall> calls;
    QList<LCID> lookupLocales;
    int instancesCreated = 0;

    QStringList callTexts() const;
    void clearRecord();
    // Fake objects still referenced.
    int liveObjects() const { return live; }
    // An object of the given kind with one reference, owned by the caller.
    IDispatch* newObject(const QString& kind);

private:
    friend class FakeObject;
    int live = 0;
};

// Per-test set-up shared by the suites: a fresh fake and connection, and at the end the check
// that every fake object, string and array was let go and COM uninitialised.
inline const QString fakeBook = QStringLiteral("C:\\out\\book.xlsx");

class ExcelFixture {
protected:
    FakeExcel* excel = nullptr;
    ExcelCom* com = nullptr;
    long stringsBefore = 0;
    long arraysBefore = 0;

    void setUp() {
        stringsBefore = OleLiveStringCount();
        arraysBefore = OleLiveArrayCount();
        excel = new FakeExcel;
        com = new ExcelCom;
    }
    void tearDown() {
        delete com;
        com = nullptr;
        const int live = excel->liveObjects();
        delete excel;
        QCOMPARE(live, 0);
        QCOMPARE(OleLiveStringCount(), stringsBefore);
        QCOMPARE(OleLiveArrayCount(), arraysBefore);
        QCOMPARE(OleComInitializeDepth(), 0);
    }
    void start() {
        QString errMsg;
        QVERIFY(com->startExcel(errMsg, false));
        excel->clearRecord();
    }
    // Started, with the existing workbook path open and its existing worksheet current.
    void startOn(const QString& path, const QString& worksheet) {
        excel->existingPaths.insert(path);
        excel->existingSheets.insert(worksheet);
        start();
        QString errMsg;
        QVERIFY(com->openWorksheet(path, worksheet, errMsg, false));
        excel->clearRecord();
    }
};
