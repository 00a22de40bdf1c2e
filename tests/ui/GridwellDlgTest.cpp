#include "GridwellDlg.h"
#include "ExcelWrite.h"
#include "FakeUiHooks.h"
#include "HelpLauncher.h"
#include "MessageViewer.h"
#include "MessageWatcher.h"
#include "QsLog.h"
#include "QsLogDest.h"

#ifdef GRIDWELL_HAS_SPREADSHEET_SERVER
#include "SpreadsheetServer.h"
#endif

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QGroupBox>
#include <QLineEdit>
#include <QProcess>
#include <QPushButton>
#include <QRadioButton>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include <memory>

using namespace QsLogging;

namespace {

QStringList loggedLines;
void captureLine(const QString& line, Level) {
    loggedLines.append(line);
}

const QStringList arrangementTexts{"Timesteps / Slots / Runs", "Timesteps / Runs / Slots",
                                   "Slots / Timesteps / Runs", "Slots / Runs / Timesteps",
                                   "Runs / Timesteps / Slots", "Runs / Slots / Timesteps"};

// The form as designed: object name, class, parent and shown text.
const char* const formWidgets[][4] = {
    {"_sourcePvxFrame", "QGroupBox", "centralwidget", "Source PVX File"},
    {"_sourcePvxLineEdit", "QLineEdit", "_sourcePvxFrame", ""},
    {"_sourcePvxButton", "QPushButton", "_sourcePvxFrame", "Select..."},
    {"_orientationFrame", "QGroupBox", "centralwidget", "Result Workbook"},
    {"_resultWorkbookLineEdit", "QLineEdit", "_orientationFrame", ""},
    {"_resulWorkbookButton", "QPushButton", "_orientationFrame", "Select..."},
    {"_configGroupBox", "QGroupBox", "_orientationFrame", "Workbook Orientation"},
    {"_orientationLabel", "QLabel", "_configGroupBox", "Rows / Columns / Worksheets"},
    {"_configurationComboBox", "QComboBox", "_configGroupBox", ""},
    {"_alternateNameCheckBox", "QCheckBox", "_orientationFrame",
     "Use Automatically Shortened Slot Names in Result Data Sheets"},
    {"_slotLabelGroupBox", "QGroupBox", "_orientationFrame", "Slot Labels for Sheet Tabs"},
    {"_indexNameRadioButton", "QRadioButton", "_slotLabelGroupBox", "Slot Index Labels (Slot0, Slot1, etc.)"},
    {"_completeNameRadioButton", "QRadioButton", "_slotLabelGroupBox",
     "Slot Names from PVX File (truncated to 31 characters)"},
    {"_altNameRadioButton", "QRadioButton", "_slotLabelGroupBox",
     "Automatically Shortened Slot Names from PVX File"},
    {"_buttonFrame", "QFrame", "centralwidget", ""},
    {"_okButton", "QPushButton", "_buttonFrame", "Create Workbook"},
    {"_diagButton", "QPushButton", "_buttonFrame", "Show Diagnostics"},
    {"_helpButton", "QPushButton", "_buttonFrame", "Help"},
    {"_cancelButton", "QPushButton", "_buttonFrame", "Cancel"},
};

} // namespace

class GridwellDlgTest : public QObject {
    Q_OBJECT

    std::unique_ptr<FakeUiHooks> hooks;
    std::unique_ptr<ExcelWrite> writer;
    std::unique_ptr<GridwellDlg> window;
    DestinationPtr capture;
    QTemporaryDir dir;

    template <typename T = QWidget> T* child(const char* name) {
        T* widget = window->findChild<T*>(QString::fromLatin1(name));
        if (!widget)
            qWarning("missing widget %s", name);
        return widget;
    }
    QComboBox* box() { return child<QComboBox>("_configurationComboBox"); }
    QLineEdit* sourceEdit() { return child<QLineEdit>("_sourcePvxLineEdit"); }
    QLineEdit* resultEdit() { return child<QLineEdit>("_resultWorkbookLineEdit"); }
    bool shown(const char* name) { return child(name)->isVisibleTo(window.get()); }
    void click(const char* button) { child<QPushButton>(button)->click(); }
    // Both paths through environment references, which the window substitutes.
    void fillPaths() {
        qputenv("GRIDWELL_TEST_FOLDER", dir.path().toUtf8());
        sourceEdit()->setText(QStringLiteral("${GRIDWELL_TEST_FOLDER}/run1.pvx"));
        resultEdit()->setText(QStringLiteral("$(GRIDWELL_TEST_FOLDER)/out/book.xlsx"));
    }
    // One parentless warning box with an OK button, and its text logged as an error.
    bool warnedOnce(const QString& title) {
        if (hooks->warnings.size() != 1 || loggedLines.isEmpty())
            return false;
        const FakeUiHooks::Warning& box = hooks->warnings.first();
        return box.title == title && box.parentless &&
               box.buttons == QMessageBox::StandardButtons(QMessageBox::Ok) &&
               box.defaultButton == QMessageBox::NoButton && loggedLines.last().startsWith("ERROR ") &&
               loggedLines.last().endsWith(QLatin1Char('"') + box.text + QStringLiteral("\" "));
    }

private Q_SLOTS:
    void initTestCase() {
        qRegisterMetaType<QsLogging::Level>("QsLogging::Level");
        QFile source(dir.filePath(QStringLiteral("run1.pvx")));
        QVERIFY(source.open(QIODevice::WriteOnly));
        source.write("not a pvx file\n");
    }

    void init() {
        loggedLines.clear();
        hooks = std::make_unique<FakeUiHooks>();
        capture = DestinationFactory::MakeFunctorDestination(&captureLine);
        Logger::instance().addDestination(capture);
        Logger::instance().setLoggingLevel(Warn);
        writer = std::make_unique<ExcelWrite>();
        window = std::make_unique<GridwellDlg>(writer.get());
        QCOMPARE(Logger::instance().loggingLevel(), Trace); // the window turns verbose logging on
    }

    void cleanup() {
        window.reset();
        writer.reset();
        Logger::instance().removeDestination(capture);
        hooks.reset();
    }

    void formHasItsWidgetTreeTextsAndDefaults() {
        for (const auto& row : formWidgets) {
            QWidget* widget = child(row[0]);
            QVERIFY2(widget, row[0]);
            QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), QString::fromLatin1(row[1]));
            QCOMPARE(widget->parentWidget()->objectName(), QString::fromLatin1(row[2]));
            const char* property = qobject_cast<QGroupBox*>(widget) ? "title" : "text";
            QCOMPARE(widget->property(property).toString(), QString::fromUtf8(row[3]));
        }
        QCOMPARE(window->windowTitle(), QStringLiteral("PVX to Excel Writer (v1.4)"));
        QCOMPARE(window->size(), QSize(425, 431));
        QStringList items;
        for (int i = 0; i < box()->count(); ++i)
            items << box()->itemText(i);
        QCOMPARE(items, arrangementTexts);
        QCOMPARE(box()->currentIndex(), 1);
        QVERIFY(child<QRadioButton>("_altNameRadioButton")->isChecked());
        QVERIFY(!child<QCheckBox>("_alternateNameCheckBox")->isChecked());
    }

    // Slot labels are chosen by radio buttons only where slots name the worksheets.
    void slotLabelControlsFollowTheArrangement() {
        QVERIFY(shown("_slotLabelGroupBox"));
        QVERIFY(!shown("_alternateNameCheckBox"));
        child<QRadioButton>("_indexNameRadioButton")->setChecked(true);
        for (int index : {0, 1, 2, 3, 4, 5, 4, 3}) {
            box()->setCurrentIndex(index);
            const bool groupShown = index == 1 || index == 4;
            QCOMPARE(shown("_slotLabelGroupBox"), groupShown);
            QCOMPARE(shown("_alternateNameCheckBox"), !groupShown);
            if (index == 2)
                child<QCheckBox>("_alternateNameCheckBox")->setChecked(true); // kept while hidden
        }
        QVERIFY(child<QRadioButton>("_indexNameRadioButton")->isChecked());
        QVERIFY(child<QCheckBox>("_alternateNameCheckBox")->isChecked());
    }

    void createWorkbookConfiguresTheWriter_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<bool>("shortened");
        QTest::addColumn<QString>("radio");
        QTest::addColumn<int>("preference");
        const auto row = [](const char* tag, int index, bool shortened, const char* radio, int preference) {
            QTest::newRow(tag) << index << shortened << QString::fromLatin1(radio) << preference;
        };
        row("check box unchecked", 0, false, "", Full);
        row("check box checked", 3, true, "", Short);
        row("check box wins over radios", 5, false, "_indexNameRadioButton", Full);
        row("index radio", 1, false, "_indexNameRadioButton", Index);
        row("complete radio", 4, true, "_completeNameRadioButton", Full);
        row("shortened radio", 1, false, "_altNameRadioButton", Short);
    }

    void createWorkbookConfiguresTheWriter() {
        QFETCH(int, index);
        QFETCH(bool, shortened);
        QFETCH(QString, radio);
        QFETCH(int, preference);
        box()->setCurrentIndex(index);
        child<QCheckBox>("_alternateNameCheckBox")->setChecked(shortened);
        if (!radio.isEmpty())
            child<QRadioButton>(qPrintable(radio))->setChecked(true);
        fillPaths();
        click("_okButton");

        QCOMPARE(writer->slotLabelPreferenceValue(), preference);
        ExcelWrite expected;
        expected.setOrientation(index);
        expected.setWorkbookName(dir.filePath(QStringLiteral("out/book.xlsx")));
        const auto roles = [](const ExcelWrite& w) {
            return QList<int>{w.slotRoleValue(), w.runRoleValue(), w.timestepRoleValue()};
        };
        QCOMPARE(roles(*writer), roles(expected));
        QCOMPARE(writer->workbookPathValue(), expected.workbookPathValue());
        QVERIFY(!QApplication::overrideCursor());
        // This source is no PVX file: the conversion itself fails, and can be tried again.
        QVERIFY(warnedOnce(QStringLiteral("Excel Write Error")));
        click("_okButton");
        QCOMPARE(hooks->warnings.size(), 2);
        QCOMPARE(hooks->warnings.at(1).text, hooks->warnings.at(0).text);
    }

    void noCheckedSlotLabelButtonIsRefused() {
        for (const char* name :
             {"_indexNameRadioButton", "_completeNameRadioButton", "_altNameRadioButton"}) {
            child<QRadioButton>(name)->setAutoExclusive(false);
            child<QRadioButton>(name)->setChecked(false);
        }
        fillPaths();
        click("_okButton");
        QVERIFY(warnedOnce(QStringLiteral("Excel Write Configuration Error")));
        QCOMPARE(hooks->warnings.at(0).text, QStringLiteral("Unknown slot label type"));
    }

    void refusalsAreLoggedAndShown_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("result");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        const auto row = [](const char* tag, const QString& source, const QString& result, const char* title,
                            const char* text) {
            QTest::newRow(tag) << source << result << QString(title) << QString(text);
        };
        const QString unset = QStringLiteral("$GRIDWELL_TEST_SURELY_UNSET_VARIABLE/x");
        const char* incomplete = "Source or Result File name is not specified";
        row("empty source", "", "b.xlsx", "Incomplete Information", incomplete);
        row("empty result", "a.pvx", "", "Incomplete Information", incomplete);
        row("source variable", unset, "b.xlsx", "Information Error",
            "Source PVX file environment variables could not be substituted");
        row("result variable", "a.pvx", unset, "Information Error",
            "Result workbook file environment variables could not be substituted");
        row("missing source", "/nonexistent-folder/a.pvx", "b.xlsx", "Excel Write Configuration Error",
            "No such file or directory");
        row("blank source is not empty", "   ", "b.xlsx", "Excel Write Configuration Error",
            "No such file or directory");
    }

    void refusalsAreLoggedAndShown() {
        QFETCH(QString, source);
        QFETCH(QString, result);
        QFETCH(QString, title);
        QFETCH(QString, text);
        sourceEdit()->setText(source);
        resultEdit()->setText(result);
        click("_okButton");
        QVERIFY(warnedOnce(title));
        QCOMPARE(hooks->warnings.at(0).text, text);
        QCOMPARE(loggedLines.size(), 1);
        QCOMPARE(writer->deviceValue(), nullptr); // refused before the writer was touched
    }

    // Each dialog opens where the last file was chosen; a cancelled one changes nothing.
    void fileDialogsFillTheFields_data() {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("result");
        QTest::addColumn<QString>("folder");
        const auto row = [](const char* tag, const char* answer, const char* result, const char* folder) {
            QTest::newRow(tag) << QString(answer) << QString(result) << QString(folder);
        };
        row("extension replaced", "/data/run1.pvx", "/data/run1.xlsx", "/data");
        row("full stop in folder only", "/my.dir/run1", "/my.dir/run1.xlsx", "/my.dir");
        row("name that is all extension", "/data/.pvx", "previous", "/data");
    }

    void fileDialogsFillTheFields() {
        QFETCH(QString, answer);
        QFETCH(QString, result);
        QFETCH(QString, folder);
        resultEdit()->setText(QStringLiteral("previous"));
        hooks->fileAnswers << answer << QString() << QStringLiteral("/books/out.xls");
        click("_sourcePvxButton");
        QCOMPARE(sourceEdit()->text(), answer);
        QCOMPARE(resultEdit()->text(), result);
        click("_resulWorkbookButton"); // cancelled
        QCOMPARE(resultEdit()->text(), result);
        click("_resulWorkbookButton");
        QCOMPARE(resultEdit()->text(), QStringLiteral("/books/out.xls"));
        click("_sourcePvxButton"); // cancelled
        QCOMPARE(sourceEdit()->text(), answer);

        const QList<FakeUiHooks::FileRequest>& asked = hooks->fileRequests;
        QCOMPARE(asked.size(), 4);
        const QStringList folders{asked[0].folder, asked[1].folder, asked[2].folder, asked[3].folder};
        QCOMPARE(folders, (QStringList{QString(), folder, folder, QStringLiteral("/books")}));
        for (int i : {0, 3}) {
            QCOMPARE(asked[i].caption, QStringLiteral("Source PVX File"));
            QCOMPARE(asked[i].filter, QStringLiteral("PVX Files (*.pvx *.out);;All Files (*)"));
            QCOMPARE(asked[i].selectedFilter, QStringLiteral("PVX Files (*.pvx *.out)"));
        }
        QCOMPARE(asked[2].caption, QStringLiteral("Result Workbook File"));
        QCOMPARE(asked[2].filter, QStringLiteral("Excel Files (*.xl*);;All Files (*)"));
        QCOMPARE(asked[2].selectedFilter, QStringLiteral("Excel Files (*.xl*)"));
        for (const FakeUiHooks::FileRequest& request : asked)
            QCOMPARE(request.options, QFileDialog::Options(QFileDialog::DontConfirmOverwrite));
    }

    void diagnosticsWindowShowsLoggedMessagesAndCloses() {
        QPointer<UtilsNS::MessageViewer> diagnostics = window->diagnostics();
        QVERIFY(diagnostics && !diagnostics->isVisible());
        QCOMPARE(diagnostics->windowTitle(), QStringLiteral("PVX to Excel Writer Diagnostics"));
        auto* tree = diagnostics->findChild<QTreeWidget*>();
        QCOMPARE(tree->headerItem()->text(0), QStringLiteral("Diagnostic Messages"));

        DestinationPtr feed = DestinationFactory::MakeFunctorDestination(&UtilsNS::watcherLogFunction);
        Logger::instance().addDestination(feed);
        click("_okButton"); // empty fields: one error
        Logger::instance().removeDestination(feed);
        QCoreApplication::sendPostedEvents();
        QCOMPARE(tree->topLevelItemCount(), 1);
        QCOMPARE(tree->topLevelItem(0)->text(0),
                 QStringLiteral("ERROR \"Source or Result File name is not specified\" "));

        window->show();
        click("_diagButton");
        QVERIFY(diagnostics->isVisible());
        click("_cancelButton"); // closing the window deletes its diagnostics window
        QVERIFY(!window->isVisible());
        QVERIFY(diagnostics.isNull());
        QCOMPARE(window->diagnostics(), nullptr);
        click("_diagButton"); // and the button then does nothing
    }

    void helpOpensThePageBesideTheExecutable() {
        click("_helpButton");
        const QString folder = QCoreApplication::applicationDirPath();
        QCOMPARE(loggedLines.size(), 1);
        QVERIFY(loggedLines.first().startsWith(QStringLiteral("INFO  ")));
        QVERIFY2(loggedLines.first().endsWith(
                     QStringLiteral(" \"Opening help file file:///%1/Help-Gridwell/GridwellHelp.html\" ")
                         .arg(folder)),
                 qPrintable(loggedLines.first()));
        QCOMPARE(hooks->openedUrls, QList<QUrl>{QUrl::fromLocalFile(
                                        folder + QStringLiteral("/Help-Gridwell/GridwellHelp.html"))});
    }

    void helpAddressIsQuotedAroundWhiteSpace() {
        QCOMPARE(helpPageAddress(QStringLiteral("C:/Tools/App")),
                 QStringLiteral("file:///C:/Tools/App/Help-Gridwell/GridwellHelp.html"));
        QCOMPARE(helpPageAddress(QStringLiteral("C:/Program Files/App")),
                 QStringLiteral("\"file:///C:/Program Files/App/Help-Gridwell/GridwellHelp.html\""));
        // The browser gets the page without the quotes.
        QVERIFY(openInBrowser(helpPageAddress(QStringLiteral("/opt/My Apps"))).isEmpty());
        QCOMPARE(hooks->openedUrls.size(), 1);
        QCOMPARE(hooks->openedUrls.first().toLocalFile(),
                 QStringLiteral("/opt/My Apps/Help-Gridwell/GridwellHelp.html"));
    }

    // A real PVX file through the writer into a workbook, read back with openpyxl.
    void createWorkbookConvertsTheSample() {
#ifndef GRIDWELL_HAS_SPREADSHEET_SERVER
        QSKIP("no spreadsheet server in this build");
#else
        registerSpreadsheetServer();
        const auto unregister = qScopeGuard(&unregisterSpreadsheetServer);
        const QString workbook = dir.filePath(QStringLiteral("study.xlsx"));
        sourceEdit()->setText(QStringLiteral(GRIDWELL_EXAMPLES_DIR "/upper-basin-study.pvx"));
        resultEdit()->setText(workbook);
        child<QRadioButton>("_indexNameRadioButton")->setChecked(true);
        click("_okButton");
        QCOMPARE(hooks->warnings.size(), 1);
        QCOMPARE(hooks->warnings.at(0).title, QStringLiteral("Excel Write"));
        QCOMPARE(hooks->warnings.at(0).text, QStringLiteral("Workbook write successfully completed!"));
        QVERIFY(loggedLines.last().startsWith(QStringLiteral("INFO  ")));
        QVERIFY(loggedLines.last().endsWith(QStringLiteral(" \"Workbook write successfully completed!\" ")));

        QProcess python; // prints the sheet names, then the first data sheet's B1 and row count
        python.start(
            QStringLiteral("/usr/bin/python3"),
            {QStringLiteral("-c"),
             QStringLiteral("import sys, openpyxl; wb = openpyxl.load_workbook(sys.argv[1]); ws = "
                            "wb.worksheets[1]; print(*wb.sheetnames, ws['B1'].value, ws.max_row, sep='\\n')"),
             workbook});
        QVERIFY(python.waitForFinished(60000));
        QVERIFY2(python.exitCode() == 0, python.readAllStandardError().constData());
        const QStringList read =
            QString::fromUtf8(python.readAllStandardOutput()).split('\n', Qt::SkipEmptyParts);
        QVERIFY(writer->slotIndexLabels.size() >= 2);
        const QStringList sheets = QStringList{QStringLiteral("Header")} + writer->slotIndexLabels;
        QCOMPARE(read, sheets + QStringList({"Run0", "37"})); // a heading row and 36 months
#endif
    }
};

QTEST_MAIN(GridwellDlgTest)
#include "GridwellDlgTest.moc"
