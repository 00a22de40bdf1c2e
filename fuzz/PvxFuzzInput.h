#pragma once
// What the PVX fuzz target does with one input, shared with the test that replays its seeds
// and regressions: read the bytes as a PVX file and, when they read, make every label and
// worksheet name of the slots as a conversion would and check the worksheet limits.

#include "ExcelWrite.h"
#include "PvxModel.h"
#include "SlotWorksheetNames.h"
#include "WorksheetLimits.h"

#include <QBuffer>
#include <QByteArray>

namespace fuzz {

inline WriteStatus readPvxInput(const QByteArray& bytes) {
    QBuffer device;
    device.setData(bytes);
    device.open(QIODevice::ReadOnly);
    PvxPackage package;
    const WriteStatus status = package.readPvx(device);
    if (!status.isEmpty())
        return status;

    ExcelWrite writer;
    QStringList fullNames;
    QStringList indexLabels;
    for (const PvxSlot& slot : package.slots) {
        if (!slot.isSeries())
            continue;
        fullNames.append(slot.objectName + slot.slotName);
        indexLabels.append(QStringLiteral("Slot%1").arg(indexLabels.size()));
        writer.shortenSlotName(fullNames.last());
    }
    slotWorksheetNames(writer.shortSlotNames, indexLabels);
    slotWorksheetNames(fullNames, indexLabels);
    for (int arrangement = 0; arrangement < 6; ++arrangement) {
        writer.setOrientation(arrangement);
        checkWorksheetLimits(package, writer.timestepRoleValue(), writer.slotRoleValue(),
                             writer.runRoleValue(), Full, worksheetLimitsFor(QStringLiteral("out.xls")));
    }
    return status;
}

} // namespace fuzz
