#include "StudyListing.h"

#include "PvxModel.h"
#include "SlotWorksheetNames.h"
#include "WorkbookTypes.h"

WriteStatus readStudyListing(QIODevice& device, int slotLabelPreference, StudyListing& listing) {
    PvxPackage package;
    const WriteStatus status = package.readContents(device);
    if (!status.isEmpty())
        return status;

    listing = StudyListing();
    listing.name = package.name;
    listing.owner = package.owner;
    listing.description = package.description;
    listing.createDate = package.createDate;
    listing.runs = package.numberOfRuns;
    const PvxRun& firstRun = package.runAt(0);
    listing.timesteps = firstRun.timeSteps;
    listing.firstTimestep = firstRun.timestamps.value(0);
    listing.lastTimestep = firstRun.timestamps.isEmpty() ? QString() : firstRun.timestamps.last();
    listing.timestepUnit = firstRun.timeStepUnit;
    listing.unitQuantity = firstRun.unitQuantity;
    listing.warnings = package.warnings;

    QStringList objectNames;
    QStringList slotNames;
    for (const PvxSlot& slot : std::as_const(package.slots)) {
        if (!slot.isSeries())
            continue;
        objectNames.append(slot.objectName);
        slotNames.append(slot.slotName);
        StudyListing::Slot& entry = listing.slots.emplaceBack();
        entry.index = int(listing.slots.size() - 1);
        entry.objectType = slot.objectType;
        entry.objectName = slot.objectName;
        entry.slotName = slot.slotName;
        entry.units = slot.units.value(0);
        entry.scale = slot.scales.value(0);
    }
    const QStringList names = slotWorksheetNames(seriesLabels(objectNames, slotNames, slotLabelPreference),
                                                 seriesLabels(objectNames, slotNames, Index));
    for (qsizetype k = 0; k < listing.slots.size(); ++k)
        listing.slots[k].worksheetName = names.value(k);
    return WriteStatus();
}
