#include "ExcelWrite.h"

#include "ExcelCom.h"
#include "PvxModel.h"

WriteStatus ExcelWrite::writeHeaderWorksheet(ExcelCom&, const PvxPackage&) {
    return QStringLiteral("Header worksheet writing is not available yet");
}
