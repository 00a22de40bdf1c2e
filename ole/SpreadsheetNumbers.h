#pragma once
// Numbers of the spreadsheet application's automation interface that both its client (the
// automation layer) and its in-process server use, so that the two cannot disagree. They are
// the application's own values, under its names.

#include "OleAutomation.h"

namespace SpreadsheetNumbers {

// SaveAs file formats.
inline constexpr LONG xlWorkbookNormal = -4143;           // ".xls" in the default format of an old version
inline constexpr LONG xlExcel8 = 56;                      // ".xls", the 97-2003 workbook
inline constexpr LONG xlOpenXMLWorkbook = 51;             // ".xlsx"
inline constexpr LONG xlOpenXMLWorkbookMacroEnabled = 52; // ".xlsm"
inline constexpr LONG xlExcel12 = 50;                     // ".xlsb", the binary workbook

// Sheets.Add type of a worksheet.
inline constexpr LONG xlWorksheet = -4167;

// The first major version that writes the Open XML formats; older ones only ".xls".
inline constexpr int firstOpenXmlVersion = 12;

} // namespace SpreadsheetNumbers
