#include "QsLogDest.h"
#include "QsLogDestFile.h"
#include "QsLogDestFunctor.h"
#include "QsLogRotation.h"
#include "StderrCapture.h"

#include <QDir>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QtTest>

using namespace QsLogging;

namespace {

QString readAll(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text))
        return QStringLiteral("<missing>");
    return QString::fromUtf8(file.readAll());
}

void writeFile(const QString& path, const QByteArray& contents) {
    QFile file(path);
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    file.write(contents);
}

// A line of exactly n characters, all ASCII, so its UTF-8 size is n.
QString lineOf(char c, int n) {
    return QString(n, QLatin1Char(c));
}

// Rotation whose renames always fail, to stage a locked file.
class FailingRenameRotation : public SizeRotationStrategy {
protected:
    bool renameFile(const QString&, const QString&) override { return false; }
};

// Receives the queued signal of a functor destination.
class Receiver : public QObject {
    Q_OBJECT
public:
    QStringList messages;
    QList<int> levels;
public Q_SLOTS:
    void take(const QString& message, int level) {
        messages.append(message);
        levels.append(level);
    }
};

QStringList functionLines;
void functionSink(const QString& line, Level) {
    functionLines.append(line);
}

} // namespace

class DestinationsTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;
    QString log;
    QString backup(int k) const { return log + QLatin1Char('.') + QString::number(k); }

private Q_SLOTS:
    void init() {
        QVERIFY(dir.isValid());
        log = dir.filePath(QStringLiteral("app.log"));
        QDir(dir.path()).removeRecursively();
        QDir().mkpath(dir.path());
    }

    void factoryMakesEachKind() {
        QCOMPARE(DestinationFactory::MakeDebugOutputDestination()->type(), QStringLiteral("console"));
        QCOMPARE(DestinationFactory::MakeFunctorDestination(&functionSink)->type(),
                 QStringLiteral("functor"));
        DestinationPtr file = DestinationFactory::MakeFileDestination(log);
        QCOMPARE(file->type(), QStringLiteral("file"));
        QVERIFY(file->isValid());
        QVERIFY(DestinationFactory::MakeDebugOutputDestination()->isValid());
    }

    void debugOutputWritesLineThenLineFeedToStandardError() {
        StderrCapture capture;
        DestinationPtr console = DestinationFactory::MakeDebugOutputDestination();
        console->write(QStringLiteral("INFO  first"), Info);
        console->write(QStringLiteral("ERROR sécond"), Error);
        QCOMPARE(capture.text(), QStringLiteral("INFO  first\nERROR sécond\n").toUtf8());
    }

    void fileWithoutRotationStartsEmpty() {
        writeFile(log, "old contents\n");
        DestinationPtr file = DestinationFactory::MakeFileDestination(log, DisableLogRotation,
                                                                      MaxSizeBytes(5), MaxOldLogCount(2));
        file->write(QStringLiteral("first"), Info);
        file->write(QStringLiteral("second line, well over five bytes"), Info);
        QCOMPARE(readAll(log), QStringLiteral("first\nsecond line, well over five bytes\n"));
        QVERIFY(!QFile::exists(backup(1))); // size and count were ignored
    }

    void fileWithRotationAppendsAndCountsExistingSize() {
        writeFile(log, QByteArray(90, 'o'));
        DestinationPtr file = DestinationFactory::MakeFileDestination(log, EnableLogRotation,
                                                                      MaxSizeBytes(100), MaxOldLogCount(1));
        file->write(lineOf('a', 10), Info); // 100: not above the maximum
        QCOMPARE(readAll(log), QString(90, QLatin1Char('o')) + lineOf('a', 10) + QLatin1Char('\n'));
        file->write(lineOf('b', 1), Info); // 101: rotates
        QCOMPARE(readAll(log), lineOf('b', 1) + QLatin1Char('\n'));
        QCOMPARE(readAll(backup(1)), QString(90, QLatin1Char('o')) + lineOf('a', 10) + QLatin1Char('\n'));
    }

    void countIsInUtf8Bytes() {
        DestinationPtr file = DestinationFactory::MakeFileDestination(log, EnableLogRotation,
                                                                      MaxSizeBytes(10), MaxOldLogCount(1));
        file->write(QStringLiteral("ééééé"), Info); // 10 bytes, 5 characters
        QVERIFY(!QFile::exists(backup(1)));
        file->write(QStringLiteral("x"), Info);
        QVERIFY(QFile::exists(backup(1)));
        QCOMPARE(readAll(backup(1)), QStringLiteral("ééééé\n"));
    }

    void rotationShiftsBackupsAndOverwritesTheOldest() {
        writeFile(backup(1), "one\n");
        writeFile(backup(2), "two\n");
        writeFile(backup(3), "three\n");
        DestinationPtr file = DestinationFactory::MakeFileDestination(log, EnableLogRotation,
                                                                      MaxSizeBytes(100), MaxOldLogCount(3));
        file->write(lineOf('a', 40), Info);
        file->write(lineOf('b', 40), Info);
        QVERIFY(QFile::exists(backup(3)) && readAll(backup(1)) == QStringLiteral("one\n"));
        file->write(lineOf('c', 40), Info); // 120 > 100

        QCOMPARE(readAll(log), lineOf('c', 40) + QLatin1Char('\n'));
        QCOMPARE(readAll(backup(1)),
                 lineOf('a', 40) + QLatin1Char('\n') + lineOf('b', 40) + QLatin1Char('\n'));
        QCOMPARE(readAll(backup(2)), QStringLiteral("one\n"));
        QCOMPARE(readAll(backup(3)), QStringLiteral("two\n"));
        QVERIFY(!QFile::exists(backup(4)));

        // After a rotation the count is the reopened file's size, so the line that caused it
        // does not count towards the next one.
        file->write(lineOf('d', 100), Info);
        QCOMPARE(readAll(backup(2)), QStringLiteral("one\n"));
        file->write(lineOf('e', 1), Info);
        QCOMPARE(readAll(backup(1)),
                 lineOf('c', 40) + QLatin1Char('\n') + lineOf('d', 100) + QLatin1Char('\n'));
        QCOMPARE(readAll(backup(2)),
                 lineOf('a', 40) + QLatin1Char('\n') + lineOf('b', 40) + QLatin1Char('\n'));
        QCOMPARE(readAll(backup(3)), QStringLiteral("one\n"));
        QCOMPARE(readAll(log), lineOf('e', 1) + QLatin1Char('\n'));
    }

    void gapInBackupsStopsTheShift() {
        writeFile(backup(1), "one\n");
        writeFile(backup(3), "three\n");
        DestinationPtr file = DestinationFactory::MakeFileDestination(log, EnableLogRotation, MaxSizeBytes(3),
                                                                      MaxOldLogCount(3));
        file->write(QStringLiteral("abc"), Info);
        file->write(QStringLiteral("d"), Info);
        QCOMPARE(readAll(log), QStringLiteral("d\n"));
        QCOMPARE(readAll(backup(1)), QStringLiteral("abc\n"));
        QCOMPARE(readAll(backup(2)), QStringLiteral("one\n"));
        QCOMPARE(readAll(backup(3)), QStringLiteral("three\n"));
    }

    void zeroBackupsDeleteTheLog() {
        writeFile(backup(1), "unrelated\n");
        DestinationPtr file = DestinationFactory::MakeFileDestination(log, EnableLogRotation, MaxSizeBytes(3),
                                                                      MaxOldLogCount(0));
        file->write(QStringLiteral("abc"), Info);
        file->write(QStringLiteral("d"), Info);
        QCOMPARE(readAll(log), QStringLiteral("d\n"));
        QCOMPARE(readAll(backup(1)), QStringLiteral("unrelated\n"));
    }

    void backupCountIsCappedAtTen() {
        for (int k = 1; k <= 11; ++k)
            writeFile(backup(k), QByteArray::number(k) + '\n');
        DestinationPtr file = DestinationFactory::MakeFileDestination(log, EnableLogRotation, MaxSizeBytes(3),
                                                                      MaxOldLogCount(25));
        file->write(QStringLiteral("abc"), Info);
        file->write(QStringLiteral("d"), Info);
        QCOMPARE(readAll(backup(1)), QStringLiteral("abc\n"));
        QCOMPARE(readAll(backup(2)), QStringLiteral("1\n"));
        QCOMPARE(readAll(backup(10)), QStringLiteral("9\n"));
        QCOMPARE(readAll(backup(11)), QStringLiteral("11\n")); // beyond the cap: untouched
    }

    void unopenableFileIsInvalidAndSaysSo() {
        const QString path = dir.filePath(QStringLiteral("missing/folder/app.log"));
        StderrCapture capture;
        DestinationPtr file = DestinationFactory::MakeFileDestination(path);
        QVERIFY(!file->isValid());
        QTest::ignoreMessage(QtWarningMsg, QRegularExpression("device not open"));
        file->write(QStringLiteral("lost"), Error); // lost, without a crash
        QCOMPARE(capture.text(), QByteArray("QsLog: could not open log file ") + path.toLocal8Bit());
    }

    void failedRenameIsReportedAndWritingGoesOn() {
        QSharedPointer<FailingRenameRotation> policy(new FailingRenameRotation);
        policy->setMaxSizeBytes(3);
        policy->setMaxOldLogCount(2);
        FileDestination file(log, policy);
        file.write(QStringLiteral("abc"), Info);
        StderrCapture capture;
        file.write(QStringLiteral("d"), Info);
        QCOMPARE(capture.text(), QByteArray("QsLog: could not rename log ") + log.toLocal8Bit() + " to " +
                                     backup(1).toLocal8Bit());
        QCOMPARE(readAll(log), QStringLiteral("abc\nd\n")); // reopened for appending
    }

    void functorCallsFunctionForEveryLevel() {
        functionLines.clear();
        DestinationPtr functor = DestinationFactory::MakeFunctorDestination(&functionSink);
        functor->write(QStringLiteral("t"), Trace);
        functor->write(QStringLiteral("e"), Error);
        QCOMPARE(functionLines, (QStringList{QStringLiteral("t"), QStringLiteral("e")}));
    }

    void functorSignalSkipsTraceAndIsQueued() {
        Receiver receiver;
        DestinationPtr functor =
            DestinationFactory::MakeFunctorDestination(&receiver, SLOT(take(QString, int)));
        functor->write(QStringLiteral("trace line"), Trace);
        functor->write(QStringLiteral("debug line"), Debug);
        functor->write(QStringLiteral("fatal line"), Fatal);
        QVERIFY(receiver.messages.isEmpty()); // nothing until the event loop runs
        QCoreApplication::sendPostedEvents();
        QCOMPARE(receiver.messages,
                 (QStringList{QStringLiteral("debug line"), QStringLiteral("fatal line")}));
        QCOMPARE(receiver.levels, (QList<int>{1, 5}));
    }
};

QTEST_GUILESS_MAIN(DestinationsTest)
#include "tst_destinations.moc"
