#include "ExcelWrite.h"

#include <QDateTime>

double ExcelWrite::excelDateSerial(const QDateTime&) { return 0.0; }

QString ExcelWrite::dateNumberFormatFor(const QList<double>&) { return QStringLiteral("m/d/yyyy h:mm"); }
