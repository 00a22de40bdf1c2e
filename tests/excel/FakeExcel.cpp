#include "FakeExcel.h"

#include "ClassRegistry.h"
#include "CountedObject.h"

#include <QHash>

namespace {
const CLSID fakeClsid = {0x00024500, 0, 0, {0xC0, 0, 0, 0, 0, 0, 0, 0x46}};
FakeExcel* current = nullptr;

const QHash<QString, QStringList>& membersByKind() {
    static const QHash<QString, QStringList> members = {
        {QStringLiteral("Application"),
         {"SheetsInNewWorkbook", "Visible", "Version", "Workbooks", "DisplayAlerts", "Quit"}},
        {QStringLiteral("Workbooks"), {"Open", "Add"}},
        {QStringLiteral("Workbook"), {"Saved", "Close", "Sheets", "SaveAs", "Save"}},
        {QStringLiteral("Sheets"), {"Item", "Count", "Add"}},
        {QStringLiteral("Worksheet"), {"Name", "Cells"}},
        {QStringLiteral("Range"), {"Resize", "Value", "Font", "NumberFormat", "Clear"}},
        {QStringLiteral("Font"), {"Bold"}},
    };
    return members;
}

// Members whose result is another object, and its kind.
const QHash<QString, QString>& objectResults() {
    static const QHash<QString, QString> results = {
        {"Application.Workbooks", "Workbooks"}, {"Workbooks.Open", "Workbook"}, {"Workbooks.Add", "Workbook"},
        {"Workbook.Sheets", "Sheets"},          {"Sheets.Item", "Worksheet"},   {"Sheets.Add", "Worksheet"},
        {"Worksheet.Cells", "Range"},           {"Range.Resize", "Range"},      {"Range.Font", "Font"},
    };
    return results;
}

HRESULT createApplication(REFIID riid, void** ppv) {
    if (!current)
        return E_FAIL;
    ++current->instancesCreated;
    IDispatch* application = current->newObject(QStringLiteral("Application"));
    const HRESULT hr = application->QueryInterface(riid, ppv);
    application->Release();
    return hr;
}
} // namespace

class FakeObject : public CountedObject {
public:
    FakeObject(FakeExcel* owner, QString kind) : owner(owner), kind(std::move(kind)) { ++owner->live; }
    ~FakeObject() override { --owner->live; }
    void lastReleased() override { delete this; }

    HRESULT GetIDsOfNames(REFIID, LPOLESTR* names, UINT count, LCID lcid, DISPID* ids) override {
        owner->lookupLocales.append(lcid);
        if (count != 1)
            return E_INVALIDARG;
        const QStringList& members = membersByKind().value(kind);
        for (int i = 0; i < members.size(); ++i) {
            if (members[i].compare(QString::fromUtf16(names[0]), Qt::CaseInsensitive) == 0) {
                ids[0] = i + 1;
                return S_OK;
            }
        }
        ids[0] = DISPID_UNKNOWN;
        return DISP_E_UNKNOWNNAME;
    }

    HRESULT Invoke(DISPID id, REFIID, LCID lcid, WORD flags, DISPPARAMS* params, VARIANT* result, EXCEPINFO*,
                   UINT*) override {
        const QStringList& members = membersByKind().value(kind);
        if (id < 1 || id > members.size())
            return DISP_E_MEMBERNOTFOUND;
        RecordedCall call;
        call.objectKind = kind;
        call.member = members[id - 1];
        call.flags = flags;
        call.lcid = lcid;
        call.resultRequested = result != nullptr;
        for (UINT i = 0; i < params->cArgs; ++i) {
            const VARIANT& v = params->rgvarg[i];
            RecordedArgument argument;
            argument.vt = v.vt;
            if (v.vt == VT_I4)
                argument.integer = v.lVal;
            else if (v.vt == VT_BSTR)
                argument.text = QString::fromUtf16(v.bstrVal, SysStringLen(v.bstrVal));
            else if (v.vt == VT_DISPATCH && v.pdispVal)
                argument.objectKind = static_cast<FakeObject*>(v.pdispVal)->kind;
            else if (v.vt & VT_ARRAY)
                argument.array = v.parray;
            call.rawArguments.append(argument);
        }
        for (UINT i = 0; i < params->cNamedArgs; ++i)
            call.namedArguments.append(params->rgdispidNamedArgs[i]);
        owner->calls.append(call);

        const QString qualified = kind + QLatin1Char('.') + call.member;
        if (owner->failing.contains(qualified))
            return DISP_E_EXCEPTION;
        if (qualified == QLatin1String("Workbooks.Open") &&
            (call.rawArguments.size() != 1 || !owner->existingPaths.contains(call.rawArguments[0].text)))
            return DISP_E_EXCEPTION;
        if (qualified == QLatin1String("Sheets.Item") && call.rawArguments.size() == 1) {
            const RecordedArgument& index = call.rawArguments[0];
            const bool found = index.vt == VT_BSTR ? owner->existingSheets.contains(index.text)
                                                   : index.integer >= 1 && index.integer <= owner->sheetCount;
            if (!found)
                return DISP_E_EXCEPTION;
        }
        if (!result)
            return S_OK;
        const QString resultKind = objectResults().value(qualified);
        if (!resultKind.isEmpty()) {
            result->vt = VT_DISPATCH;
            result->pdispVal = owner->newObject(resultKind);
        } else if (qualified == QLatin1String("Application.Version")) {
            result->vt = VT_BSTR;
            result->bstrVal = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(owner->version.utf16()),
                                                UINT(owner->version.size()));
        } else if (qualified == QLatin1String("Sheets.Count")) {
            result->vt = VT_I4;
            result->lVal = owner->sheetCount;
        } else if (qualified == QLatin1String("Workbook.SaveAs") ||
                   qualified == QLatin1String("Workbook.Save")) {
            result->vt = VT_BOOL;
            result->boolVal = VARIANT_TRUE;
        }
        return S_OK;
    }

    FakeExcel* owner;
    QString kind;
};

QString RecordedCall::text() const {
    const QString verb = (flags & DISPATCH_PROPERTYPUT)   ? QStringLiteral("put")
                         : (flags & DISPATCH_PROPERTYGET) ? QStringLiteral("get")
                                                          : QStringLiteral("call");
    QStringList shown;
    for (auto a = rawArguments.crbegin(); a != rawArguments.crend(); ++a) {
        if (a->vt == VT_I4)
            shown << QString::number(a->integer);
        else if (a->vt == VT_BSTR)
            shown << QLatin1Char('"') + a->text + QLatin1Char('"');
        else if (a->vt == VT_NULL)
            shown << QStringLiteral("null");
        else if (a->vt == VT_DISPATCH)
            shown << a->objectKind;
        else
            shown << ((a->vt & VT_ARRAY) ? QStringLiteral("array") : QStringLiteral("vt%1").arg(a->vt));
    }
    return QStringLiteral("%1 %2.%3(%4)").arg(verb, objectKind, member, shown.join(QStringLiteral(", ")));
}

FakeExcel::FakeExcel() {
    current = this;
    OleRegisterClass(OLESTR("Excel.Application"), fakeClsid, createApplication);
}

FakeExcel::~FakeExcel() {
    OleUnregisterClass(OLESTR("Excel.Application"));
    current = nullptr;
}

IDispatch* FakeExcel::newObject(const QString& kind) {
    return new FakeObject(this, kind);
}

QStringList FakeExcel::callTexts() const {
    QStringList texts;
    for (const RecordedCall& call : calls)
        texts << call.text();
    return texts;
}

void FakeExcel::clearRecord() {
    calls.clear();
    lookupLocales.clear();
}
