#include "ExcelCom.h"

#include "ExcelComResults.h"
#include "ExcelComText.h"

#include <cstdarg>
#include <cstdlib>
#include <cstring>

ExcelCom::ExcelCom() = default;

ExcelCom::~ExcelCom() {
    // A connection that still holds its application quits it and balances CoInitialize.
    if (_application)
        closeExcel();
}

bool ExcelCom::comCallWrap(QString& errMsg, int dispatchFlags, VARIANT* result, IDispatch* object,
                           LPCOLESTR member, int argumentCount, ...) {
    if (!object) {
        errMsg = QStringLiteral("NULL IDispatch argument passed to comCallWrap()");
        return false;
    }

    DISPID dispatchId = 0;
    LPOLESTR name = const_cast<LPOLESTR>(member);
    HRESULT hr = object->GetIDsOfNames(IID_NULL, &name, 1, LOCALE_USER_DEFAULT, &dispatchId);
    if (FAILED(hr)) {
        errMsg = QString();
        return false;
    }

    // Invoke takes its positional arguments last first. The copies are shallow: the caller
    // keeps owning what the arguments hold.
    const int count = argumentCount > 0 ? argumentCount : 0;
    VARIANT* arguments = new VARIANT[count > 0 ? count : 1];
    va_list list;
    va_start(list, argumentCount);
    for (int i = 0; i < count; ++i)
        arguments[count - 1 - i] = va_arg(list, VARIANT);
    va_end(list);

    DISPPARAMS parameters;
    parameters.rgvarg = arguments;
    parameters.cArgs = UINT(count);
    parameters.rgdispidNamedArgs = nullptr;
    parameters.cNamedArgs = 0;
    // A property put names its single argument as the new value.
    DISPID propertyPut = DISPID_PROPERTYPUT;
    if (dispatchFlags & DISPATCH_PROPERTYPUT) {
        parameters.cNamedArgs = 1;
        parameters.rgdispidNamedArgs = &propertyPut;
    }

    // The exception information is only kept as the cause of a failure; errMsg stays the
    // caller's to fill.
    EXCEPINFO exception;
    std::memset(&exception, 0, sizeof exception);
    hr = object->Invoke(dispatchId, IID_NULL, LOCALE_SYSTEM_DEFAULT, WORD(dispatchFlags), &parameters, result,
                        &exception, nullptr);
    delete[] arguments;
    if (hr == DISP_E_EXCEPTION) {
        if (exception.pfnDeferredFillIn)
            exception.pfnDeferredFillIn(&exception);
        const QString cause =
            exception.bstrDescription
                ? QString::fromUtf16(reinterpret_cast<const char16_t*>(exception.bstrDescription),
                                     SysStringLen(exception.bstrDescription))
                : QString();
        if (!cause.isEmpty() && !_failureCauses.contains(cause))
            _failureCauses.append(cause);
        SysFreeString(exception.bstrSource);
        SysFreeString(exception.bstrDescription);
        SysFreeString(exception.bstrHelpFile);
    }
    if (FAILED(hr)) {
        errMsg = QString();
        return false;
    }
    return true;
}

bool ExcelCom::startExcel(QString& errMsg, bool visible) {
    if (_application)
        return true;
    forgetFailureCauses();

    CoInitialize(nullptr);

    CLSID clsid;
    if (FAILED(CLSIDFromProgID(OLESTR("Excel.Application"), &clsid))) {
        errMsg = QStringLiteral("CLSIDFromProgID() failed when trying to start Excel Application");
        return false;
    }

    IDispatch* application = nullptr;
    if (FAILED(CoCreateInstance(clsid, nullptr, CLSCTX_LOCAL_SERVER, IID_IDispatch,
                                reinterpret_cast<void**>(&application))) ||
        !application) {
        errMsg = QStringLiteral("CoCreateInstance()failed - ") +
                 QStringLiteral("Excel not registered properly with the system");
        return false;
    }
    _application = application;

    // New workbooks then hold exactly one worksheet, which becomes "Header".
    comCallWrap(errMsg, DISPATCH_PROPERTYPUT, nullptr, _application, OLESTR("SheetsInNewWorkbook"), 1,
                excelComInteger(1));
    if (visible)
        comCallWrap(errMsg, DISPATCH_PROPERTYPUT, nullptr, _application, OLESTR("Visible"), 1,
                    excelComInteger(1));
    return true;
}

int ExcelCom::excelVersion() {
    VARIANT result;
    VariantInit(&result);
    QString versionError;
    int version = -1;
    if (comCallWrap(versionError, DISPATCH_PROPERTYGET, &result, _application, OLESTR("Version"), 0)) {
        char text[256] = {0};
        if (result.vt == VT_BSTR && result.bstrVal)
            WideCharToMultiByte(CP_ACP, 0, result.bstrVal, -1, text, int(sizeof text), nullptr, nullptr);
        text[sizeof text - 1] = 0;
        version = std::atoi(text);
    }
    VariantClear(&result);
    return version;
}

void ExcelCom::closeExcel() {
    QString dropped;
    if (_worksheet) {
        releaseDispatch(_worksheet);
        _worksheetName = QString();
    }
    if (_workbook) {
        // Marked saved so that the application asks nothing about unsaved changes.
        comCallWrap(dropped, DISPATCH_PROPERTYPUT, nullptr, _workbook, OLESTR("Saved"), 1,
                    excelComInteger(1));
        releaseDispatch(_workbook);
        _workbookPath = QString();
    }
    if (_application) {
        comCallWrap(dropped, DISPATCH_METHOD, nullptr, _application, OLESTR("Quit"), 0);
        releaseDispatch(_application);
    }
    CoUninitialize();
}
