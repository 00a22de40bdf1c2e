#pragma once

#include "WriteStatus.h"

#include <QString>

class PvxPackage;

// What a conversion of the package lays out: its runs, its series slots and the first run's
// timesteps, the three dimensions of the data worksheets.
struct StudyShape {
    qint64 runs = 0;
    qint64 seriesSlots = 0;
    qint64 timesteps = 0;
};
StudyShape studyShapeOf(const PvxPackage& package);

// What one worksheet of the target file format holds.
struct WorksheetLimits {
    qint64 rows;
    qint64 columns;
    qint64 textLength; // UTF-16 units in one cell
    // Worksheets in one workbook: every worksheet is an entry of the package, whose directory
    // holds at most 65,535 (and a .xls sheet is numbered by 16 bits); room is left for the rest.
    qint64 worksheets = 65000;
};

// The limits of the format that the workbook path asks for: 65,536 x 256 for ".xls",
// 1,048,576 x 16,384 for the Open XML formats.
WorksheetLimits worksheetLimitsFor(const QString& workbookPath);

// Whether the conversion of package in the arrangement given by the three roles fits the
// limits: the number of worksheets, rows and columns of every worksheet ("Header" and the data
// worksheets) and the
// length of every text cell. Returns a message that names the worksheet, what it needs and
// the limit, and suggests an arrangement that fits; empty when everything fits.
WriteStatus checkWorksheetLimits(const PvxPackage& package, int timestepRole, int slotRole, int runRole,
                                 int slotLabelPreference, const WorksheetLimits& limits);
