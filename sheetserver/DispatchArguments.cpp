#include "DispatchArguments.h"

#include "DispatchObject.h"

#include <cmath>

namespace {
[[noreturn]] void mismatch(int index) {
    throw ServerError{DISP_E_TYPEMISMATCH, "Argument " + std::to_string(index + 1) + " has the wrong type."};
}
} // namespace

DispatchArguments::DispatchArguments(const DISPPARAMS* parameters, bool propertyPut) {
    if (!parameters)
        throw ServerError{E_INVALIDARG, "No call parameters."};
    const UINT total = parameters->cArgs;
    const UINT named = parameters->cNamedArgs;
    if (named > total)
        throw ServerError{E_INVALIDARG, "More named arguments than arguments."};
    if (!propertyPut && named > 0)
        throw ServerError{DISP_E_NONAMEDARGS, "This member takes no named arguments."};
    if (propertyPut && (named != 1 || parameters->rgdispidNamedArgs[0] != DISPID_PROPERTYPUT))
        throw ServerError{DISP_E_PARAMNOTFOUND, "A property put needs its value as the named argument."};
    // Named arguments come first in rgvarg, positional ones after them, last first.
    for (UINT i = total; i > named; --i)
        values.push_back(&parameters->rgvarg[i - 1]);
    if (propertyPut)
        values.push_back(&parameters->rgvarg[0]);
}

void DispatchArguments::expectCount(int minimum, int maximum) const {
    if (count() < minimum || count() > maximum)
        throw ServerError{DISP_E_BADPARAMCOUNT, "Wrong number of arguments."};
}

const VARIANT& DispatchArguments::value(int index) const {
    const VARIANT* v = values.at(size_t(index));
    if (v->vt == (VT_BYREF | VT_VARIANT) && v->pvarVal)
        return *v->pvarVal;
    return *v;
}

bool DispatchArguments::given(int index) const {
    if (index < 0 || index >= count())
        return false;
    const VARIANT& v = value(index);
    if (v.vt == VT_EMPTY || v.vt == VT_NULL)
        return false;
    return !(v.vt == VT_ERROR && v.scode == DISP_E_PARAMNOTFOUND);
}

LONG DispatchArguments::integer(int index) const {
    const VARIANT& v = value(index);
    switch (v.vt) {
    case VT_I4:
        return v.lVal;
    case VT_I2:
        return v.iVal;
    case VT_BOOL:
        return v.boolVal ? -1 : 0;
    case VT_R4:
    case VT_R8: {
        const double d = v.vt == VT_R8 ? v.dblVal : double(v.fltVal);
        if (!std::isfinite(d) || d < -2147483648.0 || d > 2147483647.0)
            throw ServerError{DISP_E_OVERFLOW, "Argument " + std::to_string(index + 1) + " is out of range."};
        return LONG(std::lround(d));
    }
    default:
        mismatch(index);
    }
}

bool DispatchArguments::boolean(int index) const {
    const VARIANT& v = value(index);
    if (v.vt == VT_BOOL)
        return v.boolVal != VARIANT_FALSE;
    return integer(index) != 0;
}

std::u16string DispatchArguments::text(int index) const {
    const VARIANT& v = value(index);
    if (v.vt != VT_BSTR)
        mismatch(index);
    return v.bstrVal ? std::u16string(v.bstrVal, SysStringLen(v.bstrVal)) : std::u16string();
}

IDispatch* DispatchArguments::object(int index) const {
    const VARIANT& v = value(index);
    if (v.vt != VT_DISPATCH)
        mismatch(index);
    return v.pdispVal;
}
