#include "ExcelWrite.h"
#include "GridwellDlg.h"
#include "MessageViewer.h"
#include "QsLog.h"
#include "StartUp.h"

#include <QApplication>
#include <QPushButton>
#include <QTimer>
#include <QtTest>

using namespace QsLogging;

// The program's start-up steps and its window mode, in process.
class WindowModeTest : public QObject {
    Q_OBJECT

private Q_SLOTS:
    void startLoggingPreparesTheDiagnosticsFeed() {
        QVERIFY(!Logger::instance().hasDestinationOfType("functor"));
        startLogging();
        QVERIFY(QMetaType::fromName("QsLogging::Level").isValid());
        QCOMPARE(Logger::instance().loggingLevel(), Trace);
        QVERIFY(Logger::instance().hasDestinationOfType("functor"));
    }

    void windowModeRunsUntilTheWindowCloses() {
        ExcelWrite writer;
        bool shownWithHiddenDiagnostics = false;
        // Answers the running window the way a user would: look, then press Cancel.
        QTimer::singleShot(0, [&] {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                if (auto* window = qobject_cast<GridwellDlg*>(widget)) {
                    shownWithHiddenDiagnostics =
                        window->isVisible() && window->diagnostics() && !window->diagnostics()->isVisible();
                    window->findChild<QPushButton*>(QStringLiteral("_cancelButton"))->click();
                    return;
                }
            }
            QCoreApplication::quit(); // nothing to close: end the loop, the checks below fail
        });
        QCOMPARE(runWindowMode(writer), 0);
        QVERIFY(shownWithHiddenDiagnostics);
        for (QWidget* widget : QApplication::topLevelWidgets()) // the window and its diagnostics are gone
            QVERIFY(!qobject_cast<GridwellDlg*>(widget) && !qobject_cast<UtilsNS::MessageViewer*>(widget));
    }
};

QTEST_MAIN(WindowModeTest)
#include "tst_window_mode.moc"
