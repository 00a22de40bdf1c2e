#include "LeftoverCells.h"

#include "CellReference.h"
#include "ExcelCom.h"

namespace {
constexpr int shownWorksheets = 5;

bool holdsSomething(ExcelCom& connection, const QString& workbookPath, const QString& worksheet, int row,
                    int column) {
    VARIANT value;
    QString errMsg;
    // A cell beyond the worksheet's last row or column cannot be read, and holds nothing.
    const bool read = connection.readRange(workbookPath, worksheet, row, column, 1, 1, &value, errMsg);
    const bool something = read && value.vt != VT_EMPTY;
    VariantClear(&value);
    return something;
}
} // namespace

QString leftoverCellBeside(ExcelCom& connection, const QString& workbookPath, const QString& worksheet,
                           int rows, int columns) {
    for (const auto& [row, column] : {std::pair(1, columns + 2), std::pair(rows + 2, 1)})
        if (holdsSomething(connection, workbookPath, worksheet, row, column))
            return QStringLiteral("\"%1\" (%2)").arg(worksheet, cellReference(row, column));
    return QString();
}

QString leftoverCellsWarning(const QStringList& found) {
    QString shown = found.mid(0, shownWorksheets).join(QStringLiteral(", "));
    if (found.size() > shownWorksheets)
        shown += QStringLiteral(" and %1 more").arg(found.size() - shownWorksheets);
    const QString worksheets = found.size() == 1 ? QStringLiteral("1 worksheet holds")
                                                 : QStringLiteral("%1 worksheets hold").arg(found.size());
    return QStringLiteral("%1 cells right beside the table this conversion wrote, from an earlier conversion "
                          "or added by hand; they were left as they were and are not this study's: %2")
        .arg(worksheets, shown);
}
