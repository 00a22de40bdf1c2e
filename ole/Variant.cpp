#include "OleAutomation.h"

#include <cstring>

namespace {
bool isKnownType(VARTYPE vt) {
    const VARTYPE base = vt & ~(VT_ARRAY | VT_BYREF);
    if ((vt & VT_ARRAY) && (vt & VT_BYREF))
        return false;
    switch (base) {
    case VT_EMPTY:
    case VT_NULL:
        return !(vt & (VT_ARRAY | VT_BYREF));
    case VT_VARIANT:
        return (vt & (VT_ARRAY | VT_BYREF)) != 0;
    case VT_I2:
    case VT_I4:
    case VT_R4:
    case VT_R8:
    case VT_CY:
    case VT_DATE:
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_ERROR:
    case VT_BOOL:
    case VT_UNKNOWN:
        return true;
    default:
        return false;
    }
}
} // namespace

void VariantInit(VARIANTARG* pvarg) {
    if (!pvarg)
        return;
    pvarg->vt = VT_EMPTY;
    pvarg->wReserved1 = pvarg->wReserved2 = pvarg->wReserved3 = 0;
}

HRESULT VariantClear(VARIANTARG* pvarg) {
    if (!pvarg)
        return E_INVALIDARG;
    if (!isKnownType(pvarg->vt))
        return DISP_E_BADVARTYPE;
    // By-reference values belong to someone else.
    if (!(pvarg->vt & VT_BYREF)) {
        if (pvarg->vt & VT_ARRAY) {
            if (pvarg->parray) {
                const HRESULT hr = SafeArrayDestroy(pvarg->parray);
                if (FAILED(hr))
                    return hr;
            }
        } else if (pvarg->vt == VT_BSTR) {
            SysFreeString(pvarg->bstrVal);
        } else if (pvarg->vt == VT_DISPATCH || pvarg->vt == VT_UNKNOWN) {
            if (pvarg->punkVal)
                pvarg->punkVal->Release();
        }
    }
    pvarg->vt = VT_EMPTY;
    return S_OK;
}

HRESULT VariantCopy(VARIANTARG* pvargDest, const VARIANTARG* pvargSrc) {
    if (!pvargDest || !pvargSrc)
        return E_INVALIDARG;
    if (!isKnownType(pvargSrc->vt))
        return DISP_E_BADVARTYPE;
    if (pvargDest == pvargSrc)
        return S_OK;
    const HRESULT cleared = VariantClear(pvargDest);
    if (FAILED(cleared))
        return cleared;
    VARIANT copy;
    std::memcpy(&copy, pvargSrc, sizeof copy);
    if (!(pvargSrc->vt & VT_BYREF)) {
        if (pvargSrc->vt & VT_ARRAY) {
            if (pvargSrc->parray) {
                const HRESULT hr = SafeArrayCopy(pvargSrc->parray, &copy.parray);
                if (FAILED(hr))
                    return hr;
            }
        } else if (pvargSrc->vt == VT_BSTR) {
            if (pvargSrc->bstrVal) {
                copy.bstrVal = SysAllocStringLen(pvargSrc->bstrVal, SysStringLen(pvargSrc->bstrVal));
                if (!copy.bstrVal)
                    return E_OUTOFMEMORY;
            }
        } else if (pvargSrc->vt == VT_DISPATCH || pvargSrc->vt == VT_UNKNOWN) {
            if (pvargSrc->punkVal)
                pvargSrc->punkVal->AddRef();
        }
    }
    std::memcpy(pvargDest, &copy, sizeof copy);
    return S_OK;
}
