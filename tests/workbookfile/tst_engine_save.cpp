// The signal handling around saves inside one process: the handler is there only while a save
// runs and leaves ignored signals alone, and saves on several threads are all cleaned up by one
// signal, with the program's own handler still called.

#include "Workbook.h"

#include <QDir>
#include <QTemporaryDir>
#include <QtTest>

#include <signal.h>

#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <vector>

using namespace workbookfile;

namespace {

std::atomic<int> ownHandlerCalls{0};
void ownHandler(int) {
    ++ownHandlerCalls;
}

using Handler = void (*)(int);

// A disposition as a number the test macros compare; sa_handler and sa_sigaction share storage.
qulonglong disposition(Handler handler) {
    return qulonglong(reinterpret_cast<quintptr>(handler));
}

qulonglong currentDisposition(int sig) {
    struct sigaction now {};
    sigaction(sig, nullptr, &now);
    return disposition(now.sa_handler);
}

void setHandler(int sig, Handler handler) {
    struct sigaction action {};
    sigemptyset(&action.sa_mask);
    action.sa_handler = handler;
    sigaction(sig, &action, nullptr);
}

std::unique_ptr<Workbook> smallWorkbook() {
    auto wb = Workbook::create(2);
    ValueBlock block(50, 20);
    for (int r = 1; r <= 50; ++r)
        for (int c = 1; c <= 20; ++c)
            block.setNumber(r, c, r + c);
    wb->worksheet(1)->putBlock(1, 1, block);
    wb->worksheet(2)->putBlock(1, 1, block);
    return wb;
}

QStringList temporaryFiles(const QString& folder) {
    return QDir(folder).entryList({".gridwell-save-*"}, QDir::Files | QDir::Hidden);
}

QByteArray contentOf(const QString& path) {
    QFile f(path);
    return f.open(QIODevice::ReadOnly) ? f.readAll() : QByteArray();
}

} // namespace

class EngineSaveTest : public QObject {
    Q_OBJECT
    QTemporaryDir folder;

private slots:
    void cleanup() {
        setHandler(SIGINT, SIG_DFL);
        setHandler(SIGTERM, SIG_DFL);
    }

    // Worksheets packed while others are written, some used again later (read, written, cleared,
    // formatted), save to the very bytes of a workbook that kept every cell, in every format that
    // packs; a save in another format brings them back first.
    void writeBehindSavesTheSameBytes_data() {
        QTest::addColumn<int>("format");
        QTest::newRow("xlsx") << int(workbookfile::FileFormat::Xlsx);
        QTest::newRow("xlsb") << int(workbookfile::FileFormat::Xlsb);
        QTest::newRow("xls") << int(workbookfile::FileFormat::Xls);
    }
    void writeBehindSavesTheSameBytes() {
        QFETCH(int, format);
        const auto target = workbookfile::FileFormat(format);
        bool readBack = true;
        auto fill = [&](bool writeBehind, const QString& name) -> QByteArray {
            auto wb = workbookfile::Workbook::create(1);
            wb->setWriteBehind(writeBehind);
            wb->setFixedTimestamp(1700000000);
            const std::string path = folder.filePath(name).toStdString();
            wb->saveAs(path, target); // as a conversion does, before writing
            for (int s = 0; s < 4; ++s)
                wb->addWorksheet(wb->sheetCount());
            for (int round = 0; round < 2; ++round)
                for (int s = 1; s <= 5; ++s) {
                    workbookfile::Worksheet* ws = wb->worksheet(s);
                    workbookfile::ValueBlock block(30, 6);
                    for (int r = 1; r <= 30; ++r)
                        for (int c = 1; c <= 6; ++c) {
                            if (c == 1)
                                block.setText(r, c, "row " + std::to_string(r * s));
                            else
                                block.setNumber(r, c, r * 0.1 + c * s + round);
                        }
                    ws->putBlock(1 + round * 40, 1, block);
                    if (s == 2)
                        ws->setBold(1, 1, 1, 6);
                    if (s == 3 && round == 1) {
                        readBack &=
                            wb->worksheet(2)->cell(2, 2).number == 2 * 0.1 + 2 * 2 + 0.0; // packed, read back
                        wb->worksheet(4)->clearRange(1, 1, 5, 6);
                    }
                }
            wb->addWorksheet(0); // the first worksheet, packed as the selected one, is first no more
            wb->save();
            // Opened again, its worksheets are written over once more.
            auto again = workbookfile::Workbook::open(path);
            again->setWriteBehind(writeBehind);
            again->setFixedTimestamp(1700000000);
            for (int s : {2, 1, 3}) {
                workbookfile::ValueBlock block(5, 3);
                for (int r = 1; r <= 5; ++r)
                    for (int c = 1; c <= 3; ++c)
                        block.setNumber(r, c, r * c * 0.25 + s);
                again->worksheet(s)->putBlock(s == 2 ? 100 : 3, 2, block);
            }
            readBack &= again->worksheet(2)->cell(100, 2).number == 0.25 + 2; // packed, read back
            again->worksheet(2)->clearRange(100, 1, 104, 6); // rows new since it was opened go again
            again->save();
            return contentOf(folder.filePath(name));
        };
        const QString tag = QTest::currentDataTag();
        const QByteArray kept = fill(false, "kept." + tag), packed = fill(true, "packed." + tag);
        QVERIFY(!kept.isEmpty());
        QVERIFY(readBack);
        QCOMPARE(packed, kept);
    }

    void handlerOnlyWhileASaveRuns_data() {
        QTest::addColumn<int>("sig");
        QTest::addColumn<qulonglong>("before");
        QTest::addColumn<bool>("replacedDuringSave");
        QTest::newRow("SIGINT default") << int(SIGINT) << disposition(SIG_DFL) << true;
        QTest::newRow("SIGTERM own handler") << int(SIGTERM) << disposition(ownHandler) << true;
        QTest::newRow("SIGINT ignored") << int(SIGINT) << disposition(SIG_IGN) << false;
        QTest::newRow("SIGTERM ignored") << int(SIGTERM) << disposition(SIG_IGN) << false;
    }

    void handlerOnlyWhileASaveRuns() {
        QFETCH(int, sig);
        QFETCH(qulonglong, before);
        QFETCH(bool, replacedDuringSave);
        setHandler(sig, reinterpret_cast<Handler>(quintptr(before)));
        auto wb = smallWorkbook();
        std::vector<qulonglong> seen;
        wb->setSaveProgressCallback([&](int) { seen.push_back(currentDisposition(sig)); });
        wb->saveAs(folder.filePath("handlers.xlsx").toStdString(), FileFormat::Xlsx);
        QVERIFY(seen.size() > 3);
        // While the file is written, our handler stands in (or the ignore stays); after the
        // rename, and after the save, the program's own disposition is back.
        QCOMPARE(seen.front() != before, replacedDuringSave);
        QCOMPARE(seen.back(), before);
        QCOMPARE(currentDisposition(sig), before);
        QVERIFY(QFile::remove(folder.filePath("handlers.xlsx")));
    }

    void oneSignalCleansUpSavesOnEveryThread() {
        setHandler(SIGTERM, ownHandler);
        ownHandlerCalls = 0;
        const int threads = 3;
        std::mutex mutex;
        std::condition_variable allThere;
        int arrived = 0;
        bool signalled = false;
        std::vector<std::string> errors(threads);
        std::vector<std::thread> savers;
        for (int t = 0; t < threads; ++t)
            savers.emplace_back([&, t] {
                auto wb = smallWorkbook();
                wb->setSaveProgressCallback([&](int step) {
                    if (step != 2)
                        return;
                    // Every save stands in the middle of writing when the signal comes.
                    std::unique_lock<std::mutex> lock(mutex);
                    if (++arrived == threads) {
                        raise(SIGTERM);
                        signalled = true;
                        allThere.notify_all();
                    }
                    allThere.wait(lock, [&] { return signalled; });
                });
                try {
                    wb->saveAs(folder.filePath(QString("thread%1.xlsx").arg(t)).toStdString(),
                               FileFormat::Xlsx);
                } catch (const Error& e) {
                    errors[std::size_t(t)] = e.what();
                }
            });
        for (auto& s : savers)
            s.join();
        QCOMPARE(ownHandlerCalls.load(), 1);
        for (int t = 0; t < threads; ++t) {
            QVERIFY2(QString::fromStdString(errors[std::size_t(t)]).contains("interrupted by a signal"),
                     errors[std::size_t(t)].c_str());
            QVERIFY(!QFile::exists(folder.filePath(QString("thread%1.xlsx").arg(t))));
        }
        QCOMPARE(temporaryFiles(folder.path()), QStringList());
        QCOMPARE(currentDisposition(SIGTERM), disposition(ownHandler));
    }
};

QTEST_APPLESS_MAIN(EngineSaveTest)
#include "tst_engine_save.moc"
