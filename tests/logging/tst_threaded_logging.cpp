#include "QsLog.h"
#include "QsLogDest.h"

#include <QRegularExpression>
#include <QTemporaryDir>
#include <QtTest>

#include <thread>
#include <vector>

using namespace QsLogging;

namespace {

// Appended to under the logger's mutex only.
QStringList functorLines;
void collect(const QString& line, Level) {
    functorLines.append(line);
}

const int threadCount = 4;
const int linesPerThread = 400;

} // namespace

class ThreadedLoggingTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void linesFromSeveralThreadsArriveWhole() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("threads.log"));
        DestinationPtr file = DestinationFactory::MakeFileDestination(path);
        DestinationPtr functor = DestinationFactory::MakeFunctorDestination(&collect);
        Logger::instance().setLoggingLevel(Trace);
        Logger::instance().addDestination(file);
        Logger::instance().addDestination(functor);

        std::vector<std::thread> threads;
        for (int t = 0; t < threadCount; ++t) {
            threads.emplace_back(
                [t] {
                    for (int i = 0; i < linesPerThread; ++i) {
                        const Level level = static_cast<Level>(i % 6);
                        QLOG_AT(level)
                            << QStringLiteral("thread %1 line %2 %3").arg(t).arg(i).arg(QString(40, 'x'));
                    }
                });
        }
        for (std::thread& thread : threads)
            thread.join();
        Logger::instance().removeDestination(file);
        Logger::instance().removeDestination(functor);
        file.clear(); // closes the file

        QFile written(path);
        QVERIFY(written.open(QIODevice::ReadOnly | QIODevice::Text));
        const QStringList fileLines = QString::fromUtf8(written.readAll()).split('\n', Qt::SkipEmptyParts);
        QCOMPARE(fileLines.size(), threadCount * linesPerThread);
        QCOMPARE(fileLines, functorLines); // one order for every destination

        const QRegularExpression whole(QStringLiteral(
            "^(TRACE|DEBUG|INFO |WARN |ERROR|FATAL) \\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2}\\.\\d{3} "
            "\"thread (\\d) line (\\d+) x{40}\" $"));
        QList<int> nextLine(threadCount, 0);
        for (const QString& line : fileLines) {
            const QRegularExpressionMatch match = whole.match(line);
            QVERIFY2(match.hasMatch(), qPrintable(line));
            const int thread = match.captured(2).toInt();
            const int index = match.captured(3).toInt();
            QCOMPARE(index, nextLine[thread]); // each thread's lines in its own order
            QCOMPARE(int(Logger::levelFromLogMessage(line)), index % 6);
            ++nextLine[thread];
        }
        QCOMPARE(nextLine, QList<int>(threadCount, linesPerThread));
    }
};

QTEST_GUILESS_MAIN(ThreadedLoggingTest)
#include "tst_threaded_logging.moc"
