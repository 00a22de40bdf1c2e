// The spreadsheet server's objects called directly through IDispatch: lookup, argument and
// type checks, the state its properties keep, sheet lookup and placement, cell bounds, and what a Value
// put stores, read back by openpyxl.

#include "DispatchCalls.h"
#include "OleDiagnostics.h"
#include "SpreadsheetServer.h"
#include "WorkbookReader.h"

#include <QFile>
#include <QTemporaryDir>
#include <QtTest>

#include <cmath>

namespace {
const WORD get = DISPATCH_PROPERTYGET;
const WORD put = DISPATCH_PROPERTYPUT;
const WORD call = DISPATCH_METHOD;

VARIANT nullArgument() {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_NULL;
    return v;
}

VARIANT objectArgument(IDispatch* object) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_DISPATCH;
    v.pdispVal = object;
    return v;
}
} // namespace

class SheetServerObjectsTest : public QObject {
    Q_OBJECT
    IDispatch* application = nullptr;
    long stringsBefore = 0;
    long arraysBefore = 0;
    QTemporaryDir folder;

    IDispatch* createApplication() {
        CLSID clsid;
        if (FAILED(CLSIDFromProgID(OLESTR("Excel.Application"), &clsid)))
            return nullptr;
        IDispatch* created = nullptr;
        CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                         reinterpret_cast<void**>(&created));
        return created;
    }

    // A new workbook and its worksheet 1; the caller releases both.
    void newWorkbook(IDispatch** workbook, IDispatch** sheet) {
        IDispatch* books = dispatchObject(application, u"Workbooks", get);
        *workbook = dispatchObject(books, u"Add", call);
        books->Release();
        IDispatch* sheets = dispatchObject(*workbook, u"Sheets", get);
        *sheet = dispatchObject(sheets, u"Item", get, {i4(1)});
        sheets->Release();
    }

    QString path(const QString& name) const { return folder.filePath(name); }

private slots:
    void initTestCase() {
        QVERIFY(folder.isValid());
        registerSpreadsheetServer();
    }
    void init() {
        stringsBefore = OleLiveStringCount();
        arraysBefore = OleLiveArrayCount();
        CoInitialize(nullptr);
        application = createApplication();
        QVERIFY(application);
    }
    void cleanup() {
        if (application)
            application->Release();
        application = nullptr;
        CoUninitialize();
        QCOMPARE(spreadsheetServerLiveObjects(), 0);
        QCOMPARE(OleLiveStringCount(), stringsBefore);
        QCOMPARE(OleLiveArrayCount(), arraysBefore);
    }

    void namesAreFoundWithoutRegardToCase() {
        LPOLESTR upper = const_cast<LPOLESTR>(OLESTR("WORKBOOKS"));
        LPOLESTR lower = const_cast<LPOLESTR>(OLESTR("workbooks"));
        LPOLESTR unknown = const_cast<LPOLESTR>(OLESTR("Worksheets"));
        DISPID a = 0, b = 0, c = 0;
        QCOMPARE(application->GetIDsOfNames(IID_NULL, &upper, 1, LOCALE_USER_DEFAULT, &a), S_OK);
        QCOMPARE(application->GetIDsOfNames(IID_NULL, &lower, 1, LOCALE_USER_DEFAULT, &b), S_OK);
        QCOMPARE(a, b);
        QCOMPARE(application->GetIDsOfNames(IID_NULL, &unknown, 1, LOCALE_USER_DEFAULT, &c),
                 DISP_E_UNKNOWNNAME);
        QCOMPARE(c, DISPID_UNKNOWN);
    }

    void callsThatCannotBeHonoured() {
        QCOMPARE(dispatchCall(application, u"Quit", put, {i4(1)}), DISP_E_MEMBERNOTFOUND);
        QCOMPARE(dispatchCall(application, u"Version", put, {i4(1)}), DISP_E_MEMBERNOTFOUND);
        VARIANT result;
        QCOMPARE(dispatchCall(application, u"Version", get, {i4(1)}, &result), DISP_E_BADPARAMCOUNT);
        QCOMPARE(result.vt, VARTYPE(VT_EMPTY));
        VARIANT word = text(QStringLiteral("three"));
        QCOMPARE(dispatchCall(application, u"SheetsInNewWorkbook", put, {word}), DISP_E_TYPEMISMATCH);
        VariantClear(&word);
        QCOMPARE(application->Invoke(99, IID_NULL, 0, get, nullptr, nullptr, nullptr, nullptr),
                 DISP_E_MEMBERNOTFOUND);

        // A put must name its value; a get takes no named arguments.
        DISPID id = 0;
        LPOLESTR name = const_cast<LPOLESTR>(OLESTR("Visible"));
        application->GetIDsOfNames(IID_NULL, &name, 1, 0, &id);
        VARIANT one = i4(1);
        DISPPARAMS unnamed{&one, nullptr, 1, 0};
        QCOMPARE(application->Invoke(id, IID_NULL, 0, put, &unnamed, nullptr, nullptr, nullptr),
                 DISP_E_PARAMNOTFOUND);
        DISPID named = DISPID_PROPERTYPUT;
        DISPPARAMS withName{&one, &named, 1, 1};
        QCOMPARE(application->Invoke(id, IID_NULL, 0, get, &withName, &result, nullptr, nullptr),
                 DISP_E_NONAMEDARGS);
    }

    void failedOpenExplainsItself() {
        IDispatch* books = dispatchObject(application, u"Workbooks", get);
        VARIANT missing = text(path(QStringLiteral("missing.xlsx")));
        EXCEPINFO info;
        VARIANT result;
        QCOMPARE(dispatchCall(books, u"Open", call, {missing}, &result, &info), DISP_E_EXCEPTION);
        QCOMPARE(result.vt, VARTYPE(VT_EMPTY));
        QVERIFY(SysStringLen(info.bstrDescription) > 0);
        SysFreeString(info.bstrDescription);
        SysFreeString(info.bstrSource);
        SysFreeString(info.bstrHelpFile);
        VariantClear(&missing);
        books->Release();
    }

    void applicationKeepsItsState() {
        QCOMPARE(dispatchInteger(application, u"DisplayAlerts"), 1);
        QCOMPARE(dispatchCall(application, u"DisplayAlerts", put, {i4(0)}), S_OK);
        QCOMPARE(dispatchInteger(application, u"DisplayAlerts"), 0);
        QCOMPARE(dispatchInteger(application, u"Visible"), 0);
        QCOMPARE(dispatchCall(application, u"Visible", put, {i4(1)}), S_OK);
        QCOMPARE(dispatchInteger(application, u"Visible"), 1);
        QCOMPARE(dispatchCall(application, u"SheetsInNewWorkbook", put, {i4(3)}), S_OK);
        QCOMPARE(dispatchCall(application, u"SheetsInNewWorkbook", put, {i4(0)}), DISP_E_EXCEPTION);

        IDispatch* workbook = nullptr;
        IDispatch* sheet = nullptr;
        newWorkbook(&workbook, &sheet);
        IDispatch* sheets = dispatchObject(workbook, u"Sheets", get);
        QCOMPARE(dispatchInteger(sheets, u"Count"), 3);
        QCOMPARE(dispatchInteger(workbook, u"Saved"), 1);
        QCOMPARE(dispatchCall(workbook, u"Saved", put, {i4(0)}), S_OK);
        QCOMPARE(dispatchInteger(workbook, u"Saved"), 0);

        // Closed workbooks, and after Quit all of them, refuse every call.
        QCOMPARE(dispatchCall(workbook, u"Close", call, {}), S_OK);
        QCOMPARE(dispatchInteger(sheets, u"Count"), -999);
        VARIANT rename = text(QStringLiteral("Late"));
        QCOMPARE(dispatchCall(sheet, u"Name", put, {rename}), DISP_E_EXCEPTION);
        VariantClear(&rename);
        sheets->Release();
        sheet->Release();
        workbook->Release();

        newWorkbook(&workbook, &sheet);
        QCOMPARE(dispatchCall(application, u"Quit", call, {}), S_OK);
        QCOMPARE(dispatchText(sheet, u"Name"), QStringLiteral("<failed>"));
        sheet->Release();
        workbook->Release();
    }

    void sheetsAreFoundAndPlaced() {
        IDispatch* workbook = nullptr;
        IDispatch* first = nullptr;
        newWorkbook(&workbook, &first);
        IDispatch* sheets = dispatchObject(workbook, u"Sheets", get);
        VARIANT header = text(QStringLiteral("Header"));
        QCOMPARE(dispatchCall(first, u"Name", put, {header}), S_OK);
        VariantClear(&header);

        // After the given sheet; then one before the first.
        IDispatch* added =
            dispatchObject(sheets, u"Add", call, {nullArgument(), objectArgument(first), i4(1), i4(-4167)});
        QVERIFY(added);
        VARIANT runs = text(QStringLiteral("Runs"));
        QCOMPARE(dispatchCall(added, u"Name", put, {runs}), S_OK);
        VariantClear(&runs);
        IDispatch* front = dispatchObject(sheets, u"Add", call, {objectArgument(first)});
        QVERIFY(front);
        QCOMPARE(dispatchInteger(sheets, u"Count"), 3);

        IDispatch* second = dispatchObject(sheets, u"Item", get, {i4(2)});
        QCOMPARE(dispatchText(second, u"Name"), QStringLiteral("Header"));
        IDispatch* third = dispatchObject(sheets, u"Item", get, {i4(3)});
        QCOMPARE(dispatchText(third, u"Name"), QStringLiteral("Runs"));
        QVERIFY(!dispatchObject(sheets, u"Item", get, {i4(4)}));
        QVERIFY(!dispatchObject(sheets, u"Item", get, {i4(0)}));

        VARIANT shouting = text(QStringLiteral("HEADER"));
        IDispatch* byName = dispatchObject(sheets, u"Item", get, {shouting});
        VariantClear(&shouting);
        QVERIFY(byName);
        QCOMPARE(dispatchText(byName, u"Name"), QStringLiteral("Header"));

        // Only worksheets, one at a time, after a sheet of this workbook.
        QVERIFY(!dispatchObject(sheets, u"Add", call, {nullArgument(), objectArgument(first), i4(2)}));
        QVERIFY(
            !dispatchObject(sheets, u"Add", call, {nullArgument(), objectArgument(first), i4(1), i4(-4109)}));
        QVERIFY(!dispatchObject(sheets, u"Add", call, {nullArgument(), objectArgument(application)}));

        for (IDispatch* object : {byName, third, second, front, added, sheets, first, workbook})
            object->Release();
    }

    void cellsStayInsideTheSheet() {
        IDispatch* workbook = nullptr;
        IDispatch* sheet = nullptr;
        newWorkbook(&workbook, &sheet);
        QVERIFY(!dispatchObject(sheet, u"Cells", get, {i4(0), i4(1)}));
        QVERIFY(!dispatchObject(sheet, u"Cells", get, {i4(1), i4(0)}));
        QVERIFY(!dispatchObject(sheet, u"Cells", get, {i4(1048577), i4(1)}));
        QVERIFY(!dispatchObject(sheet, u"Cells", get, {i4(1), i4(16385)}));
        VARIANT result;
        QCOMPARE(dispatchCall(sheet, u"Cells", get, {i4(1)}, &result), DISP_E_BADPARAMCOUNT);

        IDispatch* corner = dispatchObject(sheet, u"Cells", get, {i4(1048576), i4(16384)});
        QVERIFY(corner);
        IDispatch* same = dispatchObject(corner, u"Resize", get, {i4(1), i4(1)});
        QVERIFY(same);
        QVERIFY(!dispatchObject(corner, u"Resize", get, {i4(2), i4(1)}));
        QVERIFY(!dispatchObject(corner, u"Resize", get, {i4(1), i4(2)}));
        IDispatch* origin = dispatchObject(sheet, u"Cells", get, {i4(1), i4(1)});
        QVERIFY(!dispatchObject(origin, u"Resize", get, {i4(0), i4(3)}));
        QVERIFY(!dispatchObject(origin, u"Resize", get, {i4(3), i4(0)}));
        QVERIFY(!dispatchObject(origin, u"Resize", get, {i4(-1), i4(3)}));
        IDispatch* whole = dispatchObject(sheet, u"Cells", get);
        QVERIFY(whole);
        QCOMPARE(dispatchCall(whole, u"Clear", call, {}), S_OK);
        for (IDispatch* object : {whole, origin, same, corner, sheet, workbook})
            object->Release();
    }

    void valuesAreStoredFaithfully() {
        IDispatch* workbook = nullptr;
        IDispatch* sheet = nullptr;
        newWorkbook(&workbook, &sheet);

        // 2 rows x 4 columns at B2, row index first.
        SAFEARRAYBOUND bounds[2] = {{2, 1}, {4, 1}};
        VARIANT block;
        VariantInit(&block);
        block.vt = VT_ARRAY | VT_VARIANT;
        block.parray = SafeArrayCreate(VT_VARIANT, 2, bounds);
        auto putAt = [&](LONG r, LONG c, VARIANT v) {
            LONG index[2] = {r, c};
            SafeArrayPutElement(block.parray, index, &v);
            VariantClear(&v);
        };
        VARIANT number;
        number.vt = VT_R8;
        number.dblVal = 2.5;
        putAt(1, 1, number);
        putAt(1, 2, text(QStringLiteral("=1+2")));
        putAt(1, 3, text(QStringLiteral("007")));
        VARIANT date;
        date.vt = VT_DATE;
        date.date = 45000.5; // 2023-03-15 12:00
        putAt(1, 4, date);
        putAt(2, 1, i4(-7));
        VARIANT boolean;
        boolean.vt = VT_BOOL;
        boolean.boolVal = VARIANT_TRUE;
        putAt(2, 2, boolean);
        putAt(2, 3, text(QStringLiteral("@SUM(A1)")));
        // (2, 4) stays VT_EMPTY.

        IDispatch* start = dispatchObject(sheet, u"Cells", get, {i4(2), i4(2)});
        IDispatch* range = dispatchObject(start, u"Resize", get, {i4(2), i4(4)});
        QCOMPARE(dispatchCall(range, u"Value", put, {block}), S_OK);
        QCOMPARE(block.vt, VARTYPE(VT_ARRAY | VT_VARIANT));
        VariantClear(&block);
        IDispatch* font = dispatchObject(range, u"Font", get);
        QCOMPARE(dispatchCall(font, u"Bold", put, {i4(1)}), S_OK);
        IDispatch* firstColumn = dispatchObject(start, u"Resize", get, {i4(2), i4(1)});
        VARIANT format = text(QStringLiteral("0.00"));
        QCOMPARE(dispatchCall(firstColumn, u"NumberFormat", put, {format}), S_OK);
        VariantClear(&format);

        // A cell of another type than a value refuses the whole block.
        SAFEARRAYBOUND one[2] = {{1, 1}, {1, 1}};
        VARIANT wrong;
        wrong.vt = VT_ARRAY | VT_VARIANT;
        wrong.parray = SafeArrayCreate(VT_VARIANT, 2, one);
        LONG index[2] = {1, 1};
        VARIANT object = objectArgument(application);
        SafeArrayPutElement(wrong.parray, index, &object);
        QCOMPARE(dispatchCall(start, u"Value", put, {wrong}), DISP_E_TYPEMISMATCH);
        VariantClear(&wrong);

        const QString file = path(QStringLiteral("values.xlsx"));
        VARIANT name = text(file);
        QCOMPARE(dispatchCall(workbook, u"SaveAs", call, {name, i4(51)}), S_OK);
        VariantClear(&name);
        for (IDispatch* object : {firstColumn, font, range, start, sheet, workbook})
            object->Release();

        const QJsonObject cells = sheetCells(readWorkbookIndependently(file), QStringLiteral("Sheet1"));
        const QJsonObject b2 = cells.value("B2").toObject();
        QCOMPARE(b2.value("value").toDouble(), 2.5);
        QCOMPARE(b2.value("type").toString(), QStringLiteral("n"));
        QCOMPARE(b2.value("format").toString(), QStringLiteral("0.00"));
        QVERIFY(b2.value("bold").toBool());
        QCOMPARE(cells.value("C2").toObject().value("value").toString(), QStringLiteral("=1+2"));
        QCOMPARE(cells.value("C2").toObject().value("type").toString(), QStringLiteral("s"));
        QCOMPARE(cells.value("D2").toObject().value("value").toString(), QStringLiteral("007"));
        QCOMPARE(cells.value("D2").toObject().value("type").toString(), QStringLiteral("s"));
        QCOMPARE(cells.value("E2").toObject().value("value").toString(),
                 QStringLiteral("2023-03-15T12:00:00"));
        QVERIFY(cells.value("E2").toObject().value("format").toString() != QLatin1String("General"));
        QCOMPARE(cells.value("B3").toObject().value("value").toDouble(), -7.0);
        QCOMPARE(cells.value("B3").toObject().value("format").toString(), QStringLiteral("0.00"));
        QCOMPARE(cells.value("C3").toObject().value("value").toBool(), true);
        QCOMPARE(cells.value("D3").toObject().value("value").toString(), QStringLiteral("@SUM(A1)"));
        QVERIFY(cells.value("E3").toObject().value("value").isNull());
        QVERIFY(cells.value("E3").toObject().value("bold").toBool());
        QVERIFY(!cells.contains("A1"));
        QVERIFY(!cells.contains("F2"));
    }

    void saveAsNeverReplacesAnotherFile() {
        IDispatch* workbook = nullptr;
        IDispatch* sheet = nullptr;
        newWorkbook(&workbook, &sheet);
        const QString existing = path(QStringLiteral("someone-elses.xlsx"));
        QFile other(existing);
        QVERIFY(other.open(QIODevice::WriteOnly));
        other.write("not a workbook, and not ours");
        other.close();

        VARIANT name = text(existing);
        QCOMPARE(dispatchCall(workbook, u"SaveAs", call, {name, i4(51)}), DISP_E_EXCEPTION);
        VariantClear(&name);
        QVERIFY(other.open(QIODevice::ReadOnly));
        QCOMPARE(other.readAll(), QByteArray("not a workbook, and not ours"));
        other.close();

        // Formats the engine does not write yet fail and create nothing.
        const QString binary = path(QStringLiteral("binary.xls"));
        name = text(binary);
        QCOMPARE(dispatchCall(workbook, u"SaveAs", call, {name, i4(56)}), DISP_E_EXCEPTION);
        QCOMPARE(dispatchCall(workbook, u"SaveAs", call, {name, i4(-4143)}), DISP_E_EXCEPTION);
        QCOMPARE(dispatchCall(workbook, u"SaveAs", call, {name, i4(12345)}), DISP_E_EXCEPTION);
        VariantClear(&name);
        QVERIFY(!QFile::exists(binary));

        // Saving again under its own path, and Save, are fine.
        const QString own = path(QStringLiteral("own.xlsm"));
        name = text(own);
        QCOMPARE(dispatchCall(workbook, u"SaveAs", call, {name, i4(52)}), S_OK);
        QCOMPARE(dispatchCall(workbook, u"SaveAs", call, {name, i4(52)}), S_OK);
        VariantClear(&name);
        QCOMPARE(dispatchCall(workbook, u"Save", call, {}), S_OK);
        sheet->Release();
        workbook->Release();
        QCOMPARE(sheetNames(readWorkbookIndependently(own)), QStringList{"Sheet1"});
    }
};

QTEST_APPLESS_MAIN(SheetServerObjectsTest)
#include "tst_sheetserver_objects.moc"
