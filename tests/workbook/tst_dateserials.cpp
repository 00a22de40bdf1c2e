#include "ExcelWrite.h"
#include "PvxDateTime.h"

#include <QDateTime>
#include <QTest>

namespace {
QDateTime utc(int year, int month, int day, int hour = 0, int minute = 0) {
    return QDateTime(QDate(year, month, day), QTime(hour, minute), Qt::UTC);
}
const double oneMinute = 60.0 / 86400.0;
} // namespace

class DateSerialsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void serials_data() {
        QTest::addColumn<QDateTime>("dateTime");
        QTest::addColumn<double>("serial");
        QTest::newRow("first day of the system") << utc(1900, 1, 1) << 1.0 - oneMinute;
        QTest::newRow("last day before the phantom leap day") << utc(1900, 2, 28) << 59.0 - oneMinute;
        QTest::newRow("first day after it") << utc(1900, 3, 1) << 61.0 - oneMinute;
        QTest::newRow("the day zero itself") << utc(1899, 12, 31) << -oneMinute;
        QTest::newRow("before the system") << utc(1899, 12, 30, 6) << -1.0 + (21600.0 - 60.0) / 86400.0;
        QTest::newRow("date part as it stands, not local time")
            << utc(2021, 6, 30, 23, 59) << 44377.0 + (86340.0 - 60.0) / 86400.0;
        QTest::newRow("invalid keeps only the minute") << QDateTime() << -oneMinute;
        QTest::newRow("impossible month")
            << parsePvxDateTime(QStringLiteral("2021-13-1 10:00")) << -oneMinute;
    }
    void serials() {
        QFETCH(QDateTime, dateTime);
        QFETCH(double, serial);
        QCOMPARE(ExcelWrite::excelDateSerial(dateTime), serial);
    }
    void formatFollowsTheFirstSpacing_data() {
        QTest::addColumn<QList<double>>("serials");
        QTest::addColumn<QString>("format");
        const double day = 43831.0;
        QTest::newRow("no timesteps") << QList<double>{} << "m/d/yyyy h:mm";
        QTest::newRow("just below 20 days") << QList<double>{day, day + 19.75} << "m/d/yyyy";
        QTest::newRow("exactly 20 days") << QList<double>{day, day + 20.0} << "m/yyyy";
        QTest::newRow("only the first two decide") << QList<double>{day, day + 31.0, day + 31.25} << "m/yyyy";
        QTest::newRow("backwards") << QList<double>{day, day - 1.0} << "m/d/yyyy h:mm";
    }
    void formatFollowsTheFirstSpacing() {
        QFETCH(QList<double>, serials);
        QFETCH(QString, format);
        QCOMPARE(ExcelWrite::dateNumberFormatFor(serials), format);
    }
};

QTEST_GUILESS_MAIN(DateSerialsTest)
#include "tst_dateserials.moc"
