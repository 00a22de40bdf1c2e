#include "PathDefaults.h"
#include "PathSubstitution.h"

#include <QTest>

class TestAppPaths : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void initTestCase();
    void substitutes_data();
    void substitutes();
    void defaultExtensions_data();
    void defaultExtensions();
};

void TestAppPaths::initTestCase() {
    qputenv("GW_TEMP", "/var/tmp");
    qputenv("GW_DOLLAR", "$GW_TEMP");
    qputenv("GW_EMPTY", "");
    qunsetenv("NOPE1");
    qunsetenv("NOPE2");
    qunsetenv("GW_TEM");
}

void TestAppPaths::substitutes_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("result");
    QTest::addColumn<QString>("message");
    const QString undefined = QStringLiteral("contains undefined environment variable(s): ");
    QTest::newRow("plain") << "$GW_TEMP/in.pvx"
                           << "/var/tmp/in.pvx"
                           << "";
    QTest::newRow("parentheses") << "$(GW_TEMP)/in.pvx"
                                 << "/var/tmp/in.pvx"
                                 << "";
    QTest::newRow("braces") << "${GW_TEMP}/in.pvx"
                            << "/var/tmp/in.pvx"
                            << "";
    QTest::newRow("no reference") << "/data/in.pvx"
                                  << "/data/in.pvx"
                                  << "";
    QTest::newRow("empty") << ""
                           << ""
                           << "";
    QTest::newRow("mismatched brackets") << "$(GW_TEMP}/x"
                                         << "/var/tmp/x"
                                         << "";
    QTest::newRow("missing closing bracket") << "$(GW_TEMP\\x"
                                             << "$(GW_TEMP\\x" << undefined + "GW_TEM";
    QTest::newRow("closing bracket only") << "$GW_TEMP)/x"
                                          << "$GW_TEMP)/x" << undefined + "GW_TEMP)";
    QTest::newRow("lone dollar") << "/a/$/b$-c"
                                 << "/a/$/b$-c"
                                 << "";
    QTest::newRow("first undefined, second replaced") << "$NOPE1/$GW_TEMP"
                                                      << "$NOPE1//var/tmp" << undefined + "NOPE1";
    QTest::newRow("two undefined") << "$NOPE1/$(NOPE2)"
                                   << "$NOPE1/$(NOPE2)" << undefined + "NOPE1, NOPE2";
    QTest::newRow("empty value is undefined") << "$GW_EMPTY/x"
                                              << "$GW_EMPTY/x" << undefined + "GW_EMPTY";
    QTest::newRow("value not searched again") << "$GW_DOLLAR/x"
                                              << "$GW_TEMP/x"
                                              << "";
}

void TestAppPaths::substitutes() {
    QFETCH(QString, path);
    QFETCH(QString, result);
    QFETCH(QString, message);
    QString substituted;
    QCOMPARE(substituteEnvironmentVariables(path, substituted), message);
    QCOMPARE(substituted, result);
}

void TestAppPaths::defaultExtensions_data() {
    QTest::addColumn<QString>("path");
    QTest::addColumn<QString>("expected");
    QTest::newRow("extension replaced") << "/out/book.xlsx"
                                        << "/out/book.log";
    QTest::newRow("no full stop") << "/out/book"
                                  << "/out/book.log";
    QTest::newRow("full stop in a folder") << "/my.dir/book"
                                           << "/my.dir/book.log";
    QTest::newRow("windows folder") << "C:\\my.dir\\book"
                                    << "C:\\my.dir\\book.log";
    QTest::newRow("last full stop") << "/out/a.b.xlsx"
                                    << "/out/a.b.log";
    QTest::newRow("hidden file") << "/out/.xlsx"
                                 << "/out/.log";
}

void TestAppPaths::defaultExtensions() {
    QFETCH(QString, path);
    QFETCH(QString, expected);
    QCOMPARE(withExtension(path, QStringLiteral(".log")), expected);
}

QTEST_APPLESS_MAIN(TestAppPaths)
#include "tst_app_paths.moc"
