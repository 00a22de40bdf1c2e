// Renders the main window (idle and converting), the success box and the diagnostics
// window to PNG files for the documentation.
// Usage: ui_screenshots <output folder> [sample.pvx]
// Run under QT_QPA_PLATFORM=offscreen; scripts/screenshots.sh does.

#include "ExcelWrite.h"
#include "GridwellDlg.h"
#include "MessageViewer.h"
#include "MessageWatcher.h"
#include "QsLog.h"
#include "QsLogDest.h"
#include "SlotPreview.h"
#include "SpreadsheetServer.h"
#include "StudyPanel.h"
#include "StudyReading.h"
#include "UiHooks.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QLineEdit>
#include <QListWidget>
#include <QProgressBar>
#include <QPushButton>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTemporaryDir>
#include <QTextStream>

namespace {

bool save(QWidget* widget, const QString& path) {
    QCoreApplication::processEvents();
    QCoreApplication::processEvents();
    const bool saved = widget->grab().save(path, "PNG");
    QTextStream(stdout) << (saved ? "wrote " : "could not write ") << path << Qt::endl;
    return saved;
}

} // namespace

int main(int argc, char* argv[]) {
    QApplication application(argc, argv);
    if (argc < 2) {
        QTextStream(stderr) << "usage: ui_screenshots <output folder> [sample.pvx]" << Qt::endl;
        return 2;
    }
    const QDir output(QString::fromLocal8Bit(argv[1]));
    const QString sample =
        argc > 2 ? QFileInfo(QString::fromLocal8Bit(argv[2])).absoluteFilePath() : QString();

    // No modal box and no browser: the pictures only need what the handlers log, and the
    // success box as the window builds it.
    UtilsNS::uiHooks().warning = [](QWidget*, const QString&, const QString&, QMessageBox::StandardButtons,
                                    QMessageBox::StandardButton) { return QMessageBox::Ok; };
    UtilsNS::uiHooks().openUrl = [](const QUrl&, QObject*, const UtilsNS::UiHooks::OpenDone& done) {
        done(QString());
    };
    bool boxSaved = false;
    UtilsNS::uiHooks().information = [&](QWidget* parent, const QString& title, const QString& text,
                                         const QStringList& extraButtons) {
        QMessageBox box(QMessageBox::Information, title, text, QMessageBox::Ok, parent);
        for (const QString& label : extraButtons)
            box.addButton(label, QMessageBox::ActionRole);
        box.show();
        boxSaved = save(&box, output.filePath(QStringLiteral("success-box.png")));
        return -1;
    };

    registerSpreadsheetServer();
    qRegisterMetaType<QsLogging::Level>("QsLogging::Level");
    QsLogging::Logger::instance().setLoggingLevel(QsLogging::Trace);
    QsLogging::Logger::instance().addDestination(
        QsLogging::DestinationFactory::MakeFunctorDestination(&UtilsNS::watcherLogFunction));

    ExcelWrite writer;
    GridwellDlg window(&writer);
    window.show();

    // A short session: a missing source, a help request and, given a sample, a conversion.
    QTemporaryDir scratch;
    auto* source = window.findChild<QLineEdit*>(QStringLiteral("_sourcePvxLineEdit"));
    auto* result = window.findChild<QLineEdit*>(QStringLiteral("_resultWorkbookLineEdit"));
    auto* ok = window.findChild<QPushButton*>(QStringLiteral("_okButton"));
    source->setText(QStringLiteral("/data/missing-study.pvx"));
    result->setText(scratch.filePath(QStringLiteral("missing-study.xlsx")));
    ok->click();
    window.findChild<QPushButton*>(QStringLiteral("_helpButton"))->click();
    bool saved = true;
    if (!sample.isEmpty()) {
        // The window in the middle of a conversion: grabbed when the progress first moves.
        source->setText(sample);
        result->setText(scratch.filePath(QStringLiteral("upper-basin-study.xlsx")));
        auto* progress = window.statusBar()->findChild<QProgressBar*>();
        bool progressSaved = false;
        QObject::connect(progress, &QProgressBar::valueChanged, &window, [&](int value) {
            if (!progressSaved && value > progress->maximum() / 3) {
                progressSaved = true;
                saved = save(&window, output.filePath(QStringLiteral("main-window-converting.png")));
            }
        });
        QSignalSpy ended(&window, &GridwellDlg::conversionEnded);
        ok->click();
        ended.wait(60000);
        saved = saved && progressSaved && boxSaved;
    }
    QCoreApplication::processEvents();

    // The study panel with the sample read, a few slots chosen and one slot's preview.
    if (!sample.isEmpty()) {
        auto* panel = window.findChild<StudyPanel*>();
        QSignalSpy read(panel, &StudyPanel::contentsRead);
        panel->setSourceFile(sample);
        saved = read.wait(10000) && saved;
        auto* slotList = panel->findChild<QListWidget*>(QStringLiteral("_slotList"));
        for (int row : {0, 2, 5})
            slotList->item(row)->setCheckState(Qt::Unchecked);
        QSignalSpy shown(panel, &StudyPanel::previewShown);
        slotList->setCurrentRow(1);
        saved = shown.wait(10000) && saved;
        // Wide enough for the slot names and the preview's axes.
        const QSize before = window.size();
        window.resize(1040, 760);
        panel->preview()->show(readSlotSeries(sample, 1, {0, 1, 2}), QStringLiteral("Cedar Lake.Outflow"));
        saved = save(&window, output.filePath(QStringLiteral("study-panel.png"))) && saved;
        window.resize(before);
    }

    // The main window as a user would leave it before converting.
    source->setText(QStringLiteral("/home/user/studies/upper-basin-study.pvx"));
    result->setText(QStringLiteral("/home/user/studies/upper-basin-study.xlsx"));
    saved = save(&window, output.filePath(QStringLiteral("main-window.png"))) && saved;

    window.findChild<QPushButton*>(QStringLiteral("_diagButton"))->click();
    saved = save(window.diagnostics(), output.filePath(QStringLiteral("diagnostics-window.png"))) && saved;
    return saved ? 0 : 1;
}
