#pragma once

#include <QStringList>

// The worksheet name of each slot label, in order: the label without colons, cut to 31
// characters when longer, and made unique without regard to case and different from
// "Header" (the spreadsheet finds worksheets by name without regard to case).
QStringList slotWorksheetNames(const QStringList& slotLabels);
