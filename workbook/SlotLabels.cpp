#include "ExcelWrite.h"

QString ExcelWrite::shortenSlotName(const QString& fullName) {
    shortSlotNames.append(fullName);
    return fullName;
}
