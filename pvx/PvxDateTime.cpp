#include "PvxDateTime.h"

const QRegularExpression
    dateLinePattern(QStringLiteral("^(\\d{4})-(\\d{1,2})-(\\d{1,2}) (\\d{1,2}):(\\d{2})$"));

namespace {
const QString& isoTemplate() {
    // Built once on first use; function-local statics are initialised thread-safely.
    static const QString text = QStringLiteral("%1-%2-%3T%4:%5Z");
    return text;
}
} // namespace

QDateTime parsePvxDateTime(const QString& text) {
    QString work = text;
    int dayOffset = 0;
    // "24:00" is the end of the day: midnight of the next one.
    if (work.endsWith(QLatin1String("24:00"))) {
        work.replace(QLatin1String("24:00"), QLatin1String("00:00"));
        dayOffset = 1;
    }
    const QRegularExpressionMatch match = dateLinePattern.match(work);
    if (!match.hasMatch())
        return QDateTime();

    const QChar zero(u'0');
    const QString iso = isoTemplate()
                            .arg(match.captured(1).toInt())
                            .arg(match.captured(2).toInt(), 2, 10, zero)
                            .arg(match.captured(3).toInt(), 2, 10, zero)
                            .arg(match.captured(4).toInt(), 2, 10, zero)
                            .arg(match.captured(5).toInt(), 2, 10, zero);
    const QDateTime result = QDateTime::fromString(iso, Qt::ISODate);
    if (!result.isValid())
        return QDateTime();
    return result.addDays(dayOffset);
}
