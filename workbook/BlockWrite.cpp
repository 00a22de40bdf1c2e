#include "BlockWrite.h"

#include "ExcelCom.h"
#include "VariantBlock.h"

bool writeBlock(ExcelCom& connection, const QString& workbookPath, const QString& worksheet, int row,
                int column, VariantBlock& block, bool bold, const QString& format, QString& errMsg) {
    if (block.rows() == 0 || block.columns() == 0)
        return true;
    return connection.writeRange(workbookPath, worksheet, row, column, block.variant(), bold, format, errMsg);
}

WriteStatus connectionFailure(const ExcelCom& connection, const QString& errMsg) {
    const QStringList& causes = connection.failureCauses();
    if (causes.isEmpty())
        return errMsg;
    return causes.join(QLatin1Char('\n')) + QLatin1Char('\n') + errMsg;
}
