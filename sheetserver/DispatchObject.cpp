#include "DispatchObject.h"

#include "DispatchArguments.h"

#include <atomic>
#include <cstring>
#include <exception>
#include <new>

namespace {
std::atomic<long> live{0};

bool sameNameIgnoringCase(const char16_t* a, const OLECHAR* b) {
    auto fold = [](char16_t c) { return (c >= u'A' && c <= u'Z') ? char16_t(c - u'A' + u'a') : c; };
    for (; *a && *b; ++a, ++b) {
        if (fold(*a) != fold(*b))
            return false;
    }
    return *a == 0 && *b == 0;
}

BSTR wideFromUtf8(const std::string& text) {
    if (text.empty())
        return SysAllocStringLen(nullptr, 0);
    const int length = MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), nullptr, 0);
    BSTR wide = SysAllocStringLen(nullptr, UINT(length));
    if (wide)
        MultiByteToWideChar(CP_UTF8, 0, text.data(), int(text.size()), wide, length);
    return wide;
}

HRESULT raised(HRESULT code, const std::string& description, EXCEPINFO* info) {
    if (code == DISP_E_EXCEPTION && info) {
        std::memset(info, 0, sizeof *info);
        info->bstrSource = SysAllocString(OLESTR("Gridwell spreadsheet server"));
        info->bstrDescription = wideFromUtf8(description);
        info->scode = E_FAIL;
    }
    return code;
}
} // namespace

DispatchObject::DispatchObject(const MemberInfo* members, int memberCount)
    : members(members), memberCount(memberCount) {
    ++live;
}

DispatchObject::~DispatchObject() {
    --live;
}

long DispatchObject::liveObjects() {
    return live.load();
}

HRESULT DispatchObject::QueryInterface(REFIID riid, void** ppv) {
    if (!ppv)
        return E_POINTER;
    if (riid == IID_IUnknown || riid == IID_IDispatch) {
        *ppv = static_cast<IDispatch*>(this);
        AddRef();
        return S_OK;
    }
    *ppv = nullptr;
    return E_NOINTERFACE;
}

ULONG DispatchObject::AddRef() {
    return ++references;
}

ULONG DispatchObject::Release() {
    const ULONG left = --references;
    if (left == 0)
        delete this;
    return left;
}

HRESULT DispatchObject::GetTypeInfoCount(UINT* pctinfo) {
    if (!pctinfo)
        return E_POINTER;
    *pctinfo = 0;
    return S_OK;
}

HRESULT DispatchObject::GetTypeInfo(UINT, LCID, ITypeInfo** ppTInfo) {
    if (ppTInfo)
        *ppTInfo = nullptr;
    return E_NOTIMPL;
}

HRESULT DispatchObject::GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID, DISPID* rgDispId) {
    if (riid != IID_NULL)
        return DISP_E_UNKNOWNINTERFACE;
    if (!rgszNames || !rgDispId || cNames == 0)
        return E_INVALIDARG;
    // Only members are looked up here; none of them takes named parameters.
    HRESULT hr = S_OK;
    for (UINT n = 0; n < cNames; ++n)
        rgDispId[n] = DISPID_UNKNOWN;
    for (int i = 0; rgszNames[0] && i < memberCount; ++i) {
        if (sameNameIgnoringCase(members[i].name, rgszNames[0])) {
            rgDispId[0] = members[i].id;
            break;
        }
    }
    if (rgDispId[0] == DISPID_UNKNOWN || cNames > 1)
        hr = DISP_E_UNKNOWNNAME;
    return hr;
}

HRESULT DispatchObject::Invoke(DISPID dispIdMember, REFIID riid, LCID, WORD wFlags, DISPPARAMS* pDispParams,
                               VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT*) {
    if (riid != IID_NULL)
        return DISP_E_UNKNOWNINTERFACE;
    const MemberInfo* found = nullptr;
    for (int i = 0; i < memberCount && !found; ++i)
        if (members[i].id == dispIdMember)
            found = &members[i];
    if (!found)
        return DISP_E_MEMBERNOTFOUND;
    const MemberInfo& member = *found;

    MemberKind kind;
    if (wFlags & (DISPATCH_PROPERTYPUT | DISPATCH_PROPERTYPUTREF)) {
        if (!(member.kinds & MemberPut))
            return DISP_E_MEMBERNOTFOUND;
        kind = MemberPut;
    } else if (wFlags & (DISPATCH_METHOD | DISPATCH_PROPERTYGET)) {
        // Automation clients often ask for a method and a property at once; either will do.
        if (member.kinds & MemberCall)
            kind = MemberCall;
        else if (member.kinds & MemberGet)
            kind = MemberGet;
        else
            return DISP_E_MEMBERNOTFOUND;
    } else {
        return DISP_E_MEMBERNOTFOUND;
    }

    if (pVarResult)
        VariantInit(pVarResult);
    // Nothing may escape through the interface: every failure becomes a result code.
    try {
        const DispatchArguments arguments(pDispParams, kind == MemberPut);
        invokeMember(dispIdMember, kind, arguments, pVarResult);
        return S_OK;
    } catch (const ServerError& error) {
        if (pVarResult)
            VariantClear(pVarResult);
        return raised(error.code, error.description, pExcepInfo);
    } catch (const std::bad_alloc&) {
        if (pVarResult)
            VariantClear(pVarResult);
        return E_OUTOFMEMORY;
    } catch (const std::exception& error) {
        if (pVarResult)
            VariantClear(pVarResult);
        return raised(DISP_E_EXCEPTION, error.what(), pExcepInfo);
    }
}

void returnObject(VARIANT* result, IDispatch* object) {
    if (!result) {
        object->Release();
        return;
    }
    result->vt = VT_DISPATCH;
    result->pdispVal = object;
}

void returnInteger(VARIANT* result, LONG value) {
    if (!result)
        return;
    result->vt = VT_I4;
    result->lVal = value;
}

void returnBoolean(VARIANT* result, bool value) {
    if (!result)
        return;
    result->vt = VT_BOOL;
    result->boolVal = value ? VARIANT_TRUE : VARIANT_FALSE;
}

void returnText(VARIANT* result, const std::u16string& text) {
    if (!result)
        return;
    BSTR s = SysAllocStringLen(text.data(), UINT(text.size()));
    if (!s)
        throw std::bad_alloc();
    result->vt = VT_BSTR;
    result->bstrVal = s;
}
