#include "ExcelCom.h"

#include "ExcelComResults.h"
#include "ExcelComText.h"
#include "SpreadsheetNumbers.h"

#include <QDir>

namespace {
using namespace SpreadsheetNumbers;

// The extension runs from the first ".xl" to the end of the path; matching is case-sensitive.
QString workbookExtension(const QString& path) {
    const int start = int(path.indexOf(QStringLiteral(".xl")));
    return start < 0 ? QString() : path.mid(start);
}

// The SaveAs format for an extension under a major version, or false when there is none.
bool saveFormatFor(const QString& extension, int majorVersion, LONG* format) {
    if (majorVersion < firstOpenXmlVersion) {
        if (extension == QLatin1String(".xls")) {
            *format = xlWorkbookNormal;
            return true;
        }
        return false;
    }
    if (extension == QLatin1String(".xls"))
        *format = xlExcel8;
    else if (extension == QLatin1String(".xlsx"))
        *format = xlOpenXMLWorkbook;
    else if (extension == QLatin1String(".xlsm"))
        *format = xlOpenXMLWorkbookMacroEnabled;
    else if (extension == QLatin1String(".xlsb"))
        *format = xlExcel12;
    else
        return false;
    return true;
}

// The SaveAs format of a new workbook at workbookPath, or a message when the application's
// version cannot write its extension. Refused before anything is saved.
bool chooseFileFormat(const QString& workbookPath, int majorVersion, LONG* format, QString& errMsg) {
    const QString extension = workbookExtension(workbookPath);
    if (saveFormatFor(extension, majorVersion, format))
        return true;
    errMsg = QStringLiteral("The file extension of ") + quoted(extension) + QStringLiteral(" for workbook ") +
             quoted(workbookPath) + QStringLiteral(" is not supported in your version of Excel");
    return false;
}

// Opens the file at path with the application's questions off, so that nothing waits for
// an answer; null when it does not open.
IDispatch* openWithoutAlerts(ExcelCom& com, IDispatch* application, IDispatch* workbooks,
                             const TextArgument& path, QString& errMsg) {
    QString ignored;
    com.comCallWrap(ignored, DISPATCH_PROPERTYPUT, nullptr, application, OLESTR("DisplayAlerts"), 1,
                    excelComInteger(0));
    VARIANT result;
    VariantInit(&result);
    IDispatch* opened = takeDispatch(
        com.comCallWrap(errMsg, DISPATCH_METHOD, &result, workbooks, OLESTR("Open"), 1, path.variant()),
        result, errMsg);
    com.comCallWrap(ignored, DISPATCH_PROPERTYPUT, nullptr, application, OLESTR("DisplayAlerts"), 1,
                    excelComInteger(1));
    return opened;
}

// A new workbook's first worksheet is "Header", the worksheet every conversion starts with.
bool nameFirstWorksheet(ExcelCom& com, IDispatch* workbook, const TextArgument& header, QString& errMsg) {
    VARIANT result;
    VariantInit(&result);
    IDispatch* sheets =
        takeDispatch(com.comCallWrap(errMsg, DISPATCH_PROPERTYGET, &result, workbook, OLESTR("Sheets"), 0),
                     result, errMsg);
    if (!sheets) {
        errMsg += QStringLiteral(" Could not get the Sheets collection for new workbook");
        return false;
    }

    VariantInit(&result);
    IDispatch* first = takeDispatch(
        com.comCallWrap(errMsg, DISPATCH_PROPERTYGET, &result, sheets, OLESTR("Item"), 1, excelComInteger(1)),
        result, errMsg);
    releaseDispatch(sheets);
    if (!first) {
        errMsg += QStringLiteral(" Could not get the first worksheet in the new workbook");
        return false;
    }

    const bool named =
        com.comCallWrap(errMsg, DISPATCH_PROPERTYPUT, nullptr, first, OLESTR("Name"), 1, header.variant());
    releaseDispatch(first);
    if (!named) {
        errMsg += QStringLiteral(" Could not name the first worksheet in the new workbook");
        return false;
    }
    return true;
}

// The last worksheet of sheets, where a new one goes. Without a count it is the first.
IDispatch* lastWorksheet(ExcelCom& com, IDispatch* sheets, QString& errMsg) {
    LONG count = 1;
    VARIANT result;
    VariantInit(&result);
    QString countError;
    if (com.comCallWrap(countError, DISPATCH_PROPERTYGET, &result, sheets, OLESTR("Count"), 0))
        count = result.lVal;
    VariantClear(&result);

    VariantInit(&result);
    return takeDispatch(com.comCallWrap(errMsg, DISPATCH_PROPERTYGET, &result, sheets, OLESTR("Item"), 1,
                                        excelComInteger(count)),
                        result, errMsg);
}

// A new worksheet right after `last`; null when the application adds none.
IDispatch* addWorksheetAfter(ExcelCom& com, IDispatch* sheets, IDispatch* last, QString& errMsg) {
    VARIANT before;
    VariantInit(&before);
    before.vt = VT_NULL;
    VARIANT after;
    VariantInit(&after);
    after.vt = VT_DISPATCH;
    after.pdispVal = last;
    VARIANT result;
    VariantInit(&result);
    return takeDispatch(com.comCallWrap(errMsg, DISPATCH_METHOD, &result, sheets, OLESTR("Add"), 4, before,
                                        after, excelComInteger(1), excelComInteger(xlWorksheet)),
                        result, errMsg);
}
} // namespace

bool ExcelCom::openWorksheet(const QString& workbookPath, const QString& worksheetName, QString& errMsg,
                             bool create) {
    if (workbookPath == _workbookPath && worksheetName == _worksheetName)
        return true;
    forgetFailureCauses();

    if (workbookPath != _workbookPath) {
        dropCurrentWorkbook();
        if (!openOrCreateWorkbook(workbookPath, errMsg, create))
            return false;
    }
    return findOrAddWorksheet(worksheetName, errMsg, create);
}

void ExcelCom::dropCurrentWorkbook() {
    if (_worksheet) {
        releaseDispatch(_worksheet);
        _worksheetName = QString();
    }
    if (_workbook) {
        // Marked saved first so the application asks nothing; unsaved changes are dropped.
        QString ignored;
        comCallWrap(ignored, DISPATCH_PROPERTYPUT, nullptr, _workbook, OLESTR("Saved"), 1,
                    excelComInteger(1));
        VARIANT closed;
        VariantInit(&closed);
        comCallWrap(ignored, DISPATCH_METHOD, &closed, _workbook, OLESTR("Close"), 0);
        VariantClear(&closed);
        releaseDispatch(_workbook);
    }
    _workbookPath = QString();
    _workbook = nullptr;
    _addedWorksheets.clear();
}

bool ExcelCom::openOrCreateWorkbook(const QString& workbookPath, QString& errMsg, bool create) {
    if (!_application) {
        errMsg = QStringLiteral("Excel connection has not been initialized properly");
        return false;
    }
    // Texts are made before any object is held, so a failed allocation leaks nothing.
    const TextArgument path(workbookPath, TextArgument::FileName);
    const TextArgument header(QStringLiteral("Header"));

    VARIANT result;
    VariantInit(&result);
    IDispatch* workbooks =
        takeDispatch(comCallWrap(errMsg, DISPATCH_PROPERTYGET, &result, _application, OLESTR("Workbooks"), 0),
                     result, errMsg);
    if (!workbooks) {
        errMsg += QStringLiteral(" Could not get Workbooks collection.");
        return false;
    }

    IDispatch* opened = openWithoutAlerts(*this, _application, workbooks, path, errMsg);
    if (opened) {
        // An existing workbook is used as it is, whatever its extension.
        _workbook = opened;
        _workbookPath = workbookPath;
        releaseDispatch(workbooks);
        return true;
    }

    // A missing file is the ordinary way to a new workbook: what the application said
    // about opening it is no cause of what follows. A file that is there but does not open is
    // the user's, and no new workbook is saved over it: the failure to open it is the message.
    const std::u16string wide = QDir::fromNativeSeparators(workbookPath).toStdU16String();
    const bool exists =
        GetFileAttributesW(reinterpret_cast<LPCWSTR>(wide.c_str())) != INVALID_FILE_ATTRIBUTES;
    if (create && !exists)
        forgetFailureCauses();
    if (!create || exists) {
        errMsg += QStringLiteral(" Could not open workbook ") + quoted(workbookPath);
        releaseDispatch(workbooks);
        return false;
    }

    VariantInit(&result);
    _workbook = takeDispatch(comCallWrap(errMsg, DISPATCH_METHOD, &result, workbooks, OLESTR("Add"), 0),
                             result, errMsg);
    releaseDispatch(workbooks);
    if (!_workbook) {
        errMsg += QStringLiteral(" Could not open or create workbook ") + quoted(workbookPath);
        return false;
    }

    if (!nameFirstWorksheet(*this, _workbook, header, errMsg))
        return false;

    LONG format = 0;
    if (!chooseFileFormat(workbookPath, excelVersion(), &format, errMsg)) {
        releaseDispatch(_workbook);
        return false;
    }

    VariantInit(&result);
    const bool saved = comCallWrap(errMsg, DISPATCH_METHOD, &result, _workbook, OLESTR("SaveAs"), 2,
                                   path.variant(), excelComInteger(format));
    VariantClear(&result);
    if (!saved) {
        errMsg += QStringLiteral(" Could not create and save workbook to path ") + quoted(workbookPath);
        releaseDispatch(_workbook);
        return false;
    }
    _workbookPath = workbookPath;
    _addedWorksheets.insert(QStringLiteral("Header"));
    return true;
}

bool ExcelCom::findOrAddWorksheet(const QString& worksheetName, QString& errMsg, bool create) {
    if (worksheetName == _worksheetName)
        return true;
    if (_worksheet) {
        releaseDispatch(_worksheet);
        _worksheetName = QString();
    }
    const TextArgument name(worksheetName);

    VARIANT result;
    VariantInit(&result);
    IDispatch* sheets = takeDispatch(
        comCallWrap(errMsg, DISPATCH_PROPERTYGET, &result, _workbook, OLESTR("Sheets"), 0), result, errMsg);
    if (!sheets) {
        errMsg +=
            QStringLiteral(" Could not get the Sheets collection for workbook ") + quoted(_workbookPath);
        return false;
    }

    VariantInit(&result);
    IDispatch* found = takeDispatch(
        comCallWrap(errMsg, DISPATCH_PROPERTYGET, &result, sheets, OLESTR("Item"), 1, name.variant()), result,
        errMsg);
    if (found) {
        _worksheet = found;
        _worksheetName = worksheetName;
        releaseDispatch(sheets);
        return true;
    }
    if (!create) {
        errMsg += QStringLiteral(" Could not get the worksheet ") + quoted(worksheetName) +
                  QStringLiteral(" in workbook ") + quoted(_workbookPath);
        releaseDispatch(sheets);
        return false;
    }

    // A missing worksheet goes after the last one. That it was missing is the ordinary way to a new
    // worksheet, no cause of what may fail next.
    forgetFailureCauses();
    IDispatch* last = lastWorksheet(*this, sheets, errMsg);
    if (!last) {
        errMsg += QStringLiteral(" Could not get the last worksheet in workbook ") + quoted(_workbookPath);
        releaseDispatch(sheets);
        return false;
    }
    IDispatch* added = addWorksheetAfter(*this, sheets, last, errMsg);
    releaseDispatch(sheets);
    releaseDispatch(last);
    if (!added) {
        errMsg += QStringLiteral(" Could not get or add the worksheet ") + quoted(worksheetName) +
                  QStringLiteral(" in workbook ") + quoted(_workbookPath);
        return false;
    }
    _worksheet = added;

    const bool named =
        comCallWrap(errMsg, DISPATCH_PROPERTYPUT, nullptr, _worksheet, OLESTR("Name"), 1, name.variant());
    if (named) {
        _worksheetName = worksheetName;
        _addedWorksheets.insert(worksheetName);
        return true;
    }
    errMsg += QStringLiteral(" Could not name new worksheet as ") + quoted(worksheetName) +
              QStringLiteral(" in workbook ") + quoted(_workbookPath);
    releaseDispatch(_worksheet);
    return false;
}

bool ExcelCom::saveWorkbook(const QString& workbookPath, QString& errMsg) {
    forgetFailureCauses();
    if (workbookPath != _workbookPath)
        return true;
    VARIANT result;
    VariantInit(&result);
    const bool saved = comCallWrap(errMsg, DISPATCH_METHOD, &result, _workbook, OLESTR("Save"), 0);
    VariantClear(&result);
    if (saved)
        return true;
    errMsg += QStringLiteral(" Could not save workbook ") + quoted(_workbookPath);
    return false;
}
