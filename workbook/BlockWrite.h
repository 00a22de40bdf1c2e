#pragma once

#include "WriteStatus.h"

#include <QString>

class ExcelCom;
class VariantBlock;

// Writes block with its top-left cell at (row, column) of the worksheet. A block without
// cells is not written: the spreadsheet refuses a range of size 0.
bool writeBlock(ExcelCom& connection, const QString& workbookPath, const QString& worksheet, int row,
                int column, VariantBlock& block, bool bold, const QString& format, QString& errMsg);

// The message of a failed connection operation: what the application gave as the cause,
// one line each, then the operation's own sentence.
WriteStatus connectionFailure(const ExcelCom& connection, const QString& errMsg);
