#pragma once

#include "OleAutomation.h"

#include <QString>

#include <exception>

// Raised when a text for the spreadsheet application cannot be allocated; carries the
// automation result code E_OUTOFMEMORY.
class OutOfMemoryError : public std::exception {
public:
    HRESULT result() const { return E_OUTOFMEMORY; }
    const char* what() const noexcept override { return "Out of memory allocating a text for Excel"; }
};

// A BSTR holding text as the spreadsheet application receives every text: through the
// local 8-bit encoding and the thread's ANSI code page. The caller owns the result.
// Throws OutOfMemoryError when the string cannot be allocated.
BSTR allocateExcelText(const QString& text);
