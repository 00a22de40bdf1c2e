#pragma once

#include <QString>

// The filters of the result workbook's save dialog. A save dialog writes the first extension
// of the filter in use into the proposed name, so the workbook filter lists the proposed
// name's own extension first, and a name with another extension starts under "All Files",
// which leaves it alone. No filter's first pattern is a wildcard extension.
struct WorkbookFilters {
    QString filters;  // all of them, separated by ";;"
    QString selected; // the one the dialog starts with
};

WorkbookFilters workbookFilters(const QString& proposedPath);
