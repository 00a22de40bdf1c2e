#include "ExcelText.h"

#include <QByteArray>

BSTR allocateExcelText(const QString& text) {
    const QByteArray local = text.toLocal8Bit();
    const int localLength = static_cast<int>(local.size());
    const int wideLength =
        localLength > 0 ? MultiByteToWideChar(CP_THREAD_ACP, 0, local.constData(), localLength, nullptr, 0)
                        : 0;
    BSTR wide = SysAllocStringLen(nullptr, static_cast<UINT>(wideLength));
    if (wide == nullptr)
        throw OutOfMemoryError();
    if (wideLength > 0)
        MultiByteToWideChar(CP_THREAD_ACP, 0, local.constData(), localLength, wide, wideLength);
    return wide;
}
