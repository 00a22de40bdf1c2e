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
        QString title;
        bool diagnosticsHidden = false;
        bool shown = false;
        // Answers the running window the way a user would: look, then press Cancel.
        QTimer::singleShot(0, [&] {
            GridwellDlg* window = nullptr;
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                if (!window)
                    window = qobject_cast<GridwellDlg*>(widget);
            }
            if (!window) {
                QCoreApplication::quit(); // nothing to close: end the loop, the checks below fail
                return;
            }
            shown = window->isVisible();
            title = window->windowTitle();
            diagnosticsHidden = window->diagnostics() && !window->diagnostics()->isVisible();
            window->findChild<QPushButton*>(QStringLiteral("_cancelButton"))->click();
        });
        QCOMPARE(runWindowMode(writer), 0);
        QVERIFY(shown);
        QCOMPARE(title, QStringLiteral("PVX to Excel Writer (v1.4)"));
        QVERIFY(diagnosticsHidden);
        // The window and its diagnostics window are gone.
        for (QWidget* widget : QApplication::topLevelWidgets()) {
            QVERIFY(!qobject_cast<GridwellDlg*>(widget));
            QVERIFY(!qobject_cast<UtilsNS::MessageViewer*>(widget));
        }
    }
};

QTEST_MAIN(WindowModeTest)
#include "WindowModeTest.moc"
