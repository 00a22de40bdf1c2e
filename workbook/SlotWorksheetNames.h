#pragma once

#include <QStringList>

// The worksheet name of each slot label, in order. Characters a worksheet name cannot hold
// are dealt with first: colons are dropped, each of [ ] * ? / \ and control characters
// becomes "_", apostrophes at either end are dropped, and a label left empty becomes the
// slot's index label. The result is cut to 31 characters when longer, and made unique
// without regard to case and different from "Header" and "History" (the spreadsheet finds
// worksheets by name without regard to case and reserves "History").
QStringList slotWorksheetNames(const QStringList& slotLabels, const QStringList& indexLabels);

// The label with the characters that a worksheet name cannot hold dealt with, as above.
QString worksheetNameFrom(const QString& label, const QString& indexLabel);
