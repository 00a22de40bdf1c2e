#include "ClassRegistry.h"
#include "OleAutomation.h"
#include "OleDiagnostics.h"

#include <atomic>
#include <map>
#include <mutex>
#include <string>

namespace {
thread_local int initializeDepth = 0;
std::atomic<long> initializeCalls{0};
std::atomic<long> uninitializeCalls{0};

struct Registration {
    CLSID clsid;
    OleClassCreateFunction create;
};

// Program identifiers are registry keys, so they match without regard to case.
std::u16string keyOf(LPCOLESTR progId) {
    std::u16string key;
    for (; *progId; ++progId) {
        char16_t c = *progId;
        if (c >= u'A' && c <= u'Z')
            c = char16_t(c - u'A' + u'a');
        key.push_back(c);
    }
    return key;
}

std::mutex registryMutex;
std::map<std::u16string, Registration>& registry() {
    static std::map<std::u16string, Registration> classes;
    return classes;
}
} // namespace

int OleComInitializeDepth() {
    return initializeDepth;
}
long OleCoInitializeCallCount() {
    return initializeCalls.load();
}
long OleCoUninitializeCallCount() {
    return uninitializeCalls.load();
}

HRESULT CoInitialize(LPVOID) {
    ++initializeCalls;
    return initializeDepth++ == 0 ? S_OK : S_FALSE;
}

void CoUninitialize() {
    ++uninitializeCalls;
    if (initializeDepth > 0)
        --initializeDepth;
}

HRESULT OleRegisterClass(LPCOLESTR progId, REFCLSID clsid, OleClassCreateFunction create) {
    if (!progId || !*progId || !create)
        return E_INVALIDARG;
    std::lock_guard<std::mutex> lock(registryMutex);
    registry()[keyOf(progId)] = Registration{clsid, create};
    return S_OK;
}

HRESULT OleUnregisterClass(LPCOLESTR progId) {
    if (!progId)
        return E_INVALIDARG;
    std::lock_guard<std::mutex> lock(registryMutex);
    return registry().erase(keyOf(progId)) ? S_OK : S_FALSE;
}

HRESULT CLSIDFromProgID(LPCOLESTR lpszProgID, CLSID* lpclsid) {
    if (!lpszProgID || !lpclsid)
        return E_INVALIDARG;
    std::lock_guard<std::mutex> lock(registryMutex);
    const auto found = registry().find(keyOf(lpszProgID));
    if (found == registry().end()) {
        *lpclsid = GUID_NULL;
        return CO_E_CLASSSTRING;
    }
    *lpclsid = found->second.clsid;
    return S_OK;
}

HRESULT CoCreateInstance(REFCLSID rclsid, IUnknown* pUnkOuter, DWORD dwClsContext, REFIID riid, LPVOID* ppv) {
    if (!ppv)
        return E_POINTER;
    *ppv = nullptr;
    if (initializeDepth == 0)
        return CO_E_NOTINITIALIZED;
    if (pUnkOuter)
        return CLASS_E_NOAGGREGATION;
    // Every server lives in this process, so any context that allows a server will do.
    if (!(dwClsContext & (CLSCTX_INPROC_SERVER | CLSCTX_LOCAL_SERVER)))
        return REGDB_E_CLASSNOTREG;
    OleClassCreateFunction create = nullptr;
    {
        std::lock_guard<std::mutex> lock(registryMutex);
        for (const auto& entry : registry()) {
            if (entry.second.clsid == rclsid) {
                create = entry.second.create;
                break;
            }
        }
    }
    if (!create)
        return REGDB_E_CLASSNOTREG;
    return create(riid, ppv);
}
