#include "ExcelComText.h"

#include <QByteArray>

VARIANT excelComText(const QString& text) {
    const QByteArray local = text.toLocal8Bit();
    const int localLength = int(local.size());
    const int wideLength =
        localLength > 0 ? MultiByteToWideChar(CP_THREAD_ACP, 0, local.constData(), localLength, nullptr, 0)
                        : 0;
    BSTR wide = SysAllocStringLen(nullptr, UINT(wideLength));
    if (!wide)
        throw ExcelComOutOfMemory();
    if (wideLength > 0)
        MultiByteToWideChar(CP_THREAD_ACP, 0, local.constData(), localLength, wide, wideLength);
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = wide;
    return v;
}

VARIANT excelComFileName(const QString& path) {
    BSTR wide = SysAllocStringLen(reinterpret_cast<const OLECHAR*>(path.utf16()), UINT(path.size()));
    if (!wide)
        throw ExcelComOutOfMemory();
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_BSTR;
    v.bstrVal = wide;
    return v;
}

VARIANT excelComInteger(LONG value) {
    VARIANT v;
    VariantInit(&v);
    v.vt = VT_I4;
    v.lVal = value;
    return v;
}
