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

        // Version ends the reading: an unknown option after it is never looked at.
        CommandLineOptions version;
        QCOMPARE(parseCommandLine({"-i", "x", "-v", "-q"}, version), CommandLineRequest::Version);
    }
};

QTEST_APPLESS_MAIN(TestAppOptions)
#include "tst_app_options.moc"
