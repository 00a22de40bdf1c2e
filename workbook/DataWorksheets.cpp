#include "ExcelWrite.h"

#include "ExcelCom.h"
#include "PvxModel.h"

WriteStatus ExcelWrite::writeRunWorksheets(ExcelCom&, const PvxPackage&) {
    return QStringLiteral("Data worksheet writing is not available yet");
}

WriteStatus ExcelWrite::writeSlotWorksheets(ExcelCom&, const PvxPackage&) {
    return QStringLiteral("Data worksheet writing is not available yet");
}

WriteStatus ExcelWrite::writeTimestepWorksheets(ExcelCom&, const PvxPackage&) {
    return QStringLiteral("Data worksheet writing is not available yet");
}
