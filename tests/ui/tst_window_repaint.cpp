// The real window on a real X server (run under xvfb-run): while it converts a study of some
// 700,000 values, it keeps painting, because the conversion runs beside it.
#include "ExcelWrite.h"
#include "FakeUiHooks.h"
#include "GridwellDlg.h"
#include "SpreadsheetServer.h"
#include "StudyFile.h"

#include <QApplication>
#include <QDate>
#include <QLineEdit>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

namespace {

// Counts the paint events that reach the window and its children.
class PaintCounter : public QObject {
public:
    int paints = 0;
    bool eventFilter(QObject*, QEvent* event) override {
        if (event->type() == QEvent::Paint)
            ++paints;
        return false;
    }
};

} // namespace

class WindowRepaintTest : public QObject {
    Q_OBJECT
private Q_SLOTS:
    void paintsWhileConverting() {
        QCOMPARE(QGuiApplication::platformName(), QStringLiteral("xcb"));
        registerSpreadsheetServer();
        FakeUiHooks hooks;
        QTemporaryDir dir;
        const QString source = dir.filePath(QStringLiteral("m.pvx"));
        QVERIFY(writeStudy(source, 20, 100, 365));

        ExcelWrite writer;
        GridwellDlg window(&writer);
        window.show();
        QVERIFY(QTest::qWaitForWindowExposed(&window));
        window.findChild<QLineEdit*>(QStringLiteral("_sourcePvxLineEdit"))->setText(source);
        window.findChild<QLineEdit*>(QStringLiteral("_resultWorkbookLineEdit"))
            ->setText(dir.filePath(QStringLiteral("m.xlsx")));

        PaintCounter counter;
        for (QWidget* widget : window.findChildren<QWidget*>())
            widget->installEventFilter(&counter);
        // Something asks for a repaint all the time, as a window moved over it would.
        QTimer nudge;
        QObject::connect(&nudge, &QTimer::timeout, &window, [&window] { window.update(); });
        nudge.start(20);

        QSignalSpy ended(&window, &GridwellDlg::conversionEnded);
        QElapsedTimer clock;
        clock.start();
        window.findChild<QPushButton*>(QStringLiteral("_okButton"))->click();
        const int paintsAtStart = counter.paints;
        QVERIFY(ended.wait(300000));
        const double seconds = clock.elapsed() / 1000.0;
        const int paints = counter.paints - paintsAtStart;
        qInfo("conversion took %.2f s; %d paint events meanwhile", seconds, paints);
        QCOMPARE(ended.first().first().toString(), QString());
        QVERIFY2(paints >= 10, qPrintable(QStringLiteral("%1 paints in %2 s").arg(paints).arg(seconds)));
        // Without a window manager nothing activated the window: the box waits for that.
        window.activateWindow();
        QTRY_COMPARE(hooks.informations.size(), 1);
    }
};

QTEST_MAIN(WindowRepaintTest)
#include "tst_window_repaint.moc"
