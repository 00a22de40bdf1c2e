#include "QsLog.h"
#include "QsLogDest.h"

#include <QRegularExpression>
#include <QtTest>

using namespace QsLogging;

namespace {

QStringList capturedLines;
QList<Level> capturedLevels;

void captureLine(const QString& line, Level level) {
    capturedLines.append(line);
    capturedLevels.append(level);
}

int evaluations = 0;
QString countedItem() {
    ++evaluations;
    return QStringLiteral("counted");
}

const QString stampPattern = QStringLiteral("\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2}\\.\\d{3}");

} // namespace

class LoggerCoreTest : public QObject {
    Q_OBJECT

private:
    DestinationPtr capture;

private Q_SLOTS:
    void initTestCase() {
        // A fresh logger lets Info and above through and has nowhere to write.
        QCOMPARE(Logger::instance().loggingLevel(), Info);
        QVERIFY(!Logger::instance().hasDestinationOfType("functor"));
    }

    void init() {
        capturedLines.clear();
        capturedLevels.clear();
        evaluations = 0;
        capture = DestinationFactory::MakeFunctorDestination(&captureLine);
        Logger::instance().addDestination(capture);
        Logger::instance().setLoggingLevel(Trace);
    }

    void cleanup() {
        Logger::instance().removeDestination(capture);
        capture.clear();
    }

    void lineFormatPerLevel_data() {
        QTest::addColumn<int>("level");
        QTest::addColumn<QString>("prefix");
        QTest::newRow("trace") << int(Trace) << "TRACE ";
        QTest::newRow("debug") << int(Debug) << "DEBUG ";
        QTest::newRow("info has two blanks") << int(Info) << "INFO  ";
        QTest::newRow("warn has two blanks") << int(Warn) << "WARN  ";
        QTest::newRow("error") << int(Error) << "ERROR ";
        QTest::newRow("fatal") << int(Fatal) << "FATAL ";
        QTest::newRow("off begins with a blank") << int(Off) << " ";
        QTest::newRow("out of range reads as info") << 9 << "INFO  ";
    }

    void lineFormatPerLevel() {
        QFETCH(int, level);
        QFETCH(QString, prefix);
        { Logger::Helper(static_cast<Level>(level)).stream() << QStringLiteral("hello world"); }
        QCOMPARE(capturedLines.size(), 1);
        const QRegularExpression shape(QStringLiteral("^") + QRegularExpression::escape(prefix) +
                                       stampPattern + QStringLiteral(" \"hello world\" $"));
        QVERIFY2(shape.match(capturedLines.first()).hasMatch(), qPrintable(capturedLines.first()));
        QCOMPARE(int(capturedLevels.first()), level);
    }

    void timeStampIsLocalTimeNow() {
        const QDateTime before = QDateTime::currentDateTime().addMSecs(-1);
        QLOG_INFO() << QStringLiteral("x");
        const QDateTime after = QDateTime::currentDateTime().addMSecs(1);
        const QDateTime stamp = QDateTime::fromString(capturedLines.first().mid(6, 23),
                                                      QStringLiteral("yyyy-MM-ddThh:mm:ss.zzz"));
        QVERIFY(stamp.isValid());
        QVERIFY(before <= stamp && stamp <= after);
    }

    // Eight-bit text stands without quotes; percent signs are no placeholders.
    void messageTextAsWritten() {
        QLOG_WARN() << "plain text";
        QLOG_INFO() << QStringLiteral("100% of %1 and %2");
        QVERIFY2(capturedLines[0].endsWith(QStringLiteral(" plain text ")), qPrintable(capturedLines[0]));
        QVERIFY(capturedLines[1].endsWith(QStringLiteral(" \"100% of %1 and %2\" ")));
    }

    void filteredMessageBuildsNothing() {
        Logger::instance().setLoggingLevel(Warn);
        QLOG_INFO() << countedItem();
        QLOG_DEBUG() << countedItem();
        QCOMPARE(evaluations, 0);
        QVERIFY(capturedLines.isEmpty());
        QLOG_WARN() << countedItem();
        QLOG_ERROR() << countedItem();
        QCOMPARE(evaluations, 2);
        QCOMPARE(capturedLevels, (QList<Level>{Warn, Error}));
    }

    void levelFromLogMessage_data() {
        QTest::addColumn<QString>("line");
        QTest::addColumn<int>("level");
        QTest::addColumn<bool>("ok");
        QTest::newRow("error") << "ERRORS" << int(Error) << true;
        QTest::newRow("warn without blank") << "WARNING" << int(Off) << false;
        QTest::newRow("info at end of text") << "INFO" << int(Off) << false;
        QTest::newRow("lower case") << "error x" << int(Off) << false;
        QTest::newRow("leading blank") << " ERROR" << int(Off) << false;
        QTest::newRow("empty") << "" << int(Off) << false;
    }

    void levelFromLogMessage() {
        QFETCH(QString, line);
        QFETCH(int, level);
        QFETCH(bool, ok);
        bool succeeded = !ok;
        QCOMPARE(int(Logger::levelFromLogMessage(line, &succeeded)), level);
        QCOMPARE(succeeded, ok);
        QCOMPARE(int(Logger::levelFromLogMessage(line, nullptr)), level);
    }

    // Removing takes out only the first of duplicates, and a destination never added changes nothing.
    void destinationsAddedAndRemoved() {
        QStringList second;
        static QStringList* secondLines = nullptr;
        secondLines = &second;
        DestinationPtr other = DestinationFactory::MakeFunctorDestination(
            [](const QString& line, Level) { secondLines->append(line); });
        const auto logged = [&] {
            QLOG_INFO() << "line";
            return QList<qsizetype>{capturedLines.size(), second.size()};
        };
        Logger::instance().removeDestination(other);
        QCOMPARE(logged(), (QList<qsizetype>{1, 0}));
        Logger::instance().addDestination(other);
        QCOMPARE(logged(), (QList<qsizetype>{2, 1}));
        Logger::instance().removeDestination(other);
        QCOMPARE(logged(), (QList<qsizetype>{3, 1}));
        Logger::instance().addDestination(capture);
        QCOMPARE(logged(), (QList<qsizetype>{5, 1}));
        Logger::instance().removeDestination(capture);
        QCOMPARE(logged(), (QList<qsizetype>{6, 1}));
        secondLines = nullptr;
        // Without destinations nothing is written.
        Logger::instance().removeDestination(capture);
        QLOG_FATAL() << "nobody listens";
        QCOMPARE(capturedLines.size(), 6);
    }

    void hasDestinationOfTypeMatchesExactly() {
        QVERIFY(Logger::instance().hasDestinationOfType("functor"));
        for (const char* other : {"file", "Functor", "func", "functors", "console"})
            QVERIFY2(!Logger::instance().hasDestinationOfType(other), other);
        DestinationPtr console = DestinationFactory::MakeDebugOutputDestination();
        Logger::instance().addDestination(console);
        QVERIFY(Logger::instance().hasDestinationOfType("console"));
        Logger::instance().removeDestination(console);
        QVERIFY(!Logger::instance().hasDestinationOfType("console"));
    }
};

QTEST_GUILESS_MAIN(LoggerCoreTest)
#include "tst_logger_core.moc"
