#include "ExcelWrite.h"

#include <QDate>
#include <QDateTime>
#include <QTime>

double ExcelWrite::excelDateSerial(const QDateTime& dateTime) {
    // The 1900 date system counts days from 31 December 1899 and also counts a
    // 29 February 1900 that the calendar does not have.
    static const QDate dayZero = QDate::fromString(QStringLiteral("12311899"), QStringLiteral("MMddyyyy"));
    static const QDate lastTrueDay =
        QDate::fromString(QStringLiteral("02281900"), QStringLiteral("MMddyyyy"));
    static const QTime midnight = QTime::fromString(QStringLiteral("000000"), QStringLiteral("hhmmss"));

    const QDate date = dateTime.date();
    const QTime time = dateTime.time();
    qint32 days = static_cast<qint32>(dayZero.daysTo(date));
    if (date.isValid() && date.toJulianDay() > lastTrueDay.toJulianDay())
        ++days;
    const int seconds = midnight.secsTo(time);
    // One minute early, so that a timestep stamped 24:00 shows as its own day.
    return static_cast<double>(seconds - 60) / 86400.0 + static_cast<double>(days);
}

QString ExcelWrite::dateNumberFormatFor(const QList<double>& serials) {
    if (serials.size() < 2)
        return QStringLiteral("m/d/yyyy h:mm");
    const double spacing = serials.at(1) - serials.at(0);
    if (spacing < 1.0)
        return QStringLiteral("m/d/yyyy h:mm");
    if (spacing < 20.0)
        return QStringLiteral("m/d/yyyy");
    return QStringLiteral("m/yyyy");
}
