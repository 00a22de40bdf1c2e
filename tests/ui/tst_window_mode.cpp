#include "ExcelWrite.h"
#include "FakeUiHooks.h"
#include "GridwellDlg.h"
#include "MessageViewer.h"
#include "QsLog.h"
#include "SpreadsheetServer.h"
#include "StartUp.h"
#include "StudyFile.h"

#include <QApplication>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
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

    // A file handed over by a launcher is the source of the next window only, with its result
    // proposed from it.
    void aStartSourceFillsTheNextWindow() {
        ExcelWrite writer;
        GridwellDlg::setStartSource(QStringLiteral("studies/basin.pvx"));
        const auto field = [](GridwellDlg& window, const char* name) {
            return window.findChild<QLineEdit*>(QString::fromLatin1(name))->text();
        };
        GridwellDlg first(&writer);
        QCOMPARE(field(first, "_sourcePvxLineEdit"),
                 QDir::current().filePath(QStringLiteral("studies/basin.pvx")));
        QCOMPARE(field(first, "_resultWorkbookLineEdit"),
                 QDir::current().filePath(QStringLiteral("studies/basin.xlsx")));
        GridwellDlg second(&writer);
        QCOMPARE(field(second, "_sourcePvxLineEdit"), QString());
    }

    // Cancel during a conversion stops it and ends the window mode, with nothing shown after.
    void cancelDuringAConversionEndsTheWindowMode() {
        registerSpreadsheetServer();
        const auto unregister = qScopeGuard(&unregisterSpreadsheetServer);
        FakeUiHooks hooks;
        QTemporaryDir dir;
        const QString source = dir.filePath(QStringLiteral("s.pvx"));
        QVERIFY(writeStudy(source, 10, 60, 365));
        ExcelWrite writer;
        bool wasConverting = false;
        QTimer::singleShot(0, [&] {
            for (QWidget* widget : QApplication::topLevelWidgets()) {
                if (auto* window = qobject_cast<GridwellDlg*>(widget)) {
                    window->findChild<QLineEdit*>(QStringLiteral("_sourcePvxLineEdit"))->setText(source);
                    window->findChild<QLineEdit*>(QStringLiteral("_resultWorkbookLineEdit"))
                        ->setText(dir.filePath(QStringLiteral("s.xlsx")));
                    window->findChild<QPushButton*>(QStringLiteral("_okButton"))->click();
                    wasConverting = window->converting();
                    window->findChild<QPushButton*>(QStringLiteral("_cancelButton"))->click();
                    return;
                }
            }
            QCoreApplication::quit();
        });
        // A loop that does not end with its window is ended here, and the checks below fail.
        bool endedByGuard = false;
        QTimer guard;
        guard.setSingleShot(true);
        connect(&guard, &QTimer::timeout, [&] {
            endedByGuard = true;
            QCoreApplication::quit();
        });
        guard.start(30000);
        QCOMPARE(runWindowMode(writer), 0);
        QVERIFY(wasConverting);
        QVERIFY(!endedByGuard);
        QCOMPARE(hooks.warnings.size(), 0);
        QCOMPARE(hooks.informations.size(), 0);
        QVERIFY(!QFile::exists(dir.filePath(QStringLiteral("s.xlsx"))));
    }
};

QTEST_MAIN(WindowModeTest)
#include "tst_window_mode.moc"
