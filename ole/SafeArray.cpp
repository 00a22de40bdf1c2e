#include "OleAutomation.h"
#include "OleDiagnostics.h"

#include <atomic>
#include <cstdlib>
#include <cstring>
#include <new>
#include <vector>

namespace {
std::atomic<long> liveArrays{0};

// Like Windows, the element type lives in the hidden header just before the descriptor.
constexpr size_t headerBytes = 16;

VARTYPE& vartypeOf(SAFEARRAY* psa) {
    return *reinterpret_cast<VARTYPE*>(reinterpret_cast<char*>(psa) - 4);
}

ULONG elementSize(VARTYPE vt) {
    switch (vt) {
    case VT_I2:
    case VT_BOOL:
        return 2;
    case VT_I4:
    case VT_R4:
    case VT_ERROR:
        return 4;
    case VT_R8:
    case VT_DATE:
    case VT_CY:
        return 8;
    case VT_BSTR:
    case VT_DISPATCH:
    case VT_UNKNOWN:
        return sizeof(void*);
    case VT_VARIANT:
        return sizeof(VARIANT);
    default:
        return 0;
    }
}

USHORT featuresOf(VARTYPE vt) {
    switch (vt) {
    case VT_BSTR:
        return FADF_HAVEVARTYPE | FADF_BSTR;
    case VT_DISPATCH:
        return FADF_HAVEVARTYPE | FADF_DISPATCH;
    case VT_UNKNOWN:
        return FADF_HAVEVARTYPE | FADF_UNKNOWN;
    case VT_VARIANT:
        return FADF_HAVEVARTYPE | FADF_VARIANT;
    default:
        return FADF_HAVEVARTYPE;
    }
}

size_t elementCount(const SAFEARRAY* psa) {
    size_t n = 1;
    for (USHORT d = 0; d < psa->cDims; ++d)
        n *= psa->rgsabound[d].cElements;
    return n;
}

// Indices come first dimension first; the first dimension is stored last in rgsabound
// and varies fastest in memory.
bool cellOffset(SAFEARRAY* psa, const LONG* rgIndices, size_t* cell) {
    size_t offset = 0, stride = 1;
    for (USHORT d = 0; d < psa->cDims; ++d) {
        const SAFEARRAYBOUND& bound = psa->rgsabound[psa->cDims - 1 - d];
        const int64_t index = int64_t(rgIndices[d]) - bound.lLbound;
        if (index < 0 || index >= int64_t(bound.cElements))
            return false;
        offset += size_t(index) * stride;
        stride *= bound.cElements;
    }
    *cell = offset;
    return true;
}

void clearElement(VARTYPE vt, void* element) {
    switch (vt) {
    case VT_BSTR:
        SysFreeString(*static_cast<BSTR*>(element));
        *static_cast<BSTR*>(element) = nullptr;
        break;
    case VT_DISPATCH:
    case VT_UNKNOWN:
        if (IUnknown* unknown = *static_cast<IUnknown**>(element))
            unknown->Release();
        *static_cast<IUnknown**>(element) = nullptr;
        break;
    case VT_VARIANT:
        VariantClear(static_cast<VARIANT*>(element));
        break;
    default:
        break;
    }
}

// Copies one element from source into the cleared slot target, deeply.
HRESULT copyElement(VARTYPE vt, void* target, const void* source) {
    switch (vt) {
    case VT_BSTR: {
        BSTR s = *static_cast<const BSTR*>(source);
        BSTR copy = nullptr;
        if (s && !(copy = SysAllocStringLen(s, SysStringLen(s))))
            return E_OUTOFMEMORY;
        *static_cast<BSTR*>(target) = copy;
        return S_OK;
    }
    case VT_DISPATCH:
    case VT_UNKNOWN: {
        IUnknown* unknown = *static_cast<IUnknown* const*>(source);
        if (unknown)
            unknown->AddRef();
        *static_cast<IUnknown**>(target) = unknown;
        return S_OK;
    }
    case VT_VARIANT:
        VariantInit(static_cast<VARIANT*>(target));
        return VariantCopy(static_cast<VARIANT*>(target), static_cast<const VARIANT*>(source));
    default:
        std::memcpy(target, source, elementSize(vt));
        return S_OK;
    }
}

SAFEARRAY* allocateDescriptor(USHORT cDims) {
    const size_t bytes = headerBytes + sizeof(SAFEARRAY) + (cDims - 1) * sizeof(SAFEARRAYBOUND);
    char* block = static_cast<char*>(std::calloc(1, bytes));
    if (!block)
        return nullptr;
    return reinterpret_cast<SAFEARRAY*>(block + headerBytes);
}

void freeDescriptor(SAFEARRAY* psa) {
    std::free(reinterpret_cast<char*>(psa) - headerBytes);
}
} // namespace

long OleLiveArrayCount() {
    return liveArrays.load();
}

SAFEARRAY* SafeArrayCreate(VARTYPE vt, UINT cDims, SAFEARRAYBOUND* rgsabound) {
    const ULONG size = elementSize(vt);
    if (cDims == 0 || cDims > 0xFFFF || !rgsabound || size == 0)
        return nullptr;
    size_t total = 1;
    for (UINT d = 0; d < cDims; ++d) {
        const size_t n = rgsabound[d].cElements;
        if (n != 0 && total > (size_t(0x7FFFFFFF) / size) / n)
            return nullptr;
        total *= n;
    }
    SAFEARRAY* psa = allocateDescriptor(USHORT(cDims));
    if (!psa)
        return nullptr;
    psa->cDims = USHORT(cDims);
    psa->fFeatures = featuresOf(vt);
    psa->cbElements = size;
    psa->cLocks = 0;
    for (UINT d = 0; d < cDims; ++d)
        psa->rgsabound[cDims - 1 - d] = rgsabound[d];
    vartypeOf(psa) = vt;
    psa->pvData = std::calloc(total ? total : 1, size);
    if (!psa->pvData) {
        freeDescriptor(psa);
        return nullptr;
    }
    ++liveArrays;
    return psa;
}

HRESULT SafeArrayDestroy(SAFEARRAY* psa) {
    if (!psa)
        return S_OK;
    if (psa->cLocks > 0)
        return DISP_E_ARRAYISLOCKED;
    const VARTYPE vt = vartypeOf(psa);
    const size_t n = elementCount(psa);
    char* data = static_cast<char*>(psa->pvData);
    for (size_t i = 0; i < n; ++i)
        clearElement(vt, data + i * psa->cbElements);
    std::free(psa->pvData);
    freeDescriptor(psa);
    --liveArrays;
    return S_OK;
}

HRESULT SafeArrayCopy(SAFEARRAY* psa, SAFEARRAY** ppsaOut) {
    if (!ppsaOut)
        return E_INVALIDARG;
    *ppsaOut = nullptr;
    if (!psa)
        return S_OK;
    const VARTYPE vt = vartypeOf(psa);
    std::vector<SAFEARRAYBOUND> bounds(psa->cDims);
    for (USHORT d = 0; d < psa->cDims; ++d)
        bounds[d] = psa->rgsabound[psa->cDims - 1 - d];
    SAFEARRAY* copy = SafeArrayCreate(vt, psa->cDims, bounds.data());
    if (!copy)
        return E_OUTOFMEMORY;
    const size_t n = elementCount(psa);
    for (size_t i = 0; i < n; ++i) {
        const HRESULT hr = copyElement(vt, static_cast<char*>(copy->pvData) + i * psa->cbElements,
                                       static_cast<const char*>(psa->pvData) + i * psa->cbElements);
        if (FAILED(hr)) {
            SafeArrayDestroy(copy);
            return hr;
        }
    }
    *ppsaOut = copy;
    return S_OK;
}

UINT SafeArrayGetDim(SAFEARRAY* psa) {
    return psa ? psa->cDims : 0;
}

HRESULT SafeArrayGetVartype(SAFEARRAY* psa, VARTYPE* pvt) {
    if (!psa || !pvt)
        return E_INVALIDARG;
    *pvt = vartypeOf(psa);
    return S_OK;
}

HRESULT SafeArrayGetUBound(SAFEARRAY* psa, UINT nDim, LONG* plUbound) {
    if (!psa || !plUbound)
        return E_INVALIDARG;
    if (nDim < 1 || nDim > psa->cDims)
        return DISP_E_BADINDEX;
    const SAFEARRAYBOUND& bound = psa->rgsabound[psa->cDims - nDim];
    *plUbound = LONG(int64_t(bound.lLbound) + int64_t(bound.cElements) - 1);
    return S_OK;
}

HRESULT SafeArrayGetLBound(SAFEARRAY* psa, UINT nDim, LONG* plLbound) {
    if (!psa || !plLbound)
        return E_INVALIDARG;
    if (nDim < 1 || nDim > psa->cDims)
        return DISP_E_BADINDEX;
    *plLbound = psa->rgsabound[psa->cDims - nDim].lLbound;
    return S_OK;
}

HRESULT SafeArrayPtrOfIndex(SAFEARRAY* psa, LONG* rgIndices, void** ppvData) {
    if (!psa || !rgIndices || !ppvData)
        return E_INVALIDARG;
    size_t cell = 0;
    if (!cellOffset(psa, rgIndices, &cell))
        return DISP_E_BADINDEX;
    *ppvData = static_cast<char*>(psa->pvData) + cell * psa->cbElements;
    return S_OK;
}

// As on Windows, pv is the string or interface pointer itself for arrays of those, and
// points to the value for every other element type.
HRESULT SafeArrayPutElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
    void* slot = nullptr;
    const HRESULT found = SafeArrayPtrOfIndex(psa, rgIndices, &slot);
    if (FAILED(found))
        return found;
    const VARTYPE vt = vartypeOf(psa);
    if (vt == VT_VARIANT)
        return VariantCopy(static_cast<VARIANT*>(slot), static_cast<VARIANT*>(pv));
    const bool pointerElement = vt == VT_BSTR || vt == VT_DISPATCH || vt == VT_UNKNOWN;
    if (!pv && !pointerElement)
        return E_INVALIDARG;
    unsigned char incoming[sizeof(void*) > 8 ? sizeof(void*) : 8];
    if (pointerElement)
        std::memcpy(incoming, &pv, sizeof pv);
    else
        std::memcpy(incoming, pv, psa->cbElements);
    unsigned char previous[sizeof incoming];
    std::memcpy(previous, slot, psa->cbElements);
    const HRESULT hr = copyElement(vt, slot, incoming);
    if (FAILED(hr)) {
        std::memcpy(slot, previous, psa->cbElements);
        return hr;
    }
    clearElement(vt, previous);
    return S_OK;
}

HRESULT SafeArrayGetElement(SAFEARRAY* psa, LONG* rgIndices, void* pv) {
    if (!pv)
        return E_INVALIDARG;
    void* slot = nullptr;
    const HRESULT found = SafeArrayPtrOfIndex(psa, rgIndices, &slot);
    if (FAILED(found))
        return found;
    return copyElement(vartypeOf(psa), pv, slot);
}
