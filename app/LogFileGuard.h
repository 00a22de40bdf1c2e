#pragma once

#include <QString>

// Why the command line's log file must not be opened at logPath, or empty when it may:
// opening the log empties its file, so it must never be the input, the workbook, or any
// other workbook. Same file means the same file on disk, links followed, not the same text.
QString logFileRefusal(const QString& logPath, const QString& inputPath, const QString& workbookPath);

// Whether both paths lead to one file on disk (or, when one does not exist yet, to the
// same place).
bool sameFileOnDisk(const QString& a, const QString& b);
