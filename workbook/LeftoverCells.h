#pragma once

#include <QString>
#include <QStringList>

class ExcelCom;

// A worksheet written into keeps every cell the conversion does not write. Cells right beside its
// table (past the last column heading, below the last row heading) are an earlier conversion's
// larger table, or the user's own: the log names them, as they are not this study's.

// The first of the two cells beside a table of rows x columns data cells (headings in row 1 and
// column A) that holds something, as "worksheet (cell)"; empty when neither does or the worksheet
// is new.
QString leftoverCellBeside(ExcelCom& connection, const QString& workbookPath, const QString& worksheet,
                           int rows, int columns);

// One warning for all the worksheets found so.
QString leftoverCellsWarning(const QStringList& found);
