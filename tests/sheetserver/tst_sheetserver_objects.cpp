// The spreadsheet server's objects called directly through IDispatch: lookup, the failure
// codes of calls it cannot honour, closed workbooks, sheet placement, what a Value put stores
// (read back by openpyxl), and SaveAs that never replaces another file and makes a new workbook's
// file with its first Save.

#include "SheetServerTest.h"

namespace {
const WORD get = DISPATCH_PROPERTYGET;
const WORD put = DISPATCH_PROPERTYPUT;
const WORD call = DISPATCH_METHOD;

VARIANT objectArgument(IDispatch* object) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_DISPATCH;
    v.pdispVal = object;
    return v;
}

void release(std::initializer_list<IDispatch*> objects) {
    for (IDispatch* object : objects)
        object->Release();
}

} // namespace

class SheetServerObjectsTest : public QObject {
    Q_OBJECT
    ServerFixture fixture;
    IDispatch* application = nullptr;
    IDispatch* workbook = nullptr; // a new workbook from Workbooks.Add
    IDispatch* sheets = nullptr;   // its Sheets
    IDispatch* sheet = nullptr;    // and its worksheet 1

private slots:
    void initTestCase() { fixture.initTestCase(); }
    void init() {
        fixture.init();
        application = startApplication();
        QVERIFY(application);
        IDispatch* books = dispatchObject(application, u"Workbooks", get);
        workbook = dispatchObject(books, u"Add", call);
        books->Release();
        sheets = dispatchObject(workbook, u"Sheets", get);
        sheet = dispatchObject(sheets, u"Item", get, {i4(1)});
        QVERIFY(sheet);
    }
    void cleanup() {
        releaseAndUninitialize({&sheet, &sheets, &workbook, &application});
        fixture.cleanup();
    }

    void callsThatCannotBeHonoured() {
        // Names are found without regard to case; unknown ones are refused.
        IDispatch* books = dispatchObject(application, u"wORKBOOKS", get);
        QVERIFY(books);
        books->Release();
        LPOLESTR unknown = const_cast<LPOLESTR>(OLESTR("Worksheets"));
        DISPID id = 0;
        QCOMPARE(application->GetIDsOfNames(IID_NULL, &unknown, 1, 0, &id), DISP_E_UNKNOWNNAME);
        QCOMPARE(id, DISPID_UNKNOWN);
        QCOMPARE(dispatchCall(application, u"Version", put, {i4(1)}), DISP_E_MEMBERNOTFOUND);
        VARIANT result;
        QCOMPARE(dispatchCall(application, u"Version", get, {i4(1)}, &result), DISP_E_BADPARAMCOUNT);
        QCOMPARE(result.vt, VARTYPE(VT_EMPTY));
        QCOMPARE(withText(application, u"SheetsInNewWorkbook", put, "three"), DISP_E_TYPEMISMATCH);
        QCOMPARE(dispatchCall(application, u"SheetsInNewWorkbook", put, {i4(0)}), DISP_E_EXCEPTION);
        QCOMPARE(application->Invoke(99, IID_NULL, 0, get, nullptr, nullptr, nullptr, nullptr),
                 DISP_E_MEMBERNOTFOUND);

        // A put must name its value; a get takes no named arguments.
        LPOLESTR visible = const_cast<LPOLESTR>(OLESTR("Visible"));
        application->GetIDsOfNames(IID_NULL, &visible, 1, 0, &id);
        VARIANT one = i4(1);
        DISPPARAMS unnamed{&one, nullptr, 1, 0};
        QCOMPARE(application->Invoke(id, IID_NULL, 0, put, &unnamed, nullptr, nullptr, nullptr),
                 DISP_E_PARAMNOTFOUND);
        DISPID named = DISPID_PROPERTYPUT;
        DISPPARAMS withName{&one, &named, 1, 1};
        QCOMPARE(application->Invoke(id, IID_NULL, 0, get, &withName, &result, nullptr, nullptr),
                 DISP_E_NONAMEDARGS);
    }

    void closedWorkbooksRefuseEveryCall() {
        QCOMPARE(dispatchCall(workbook, u"Close", call, {}), S_OK);
        QCOMPARE(dispatchText(sheets, u"Count"), QStringLiteral("<failed>"));
        QCOMPARE(withText(sheet, u"Name", put, "Late"), DISP_E_EXCEPTION);
        // After Quit, all of them.
        IDispatch* books = dispatchObject(application, u"Workbooks", get);
        IDispatch* another = dispatchObject(books, u"Add", call);
        QCOMPARE(dispatchCall(application, u"Quit", call, {}), S_OK);
        QCOMPARE(dispatchText(another, u"Name"), QStringLiteral("<failed>"));
        release({another, books});
    }

    void sheetsAreAddedOnlyAsAskedFor() {
        VARIANT none;
        VariantInit(&none);
        none.vt = VT_NULL;
        QVERIFY(!dispatchObject(sheets, u"Item", get, {i4(2)}));
        QVERIFY(!dispatchObject(sheets, u"Item", get, {i4(0)}));
        // Only worksheets, one at a time, after a sheet of this workbook.
        QVERIFY(!dispatchObject(sheets, u"Add", call, {none, objectArgument(sheet), i4(2)}));
        QVERIFY(!dispatchObject(sheets, u"Add", call, {none, objectArgument(sheet), i4(1), i4(-4109)}));
        QVERIFY(!dispatchObject(sheets, u"Add", call, {none, objectArgument(application)}));
        QCOMPARE(dispatchText(sheets, u"Count"), QStringLiteral("1"));
    }

    void valuesAreStoredFaithfully() {
        // 2 rows x 4 columns at B2, row index first; 45000.5 is 2023-03-15 12:00.
        VARIANT block = valueBlock({{2.5, "=1+2", "007", QVariant::fromValue(DateSerial{45000.5})},
                                    {-7, true, "@SUM(A1)", QVariant()}});
        IDispatch* start = dispatchObject(sheet, u"Cells", get, {i4(2), i4(2)});
        IDispatch* range = dispatchObject(start, u"Resize", get, {i4(2), i4(4)});
        QCOMPARE(dispatchCall(range, u"Value", put, {block}), S_OK);
        QCOMPARE(block.vt, VARTYPE(VT_ARRAY | VT_VARIANT));
        VariantClear(&block);
        IDispatch* font = dispatchObject(range, u"Font", get);
        QCOMPARE(dispatchCall(font, u"Bold", put, {i4(1)}), S_OK);
        IDispatch* firstColumn = dispatchObject(start, u"Resize", get, {i4(2), i4(1)});
        QCOMPARE(withText(firstColumn, u"NumberFormat", put, "0.00"), S_OK);

        // A cell of another type than a value refuses the whole block.
        VARIANT wrong = valueBlock({{QVariant()}});
        LONG index[2] = {1, 1};
        VARIANT object = objectArgument(application);
        SafeArrayPutElement(wrong.parray, index, &object);
        QCOMPARE(dispatchCall(start, u"Value", put, {wrong}), DISP_E_TYPEMISMATCH);
        VariantClear(&wrong);

        QCOMPARE(withText(workbook, u"SaveAs", call, fixture.file("values.xlsx"), 51), S_OK);
        // A new workbook's file is made by its first Save, so that nothing is left of it before.
        QVERIFY(!QFile::exists(fixture.file("values.xlsx")));
        QCOMPARE(dispatchCall(workbook, u"Save", call, {}), S_OK);
        release({firstColumn, font, range, start});
        const QJsonObject cells =
            sheetCells(readWorkbookIndependently(fixture.file("values.xlsx")), "Sheet1");
        QCOMPARE(cellOf(cells, "B2"),
                 QJsonObject({{"value", 2.5}, {"type", "n"}, {"bold", true}, {"format", "0.00"}}));
        QCOMPARE(cellOf(cells, "B3"),
                 QJsonObject({{"value", -7}, {"type", "n"}, {"bold", true}, {"format", "0.00"}}));
        // Text is never a formula, whatever it looks like.
        QCOMPARE(cellOf(cells, "D3").value("value").toString(), QStringLiteral("@SUM(A1)"));
        QCOMPARE(cellOf(cells, "D3").value("type").toString(), QStringLiteral("s"));
        QCOMPARE(cellOf(cells, "C3").value("value").toBool(), true);
        QCOMPARE(cellOf(cells, "E3"),
                 QJsonObject({{"value", {}}, {"type", "n"}, {"bold", true}, {"format", "General"}}));
        QVERIFY(!cells.contains("A1") && !cells.contains("F2"));
    }

    // Arrays of numbers with bounds that do not start at 0, one row as a one-dimensional array, and
    // arrays larger or smaller than their range: every element lands in its cell, and nothing else.
    void arraysOfEveryShapeLandInPlace() {
        // Puts the array as the value of the range of rows x columns at (row, column), and frees it.
        const auto putArray = [&](SAFEARRAY* array, VARTYPE type, int row, int column, int rows,
                                  int columns) {
            VARIANT value;
            VariantInit(&value);
            value.vt = VT_ARRAY | type;
            value.parray = array;
            IDispatch* start = dispatchObject(sheet, u"Cells", get, {i4(row), i4(column)});
            IDispatch* range = dispatchObject(start, u"Resize", get, {i4(rows), i4(columns)});
            const HRESULT result = dispatchCall(range, u"Value", put, {value});
            VariantClear(&value);
            release({range, start});
            return result;
        };
        SAFEARRAYBOUND row[1] = {{3, 5}};
        SAFEARRAY* numbers = SafeArrayCreate(VT_R8, 1, row);
        for (LONG i = 5; i < 8; ++i) {
            double value = i + 0.25;
            SafeArrayPutElement(numbers, &i, &value);
        }
        QCOMPARE(putArray(numbers, VT_R8, 2, 2, 1, 4), S_OK);

        // 3 rows x 2 columns (rows from -1, columns from 1) into a range of 2 rows x 3 columns at B4.
        SAFEARRAYBOUND bounds[2] = {{3, -1}, {2, 1}};
        SAFEARRAY* integers = SafeArrayCreate(VT_I4, 2, bounds);
        for (LONG r = -1; r < 2; ++r)
            for (LONG c = 1; c < 3; ++c) {
                LONG index[2] = {r, c};
                LONG value = 10 * (r + 2) + c;
                SafeArrayPutElement(integers, index, &value);
            }
        QCOMPARE(putArray(integers, VT_I4, 4, 2, 2, 3), S_OK);

        QCOMPARE(withText(workbook, u"SaveAs", call, fixture.file("shapes.xlsx"), 51), S_OK);
        QCOMPARE(dispatchCall(workbook, u"Save", call, {}), S_OK);
        const QJsonObject cells =
            sheetCells(readWorkbookIndependently(fixture.file("shapes.xlsx")), "Sheet1");
        const QList<QPair<const char*, double>> expected = {
            {"B2", 5.25}, {"C2", 6.25}, {"D2", 7.25}, {"B4", 11}, {"C4", 12}, {"B5", 21}, {"C5", 22}};
        for (const auto& [place, value] : expected)
            QCOMPARE(cellOf(cells, place).value("value").toDouble(), value);
        for (const char* place : {"E2", "D4", "D5"})
            QVERIFY2(!cells.contains(place), place);
    }

    void saveAsNeverReplacesAnotherFile() {
        const QString existing = fixture.file("someone-elses.xlsx");
        QVERIFY(writeFile(existing, "not a workbook, and not ours"));
        QCOMPARE(withText(workbook, u"SaveAs", call, existing, 51), DISP_E_EXCEPTION);
        QCOMPARE(contentOf(existing), QByteArray("not a workbook, and not ours"));
        // A format number the spreadsheet does not know fails and creates nothing.
        QCOMPARE(withText(workbook, u"SaveAs", call, fixture.file("binary.xls"), 12345), DISP_E_EXCEPTION);
        QVERIFY(!QFile::exists(fixture.file("binary.xls")));
        // Saving again under its own path, and Save, are fine.
        QCOMPARE(withText(workbook, u"SaveAs", call, fixture.file("own.xlsm"), 52), S_OK);
        QCOMPARE(withText(workbook, u"SaveAs", call, fixture.file("own.xlsm"), 52), S_OK);
        QCOMPARE(dispatchCall(workbook, u"Save", call, {}), S_OK);
        QCOMPARE(sheetNames(readWorkbookIndependently(fixture.file("own.xlsm"))), QStringList{"Sheet1"});
    }
};

QTEST_APPLESS_MAIN(SheetServerObjectsTest)
#include "tst_sheetserver_objects.moc"
