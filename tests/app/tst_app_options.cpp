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

        // An option without its value is refused, naming it as given: a typo must not convert
        // with a default in its place.
        const QList<QStringList> withoutValue = {{"-i", "in.pvx", "-o"},
                                                 {"-i", "in.pvx", "-list"},
                                                 {"-i", "in.pvx", "-o", "--slots", "1"},
                                                 {"-i", "in.pvx", "-n", "-o", "x.xlsx"}};
        for (const QStringList& arguments : withoutValue) {
            CommandLineOptions missing;
            QCOMPARE(parseCommandLine(arguments, missing), CommandLineRequest::InvalidUsage);
            QCOMPARE(missing.optionWithoutValue, arguments.at(2));
        }
        CommandLineOptions help;
        QCOMPARE(parseCommandLine({"-o", "-h"}, help), CommandLineRequest::Help);

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
