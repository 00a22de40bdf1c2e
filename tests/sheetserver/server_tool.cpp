// Drives the spreadsheet server from test scripts through IDispatch, as the automation layer does:
// the scripts make workbooks with openpyxl, run a list of steps on them here and read the result
// back with openpyxl.
//
// server_tool '<steps as JSON>': each step is an array, and prints one JSON line:
// {"ok": true, "value": ...} or {"ok": false, "code": "0x80020009", "description": "..."}.
//   ["open", path]                       Workbooks.Open
//   ["count"]                            Sheets.Count
//   ["name", sheet]                      Sheets.Item(sheet).Name (sheet: a position or a name)
//   ["write", sheet, row, column, rows]  Cells(row, column).Resize(...).Value = rows (a list of
//                                        lists: numbers VT_R8, texts VT_BSTR, null VT_EMPTY,
//                                        booleans VT_BOOL, {"date": serial} VT_DATE)
//   ["bold", sheet, row, column, rows, columns]             Font.Bold = True
//   ["format", sheet, row, column, rows, columns, code]     NumberFormat = code
//   ["clear", sheet] / ["clear", sheet, row, column, rows, columns]   Cells.Clear / Range.Clear
//   ["add", name]                        a worksheet after the last sheet (Count, Item(Count),
//                                        Add(After:=it)), then named
//   ["add-before", sheet, name]          a worksheet before a sheet, then named
//   ["rename", sheet, name]              Name = name
//   ["save"]                             Workbook.Save
// The workbook is closed without saving and the application quits at the end.

#include "SheetServerTest.h"

#include <cstdio>

namespace {
const WORD get = DISPATCH_PROPERTYGET;
const WORD put = DISPATCH_PROPERTYPUT;
const WORD call = DISPATCH_METHOD;

// The failure of one call, with the server's description.
struct Failed {
    HRESULT code;
    QString description;
};

// Owns one reference.
class Object {
public:
    explicit Object(IDispatch* object = nullptr) : object(object) {}
    Object(Object&& other) noexcept : object(other.object) { other.object = nullptr; }
    Object& operator=(Object&& other) noexcept {
        std::swap(object, other.object);
        return *this;
    }
    ~Object() {
        if (object)
            object->Release();
    }
    IDispatch* get() const { return object; }

private:
    IDispatch* object;
};

// Calls member; the arguments are cleared afterwards. Throws Failed.
VARIANT invoke(IDispatch* object, const char16_t* member, WORD flags, std::initializer_list<VARIANT> args) {
    EXCEPINFO exception{};
    VARIANT result;
    const HRESULT hr = dispatchCall(object, member, flags, args, &result, &exception);
    for (VARIANT argument : args)
        VariantClear(&argument);
    QString description;
    if (exception.bstrDescription)
        description = QString::fromUtf16(exception.bstrDescription, SysStringLen(exception.bstrDescription));
    SysFreeString(exception.bstrDescription);
    SysFreeString(exception.bstrSource);
    SysFreeString(exception.bstrHelpFile);
    if (FAILED(hr))
        throw Failed{hr, description};
    return result;
}

Object objectOf(IDispatch* object, const char16_t* member, WORD flags,
                std::initializer_list<VARIANT> args = {}) {
    VARIANT result = invoke(object, member, flags, args);
    if (result.vt != VT_DISPATCH) {
        VariantClear(&result);
        throw Failed{E_FAIL, QStringLiteral("no object returned")};
    }
    return Object(result.pdispVal);
}

QJsonValue valueOf(VARIANT result) {
    QJsonValue value;
    if (result.vt == VT_BSTR)
        value = QString::fromUtf16(result.bstrVal, SysStringLen(result.bstrVal));
    else if (result.vt == VT_I4)
        value = int(result.lVal);
    VariantClear(&result);
    return value;
}

VARIANT sheetArgument(const QJsonValue& sheet) {
    return sheet.isString() ? text(sheet.toString()) : i4(sheet.toInt());
}

VARIANT objectArgument(IDispatch* object) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_DISPATCH;
    v.pdispVal = object;
    object->AddRef();
    return v;
}

QList<QVariantList> rowsOf(const QJsonArray& rows) {
    QList<QVariantList> out;
    for (const QJsonValue& row : rows) {
        QVariantList cells;
        for (const QJsonValue& cell : row.toArray()) {
            if (cell.isObject())
                cells.append(QVariant::fromValue(DateSerial{cell.toObject().value("date").toDouble()}));
            else if (cell.isNull())
                cells.append(QVariant());
            else if (cell.isDouble())
                cells.append(QVariant(cell.toDouble()));
            else
                cells.append(cell.toVariant());
        }
        out.append(cells);
    }
    return out;
}

class Driver {
public:
    Driver() {
        registerSpreadsheetServer();
        application = Object(startApplication());
    }
    ~Driver() {
        if (workbook.get()) {
            VARIANT no;
            VariantInit(&no);
            no.vt = VT_BOOL;
            no.boolVal = VARIANT_FALSE;
            VARIANT ignored = invokeQuietly(workbook.get(), u"Close", call, {no});
            VariantClear(&ignored);
        }
        workbook = Object();
        if (application.get()) {
            VARIANT ignored = invokeQuietly(application.get(), u"Quit", call, {});
            VariantClear(&ignored);
        }
        application = Object();
        CoUninitialize();
    }

    QJsonValue step(const QJsonArray& s) {
        const QString what = s.at(0).toString();
        if (what == "open") {
            Object books = objectOf(application.get(), u"Workbooks", get);
            workbook = objectOf(books.get(), u"Open", call, {text(s.at(1).toString())});
            return {};
        }
        if (!workbook.get())
            throw Failed{E_FAIL, QStringLiteral("no workbook is open")};
        if (what == "save")
            return valueOf(invoke(workbook.get(), u"Save", call, {}));
        Object sheets = objectOf(workbook.get(), u"Sheets", get);
        if (what == "count")
            return valueOf(invoke(sheets.get(), u"Count", get, {}));
        if (what == "add") {
            const QJsonValue count = valueOf(invoke(sheets.get(), u"Count", get, {}));
            Object last = objectOf(sheets.get(), u"Item", get, {i4(count.toInt())});
            VARIANT none;
            VariantInit(&none);
            none.vt = VT_NULL;
            Object added =
                objectOf(sheets.get(), u"Add", call, {none, objectArgument(last.get()), i4(1), i4(-4167)});
            return valueOf(invoke(added.get(), u"Name", put, {text(s.at(1).toString())}));
        }
        Object sheet = objectOf(sheets.get(), u"Item", get, {sheetArgument(s.at(1))});
        if (what == "name")
            return valueOf(invoke(sheet.get(), u"Name", get, {}));
        if (what == "rename")
            return valueOf(invoke(sheet.get(), u"Name", put, {text(s.at(2).toString())}));
        if (what == "add-before") {
            Object added = objectOf(sheets.get(), u"Add", call, {objectArgument(sheet.get())});
            return valueOf(invoke(added.get(), u"Name", put, {text(s.at(2).toString())}));
        }
        if (what == "clear" && s.size() == 2) {
            Object cells = objectOf(sheet.get(), u"Cells", get);
            return valueOf(invoke(cells.get(), u"Clear", call, {}));
        }
        Object first = objectOf(sheet.get(), u"Cells", get, {i4(s.at(2).toInt()), i4(s.at(3).toInt())});
        if (what == "write") {
            const QList<QVariantList> rows = rowsOf(s.at(4).toArray());
            Object range = objectOf(first.get(), u"Resize", get,
                                    {i4(LONG(rows.size())), i4(LONG(rows.isEmpty() ? 1 : rows[0].size()))});
            return valueOf(invoke(range.get(), u"Value", put, {valueBlock(rows)}));
        }
        Object range = objectOf(first.get(), u"Resize", get, {i4(s.at(4).toInt()), i4(s.at(5).toInt())});
        if (what == "bold") {
            Object font = objectOf(range.get(), u"Font", get);
            return valueOf(invoke(font.get(), u"Bold", put, {i4(1)}));
        }
        if (what == "format")
            return valueOf(invoke(range.get(), u"NumberFormat", put, {text(s.at(6).toString())}));
        if (what == "clear")
            return valueOf(invoke(range.get(), u"Clear", call, {}));
        throw Failed{E_INVALIDARG, "unknown step " + what};
    }

private:
    static VARIANT invokeQuietly(IDispatch* object, const char16_t* member, WORD flags,
                                 std::initializer_list<VARIANT> args) {
        try {
            return invoke(object, member, flags, args);
        } catch (const Failed&) {
            VARIANT empty;
            VariantInit(&empty);
            return empty;
        }
    }

    Object application;
    Object workbook;
};
} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: server_tool '<steps as JSON>'\n");
        return 2;
    }
    const QJsonArray steps = QJsonDocument::fromJson(QByteArray(argv[1])).array();
    Driver driver;
    for (const QJsonValue& s : steps) {
        QJsonObject line;
        try {
            line = {{"ok", true}, {"value", driver.step(s.toArray())}};
        } catch (const Failed& failed) {
            line = {{"ok", false},
                    {"code", "0x" + QString::number(quint32(failed.code), 16)},
                    {"description", failed.description}};
        }
        std::printf("%s\n", QJsonDocument(line).toJson(QJsonDocument::Compact).constData());
    }
    return 0;
}
