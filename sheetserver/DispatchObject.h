#pragma once
// Base of every server object: reference counting, member lookup by name without regard to
// case, and the Invoke plumbing that turns failures into automation result codes.

#include "OleAutomation.h"

#include <string>

class DispatchArguments;

// How a member may be invoked.
enum MemberKind { MemberGet = 1, MemberPut = 2, MemberCall = 4 };

// One member: its dispatch identifier beside its name, so that adding a member cannot shift
// the identifiers of the others.
struct MemberInfo {
    DISPID id;
    const char16_t* name;
    int kinds;
};

// Thrown by member implementations; Invoke returns code and, for DISP_E_EXCEPTION, fills the
// caller's exception information with the description.
struct ServerError {
    HRESULT code;
    std::string description;
};

class DispatchObject : public IDispatch {
public:
    HRESULT QueryInterface(REFIID riid, void** ppv) override;
    ULONG AddRef() override;
    ULONG Release() override;
    HRESULT GetTypeInfoCount(UINT* pctinfo) override;
    HRESULT GetTypeInfo(UINT iTInfo, LCID lcid, ITypeInfo** ppTInfo) override;
    HRESULT GetIDsOfNames(REFIID riid, LPOLESTR* rgszNames, UINT cNames, LCID lcid,
                          DISPID* rgDispId) override;
    HRESULT Invoke(DISPID dispIdMember, REFIID riid, LCID lcid, WORD wFlags, DISPPARAMS* pDispParams,
                   VARIANT* pVarResult, EXCEPINFO* pExcepInfo, UINT* puArgErr) override;

    static long liveObjects();

protected:
    DispatchObject(const MemberInfo* members, int memberCount);
    ~DispatchObject() override;

    // Carries out member (its dispatch identifier) as kind; the result, if any, goes to result.
    virtual void invokeMember(DISPID member, MemberKind kind, const DispatchArguments& arguments,
                              VARIANT* result) = 0;

private:
    const MemberInfo* members;
    int memberCount;
    ULONG references = 1;
};

// Hands object (one reference) to the caller's result, or releases it when no result is wanted.
void returnObject(VARIANT* result, IDispatch* object);
void returnInteger(VARIANT* result, LONG value);
void returnBoolean(VARIANT* result, bool value);
void returnText(VARIANT* result, const std::u16string& text);
