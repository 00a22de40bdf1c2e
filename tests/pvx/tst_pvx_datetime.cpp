#include "PvxDateTime.h"

#include <QTest>

class TestPvxDateTime : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void converts_data() {
        QTest::addColumn<QString>("text");
        QTest::addColumn<QString>("expected");
        const auto row = [](const char* tag, const char* text, const char* expected) {
            QTest::newRow(tag) << QString(text) << QString(expected);
        };
        row("end of January", "2021-1-31 24:00", "2021-02-01T00:00:00Z");
        row("end of year", "2021-12-31 24:00", "2022-01-01T00:00:00Z");
        row("leap day", "2020-2-28 24:00", "2020-02-29T00:00:00Z");
        row("short fields", "2021-1-5 0:00", "2021-01-05T00:00:00Z");
        row("padded fields", "2021-01-05 00:00", "2021-01-05T00:00:00Z");
        row("morning", "2021-1-5 7:30", "2021-01-05T07:30:00Z");
    }

    void converts() {
        QFETCH(QString, text);
        QFETCH(QString, expected);
        const QDateTime result = parsePvxDateTime(text);
        QVERIFY(result.isValid());
        QCOMPARE(result.timeSpec(), Qt::UTC);
        QCOMPARE(result.toString(Qt::ISODate), expected);
    }

    void refusesMalformedTexts_data() {
        QTest::addColumn<QString>("text");
        QTest::newRow("24:30 is no time") << "2021-1-5 24:30";
        QTest::newRow("leading blank") << " 2021-1-5 10:00";
        QTest::newRow("seconds") << "2021-1-5 10:00:00";
        QTest::newRow("two-digit year") << "21-1-5 10:00";
        QTest::newRow("two blanks") << "2021-1-5  10:00";
        QTest::newRow("month 13") << "2021-13-1 10:00";
        QTest::newRow("31 April") << "2021-4-31 10:00";
        QTest::newRow("hour 25") << "2021-4-3 25:00";
        QTest::newRow("minute 60") << "2021-4-3 10:60";
        QTest::newRow("empty") << "";
    }

    void refusesMalformedTexts() {
        QFETCH(QString, text);
        QVERIFY(!parsePvxDateTime(text).isValid());
    }
};

QTEST_APPLESS_MAIN(TestPvxDateTime)
#include "tst_pvx_datetime.moc"
