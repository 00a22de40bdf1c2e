#pragma once

#include "WriteStatus.h"

class ExcelCom;
class PvxPackage;
struct DataWorksheetPlan;

// A selection that leaves out some runs or series slots puts the chosen ones next to each other,
// as a study that held only them would stand. In a worksheet made from more of them (or in
// another arrangement, or with other labels) the cells of its run and slot labels then hold
// other labels, and the values written beside would stand under those.

// Whether the study was read with a selection that leaves out some of its runs or series slots.
bool selectionLeavesSomeOut(const PvxPackage& package);

// Checks, before anything is written, that in every worksheet of the plan that exists already
// the cells of the labels that must stand are empty or hold those labels; the message names
// the first cell that does not.
WriteStatus checkSelectionPlaces(ExcelCom& connection, const QString& workbookPath,
                                 const DataWorksheetPlan& plan);
