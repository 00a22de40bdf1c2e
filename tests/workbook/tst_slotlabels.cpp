#include "CutNames.h"
#include "ExcelWrite.h"
#include "SlotWorksheetNames.h"

#include <QTest>

class SlotLabelsTest : public QObject {
    Q_OBJECT

    static void row(const char* name, const QString& from, const QString& to) {
        QTest::newRow(name) << from << to;
    }

private Q_SLOTS:
    void shortensSingleNames_data() {
        QTest::addColumn<QString>("fullName");
        QTest::addColumn<QString>("shortName");
        const QString x30(30, QLatin1Char('x')), x31(31, QLatin1Char('x'));
        row("And before a lowercase letter", "Anderson", "Andrsn");
        row("And at the end", "Gravel And", "Grvl&");
        row("And twice", "AndAnd", "&&");
        row("colons and ascii white space", "A:b\tc\nd e\rf", "Abcdf");
        row("no-break space is not ascii white space", QString::fromUtf8("Lake\u00a0A"),
            QString::fromUtf8("Lk\u00a0A"));
        row("31 characters stay whole", x31, x31);
        row("32 characters are cut", x31 + "x", x30 + "~");
        row("counted after removal", "a" + x31, x31);
    }
    void shortensSingleNames() {
        QFETCH(QString, fullName);
        QFETCH(QString, shortName);
        ExcelWrite writer;
        QCOMPARE(writer.shortenSlotName(fullName), shortName);
        QCOMPARE(writer.shortSlotNames, QStringList{shortName});
    }

    void remembersGivenNamesAndKeepsCutOnesApart() {
        // Results of 34 characters that share their first 30 (spaces are dropped).
        const QString first = QStringLiteral("BlckCnyn Pwr Plnt Trbn Rls Vlm Dly Mx XYZW");
        const QString second = QStringLiteral("BlckCnyn Pwr Plnt Trbn Rls Vlm Dly Mx QRST");
        const QString firstResult = QString(first).remove(QLatin1Char(' '));
        const QString secondResult = QString(second).remove(QLatin1Char(' '));
        QCOMPARE(firstResult.left(30), secondResult.left(30));

        ExcelWrite writer;
        const QStringList given{
            writer.shortenSlotName(QStringLiteral("LakeA")), writer.shortenSlotName(QStringLiteral("LikeA")),
            writer.shortenSlotName(first), writer.shortenSlotName(second), writer.shortenSlotName(first)};
        // Equal results of short names stay equal; a cut name that collides with one given
        // before takes 1, 2, ... in front until it is free.
        const QStringList expected{"LkA", "LkA", firstResult.left(30) + "~",
                                   ("1" + secondResult).left(30) + "~", ("2" + firstResult).left(30) + "~"};
        QCOMPARE(given, expected);
        QCOMPARE(writer.shortSlotNames, expected);
    }

    void worksheetNamesAsLabelsGiveThem_data() {
        QTest::addColumn<QStringList>("labels");
        QTest::addColumn<QStringList>("names");
        const QString long32 = QStringLiteral("Lake Powell.Pool Elevation Daily");
        QCOMPARE(long32.size(), 32);
        QTest::newRow("short labels unchanged")
            << QStringList{"Slot0", "Slot1"} << QStringList{"Slot0", "Slot1"};
        QTest::newRow("colons removed") << QStringList{"Lake:Pool"} << QStringList{"LakePool"};
        QTest::newRow("31 characters stay") << QStringList{QString(31, 'y')} << QStringList{QString(31, 'y')};
        QTest::newRow("long label cut") << QStringList{long32} << QStringList{long32.left(30) + "~"};
        QTest::newRow("long labels sharing 30 characters")
            << QStringList{long32, long32 + "X"}
            << QStringList{long32.left(30) + "~", ("1" + long32 + "X").left(30) + "~"};
        QTest::newRow("colons removed before counting")
            << QStringList{QString(31, 'z') + ":"} << QStringList{QString(31, 'z')};
        // Equal labels, labels equal but for case or once the colons are gone, and the
        // header's own name all take the counter treatment.
        QTest::newRow("colliding names")
            << QStringList{"LkA", "LkA", "lka", "Lk:A", "Header", "HEADER", "1LkA~"}
            << QStringList{"LkA", "1LkA~", "2lka~", "3LkA~", "1Header~", "2HEADER~", "11LkA~~"};
        // Characters a worksheet name cannot hold; "History" is reserved like "Header".
        QTest::newRow("refused characters")
            << QStringList{"Elevation [ft]", "Inflow/Outflow", "*", "?", "a\\b", "tab\there"}
            << QStringList{"Elevation _ft_", "Inflow_Outflow", "_", "1_~", "a_b", "tab_here"};
        QTest::newRow("apostrophes at the ends, empty names")
            << QStringList{"'quoted'", "it's", "''", "", ":"}
            << QStringList{"quoted", "it's", "Slot2", "Slot3", "Slot4"};
        QTest::newRow("reserved name")
            << QStringList{"History", "history"} << QStringList{"1History~", "2history~"};
        // Names one reader takes for one: the spreadsheet lowers İ to i, Gnumeric and LibreOffice
        // raise ß to SS, ﬀ to FF and ı to I.
        QTest::newRow("equal in some reader's case")
            << QStringList{"Izmir", "İzmir", "StraßeFlow", "STRASSEFlow", "ẞ", "ß",
                           "ﬀ",     "FF",    "ıx",         "Ix",          "k", "\u212A"}
            << QStringList{"Izmir", "1İzmir~", "StraßeFlow", "1STRASSEFlow~", "ẞ", "1ß~",
                           "ﬀ",     "1FF~",    "ıx",         "1Ix~",          "k", "1\u212A~"};
        // Characters XML cannot hold would leave a workbook no reader opens.
        QTest::newRow("noncharacters")
            << QStringList{QString::fromUtf8("Lake\xEF\xBF\xBFOut\xEF\xBF\xBE")} << QStringList{"Lake_Out_"};
    }
    void worksheetNamesAsLabelsGiveThem() {
        QFETCH(QStringList, labels);
        QFETCH(QStringList, names);
        QCOMPARE(slotWorksheetNames(labels, {}), names);
        QSet<QString> folded;
        for (const QString& name : names)
            folded.insert(sheetNameKey(name));
        QCOMPARE(folded.size(), names.size());
    }
};

QTEST_GUILESS_MAIN(SlotLabelsTest)
#include "tst_slotlabels.moc"
