#pragma once
// Value blocks as the composition builds them: a VARIANT holding a two-dimensional array of
// VARIANT, both dimensions from 1, rows first. Text becomes VT_BSTR, numbers VT_R8, and a
// DateSerial VT_DATE.

#include "OleAutomation.h"

#include <QList>
#include <QString>
#include <QVariant>

struct DateSerial {
    double serial = 0;
};
Q_DECLARE_METATYPE(DateSerial)

inline VARIANT valueBlock(const QList<QVariantList>& rows) {
    const LONG rowCount = LONG(rows.size());
    const LONG columnCount = rows.isEmpty() ? 0 : LONG(rows.first().size());
    SAFEARRAYBOUND bounds[2];
    bounds[0].lLbound = 1;
    bounds[0].cElements = ULONG(rowCount);
    bounds[1].lLbound = 1;
    bounds[1].cElements = ULONG(columnCount);
    VARIANT block;
    VariantInit(&block);
    block.vt = VT_ARRAY | VT_VARIANT;
    block.parray = SafeArrayCreate(VT_VARIANT, 2, bounds);
    for (LONG r = 0; r < rowCount; ++r) {
        for (LONG c = 0; c < columnCount && c < LONG(rows[r].size()); ++c) {
            const QVariant& cell = rows[r][c];
            VARIANT v;
            VariantInit(&v);
            if (cell.canConvert<DateSerial>() && cell.userType() == qMetaTypeId<DateSerial>()) {
                v.vt = VT_DATE;
                v.date = cell.value<DateSerial>().serial;
            } else if (cell.userType() == QMetaType::QString) {
                const QString text = cell.toString();
                v.vt = VT_BSTR;
                v.bstrVal =
                    SysAllocStringLen(reinterpret_cast<const OLECHAR*>(text.utf16()), UINT(text.size()));
            } else if (cell.isValid()) {
                v.vt = VT_R8;
                v.dblVal = cell.toDouble();
            }
            LONG index[2] = {r + 1, c + 1};
            SafeArrayPutElement(block.parray, index, &v);
            VariantClear(&v);
        }
    }
    return block;
}
