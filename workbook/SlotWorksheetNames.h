#pragma once

#include <QStringList>

class PvxPackage;

// The worksheet name of each slot label, in order. Characters a worksheet name cannot hold
// are dealt with first: colons are dropped, each of [ ] * ? / \ and control characters
// becomes "_", apostrophes at either end are dropped, and a label left empty becomes the
// slot's index label. The result is cut to 31 characters when longer, and made unique
// without regard to case and different from "Header" and "History" (the spreadsheet finds
// worksheets by name without regard to case and reserves "History").
QStringList slotWorksheetNames(const QStringList& slotLabels, const QStringList& indexLabels);

// The label with the characters that a worksheet name cannot hold dealt with, as above.
QString worksheetNameFrom(const QString& label, const QString& indexLabel);

// The label of every series slot of the file under the preference, whether converted or not:
// what a selection's names are made distinct against, so that they match a whole-study
// conversion's.
QStringList fileSeriesLabels(const PvxPackage& package, int preference);
// The same for series slots given by object and slot name, in file order.
QStringList seriesLabels(const QStringList& objectNames, const QStringList& slotNames, int preference);
