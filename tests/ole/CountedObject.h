#pragma once
// A minimal IDispatch whose reference count the tests can watch; the spreadsheet stand-in of
// tests/excel builds its objects on it.

#include "OleAutomation.h"

class CountedObject : public IDispatch {
public:
    ULONG references = 1;
    bool destroyed = false;

    HRESULT QueryInterface(REFIID riid, void** ppv) override {
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
    ULONG AddRef() override { return ++references; }
    ULONG Release() override {
        const ULONG left = --references;
        if (left == 0)
            lastReleased();
        return left;
    }
    // Stays allocated at zero so the test can look at it afterwards; a subclass may delete itself.
    virtual void lastReleased() { destroyed = true; }
    HRESULT GetTypeInfoCount(UINT* count) override {
        *count = 0;
        return S_OK;
    }
    HRESULT GetTypeInfo(UINT, LCID, ITypeInfo**) override { return E_NOTIMPL; }
    HRESULT GetIDsOfNames(REFIID, LPOLESTR*, UINT, LCID, DISPID*) override { return DISP_E_UNKNOWNNAME; }
    HRESULT Invoke(DISPID, REFIID, LCID, WORD, DISPPARAMS*, VARIANT*, EXCEPINFO*, UINT*) override {
        return DISP_E_MEMBERNOTFOUND;
    }
    ~CountedObject() override = default;
};
