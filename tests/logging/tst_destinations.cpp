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

// Lines of exactly n characters each, all ASCII so their UTF-8 size is n, as a file holds them.
QString linesOf(std::initializer_list<std::pair<char, int>> lines) {
    QString text;
    for (const auto& [c, n] : lines)
        text += QString(n, QLatin1Char(c)) + QLatin1Char('\n');
    return text;
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

} // namespace

class DestinationsTest : public QObject {
    Q_OBJECT

private:
    QTemporaryDir dir;
    QString log;
    QString backup(int k) const { return log + QLatin1Char('.') + QString::number(k); }
    DestinationPtr rotating(qint64 size, int count) const {
        return DestinationFactory::MakeFileDestination(log, EnableLogRotation, MaxSizeBytes(size),
                                                       MaxOldLogCount(count));
    }

private Q_SLOTS:
    void init() {
        QVERIFY(dir.isValid());
        log = dir.filePath(QStringLiteral("app.log"));
        QDir(dir.path()).removeRecursively();
        QDir().mkpath(dir.path());
    }

    void factoryMakesEachKind() {
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
        DestinationPtr file = rotating(100, 1);
        file->write(QString(10, 'a'), Info); // 100: not above the maximum
        QCOMPARE(readAll(log), QString(90, 'o') + linesOf({{'a', 10}}));
        file->write(QStringLiteral("b"), Info); // 101: rotates
        QCOMPARE(readAll(log), QStringLiteral("b\n"));
        QCOMPARE(readAll(backup(1)), QString(90, 'o') + linesOf({{'a', 10}}));
    }

    void countIsInUtf8Bytes() {
        DestinationPtr file = rotating(10, 1);
        file->write(QStringLiteral("ééééé"), Info); // 10 bytes, 5 characters
        QVERIFY(!QFile::exists(backup(1)));
        file->write(QStringLiteral("x"), Info);
        QCOMPARE(readAll(backup(1)), QStringLiteral("ééééé\n"));
    }

    void rotationShiftsBackupsAndOverwritesTheOldest() {
        writeFile(backup(1), "one\n");
        writeFile(backup(2), "two\n");
        writeFile(backup(3), "three\n");
        DestinationPtr file = rotating(100, 3);
        file->write(QString(40, 'a'), Info);
        file->write(QString(40, 'b'), Info);
        QVERIFY(QFile::exists(backup(3)) && readAll(backup(1)) == QStringLiteral("one\n"));
        file->write(QString(40, 'c'), Info); // 120 > 100
        const QStringList rotated{linesOf({{'c', 40}}), linesOf({{'a', 40}, {'b', 40}}), "one\n", "two\n",
                                  "<missing>"};
        QCOMPARE((QStringList{readAll(log), readAll(backup(1)), readAll(backup(2)), readAll(backup(3)),
                              readAll(backup(4))}),
                 rotated);

        // After a rotation the count is the reopened file's size, so the line that caused it
        // does not count towards the next one.
        file->write(QString(100, 'd'), Info);
        QCOMPARE(readAll(backup(2)), QStringLiteral("one\n"));
        file->write(QStringLiteral("e"), Info);
        QCOMPARE((QStringList{readAll(log), readAll(backup(1)), readAll(backup(2)), readAll(backup(3))}),
                 (QStringList{"e\n", linesOf({{'c', 40}, {'d', 100}}), rotated[1], "one\n"}));
    }

    // Backups k (holding "k") before; then "abc" and "d" with a maximum of 3 bytes rotate once.
    void rotationOverExistingBackups_data() {
        QTest::addColumn<QList<int>>("existing");
        QTest::addColumn<int>("count");
        QTest::addColumn<QStringList>("after"); // the log, then backups 1, 2, ...
        QTest::newRow("a gap stops the shift") << QList<int>{1, 3} << 3 << QStringList{"d", "abc", "1", "3"};
        QTest::newRow("zero backups delete the log") << QList<int>{1} << 0 << QStringList{"d", "1"};
        // Backup 10 is the oldest kept; 11 is beyond the cap and untouched.
        QTest::newRow("count capped at ten")
            << QList<int>{1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11} << 25
            << QStringList{"d", "abc", "1", "2", "3", "4", "5", "6", "7", "8", "9", "11"};
    }
    void rotationOverExistingBackups() {
        QFETCH(QList<int>, existing);
        QFETCH(int, count);
        QFETCH(QStringList, after);
        for (int k : existing)
            writeFile(backup(k), QByteArray::number(k) + '\n');
        DestinationPtr file = rotating(3, count);
        file->write(QStringLiteral("abc"), Info);
        file->write(QStringLiteral("d"), Info);
        QStringList read{readAll(log).chopped(1)};
        for (int k = 1; k < after.size(); ++k)
            read << readAll(backup(k)).chopped(1);
        QCOMPARE(read, after);
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
