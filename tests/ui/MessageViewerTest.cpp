#include "MessageViewer.h"
#include "FakeUiHooks.h"
#include "MessageWatcher.h"
#include "QsLog.h"
#include "QsLogDest.h"

#include <QAction>
#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QHeaderView>
#include <QMenuBar>
#include <QScrollBar>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include <memory>
#include <thread>
#include <vector>

using namespace QsLogging;
using UtilsNS::MessageViewer;

namespace {

QAction* actionNamed(QWidget* window, const QString& text) {
    for (QAction* action : window->findChildren<QAction*>()) {
        if (action->text() == text)
            return action;
    }
    return nullptr;
}

QColor rowColour(QTreeWidget* tree, int row) {
    return tree->topLevelItem(row)->foreground(0).color();
}

QByteArray fileContents(const QString& path) {
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return "<missing>";
    return file.readAll();
}

} // namespace

class MessageViewerTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<MessageViewer> viewer;
    QTreeWidget* tree = nullptr;
    std::unique_ptr<FakeUiHooks> hooks;

    void addRows(int count) {
        for (int i = 0; i < count; ++i)
            viewer->messageHandler(Info, QStringLiteral("row %1").arg(i));
    }

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

    void watcherFunctionCutsTheStampAndFoldsLevels_data() {
        QTest::addColumn<int>("level");
        QTest::addColumn<int>("shown");
        QTest::newRow("trace") << int(Trace) << int(Info);
        QTest::newRow("debug") << int(Debug) << int(Info);
        QTest::newRow("info") << int(Info) << int(Info);
        QTest::newRow("warn") << int(Warn) << int(Warn);
        QTest::newRow("error") << int(Error) << int(Error);
        QTest::newRow("fatal") << int(Fatal) << int(Error);
    }

    void watcherFunctionCutsTheStampAndFoldsLevels() {
        QFETCH(int, level);
        QFETCH(int, shown);
        QSignalSpy spy(&UtilsNS::messageWatcher, &UtilsNS::MessageWatcher::message);
        UtilsNS::watcherLogFunction(QStringLiteral("WARN  2024-02-29T23:59:58.007   \"text\" "),
                                    static_cast<Level>(level));
        QCOMPARE(spy.size(), 1);
        QCOMPARE(int(spy.at(0).at(0).value<QsLogging::Level>()), shown);
        QCOMPARE(spy.at(0).at(1).toString(), QStringLiteral("WARN  \"text\" "));
    }

    void lineWithoutStampPassesUnchanged() {
        QSignalSpy spy(&UtilsNS::messageWatcher, &UtilsNS::MessageWatcher::message);
        UtilsNS::watcherLogFunction(QStringLiteral("no stamp 2024-02-29 here"), Warn);
        QCOMPARE(spy.at(0).at(1).toString(), QStringLiteral("no stamp 2024-02-29 here"));
    }

    void windowSetUp() {
        QCOMPARE(viewer->windowTitle(), QStringLiteral("Untitled"));
        QVERIFY(!viewer->isModal());
        QVERIFY(!(viewer->windowFlags() & Qt::WindowContextHelpButtonHint));
        QCOMPARE(viewer->size(), QSize(600, 300));
        QCOMPARE(tree->columnCount(), 1);
        QCOMPARE(tree->headerItem()->text(0), QStringLiteral("Diagnostic Messages"));
        QCOMPARE(tree->selectionMode(), QAbstractItemView::ContiguousSelection);
        QVERIFY(!tree->rootIsDecorated());
        auto* box = viewer->findChild<QCheckBox*>();
        QCOMPARE(box->text(), QStringLiteral("Automatic Scrolling"));
        QVERIFY(box->isChecked());

        auto* menuBar = viewer->findChild<QMenuBar*>();
        QVERIFY(menuBar);
        QStringList menus;
        for (QAction* menu : menuBar->actions())
            menus << menu->text();
        QCOMPARE(menus, (QStringList{QStringLiteral("&File"), QStringLiteral("&Edit")}));
        QCOMPARE(actionNamed(viewer.get(), QStringLiteral("Save All &As"))->shortcut(),
                 QKeySequence(QStringLiteral("Ctrl+Shift+S")));
        QCOMPARE(actionNamed(viewer.get(), QStringLiteral("&Close Window"))->shortcut(),
                 QKeySequence(QStringLiteral("Ctrl+W")));
        QCOMPARE(actionNamed(viewer.get(), QStringLiteral("&Copy All"))->shortcut(),
                 QKeySequence(QStringLiteral("Ctrl+C")));
        QVERIFY(actionNamed(viewer.get(), QStringLiteral("Save &Selected As")));
        QVERIFY(actionNamed(viewer.get(), QStringLiteral("Copy &Selected")));
        QVERIFY(actionNamed(viewer.get(), QStringLiteral("Clear")));
    }

    void rowsAreColouredByLevel() {
        viewer->messageHandler(Info, QStringLiteral("info"));
        viewer->messageHandler(Warn, QStringLiteral("warn"));
        viewer->messageHandler(Error, QStringLiteral("error"));
        viewer->messageHandler(Debug, QStringLiteral("debug arriving unfolded"));
        QCOMPARE(tree->topLevelItemCount(), 4);
        QCOMPARE(tree->topLevelItem(1)->text(0), QStringLiteral("warn"));
        QCOMPARE(rowColour(tree, 0), QColor(0, 0, 0));
        QCOMPARE(rowColour(tree, 1), QColor(115, 78, 0));
        QCOMPARE(rowColour(tree, 2), QColor(185, 0, 0));
        QCOMPARE(rowColour(tree, 3), QColor(185, 0, 0));
        QCOMPARE(tree->topLevelItem(0)->foreground(0).style(), Qt::SolidPattern);
    }

    void loggedLinesArriveAsRowsThroughTheEventLoop() {
        viewer->connectToWatcher();
        DestinationPtr functor = DestinationFactory::MakeFunctorDestination(&UtilsNS::watcherLogFunction);
        Logger::instance().addDestination(functor);
        Logger::instance().setLoggingLevel(Trace);
        QLOG_DEBUG() << QStringLiteral("debug");
        QLOG_WARN() << QStringLiteral("warn");
        QLOG_FATAL() << QStringLiteral("fatal");
        Logger::instance().removeDestination(functor);
        QCOMPARE(tree->topLevelItemCount(), 0); // queued: nothing before the loop runs
        QCoreApplication::sendPostedEvents();
        QCOMPARE(tree->topLevelItemCount(), 3);
        QCOMPARE(tree->topLevelItem(0)->text(0), QStringLiteral("DEBUG \"debug\" "));
        QCOMPARE(tree->topLevelItem(1)->text(0), QStringLiteral("WARN  \"warn\" "));
        QCOMPARE(rowColour(tree, 0), QColor(0, 0, 0));
        QCOMPARE(rowColour(tree, 1), QColor(115, 78, 0));
        QCOMPARE(rowColour(tree, 2), QColor(185, 0, 0));
    }

    void linesLoggedOnOtherThreadsArriveInOrder() {
        viewer->connectToWatcher();
        DestinationPtr functor = DestinationFactory::MakeFunctorDestination(&UtilsNS::watcherLogFunction);
        Logger::instance().addDestination(functor);
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
        Logger::instance().removeDestination(functor);
        QCoreApplication::sendPostedEvents();

        QCOMPARE(tree->topLevelItemCount(), 150); // Trace too: the function sees every line
        QList<int> next(3, 0);
        for (int row = 0; row < tree->topLevelItemCount(); ++row) {
            const QString text = tree->topLevelItem(row)->text(0);
            const QRegularExpressionMatch match =
                QRegularExpression(QStringLiteral("\"(\\d):(\\d+)\" $")).match(text);
            QVERIFY2(match.hasMatch(), qPrintable(text));
            const int thread = match.captured(1).toInt();
            QCOMPARE(match.captured(2).toInt(), next[thread]++);
        }
    }

    void copyAllAndSelected() {
        addRows(4);
        actionNamed(viewer.get(), QStringLiteral("&Copy All"))->trigger();
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("row 0\nrow 1\nrow 2\nrow 3\n"));

        actionNamed(viewer.get(), QStringLiteral("Copy &Selected"))->trigger();
        QCOMPARE(QApplication::clipboard()->text(), QString()); // nothing selected

        tree->topLevelItem(1)->setSelected(true);
        tree->topLevelItem(2)->setSelected(true);
        actionNamed(viewer.get(), QStringLiteral("Copy &Selected"))->trigger();
        QCOMPARE(QApplication::clipboard()->text(), QStringLiteral("row 1\nrow 2\n"));
    }

    void saveAllAndSelected() {
        QTemporaryDir dir;
        const QString all = dir.filePath(QStringLiteral("all.txt"));
        const QString selected = dir.filePath(QStringLiteral("selected.txt"));
        addRows(3);
        tree->topLevelItem(2)->setSelected(true);

        hooks->fileAnswers << all << selected;
        actionNamed(viewer.get(), QStringLiteral("Save All &As"))->trigger();
        actionNamed(viewer.get(), QStringLiteral("Save &Selected As"))->trigger();
        QCOMPARE(fileContents(all), QByteArray("row 0\nrow 1\nrow 2\n"));
        QCOMPARE(fileContents(selected), QByteArray("row 2\n"));

        QCOMPARE(hooks->fileRequests.size(), 2);
        QCOMPARE(hooks->fileRequests.at(0).caption, QStringLiteral("Save Diagnostic Output"));
        QCOMPARE(hooks->fileRequests.at(0).folder, QString());
        QCOMPARE(hooks->fileRequests.at(0).filter, QString());
        QCOMPARE(hooks->fileRequests.at(1).folder, all); // the last file saved to
        QVERIFY(hooks->warnings.isEmpty());
    }

    void saveOverwritesAndWritesEmptyFileWithoutRows() {
        QTemporaryDir dir;
        const QString path = dir.filePath(QStringLiteral("out.txt"));
        QFile old(path);
        QVERIFY(old.open(QIODevice::WriteOnly));
        old.write("previous contents that are longer");
        old.close();
        hooks->fileAnswers << path;
        actionNamed(viewer.get(), QStringLiteral("Save All &As"))->trigger();
        QCOMPARE(fileContents(path), QByteArray());
    }

    void cancelledSaveWritesNothing() {
        addRows(1);
        actionNamed(viewer.get(), QStringLiteral("Save All &As"))->trigger(); // no answer: cancelled
        QCOMPARE(hooks->fileRequests.size(), 1);
        QVERIFY(hooks->warnings.isEmpty());
    }

    void unwritableFileShowsWarning() {
        hooks->fileAnswers << QStringLiteral("/nonexistent-folder/out.txt");
        actionNamed(viewer.get(), QStringLiteral("Save All &As"))->trigger();
        QCOMPARE(hooks->warnings.size(), 1);
        QCOMPARE(hooks->warnings.at(0).title, QStringLiteral("Save Diagnostics Error"));
        QVERIFY(!hooks->warnings.at(0).text.isEmpty());
        QCOMPARE(hooks->warnings.at(0).buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
    }

    void hiddenColumnIsLeftOutOfCollectedText() {
        MessageViewer twoColumns(QStringList{QStringLiteral("Level"), QStringLiteral("Text")});
        auto* twoTree = twoColumns.findChild<QTreeWidget*>();
        twoColumns.messageHandler(Info, QStringLiteral("one text for two columns")); // ignored
        QCOMPARE(twoTree->topLevelItemCount(), 0);
        auto* item =
            new QTreeWidgetItem(twoTree, QStringList{QStringLiteral("INFO"), QStringLiteral("hello")});
        Q_UNUSED(item);
        QCOMPARE(twoColumns.collectText(true), QStringLiteral("INFO | hello\n"));

        QAction toggle;
        toggle.setData(0);
        connect(&toggle, &QAction::toggled, &twoColumns, &MessageViewer::columnHandler);
        toggle.setCheckable(true);
        toggle.setChecked(true);
        toggle.setChecked(false);
        QCOMPARE(twoColumns.collectText(true), QStringLiteral("hello\n"));
        toggle.setChecked(true);
        QCOMPARE(twoColumns.collectText(true), QStringLiteral("INFO | hello\n"));
    }

    void clearRemovesAllRows() {
        addRows(3);
        actionNamed(viewer.get(), QStringLiteral("Clear"))->trigger();
        QCOMPARE(tree->topLevelItemCount(), 0);
        addRows(1);
        QCOMPARE(viewer->collectText(true), QStringLiteral("row 0\n"));
    }

    void closingOnlyHidesAndKeepsRows() {
        addRows(2);
        viewer->show();
        QVERIFY(viewer->isVisible());
        QVERIFY(!viewer->close());
        QVERIFY(!viewer->isVisible());
        viewer->show();
        actionNamed(viewer.get(), QStringLiteral("&Close Window"))->trigger();
        QVERIFY(!viewer->isVisible());
        viewer->show();
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
#include "MessageViewerTest.moc"
