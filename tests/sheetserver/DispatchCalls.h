#pragma once
// Late-bound calls for tests that talk to the server directly: look the member up by name,
// pass the arguments last first, and name the value of a property put.

#include "OleAutomation.h"

#include <QString>
#include <QtTest>

#include <initializer_list>
#include <vector>

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
    DISPPARAMS params{reversed.data(), nullptr, UINT(reversed.size()), 0};
    if (flags & DISPATCH_PROPERTYPUT) {
        params.rgdispidNamedArgs = &put;
        params.cNamedArgs = 1;
    }
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

inline QString dispatchText(IDispatch* object, const char16_t* member) {
    VARIANT result;
    if (FAILED(dispatchCall(object, member, DISPATCH_PROPERTYGET, {}, &result)) || result.vt != VT_BSTR)
        return QStringLiteral("<failed>");
    const QString value = QString::fromUtf16(result.bstrVal, SysStringLen(result.bstrVal));
    VariantClear(&result);
    return value;
}

inline LONG dispatchInteger(IDispatch* object, const char16_t* member) {
    VARIANT result;
    if (FAILED(dispatchCall(object, member, DISPATCH_PROPERTYGET, {}, &result)))
        return -999;
    const LONG value = result.vt == VT_BOOL ? (result.boolVal ? 1 : 0) : result.lVal;
    VariantClear(&result);
    return value;
}
