#include "PvxNumbers.h"

#include <QRandomGenerator>
#include <QTest>

#include <cmath>
#include <cstring>

namespace {
bool sameDouble(double a, double b) {
    if (std::isnan(a) || std::isnan(b))
        return std::isnan(a) && std::isnan(b);
    return std::memcmp(&a, &b, sizeof a) == 0;
}

void compareWithQt(const QByteArray& text) {
    const double expected = QString::fromUtf8(text).toDouble();
    const double actual = pvxTextToDouble(text.constData(), static_cast<std::size_t>(text.size()));
    if (!sameDouble(expected, actual))
        QFAIL(qPrintable(QStringLiteral("%1: expected %2, got %3")
                             .arg(QString::fromUtf8(text))
                             .arg(expected, 0, 'g', 17)
                             .arg(actual, 0, 'g', 17)));
}
} // namespace

// The reader's number conversion must give exactly what QString::toDouble gives.
class TestPvxNumbers : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void matchesQtOnSpecialTexts_data() {
        QTest::addColumn<QByteArray>("text");
        // Empty, blanks around, and groups of texts parted by single blanks.
        QByteArrayList texts = {"", " 7 "};
        for (const char* group :
             {"0 -0 12.5 13 -7.25 .5 5. -.5 1e5 1E+05 1e-5 +3 00012.5000", // plain, signs, exponents
              "nan NaN -nan inf -inf +inf Infinity -INF",                  // special values
              "1e400 -1e400 1e-400 4.9e-324 2.2250738585072014e-308 1.7976931348623157e308", // limits
              "0.1 0.30000000000000004 123456789012345678901234567890 "
              "3.141592653589793238462643383279502884",                 // rounding
              "1,5 1.5.6 abc 12abc 0x1A 1e e5 - . 1_000 \u0661\u0662"}) // no numbers, or not all of it
            texts += QByteArray(group).split(' ');
        for (const QByteArray& text : texts)
            QTest::newRow(text.isEmpty() ? "(empty)" : text.constData()) << text;
    }

    void matchesQtOnSpecialTexts() {
        QFETCH(QByteArray, text);
        compareWithQt(text);
    }

    void matchesQtOnRandomNumbers() {
        QRandomGenerator random(20261206);
        for (int i = 0; i < 200000; ++i) {
            const quint64 bits = random.generate64();
            double value;
            std::memcpy(&value, &bits, sizeof value);
            const int precision = 1 + static_cast<int>(random.bounded(17));
            const char format = "efg"[random.bounded(3)];
            compareWithQt(QByteArray::number(value, format, precision));
            compareWithQt(
                QByteArray::number(random.bounded(1e6) - 5e5, 'f', static_cast<int>(random.bounded(8))));
        }
    }
};

QTEST_APPLESS_MAIN(TestPvxNumbers)
#include "tst_pvx_numbers.moc"
