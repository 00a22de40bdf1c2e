#pragma once
// A recording stand-in for the spreadsheet application: IDispatch objects of the kinds
// that ExcelCom uses, registered as "Excel.Application", that log every lookup and every
// Invoke exactly as it arrives and answer from a small script of settings.

#include "OleAutomation.h"

#include <QList>
#include <QSet>
#include <QString>
#include <QStringList>

struct RecordedArgument {
    VARTYPE vt = VT_EMPTY;
    LONG integer = 0;
    double number = 0;
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
    bool createFails = false;

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

    void registerClass();
    void unregisterClass();

private:
    friend class FakeObject;
    int live = 0;
};
