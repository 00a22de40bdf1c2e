#pragma once
// The arguments of one Invoke in the order of the member's declared parameters, with the
// conversions that the server accepts. Every accessor throws ServerError with
// DISP_E_TYPEMISMATCH or DISP_E_BADPARAMCOUNT when the caller's value does not fit.

#include "OleAutomation.h"

#include <string>
#include <vector>

class DispatchArguments {
public:
    // For a property put the new value comes as the named argument DISPID_PROPERTYPUT; it is
    // then the last argument here.
    DispatchArguments(const DISPPARAMS* parameters, bool propertyPut);

    int count() const { return int(values.size()); }
    void expectCount(int minimum, int maximum) const;

    // Present, and not one of the markers of an omitted optional argument.
    bool given(int index) const;
    const VARIANT& value(int index) const;

    LONG integer(int index) const;
    bool boolean(int index) const;
    std::u16string text(int index) const;
    IDispatch* object(int index) const; // no reference added

private:
    std::vector<const VARIANT*> values;
};
