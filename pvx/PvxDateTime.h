#pragma once

#include <QDateTime>
#include <QRegularExpression>
#include <QString>

// The form of a PVX date line: year-month-day hour:minute, anchored at both ends.
extern const QRegularExpression dateLinePattern;

// The UTC date-time that a PVX date text names ("24:00" is the end of that day), or the
// invalid date-time.
QDateTime parsePvxDateTime(const QString& text);
