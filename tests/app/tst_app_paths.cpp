#include "PathDefaults.h"
#include "PathSubstitution.h"

#include <QTest>

class TestAppPaths : public QObject {
    Q_OBJECT

    static void row(const char* tag, const char* path, const char* result, const QString& message = {}) {
        QTest::newRow(tag) << QString(path) << QString(result) << message;
    }

private Q_SLOTS:
    void initTestCase() {
        qputenv("GW_TEMP", "/var/tmp");
        qputenv("GW_DOLLAR", "$GW_TEMP");
        qputenv("GW_EMPTY", "");
        qunsetenv("NOPE1");
        qunsetenv("NOPE2");
        qunsetenv("GW_TEM");
    }

    // The path with its references replaced, and the message naming those that are undefined.
    void substitutes_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("result");
        QTest::addColumn<QString>("message");
        const QString undefined = QStringLiteral("contains undefined environment variable(s): ");
        row("plain", "$GW_TEMP/in.pvx", "/var/tmp/in.pvx");
        row("no reference", "/data/in.pvx", "/data/in.pvx");
        row("empty", "", "");
        row("mismatched brackets", "$(GW_TEMP}/x", "/var/tmp/x");
        row("missing closing bracket", "$(GW_TEMP\\x", "$(GW_TEMP\\x", undefined + "GW_TEM");
        row("closing bracket only", "$GW_TEMP)/x", "$GW_TEMP)/x", undefined + "GW_TEMP)");
        row("lone dollar", "/a/$/b$-c", "/a/$/b$-c");
        row("first undefined, second replaced", "$NOPE1/$GW_TEMP", "$NOPE1//var/tmp", undefined + "NOPE1");
        row("two undefined", "$NOPE1/$(NOPE2)", "$NOPE1/$(NOPE2)", undefined + "NOPE1, NOPE2");
        row("empty value is undefined", "$GW_EMPTY/x", "$GW_EMPTY/x", undefined + "GW_EMPTY");
        row("value not searched again", "$GW_DOLLAR/x", "$GW_TEMP/x");
    }
    void substitutes() {
        QFETCH(QString, path);
        QFETCH(QString, result);
        QFETCH(QString, message);
        QString substituted;
        QCOMPARE(substituteEnvironmentVariables(path, substituted), message);
        QCOMPARE(substituted, result);
    }

    // The log file's default name: the workbook's with its extension replaced.
    void defaultExtensions_data() {
        QTest::addColumn<QString>("path");
        QTest::addColumn<QString>("result");
        const auto row = [](const char* tag, const char* path, const char* result) {
            QTest::newRow(tag) << QString(path) << QString(result);
        };
        row("windows folder", "C:\\my.dir\\book", "C:\\my.dir\\book.log");
        row("hidden file", "/out/.xlsx", "/out/.log");
    }
    void defaultExtensions() {
        QFETCH(QString, path);
        QFETCH(QString, result);
        QCOMPARE(withExtension(path, QStringLiteral(".log")), result);
    }
};

QTEST_APPLESS_MAIN(TestAppPaths)
#include "tst_app_paths.moc"
