#include "CommandLineOptions.h"

#include <QTest>

class TestAppOptions : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void parses() {
        CommandLineOptions options;
        QCOMPARE(parseCommandLine({"-input", "in.pvx", "-o", "first.xlsx", "-o", "second.xlsx", "-a", " 4x",
                                   "-n", "Full", "-l", "run.log"},
                                  options),
                 CommandLineRequest::Convert);
        QCOMPARE(options.inputPath, QStringLiteral("in.pvx"));
        QCOMPARE(options.outputPath, QStringLiteral("second.xlsx"));
        QCOMPARE(options.arrangement, 4);
        QCOMPARE(options.namePreference, QStringLiteral("Full"));
        QCOMPARE(options.logPath, QStringLiteral("run.log"));

        CommandLineOptions dropped;
        QCOMPARE(parseCommandLine({"-i", "in.pvx", "-o"}, dropped), CommandLineRequest::Convert);
        QVERIFY(dropped.outputPath.isEmpty());
        QCOMPARE(dropped.arrangement, -1);

        CommandLineOptions letters;
        QCOMPARE(parseCommandLine({"-a", "abc"}, letters), CommandLineRequest::Convert);
        QCOMPARE(letters.arrangement, 0);
    }

    void requests_data() {
        QTest::addColumn<QStringList>("arguments");
        QTest::addColumn<int>("request");
        QTest::newRow("version after options")
            << QStringList{"-i", "x", "-v", "-q"} << int(CommandLineRequest::Version);
        QTest::newRow("help") << QStringList{"-h", "-x"} << int(CommandLineRequest::Help);
        QTest::newRow("unknown letter") << QStringList{"-x"} << int(CommandLineRequest::InvalidUsage);
        QTest::newRow("lone dash") << QStringList{"-"} << int(CommandLineRequest::InvalidUsage);
        QTest::newRow("bare file name") << QStringList{"in.pvx"} << int(CommandLineRequest::InvalidUsage);
        QTest::newRow("value without option")
            << QStringList{"-i", "a", "b"} << int(CommandLineRequest::InvalidUsage);
        QTest::newRow("negative number is an option")
            << QStringList{"-a", "-1"} << int(CommandLineRequest::InvalidUsage);
    }

    void requests() {
        QFETCH(QStringList, arguments);
        QFETCH(int, request);
        CommandLineOptions options;
        QCOMPARE(int(parseCommandLine(arguments, options)), request);
    }

    void usageText() {
        const QStringList lines = usageLines();
        QCOMPARE(lines.size(), 23);
        QCOMPARE(lines[1],
                 QStringLiteral("into an Excel workbook using user-specified congiguration options."));
        QCOMPARE(lines[3], QStringLiteral("Usage: "));
        QCOMPARE(lines[19], QStringLiteral("    Index - Index name of Slot0, Slot1, Slot2, etc. "));
        QVERIFY(lines[22].isEmpty());
    }
};

QTEST_APPLESS_MAIN(TestAppOptions)
#include "tst_app_options.moc"
