#pragma once
// What the tests against the real spreadsheet server share: a fixture that checks each test
// leaves nothing behind, late-bound calls, value blocks, and read-back by openpyxl.

#include "OleAutomation.h"
#include "OleDiagnostics.h"
#include "SpreadsheetServer.h"

#include <QFile>
#include <QJsonArray>
#include <QJsonDocument>
#include <QJsonObject>
#include <QProcess>
#include <QTemporaryDir>
#include <QVariant>
#include <QtTest>

#include <algorithm>
#include <initializer_list>
#include <vector>

// A scratch folder and the registered server for the whole program; around each test, the
// check that no string, array, server object or COM initialisation is left behind.
struct ServerFixture {
    QTemporaryDir folder;
    long strings = 0;
    long arrays = 0;

    QString file(const QString& name) const { return folder.filePath(name); }
    void initTestCase() {
        QVERIFY(folder.isValid());
        registerSpreadsheetServer();
    }
    void init() {
        strings = OleLiveStringCount();
        arrays = OleLiveArrayCount();
    }
    void cleanup() const {
        QCOMPARE(spreadsheetServerLiveObjects(), 0);
        QCOMPARE(OleLiveStringCount(), strings);
        QCOMPARE(OleLiveArrayCount(), arrays);
        QCOMPARE(OleComInitializeDepth(), 0);
    }
};

inline bool writeFile(const QString& path, const QByteArray& content) {
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
}

inline QByteArray contentOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

// Looks the member up by name, passes the arguments last first, and names a put's value.
inline HRESULT dispatchCall(IDispatch* object, const char16_t* member, WORD flags,
                            std::initializer_list<VARIANT> args, VARIANT* result = nullptr,
                            EXCEPINFO* exception = nullptr) {
    DISPID id = 0;
    LPOLESTR name = const_cast<LPOLESTR>(member);
    const HRESULT found = object->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &id);
    if (FAILED(found))
        return found;
    std::vector<VARIANT> reversed(args.begin(), args.end());
    std::reverse(reversed.begin(), reversed.end());
    DISPID put = DISPID_PROPERTYPUT;
    const bool isPut = flags & DISPATCH_PROPERTYPUT;
    DISPPARAMS params{reversed.data(), isPut ? &put : nullptr, UINT(reversed.size()), isPut ? 1u : 0u};
    if (result)
        VariantInit(result);
    return object->Invoke(id, IID_NULL, LOCALE_SYSTEM_DEFAULT, flags, &params, result, exception, nullptr);
}

inline VARIANT i4(LONG value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = value;
    return v;
}

// A VT_BSTR that the caller clears.
inline VARIANT text(const QString& value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(value.utf16()), UINT(value.size()));
    return v;
}

// A call with one text argument, and a file format after it when one is given.
inline HRESULT withText(IDispatch* object, const char16_t* member, WORD flags, const QString& value,
                        LONG format = 0, VARIANT* result = nullptr, EXCEPINFO* exception = nullptr) {
    VARIANT argument = text(value);
    const HRESULT hr = format ? dispatchCall(object, member, flags, {argument, i4(format)}, result, exception)
                              : dispatchCall(object, member, flags, {argument}, result, exception);
    VariantClear(&argument);
    return hr;
}

// Releases the objects a test holds, nulls them and uninitialises COM on this thread.
inline void releaseAndUninitialize(std::initializer_list<IDispatch**> objects) {
    for (IDispatch** object : objects) {
        if (*object)
            (*object)->Release();
        *object = nullptr;
    }
    CoUninitialize();
}

// COM initialised on this thread and a new "Excel.Application" from the registry, or null.
inline IDispatch* startApplication() {
    CoInitialize(nullptr);
    CLSID clsid;
    IDispatch* application = nullptr;
    if (FAILED(CLSIDFromProgID(OLESTR("Excel.Application"), &clsid)) ||
        FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                reinterpret_cast<void**>(&application))))
        return nullptr;
    return application;
}

// The object result of a get or call, or null when it failed.
inline IDispatch* dispatchObject(IDispatch* object, const char16_t* member, WORD flags,
                                 std::initializer_list<VARIANT> args = {}) {
    VARIANT result;
    if (FAILED(dispatchCall(object, member, flags, args, &result)) || result.vt != VT_DISPATCH) {
        VariantClear(&result);
        return nullptr;
    }
    return result.pdispVal;
}

// A property as text (a string, or a number or boolean as its value), or "<failed>".
inline QString dispatchText(IDispatch* object, const char16_t* member) {
    VARIANT result;
    if (FAILED(dispatchCall(object, member, DISPATCH_PROPERTYGET, {}, &result)))
        return QStringLiteral("<failed>");
    QString value;
    if (result.vt == VT_BSTR)
        value = QString::fromUtf16(result.bstrVal, SysStringLen(result.bstrVal));
    else
        value = QString::number(result.vt == VT_BOOL ? (result.boolVal ? 1 : 0) : result.lVal);
    VariantClear(&result);
    return value;
}

struct DateSerial {
    double serial = 0;
};
Q_DECLARE_METATYPE(DateSerial)

// A VARIANT holding a two-dimensional array of VARIANT, both dimensions from 1, rows first:
// text becomes VT_BSTR, int VT_I4, bool VT_BOOL, a DateSerial VT_DATE, other numbers VT_R8,
// and an invalid QVariant VT_EMPTY.
inline VARIANT valueBlock(const QList<QVariantList>& rows) {
    SAFEARRAYBOUND bounds[2] = {{ULONG(rows.size()), 1}, {ULONG(rows.isEmpty() ? 0 : rows[0].size()), 1}};
    VARIANT block;
    VariantInit(&block);
    block.vt = VT_ARRAY | VT_VARIANT;
    block.parray = SafeArrayCreate(VT_VARIANT, 2, bounds);
    for (LONG r = 0; r < LONG(rows.size()); ++r) {
        for (LONG c = 0; c < LONG(rows[r].size()); ++c) {
            const QVariant& cell = rows[r][c];
            VARIANT v;
            VariantInit(&v);
            const int type = cell.userType();
            if (type == QMetaType::QString || type == QMetaType::Int) {
                v = type == QMetaType::Int ? i4(cell.toInt()) : text(cell.toString());
            } else if (type == QMetaType::Bool) {
                v.vt = VT_BOOL;
                v.boolVal = cell.toBool() ? VARIANT_TRUE : VARIANT_FALSE;
            } else if (type == qMetaTypeId<DateSerial>()) {
                v.vt = VT_DATE;
                v.date = cell.value<DateSerial>().serial;
            } else if (cell.isValid()) {
                v.vt = VT_R8;
                v.dblVal = cell.toDouble();
            }
            LONG index[2] = {r + 1, c + 1};
            SafeArrayPutElement(block.parray, index, &v);
            VariantClear(&v);
        }
    }
    return block;
}

// The workbook read by openpyxl under Debian's python3, as dump_workbook.py prints it:
// {"names": [sheet names in order], "sheets": {name: {"A1": {"value", "type", "bold", "format"}}}}.
inline QJsonObject readWorkbookIndependently(const QString& path) {
    QProcess python;
    python.start(QStringLiteral(GRIDWELL_PYTHON_PATH), {QStringLiteral(GRIDWELL_DUMP_SCRIPT), path});
    if (!python.waitForFinished(60000) || python.exitCode() != 0)
        qWarning("openpyxl could not read %s: %s", qPrintable(path),
                 python.readAllStandardError().constData());
    return QJsonDocument::fromJson(python.readAllStandardOutput()).object();
}

inline QStringList sheetNames(const QJsonObject& workbook) {
    return workbook.value(QStringLiteral("names")).toVariant().toStringList();
}

inline QJsonObject sheetCells(const QJsonObject& workbook, const QString& name) {
    return workbook.value(QStringLiteral("sheets")).toObject().value(name).toObject();
}

inline QJsonObject cellOf(const QJsonObject& cells, const char* name) {
    return cells.value(QLatin1String(name)).toObject();
}
