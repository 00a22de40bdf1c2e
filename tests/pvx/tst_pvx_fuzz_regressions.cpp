// Replays the PVX fuzz target's seeds and every input it once found a fault with, through the
// same steps the target takes: each must read or be refused with a message, quickly.
#include "PvxFuzzInput.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QTest>

class PvxFuzzRegressionsTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void replay_data() {
        QTest::addColumn<QString>("path");
        const QString fuzz = QStringLiteral(GRIDWELL_FUZZ_DIR);
        const QFileInfoList inputs =
            QDir(fuzz + QStringLiteral("/seeds-pvx")).entryInfoList(QDir::Files) +
            QDir(fuzz + QStringLiteral("/regressions")).entryInfoList({QStringLiteral("pvx-*")}, QDir::Files);
        for (const QFileInfo& file : inputs)
            QTest::newRow(qPrintable(file.fileName())) << file.absoluteFilePath();
    }
    void replay() {
        QFETCH(QString, path);
        QFile file(path);
        QVERIFY(file.open(QIODevice::ReadOnly));
        QElapsedTimer timer;
        timer.start();
        const WriteStatus status = fuzz::readPvxInput(file.readAll());
        QVERIFY2(timer.elapsed() < 10000, qPrintable(status));
    }
};

QTEST_APPLESS_MAIN(PvxFuzzRegressionsTest)
#include "tst_pvx_fuzz_regressions.moc"
