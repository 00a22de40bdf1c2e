#include "PvxModel.h"

int PvxSlot::columnCount() const {
    return isTable() ? cols : 1;
}

int PvxSlot::rowCount() const {
    if (isSeries())
        return -1;
    if (isTable())
        return rows;
    return 1;
}

const PvxRun& PvxPackage::runAt(int index) const {
    static const PvxRun defaultRun;
    if (index < 0 || index >= runs.size())
        return defaultRun;
    return runs.at(index);
}

const PvxSlot& PvxPackage::slotAt(int index) const {
    static const PvxSlot defaultSlot;
    if (index < 0 || index >= slots.size())
        return defaultSlot;
    return slots.at(index);
}

QList<double> PvxPackage::columnValues(int run, int slot, int column) const {
    if (run < 0 || run >= values.size() || slot < 0 || slot >= slotCount() || column < 0 ||
        column >= slotAt(slot).columnCount())
        return {};
    const RunValues& runValues = values.at(run);
    if (slot >= runValues.size())
        return {};
    const SlotValues& slotValues = runValues.at(slot);
    if (column >= slotValues.size())
        return {};
    return slotValues.at(column);
}
