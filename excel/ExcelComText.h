#pragma once

#include "OleAutomation.h"

#include <QString>

#include <exception>

// Thrown when a text for the spreadsheet application cannot be allocated; carries the
// automation result code E_OUTOFMEMORY.
class ExcelComOutOfMemory : public std::exception {
public:
    HRESULT result() const { return E_OUTOFMEMORY; }
    const char* what() const noexcept override { return "Out of memory allocating a text for Excel"; }
};

// A VT_BSTR VARIANT holding text as the application receives every text: through the
// local 8-bit encoding and the thread's ANSI code page. The caller clears it after the call.
// Throws ExcelComOutOfMemory when the string cannot be allocated.
VARIANT excelComText(const QString& text);

// A VT_BSTR VARIANT holding a file name as it is: its UTF-16 text unchanged, so a name that the
// local code page cannot represent (or that holds bytes kept from a name that is not UTF-8) reaches
// the application intact. The caller clears it after the call.
VARIANT excelComFileName(const QString& path);

// A VT_I4 VARIANT: every number and boolean that the connection itself sends.
VARIANT excelComInteger(LONG value);

// A text argument that owns its BSTR and frees it once, when it goes out of scope. Texts are
// made before the calls that need them, so that a failed allocation leaves no object held.
class TextArgument {
public:
    enum Kind { Text, FileName };
    explicit TextArgument(const QString& text, Kind kind = Text)
        : value(kind == FileName ? excelComFileName(text) : excelComText(text)) {}
    ~TextArgument() { VariantClear(&value); }
    TextArgument(const TextArgument&) = delete;
    TextArgument& operator=(const TextArgument&) = delete;

    const VARIANT& variant() const { return value; }

private:
    VARIANT value;
};
