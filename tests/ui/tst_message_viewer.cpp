#include "FakeUiHooks.h"
#include "MessageViewer.h"
#include "MessageWatcher.h"
#include "QsLog.h"
#include "QsLogDest.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QMenuBar>
#include <QScrollBar>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include <memory>
#include <thread>
#include <vector>

using namespace QsLogging;
using UtilsNS::MessageViewer;

namespace {

QByteArray fileContents(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray("<missing>");
}

} // namespace

class MessageViewerTest : public QObject {
    Q_OBJECT

    std::unique_ptr<FakeUiHooks> hooks;
    std::unique_ptr<MessageViewer> viewer;
    QTreeWidget* tree = nullptr;

    void addRows(int count) {
        for (int i = 0; i < count; ++i)
            viewer->messageHandler(Info, QStringLiteral("row %1").arg(i));
    }
    QAction* action(const char* text) {
        for (QAction* candidate : viewer->findChildren<QAction*>()) {
            if (candidate->text() == QLatin1String(text))
                return candidate;
        }
        qWarning("missing action %s", text);
        return nullptr;
    }
    void trigger(const char* text) { action(text)->trigger(); }

private Q_SLOTS:
    void initTestCase() { qRegisterMetaType<QsLogging::Level>("QsLogging::Level"); }

    void init() {
        hooks = std::make_unique<FakeUiHooks>();
        viewer = std::make_unique<MessageViewer>(QStringList{QStringLiteral("Diagnostic Messages")});
        tree = viewer->findChild<QTreeWidget*>();
        QVERIFY(tree);
    }

    void cleanup() {
        viewer.reset();
        hooks.reset();
    }

    // The watcher keeps the time of day of the stamp, unquotes the text and folds Trace and
    // Debug into Info, Fatal into Error.
    void watcherFunctionCutsTheStampAndFoldsLevels() {
        QSignalSpy spy(&UtilsNS::messageWatcher, &UtilsNS::MessageWatcher::message);
        const QString line = QStringLiteral("WARN  2024-02-29T23:59:58.007   \"text\" ");
        const Level shown[] = {Info, Info, Info, Warn, Error, Error};
        for (int level = Trace; level <= Fatal; ++level) {
            UtilsNS::watcherLogFunction(line, static_cast<Level>(level));
            QCOMPARE(spy.size(), level + 1);
            QCOMPARE(spy.last().at(0).value<QsLogging::Level>(), shown[level]);
            QCOMPARE(spy.last().at(1).toString(), QStringLiteral("WARN  23:59:58 text"));
        }
        UtilsNS::watcherLogFunction(QStringLiteral("no stamp 2024-02-29 here  "), Warn);
        QCOMPARE(spy.last().at(1).toString(), QStringLiteral("no stamp 2024-02-29 here"));
    }

    // Rows are plain text: one streamed text loses its quotes and escapes, anything else is kept.
    void rowsArePlainText_data() {
        QTest::addColumn<QString>("message");
        QTest::addColumn<QString>("shown");
        const auto row = [](const char* tag, const char* message, const char* shown) {
            QTest::newRow(tag) << QString::fromUtf8(message) << QString::fromUtf8(shown);
        };
        row("one text", "\"Read /a b/c.pvx: 3 runs\" ", "Read /a b/c.pvx: 3 runs");
        row("escapes", "\"The workbook \\\"x.xlsx\\\" in C:\\\\data\" ",
            "The workbook \"x.xlsx\" in C:\\data");
        row("several values", "\"count\" 3 ", "\"count\" 3");
        row("two texts", "\"a\" \"b\" ", "\"a\" \"b\"");
        row("unquoted", "plain words   ", "plain words");
        row("empty text", "\"\" ", "");
    }

    void rowsArePlainText() {
        QFETCH(QString, message);
        QFETCH(QString, shown);
        QCOMPARE(UtilsNS::diagnosticRow(QStringLiteral("INFO  2026-12-07T06:05:04.321 ") + message),
                 QStringLiteral("INFO  06:05:04 ") + shown);
    }

    void windowTextsAndShortcuts() {
        QCOMPARE(viewer->windowTitle(), QStringLiteral("Untitled"));
        QCOMPARE(tree->headerItem()->text(0), QStringLiteral("Diagnostic Messages"));
        auto* box = viewer->findChild<QCheckBox*>();
        QCOMPARE(box->text(), QStringLiteral("Automatic Scrolling"));
        QVERIFY(box->isChecked());
        QStringList menus;
        for (QAction* menu : viewer->findChild<QMenuBar*>()->actions())
            menus << menu->text();
        QCOMPARE(menus, (QStringList{QStringLiteral("&File"), QStringLiteral("&Edit")}));
        const char* const shortcuts[][2] = {{"Save All &As", "Ctrl+Shift+S"}, {"Save &Selected As", ""},
                                            {"&Close Window", "Ctrl+W"},      {"&Copy All", "Ctrl+C"},
                                            {"Copy &Selected", ""},           {"Clear", ""}};
        for (const auto& pair : shortcuts) {
            QVERIFY2(action(pair[0]), pair[0]);
            QCOMPARE(action(pair[0])->shortcut(), QKeySequence(QString::fromLatin1(pair[1])));
        }
    }

    // Lines logged on several threads reach the window through the queued signal, each
    // thread's in order, coloured by their folded level.
    void loggedLinesArriveAsColouredRows() {
        viewer->connectToWatcher();
        DestinationPtr feed = DestinationFactory::MakeFunctorDestination(&UtilsNS::watcherLogFunction);
        Logger::instance().addDestination(feed);
        Logger::instance().setLoggingLevel(Trace);
        std::vector<std::thread> threads;
        for (int t = 0; t < 3; ++t) {
            threads.emplace_back([t] {
                for (int i = 0; i < 50; ++i)
                    QLOG_AT(static_cast<Level>(i % 6)) << QStringLiteral("%1:%2").arg(t).arg(i);
            });
        }
        for (std::thread& thread : threads)
            thread.join();
        Logger::instance().removeDestination(feed);
        QCOMPARE(tree->topLevelItemCount(), 0); // queued: nothing before the loop runs
        QCoreApplication::sendPostedEvents();

        QCOMPARE(tree->topLevelItemCount(), 150);
        const QStringList levels{"TRACE", "DEBUG", "INFO ", "WARN ", "ERROR", "FATAL"};
        const QColor black(0, 0, 0), brown(115, 78, 0), red(185, 0, 0);
        const QColor colours[] = {black, black, black, brown, red, red};
        const QRegularExpression pattern(QStringLiteral("^(\\w+ ?) \\d\\d:\\d\\d:\\d\\d (\\d):(\\d+)$"));
        QList<int> next(3, 0);
        for (int row = 0; row < tree->topLevelItemCount(); ++row) {
            const QTreeWidgetItem* item = tree->topLevelItem(row);
            const QRegularExpressionMatch match = pattern.match(item->text(0));
            QVERIFY2(match.hasMatch(), qPrintable(item->text(0)));
            const int i = match.captured(3).toInt();
            QCOMPARE(i, next[match.captured(2).toInt()]++);
            QCOMPARE(match.captured(1), levels[i % 6]);
            QCOMPARE(item->foreground(0).color(), colours[i % 6]);
            QCOMPARE(item->foreground(0).style(), Qt::SolidPattern);
        }
    }

    void copySaveAndClearAllOrSelectedRows() {
        QTemporaryDir dir;
        const QString all = dir.filePath(QStringLiteral("all.txt"));
        const QString selected = dir.filePath(QStringLiteral("selected.txt"));
        QFile old(all);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("previous contents, longer than the rows");
        old.close();
        addRows(4);
        trigger("Copy &Selected");
        QCOMPARE(QApplication::clipboard()->text(), QString()); // nothing selected
        trigger("&Copy All");
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("row 0\nrow 1\nrow 2\nrow 3\n"));
        tree->topLevelItem(1)->setSelected(true);
        tree->topLevelItem(2)->setSelected(true);
        trigger("Copy &Selected");
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("row 1\nrow 2\n"));
        QApplication::clipboard()->clear();
        trigger("&Copy All"); // Ctrl+C takes the selection when there is one
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("row 1\nrow 2\n"));

        hooks->fileAnswers << all << selected;
        trigger("Save All &As"); // overwrites
        trigger("Save &Selected As");
        trigger("Save All &As"); // no answer: cancelled
        QCOMPARE(fileContents(all), QByteArray("row 0\nrow 1\nrow 2\nrow 3\n"));
        QCOMPARE(fileContents(selected), QByteArray("row 1\nrow 2\n"));
        QCOMPARE(hooks->fileRequests.size(), 3);
        QCOMPARE(hooks->fileRequests.at(0).caption, QStringLiteral("Save Diagnostic Output"));
        QCOMPARE(hooks->fileRequests.at(0).folder, QString());
        QCOMPARE(hooks->fileRequests.at(0).filter, QString());
        QCOMPARE(hooks->fileRequests.at(1).folder, all); // the last file saved to
        QCOMPARE(hooks->fileRequests.at(2).folder, selected);
        QVERIFY(hooks->warnings.isEmpty());
        hooks->fileAnswers << QStringLiteral("/nonexistent-folder/out.txt");
        trigger("Save All &As");
        QCOMPARE(hooks->warnings.size(), 1);
        QCOMPARE(hooks->warnings.at(0).title, QStringLiteral("Save Diagnostics Error"));
        QCOMPARE(
            hooks->warnings.at(0).text,
            QStringLiteral("The diagnostics could not be saved to /nonexistent-folder/out.txt: No such file "
                           "or directory."));
        QCOMPARE(hooks->warnings.at(0).buttons, QMessageBox::StandardButtons(QMessageBox::Ok));

        // Copied lines carry no trailing blanks.
        viewer->messageHandler(Info, QStringLiteral("ends in blanks  \t "));
        tree->clearSelection();
        trigger("&Copy All");
        QVERIFY(QApplication::clipboard()->text().endsWith(QStringLiteral("row 3\nends in blanks\n")));

        trigger("Clear");
        addRows(1);
        trigger("&Copy All");
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("row 0\n"));
    }

    void closingOnlyHidesAndKeepsRows() {
        addRows(2);
        viewer->show();
        QVERIFY(!viewer->close());
        QVERIFY(!viewer->isVisible());
        viewer->show();
        trigger("&Close Window");
        QVERIFY(!viewer->isVisible());
        QCOMPARE(tree->topLevelItemCount(), 2);
    }

    void automaticScrollingFollowsTheCheckBox() {
        viewer->show();
        QVERIFY(QTest::qWaitForWindowExposed(viewer.get()));
        QScrollBar* bar = tree->verticalScrollBar();
        addRows(100);
        QCoreApplication::processEvents();
        QVERIFY(bar->maximum() > 0);
        QCOMPARE(bar->value(), bar->maximum());
        auto* box = viewer->findChild<QCheckBox*>();
        box->setChecked(false);
        bar->setValue(0);
        addRows(20);
        QCoreApplication::processEvents();
        QCOMPARE(bar->value(), 0);
        box->setChecked(true);
        QCoreApplication::processEvents();
        QCOMPARE(bar->value(), bar->maximum());
    }
};

QTEST_MAIN(MessageViewerTest)
#include "tst_message_viewer.moc"
