#include "ExcelWrite.h"
#include "SlotWorksheetNames.h"

#include <QTest>

class SlotLabelsTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void shortensSingleNames_data();
    void shortensSingleNames();
    void keepsCutNamesApart();
    void keepsEqualShortResultsEqual();
    void remembersEveryGivenName();
    void worksheetNamesAsLabelsGiveThem_data();
    void worksheetNamesAsLabelsGiveThem();
    void worksheetNamesNeverCollide();
};

void SlotLabelsTest::shortensSingleNames_data() {
    QTest::addColumn<QString>("fullName");
    QTest::addColumn<QString>("shortName");
    QTest::newRow("object and slot joined") << "Lake PowellOutflow"
                                            << "LkPwllOtflw";
    QTest::newRow("And before a capital") << "SandAndGravel"
                                          << "Snd&Grvl";
    QTest::newRow("And before a lowercase letter") << "Anderson"
                                                   << "Andrsn";
    QTest::newRow("And at the end") << "Gravel And"
                                    << "Grvl&";
    QTest::newRow("And twice") << "AndAnd"
                               << "&&";
    QTest::newRow("colons and ascii white space") << "A:b\tc\nd e\rf"
                                                  << "Abcdf";
    QTest::newRow("capital vowels stay") << "AEIOUaeiou"
                                         << "AEIOU";
    QTest::newRow("no-break space is not ascii white space")
        << QString::fromUtf8("Lake\u00a0A") << QString::fromUtf8("Lk\u00a0A");
    QTest::newRow("31 characters stay whole")
        << QString(31, QLatin1Char('x')) << QString(31, QLatin1Char('x'));
    QTest::newRow("32 characters are cut")
        << QString(32, QLatin1Char('x')) << QString(30, QLatin1Char('x')) + QLatin1Char('~');
    QTest::newRow("counted after removal")
        << QStringLiteral("a") + QString(31, QLatin1Char('x')) << QString(31, QLatin1Char('x'));
}

void SlotLabelsTest::shortensSingleNames() {
    QFETCH(QString, fullName);
    QFETCH(QString, shortName);
    ExcelWrite writer;
    QCOMPARE(writer.shortenSlotName(fullName), shortName);
    QCOMPARE(writer.shortSlotNames, QStringList{shortName});
}

void SlotLabelsTest::keepsCutNamesApart() {
    // Results of 34 characters that share their first 30 (spaces are dropped).
    const QString first = QStringLiteral("BlckCnyn Pwr Plnt Trbn Rls Vlm Dly Mx XYZW");
    const QString second = QStringLiteral("BlckCnyn Pwr Plnt Trbn Rls Vlm Dly Mx QRST");
    const QString firstResult = QString(first).remove(QLatin1Char(' '));
    const QString secondResult = QString(second).remove(QLatin1Char(' '));
    QCOMPARE(firstResult.size(), 34);
    QCOMPARE(firstResult.left(30), secondResult.left(30));

    ExcelWrite writer;
    QCOMPARE(writer.shortenSlotName(first), firstResult.left(30) + QLatin1Char('~'));
    QCOMPARE(writer.shortenSlotName(second), (QLatin1Char('1') + secondResult).left(30) + QLatin1Char('~'));
    // A third that collides with both earlier names tries 1 again, then 2.
    QCOMPARE(writer.shortenSlotName(first), (QLatin1Char('2') + firstResult).left(30) + QLatin1Char('~'));
    QCOMPARE(writer.shortSlotNames.size(), 3);
}

void SlotLabelsTest::keepsEqualShortResultsEqual() {
    ExcelWrite writer;
    QCOMPARE(writer.shortenSlotName(QStringLiteral("LakeA")), QStringLiteral("LkA"));
    QCOMPARE(writer.shortenSlotName(QStringLiteral("LikeA")), QStringLiteral("LkA"));
}

void SlotLabelsTest::remembersEveryGivenName() {
    ExcelWrite writer;
    writer.shortenSlotName(QStringLiteral("Lake PowellOutflow"));
    writer.shortenSlotName(QString(40, QLatin1Char('x')));
    QCOMPARE(writer.shortSlotNames,
             (QStringList{QStringLiteral("LkPwllOtflw"), QString(30, QLatin1Char('x')) + QLatin1Char('~')}));
}

void SlotLabelsTest::worksheetNamesAsLabelsGiveThem_data() {
    QTest::addColumn<QStringList>("labels");
    QTest::addColumn<QStringList>("names");
    const QString long32 = QStringLiteral("Lake Powell.Pool Elevation Daily");
    QCOMPARE(long32.size(), 32);
    QTest::newRow("short labels unchanged") << QStringList{"Slot0", "Slot1"} << QStringList{"Slot0", "Slot1"};
    QTest::newRow("colons removed") << QStringList{"Lake:Pool"} << QStringList{"LakePool"};
    QTest::newRow("31 characters stay") << QStringList{QString(31, 'y')} << QStringList{QString(31, 'y')};
    QTest::newRow("long label cut") << QStringList{long32} << QStringList{long32.left(30) + "~"};
    QTest::newRow("long labels sharing 30 characters")
        << QStringList{long32, long32 + "X"}
        << QStringList{long32.left(30) + "~", ("1" + long32 + "X").left(30) + "~"};
    QTest::newRow("colons removed before counting")
        << QStringList{QString(31, 'z') + ":"} << QStringList{QString(31, 'z')};
}

void SlotLabelsTest::worksheetNamesAsLabelsGiveThem() {
    QFETCH(QStringList, labels);
    QFETCH(QStringList, names);
    QCOMPARE(slotWorksheetNames(labels), names);
}

void SlotLabelsTest::worksheetNamesNeverCollide() {
    // Equal labels, labels equal but for case, labels equal once the colons are gone, and
    // the header's own name all take the counter treatment.
    const QStringList names = slotWorksheetNames({"LkA", "LkA", "lka", "Lk:A", "Header", "HEADER", "1LkA~"});
    QCOMPARE(names, (QStringList{"LkA", "1LkA~", "2lka~", "3LkA~", "1Header~", "2HEADER~", "11LkA~~"}));

    QSet<QString> folded;
    for (const QString& name : names)
        folded.insert(name.toCaseFolded());
    QCOMPARE(folded.size(), names.size());
}

QTEST_GUILESS_MAIN(SlotLabelsTest)
#include "tst_slotlabels.moc"
