#include "DesktopOpener.h"
#include "ExcelWrite.h"
#include "FakeUiHooks.h"
#include "GridwellDlg.h"
#include "HelpLauncher.h"
#include "MessageViewer.h"
#include "MessageWatcher.h"
#include "PathDefaults.h"
#include "QsLog.h"
#include "QsLogDest.h"
#include "SpreadsheetServer.h"
#include "StudyFile.h"
#include "StudyPanel.h"
#include "SystemPaths.h"
#include "WorkbookClaim.h"

#include <QApplication>
#include <QCheckBox>
#include <QClipboard>
#include <QComboBox>
#include <QCryptographicHash>
#include <QFileDialog>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QMimeData>
#include <QProgressBar>
#include <QPushButton>
#include <QRadioButton>
#include <QSettings>
#include <QStatusBar>
#include <QSysInfo>
#include <QTemporaryDir>
#include <QTreeWidget>
#include <QtTest>

#include <fcntl.h>
#include <memory>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace QsLogging;

namespace {

QStringList loggedLines;
void captureLine(const QString& line, Level) {
    loggedLines.append(line);
}

QByteArray digestOf(const QString& path) {
    QFile file(path);
    return file.open(QIODevice::ReadOnly)
               ? QCryptographicHash::hash(file.readAll(), QCryptographicHash::Sha256)
               : QByteArray();
}

void dropOn(QWidget* target, const QList<QUrl>& urls) {
    QMimeData data;
    data.setUrls(urls);
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &enter);
    QDropEvent drop(QPointF(5, 5), Qt::CopyAction, &data, Qt::LeftButton, Qt::NoModifier);
    QCoreApplication::sendEvent(target, &drop);
}

const QStringList arrangementTexts{"Timesteps / Slots / Runs", "Timesteps / Runs / Slots",
                                   "Slots / Timesteps / Runs", "Slots / Runs / Timesteps",
                                   "Runs / Timesteps / Slots", "Runs / Slots / Timesteps"};

// The form as designed: object name, class, parent and shown text.
const char* const formWidgets[][4] = {
    {"_sourcePvxFrame", "QGroupBox", "centralwidget", "&Source PVX File"},
    {"_sourcePvxLineEdit", "QLineEdit", "_sourcePvxFrame", ""},
    {"_sourcePvxButton", "QPushButton", "_sourcePvxFrame", "S&elect..."},
    {"_orientationFrame", "QGroupBox", "centralwidget", "&Result Workbook"},
    {"_resultWorkbookLineEdit", "QLineEdit", "_orientationFrame", ""},
    {"_resulWorkbookButton", "QPushButton", "_orientationFrame", "Selec&t..."},
    {"_configGroupBox", "QGroupBox", "_orientationFrame", "Workbook &Orientation"},
    {"_orientationLabel", "QLabel", "_configGroupBox", "Rows / Columns / Worksheets"},
    {"_configurationComboBox", "QComboBox", "_configGroupBox", ""},
    {"_alternateNameCheckBox", "QCheckBox", "_orientationFrame",
     "Use &Automatically Shortened Slot Names in Result Data Sheets"},
    {"_slotLabelGroupBox", "QGroupBox", "_orientationFrame", "Slot &Labels for Sheet Tabs"},
    {"_indexNameRadioButton", "QRadioButton", "_slotLabelGroupBox", "Slot Index Labels (Slot0, Slot1, etc.)"},
    {"_completeNameRadioButton", "QRadioButton", "_slotLabelGroupBox",
     "Slot Names from PVX File (truncated to 31 characters)"},
    {"_altNameRadioButton", "QRadioButton", "_slotLabelGroupBox",
     "Automatically Shortened Slot Names from PVX File"},
    {"_buttonFrame", "QFrame", "centralwidget", ""},
    {"_okButton", "QPushButton", "_buttonFrame", "Create &Workbook"},
    {"_diagButton", "QPushButton", "_buttonFrame", "Show &Diagnostics"},
    {"_helpButton", "QPushButton", "_buttonFrame", "&Help"},
    {"_cancelButton", "QPushButton", "_buttonFrame", "&Cancel"},
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
    // One warning box over the window with an OK button, and its text logged as errors, a row
    // a line.
    bool warnedOnce(const QString& title) {
        if (hooks->warnings.size() != 1 || loggedLines.isEmpty())
            return false;
        const FakeUiHooks::Warning& box = hooks->warnings.first();
        const QString lastLine = box.text.split(QLatin1Char('\n')).last();
        return box.title == title && box.parent == window.get() &&
               box.buttons == QMessageBox::StandardButtons(QMessageBox::Ok) &&
               box.defaultButton == QMessageBox::NoButton && loggedLines.last().startsWith("ERROR ") &&
               loggedLines.last().endsWith(QLatin1Char('"') + lastLine + QStringLiteral("\" ")) &&
               box.text == box.text.trimmed();
    }

    // The Alt letters of the controls that are shown and enabled.
    QStringList mnemonics() {
        QStringList letters;
        for (QWidget* widget : window->findChildren<QWidget*>()) {
            if (!widget->isVisibleTo(window.get()) || !widget->isEnabled())
                continue;
            QString text;
            if (auto* button = qobject_cast<QAbstractButton*>(widget))
                text = button->text();
            else if (auto* group = qobject_cast<QGroupBox*>(widget))
                text = group->title();
            const qsizetype mark = text.indexOf(QLatin1Char('&'));
            if (mark >= 0 && mark + 1 < text.size())
                letters << text.at(mark + 1).toLower();
        }
        return letters;
    }
    static bool distinct(QStringList letters) {
        const qsizetype count = letters.size();
        letters.removeDuplicates();
        return letters.size() == count;
    }

    // Presses "Create Workbook" and waits for the conversion beside the window to end.
    QString convert() {
        QSignalSpy ended(window.get(), &GridwellDlg::conversionEnded);
        click("_okButton");
        if (!window->converting())
            return QStringLiteral("(not started)");
        if (!ended.wait(120000))
            return QStringLiteral("(did not end)");
        return ended.first().first().toString();
    }

private Q_SLOTS:
    void initTestCase() {
        qRegisterMetaType<QsLogging::Level>("QsLogging::Level");
        // Remembered settings go to this run's own folder.
        QSettings::setPath(QSettings::IniFormat, QSettings::UserScope,
                           dir.filePath(QStringLiteral("settings")));
        QFile source(dir.filePath(QStringLiteral("run1.pvx")));
        QVERIFY(source.open(QIODevice::WriteOnly));
        source.write("not a pvx file\n");
    }

    void init() {
        QFile::remove(dir.filePath(QStringLiteral("settings/Gridwell/Gridwell.ini")));
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
        QCOMPARE(window->windowTitle(), QStringLiteral("PVX to Excel Writer (v1.4) - Gridwell"));
        QVERIFY(!window->windowIcon().isNull());
        // The form's 425 x 431 is where the window starts; it opens as large as its contents ask.
        QVERIFY(window->width() >= 425 && window->height() >= 431);
        QStringList items;
        for (int i = 0; i < box()->count(); ++i)
            items << box()->itemText(i);
        QCOMPARE(items, arrangementTexts);
        QCOMPARE(box()->currentIndex(), 1);
        QVERIFY(child<QRadioButton>("_altNameRadioButton")->isChecked());
        QVERIFY(!child<QCheckBox>("_alternateNameCheckBox")->isChecked());
    }

    // Slot labels are chosen by radio buttons only where slots name the worksheets; changing the
    // arrangement never shrinks the window.
    void slotLabelControlsFollowTheArrangement() {
        QVERIFY(shown("_slotLabelGroupBox"));
        QVERIFY(!shown("_alternateNameCheckBox"));
        window->show();
        window->resize(900, 700);
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
        QCOMPARE(window->size(), QSize(900, 700));
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
        const QString status = convert();

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
        QCOMPARE(status, QStringLiteral("Cannot read package preamble (line 2)"));
        QVERIFY(warnedOnce(QStringLiteral("Excel Write Error")));
        convert();
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
            "Source PVX file environment variables could not be substituted\n\n"
            "$GRIDWELL_TEST_SURELY_UNSET_VARIABLE/x");
        row("result variable", "a.pvx", unset, "Information Error",
            "Result workbook file environment variables could not be substituted\n\n"
            "$GRIDWELL_TEST_SURELY_UNSET_VARIABLE/x");
        row("missing source", "/nonexistent-folder/a.pvx", "b.xlsx", "Excel Write Configuration Error",
            "The source PVX file /nonexistent-folder/a.pvx cannot be opened: No such file or directory.");
        row("blank source is not empty", "   ", "b.xlsx", "Excel Write Configuration Error",
            "The source PVX file     cannot be opened: No such file or directory.");
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
        QCOMPARE(loggedLines.size(), text.split(QLatin1Char('\n'), Qt::SkipEmptyParts).size());
        QCOMPARE(writer->deviceValue(), nullptr); // refused before the writer was touched
    }

    // The source dialog accepts existing files only; each dialog starts at the file in its
    // field, else in the last folder used; a cancelled one changes nothing.
    void fileDialogsFillTheFields_data() {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("result");
        const auto row = [](const char* tag, const char* answer, const char* result) {
            QTest::newRow(tag) << QString(answer) << QString(result);
        };
        row("extension replaced", "/data/run1.pvx", "/data/run1.xlsx");
        row("full stop in folder only", "/my.dir/run1", "/my.dir/run1.xlsx");
        row("name that is all extension", "/data/.pvx", "previous");
    }

    void fileDialogsFillTheFields() {
        QFETCH(QString, answer);
        QFETCH(QString, result);
        resultEdit()->setText(QStringLiteral("previous"));
        const QString existing = dir.filePath(QStringLiteral("run1.pvx"));
        hooks->fileAnswers << answer << QString() << QStringLiteral("/books/out") << QString();
        click("_sourcePvxButton");
        QCOMPARE(sourceEdit()->text(), answer);
        QCOMPARE(resultEdit()->text(), result);
        click("_resulWorkbookButton"); // cancelled
        QCOMPARE(resultEdit()->text(), result);
        click("_resulWorkbookButton"); // a name without extension becomes a workbook name
        QCOMPARE(resultEdit()->text(), QStringLiteral("/books/out.xlsx"));
        sourceEdit()->setText(existing);
        click("_sourcePvxButton"); // cancelled
        QCOMPARE(sourceEdit()->text(), existing);

        const QList<FakeUiHooks::FileRequest>& asked = hooks->fileRequests;
        QCOMPARE(asked.size(), 4);
        // The result dialog proposes the path in the field, made absolute; a missing folder gives way to the
        // last folder used.
        const QString folder = QFileInfo(answer).path();
        const QFileInfo resultInfo(result);
        const QString resultStart = resultInfo.absoluteDir().exists()
                                        ? resultInfo.absoluteFilePath()
                                        : QDir(folder).filePath(resultInfo.fileName());
        QCOMPARE((QStringList{asked[0].folder, asked[1].folder, asked[2].folder, asked[3].folder}),
                 (QStringList{QString(), resultStart, resultStart, existing}));
        for (int i : {0, 3}) {
            QVERIFY(asked[i].open);
            QCOMPARE(asked[i].caption, QStringLiteral("Source PVX File"));
            QCOMPARE(asked[i].filter, QStringLiteral("PVX Files (*.pvx *.out);;All Files (*)"));
            QCOMPARE(asked[i].selectedFilter, QStringLiteral("PVX Files (*.pvx *.out)"));
        }
        for (int i : {1, 2}) {
            QVERIFY(!asked[i].open);
            QCOMPARE(asked[i].caption, QStringLiteral("Result Workbook File"));
            QCOMPARE(asked[i].filter,
                     QStringLiteral("Excel Workbooks (*.xlsx *.xlsm *.xlsb *.xls);;All Files (*)"));
            QCOMPARE(asked[i].selectedFilter, QStringLiteral("Excel Workbooks (*.xlsx *.xlsm *.xlsb *.xls)"));
            QCOMPARE(asked[i].options, QFileDialog::Options(QFileDialog::DontConfirmOverwrite));
        }
    }

    // Qt's own save dialog, answered with Save as it opens: the name it proposes is the path in
    // the field, and choosing the workbook filter keeps that name's extension.
    void resultDialogKeepsTheNameInTheField_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("chosen"); // the name once the workbook filter is chosen
        QTest::newRow("xlsx") << QStringLiteral("study.xlsx") << QStringLiteral("study.xlsx");
        QTest::newRow("xlsm") << QStringLiteral("study.xlsm") << QStringLiteral("study.xlsm");
        // Choosing the workbook filter gives another extension a workbook's, never a pattern.
        QTest::newRow("other extension") << QStringLiteral("study.data") << QStringLiteral("study.xlsx");
    }

    void resultDialogKeepsTheNameInTheField() {
        QFETCH(QString, name);
        QFETCH(QString, chosen);
        UtilsNS::uiHooks().getSaveFileName = hooks->saved.getSaveFileName;
        const QString workbook = dir.filePath(name);
        resultEdit()->setText(workbook);
        QStringList proposals;
        QTimer answer;
        connect(&answer, &QTimer::timeout, this, [&] {
            auto* dialog = qobject_cast<QFileDialog*>(QApplication::activeModalWidget());
            if (!dialog)
                return;
            answer.stop();
            auto* nameField = dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"));
            proposals << (nameField ? nameField->text() : QStringLiteral("(no name field)"));
            dialog->selectNameFilter(dialog->nameFilters().first());
            proposals << (nameField ? nameField->text() : QString());
            static_cast<QDialog*>(dialog)->accept(); // Save, as a user would press it
        });
        answer.start(10);
        click("_resulWorkbookButton");
        QCOMPARE(proposals, (QStringList{name, chosen}));
        QCOMPARE(resultEdit()->text(), dir.filePath(chosen));
    }

    // The last folder, the arrangement and the label choice come back in the next window.
    void choicesAreRemembered() {
        hooks->fileAnswers << QStringLiteral("/data/run1.pvx");
        click("_sourcePvxButton");
        box()->setCurrentIndex(4);
        child<QRadioButton>("_indexNameRadioButton")->setChecked(true);
        window->close();
        window = std::make_unique<GridwellDlg>(writer.get());
        QCOMPARE(box()->currentIndex(), 4);
        QVERIFY(child<QRadioButton>("_indexNameRadioButton")->isChecked());
        click("_sourcePvxButton");
        QCOMPARE(hooks->fileRequests.last().folder, QStringLiteral("/data"));
    }

    // Typing works as well as clicking.
    void typingProposesExpandsAndConverts() {
        QTest::keyClicks(sourceEdit(), QStringLiteral("/studies/basin.pvx"));
        QCOMPARE(resultEdit()->text(), QStringLiteral("/studies/basin.xlsx"));
        resultEdit()->setText(QStringLiteral("/mine/kept.xlsx"));
        QTest::keyClicks(sourceEdit(), QStringLiteral("2"));
        QCOMPARE(resultEdit()->text(), QStringLiteral("/mine/kept.xlsx")); // typed by the user: kept
        QTest::keyClick(sourceEdit(), Qt::Key_Return);                     // Enter converts
        QVERIFY(warnedOnce(QStringLiteral("Excel Write Configuration Error")));
        QCOMPARE(hooks->warnings.first().text,
                 QStringLiteral("The source PVX file /studies/basin.pvx2 cannot be opened: No such file or "
                                "directory."));

        window->show();
        QVERIFY(QTest::qWaitForWindowActive(window.get()) || true);
        sourceEdit()->setFocus();
        sourceEdit()->setText(QStringLiteral("~/study.pvx"));
        resultEdit()->setFocus(); // "~" is the home folder in both fields
        QCOMPARE(sourceEdit()->text(), QDir::homePath() + QStringLiteral("/study.pvx"));
        // Tabbing into the label group lands on the checked choice.
        child<QRadioButton>("_completeNameRadioButton")->setChecked(true);
        box()->setFocus();
        QTest::keyClick(box(), Qt::Key_Tab);
        QTRY_COMPARE(QApplication::focusWidget(), child<QWidget>("_completeNameRadioButton"));
    }

    // Every Alt letter of the controls that can be reached names one control, idle and converting.
    void mnemonicsDoNotClash() {
        registerSpreadsheetServer();
        const auto unregister = qScopeGuard(&unregisterSpreadsheetServer);
        window->show();
        for (int index : {0, 1}) {
            box()->setCurrentIndex(index);
            QVERIFY2(distinct(mnemonics()), qPrintable(mnemonics().join(' ')));
        }
        QCOMPARE(mnemonics().size(), 10);
        const QString source = dir.filePath(QStringLiteral("keys.pvx"));
        QVERIFY(writeStudy(source, 10, 60, 365));
        sourceEdit()->setText(source);
        resultEdit()->setText(dir.filePath(QStringLiteral("keys.xlsx")));
        QSignalSpy ended(window.get(), &GridwellDlg::conversionEnded);
        click("_okButton");
        QVERIFY(window->converting());
        QCOMPARE(mnemonics(), (QStringList{"s", "d", "h", "c"})); // Stop, Show Diagnostics, Help, Cancel
        click("_okButton");
        QVERIFY(ended.wait(60000));
    }

    // Alt+S and Alt+R lead to the path fields, so that typed text lands there, whichever control
    // of the frame had the focus last; Return on a focused button presses it.
    void keyboardLeadsToTheFields() {
        window->show();
        QVERIFY(QTest::qWaitForWindowActive(window.get()));
        box()->setFocus();
        QTest::keyClick(window.get(), Qt::Key_R, Qt::AltModifier);
        QCOMPARE(QApplication::focusWidget(), resultEdit());
        resultEdit()->clear();
        QTest::keyClicks(QApplication::focusWidget(), QStringLiteral("typed.xlsx"));
        QCOMPARE(resultEdit()->text(), QStringLiteral("typed.xlsx"));
        QCOMPARE(box()->currentIndex(), 1);
        child("_sourcePvxButton")->setFocus();
        QTest::keyClick(window.get(), Qt::Key_S, Qt::AltModifier);
        QCOMPARE(QApplication::focusWidget(), sourceEdit());

        sourceEdit()->clear();
        child("_okButton")->setFocus();
        QTest::keyClick(child("_okButton"), Qt::Key_Return);
        QVERIFY(warnedOnce(QStringLiteral("Incomplete Information")));
    }

    // A long path shows its end, where the file name is, and the whole path as its tooltip.
    void longPathsShowTheirEnd() {
        const QString path = QStringLiteral("/") + QStringLiteral("deep folder/").repeated(30) + "study.pvx";
        sourceEdit()->setText(path);
        QCOMPARE(sourceEdit()->toolTip(), path);
        QCOMPARE(sourceEdit()->cursorPosition(), path.size());
        resultEdit()->setText(withExtension(path, QStringLiteral(".xlsx")));
        QCOMPARE(resultEdit()->toolTip(), resultEdit()->text());
        sourceEdit()->setCursorPosition(0); // as a click at its start leaves it
        QFocusEvent leaving(QEvent::FocusOut, Qt::TabFocusReason);
        QCoreApplication::sendEvent(sourceEdit(), &leaving);
        QCOMPARE(sourceEdit()->cursorPosition(), path.size());
    }

    void everyControlHasAnAccessibleNameAndDescription() {
        QList<QWidget*> controls{window->statusBar()->findChild<QProgressBar*>()};
        for (const auto& row : formWidgets)
            if (QString::fromLatin1(row[1]) != QLatin1String("QFrame") &&
                QString::fromLatin1(row[1]) != QLatin1String("QLabel"))
                controls << child(row[0]);
        for (QWidget* control : controls) {
            QVERIFY(control);
            QVERIFY2(!control->accessibleName().isEmpty(), qPrintable(control->objectName()));
            QVERIFY2(!control->accessibleDescription().isEmpty(), qPrintable(control->objectName()));
            QVERIFY2(!control->accessibleName().contains(QLatin1Char('&')),
                     qPrintable(control->objectName()));
        }
    }

    void dropsPutLocalPaths() {
        const QString pvx = dir.filePath(QStringLiteral("dropped.pvx"));
        const QString book = dir.filePath(QStringLiteral("dropped.xlsx"));
        sourceEdit()->setText(QStringLiteral("old text"));
        dropOn(sourceEdit(), {QUrl::fromLocalFile(pvx)});
        QCOMPARE(sourceEdit()->text(), pvx);
        QCOMPARE(resultEdit()->text(), dir.filePath(QStringLiteral("dropped.xlsx")));
        dropOn(resultEdit(), {QUrl::fromLocalFile(dir.filePath(QStringLiteral("other.xlsm")))});
        QCOMPARE(resultEdit()->text(), dir.filePath(QStringLiteral("other.xlsm")));
        dropOn(window.get(), {QUrl::fromLocalFile(book)}); // a workbook goes to the result
        QCOMPARE(resultEdit()->text(), book);
        QCOMPARE(sourceEdit()->text(), pvx);
        dropOn(window.get(), {QUrl::fromLocalFile(dir.filePath(QStringLiteral("second.pvx")))});
        QCOMPARE(sourceEdit()->text(), dir.filePath(QStringLiteral("second.pvx")));
        QCOMPARE(resultEdit()->text(), dir.filePath(QStringLiteral("second.xlsx")));
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
        // The row shows its time and the plain message.
        QVERIFY2(
            QRegularExpression(QStringLiteral("^ERROR \\d\\d:\\d\\d:\\d\\d Source or Result File name is "
                                              "not specified$"))
                .match(tree->topLevelItem(0)->text(0))
                .hasMatch(),
            qPrintable(tree->topLevelItem(0)->text(0)));

        window->show();
        click("_diagButton");
        QVERIFY(diagnostics->isVisible());
        click("_cancelButton"); // closing the window deletes its diagnostics window
        QVERIFY(!window->isVisible());
        QVERIFY(diagnostics.isNull());
        QCOMPARE(window->diagnostics(), nullptr);
        click("_diagButton"); // and the button then does nothing
    }

    void helpOpensThePageOrSaysWhyNot() {
        // A page beside this test program, as the build puts one beside the executable.
        const QString folder = QCoreApplication::applicationDirPath() + QStringLiteral("/Help-Gridwell");
        const QString page = folder + QStringLiteral("/GridwellHelp.html");
        QVERIFY(QDir().mkpath(folder));
        auto removePage = qScopeGuard([&] { QDir(folder).removeRecursively(); });
        QFile pageFile(page);
        QVERIFY(pageFile.open(QIODevice::WriteOnly));
        pageFile.close();
        click("_helpButton");
        QCOMPARE(hooks->openedUrls, QList<QUrl>{QUrl::fromLocalFile(page)});
        QCOMPARE(loggedLines.size(), 0); // nothing is said before the opener has answered
        QTRY_COMPARE(loggedLines.size(), 1);
        QVERIFY2(
            loggedLines.first().startsWith(QStringLiteral("INFO  ")) &&
                loggedLines.first().endsWith(QStringLiteral(" \"Opened help file file://%1\" ").arg(page)),
            qPrintable(loggedLines.first())); // "file:///path": three slashes

        // The opener ran and found no browser: a box names the page and the reason, and offers to
        // copy the path.
        hooks->openFailure = UtilsNS::openerFailure(3);
        hooks->warningAnswer = 0;
        loggedLines.clear();
        click("_helpButton");
        QCOMPARE(hooks->warnings.size(), 0);
        QTRY_VERIFY(warnedOnce(QStringLiteral("Help Error")));
        QCOMPARE(hooks->warnings.first().text,
                 QStringLiteral("The help page %1 cannot be opened: no application on this desktop opens it "
                                "(xdg-open exit status 3).")
                     .arg(page));
        QCOMPARE(hooks->warnings.first().extraButtons, QStringList{QStringLiteral("Copy Path")});
        QCOMPARE(QApplication::clipboard()->text(), page);
        QVERIFY(!loggedLines.join(' ').contains(QStringLiteral("Opened help file")));
        hooks->warningAnswer = -1;
        hooks->openFailure.clear();

        removePage.dismiss();
        QDir(folder).removeRecursively(); // missing: a box says so
        hooks->warnings.clear();
        loggedLines.clear();
        click("_helpButton");
        QVERIFY(warnedOnce(QStringLiteral("Help Error")));
        QCOMPARE(hooks->warnings.first().text,
                 QStringLiteral("The help page %1 cannot be opened: it is missing.").arg(page));

        QCOMPARE(helpPagePath(dir.path()), QString()); // nothing beside it, nothing installed
        QDir(dir.path()).mkpath(QStringLiteral("prefix/bin"));
        QDir(dir.path()).mkpath(QStringLiteral("prefix/share/gridwell/Help-Gridwell"));
        QFile installed(
            dir.filePath(QStringLiteral("prefix/share/gridwell/Help-Gridwell/GridwellHelp.html")));
        QVERIFY(installed.open(QIODevice::WriteOnly));
        QCOMPARE(helpPagePath(dir.filePath(QStringLiteral("prefix/bin"))),
                 QFileInfo(installed).absoluteFilePath());
        // White space keeps the address one argument: quoted, and the quotes never reach the browser.
        const QString spaced = helpPageAddress(QStringLiteral("/opt/My Apps/GridwellHelp.html"));
        QCOMPARE(spaced, QStringLiteral("\"file:///opt/My Apps/GridwellHelp.html\""));
        openInBrowser(spaced, this, [](const QString&) {});
        QCOMPARE(hooks->openedUrls.last().toLocalFile(), QStringLiteral("/opt/My Apps/GridwellHelp.html"));
    }

    // A real PVX file through the writer into a workbook; the window ends with the good news.
    void createWorkbookConvertsTheSample() {
        registerSpreadsheetServer();
        const auto unregister = qScopeGuard(&unregisterSpreadsheetServer);
        const QString workbook = dir.filePath(QStringLiteral("study.xlsx"));
        QFile::remove(workbook);
        sourceEdit()->setText(QStringLiteral(GRIDWELL_EXAMPLES_DIR "/upper-basin-study.pvx"));
        resultEdit()->setText(workbook);
        child<QRadioButton>("_indexNameRadioButton")->setChecked(true);
        Logger::instance().setLoggingLevel(Info);
        QCOMPARE(convert(), QString());
        QCOMPARE(hooks->warnings.size(), 0);
        QCOMPARE(hooks->informations.size(), 1);
        const FakeUiHooks::Information& box = hooks->informations.first();
        QCOMPARE(box.title, QStringLiteral("Excel Write"));
        QCOMPARE(box.text, QStringLiteral("The workbook was written successfully:\n\n") + workbook);
        QCOMPARE(box.extraButtons, (QStringList{"Open Workbook", "Open Folder"}));
        QCOMPARE(box.parent, window.get());
        const QString logged = loggedLines.join('\n');
        QVERIFY2(logged.contains(QStringLiteral("upper-basin-study.pvx: 3 runs, ")), qPrintable(logged));
        QVERIFY2(logged.contains(QStringLiteral("Workbook %1 written: ").arg(workbook)), qPrintable(logged));
        QVERIFY(loggedLines.last().endsWith(QStringLiteral(" \"Workbook write successfully completed!\" ")));

        // The success box's buttons open the workbook or its folder; a failure says so.
        for (int answer : {0, 1}) {
            hooks->informationAnswer = answer;
            QCOMPARE(convert(), QString());
            const QString opened = answer == 0 ? workbook : dir.path();
            QCOMPARE(hooks->openedUrls.last(), QUrl::fromLocalFile(opened));
            // The workbook existed before these conversions.
            QCOMPARE(hooks->informations.last().text,
                     QStringLiteral("The workbook was updated successfully:\n\n") + workbook);
        }
        hooks->openFailure = UtilsNS::openerFailure(4);
        QCOMPARE(convert(), QString());
        QTRY_VERIFY(warnedOnce(QStringLiteral("Open Error")));
        QCOMPARE(
            hooks->warnings.first().text,
            QStringLiteral("The folder %1 could not be opened: the application that should open it failed "
                           "(xdg-open exit status 4).")
                .arg(dir.path()));
    }

    // A study large enough to take a while: the progress reaches the end, "Stop" leaves an existing workbook
    // byte for byte, and closing the window stops a conversion first.
    void conversionRunsBesideTheWindow() {
        registerSpreadsheetServer();
        const auto unregister = qScopeGuard(&unregisterSpreadsheetServer);
        const QString source = dir.filePath(QStringLiteral("large.pvx"));
        const QString workbook = dir.filePath(QStringLiteral("large.xlsx"));
        QFile::remove(workbook);
        QVERIFY(writeStudy(source, 10, 60, 365));
        sourceEdit()->setText(source);
        resultEdit()->setText(workbook);

        auto* progress = window->statusBar()->findChild<QProgressBar*>();
        QVERIFY(progress);
        int highest = 0;
        connect(progress, &QProgressBar::valueChanged, this,
                [&](int value) { highest = qMax(highest, value); });
        bool stopShown = false;
        QTimer::singleShot(0, this, [&] { stopShown = child<QPushButton>("_okButton")->text() == "&Stop"; });
        QCOMPARE(convert(), QString());
        QVERIFY(stopShown);
        QCOMPARE(highest, progress->maximum());
        QCOMPARE(child<QPushButton>("_okButton")->text(), QStringLiteral("Create &Workbook"));
        QVERIFY(child("_sourcePvxFrame")->isEnabled());

        // Stop at the first data worksheet: the workbook stays as it was.
        QVERIFY(writeStudy(source, 10, 60, 365, 0.5));
        const QByteArray before = digestOf(workbook);
        bool stopped = false;
        connect(progress, &QProgressBar::valueChanged, this, [&] {
            if (!stopped && window->converting()) {
                stopped = true;
                click("_okButton");
            }
        });
        hooks->informations.clear();
        loggedLines.clear();
        QCOMPARE(convert(), ExcelWrite::stoppedMessage());
        QCOMPARE(digestOf(workbook), before);
        // A stop is no error: an information box says so, and the log at Info.
        QCOMPARE(hooks->warnings.size(), 0);
        QCOMPARE(hooks->informations.size(), 1);
        const FakeUiHooks::Information& box = hooks->informations.first();
        QCOMPARE(box.title, QStringLiteral("Excel Write Stopped"));
        QCOMPARE(box.text, QStringLiteral("The conversion was stopped; the workbook was left as it was."));
        QCOMPARE(box.extraButtons, QStringList());
        QVERIFY(loggedLines.contains(QStringLiteral("INFO  \"%1\" ").arg(box.text)) ||
                loggedLines.join('\n').contains(QStringLiteral("\"%1\" ").arg(box.text)));
        QVERIFY(!loggedLines.join('\n').contains(QStringLiteral("ERROR")));
    }

    // Names that are not UTF-8 (as a launcher hands them over) keep their bytes: the study is read
    // from its file and the workbook is made under the very bytes given.
    void namesThatAreNotUtf8KeepTheirBytes() {
        registerSpreadsheetServer();
        const auto unregister = qScopeGuard(&unregisterSpreadsheetServer);
        QFile example(QStringLiteral(GRIDWELL_EXAMPLES_DIR "/upper-basin-study.pvx"));
        QVERIFY(example.open(QIODevice::ReadOnly));
        const QByteArray study = example.readAll();
        const QByteArray folder = QFile::encodeName(dir.path());
        const QByteArray source = folder + "/caf\xE9.pvx";
        const QByteArray workbook = folder + "/b\xFC"
                                             "ch.xlsx";
        const int fd = ::open(source.constData(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
        QVERIFY(fd >= 0);
        QCOMPARE(::write(fd, study.constData(), std::size_t(study.size())), ssize_t(study.size()));
        QCOMPARE(::close(fd), 0);

        sourceEdit()->setText(decodeFileName(source));
        resultEdit()->setText(decodeFileName(workbook));
        QCOMPARE(encodeFileName(sourceEdit()->text()), source);
        QCOMPARE(convert(), QString());
        QCOMPARE(hooks->warnings.size(), 0);
        QCOMPARE(hooks->informations.size(), 1);
        struct stat written;
        QCOMPARE(::stat(workbook.constData(), &written), 0);
        QVERIFY(written.st_size > 0);
        QCOMPARE(::unlink(workbook.constData()), 0);
        QCOMPARE(::unlink(source.constData()), 0);
    }

    // Closing the window during a conversion stops it, leaves the workbook as it was and shows
    // nothing afterwards, even when the conversion's end already waits in the event queue.
    void closingDuringAConversionShowsNothing() {
        registerSpreadsheetServer();
        const auto unregister = qScopeGuard(&unregisterSpreadsheetServer);
        const QString source = dir.filePath(QStringLiteral("closed.pvx"));
        const QString workbook = dir.filePath(QStringLiteral("closed.xlsx"));
        QVERIFY(writeStudy(source, 2, 3, 10));
        sourceEdit()->setText(source);
        resultEdit()->setText(workbook);
        QCOMPARE(convert(), QString());
        const QByteArray before = digestOf(workbook);
        QVERIFY(writeStudy(source, 10, 60, 365, 0.5));
        hooks->informations.clear();

        for (bool endQueued : {false, true}) {
            QSignalSpy ended(window.get(), &GridwellDlg::conversionEnded);
            window->show();
            click("_okButton");
            QVERIFY(window->converting());
            if (endQueued) {
                click("_okButton"); // Stop, then give the conversion time to end while no event is handled
                QThread::msleep(1500);
            }
            window->close();
            QVERIFY(!window->converting());
            QVERIFY(!QApplication::overrideCursor());
            QTest::qWait(200);
            QCOMPARE(ended.size(), 0);
            QCOMPARE(hooks->informations.size(), 0);
            QCOMPARE(hooks->warnings.size(), 0);
            QCOMPARE(digestOf(workbook), before);
        }
    }

    // A conversion that ends while the user is in another window does not take the focus: the
    // box waits until the main window is active again.
    void anOutcomeWaitsForTheWindowToBeActive() {
        QWidget elsewhere;
        window->show();
        QVERIFY(QTest::qWaitForWindowExposed(window.get()));
        fillPaths(); // a source that is no PVX file: the conversion fails at once
        QSignalSpy ended(window.get(), &GridwellDlg::conversionEnded);
        // The other window is active before the conversion starts: on a loaded machine it could
        // otherwise end before the other window came up.
        elsewhere.show();
        elsewhere.activateWindow();
        QVERIFY(QTest::qWaitForWindowActive(&elsewhere));
        click("_okButton");
        QVERIFY(!ended.isEmpty() || ended.wait(60000));
        QCOMPARE(hooks->warnings.size(), 0);
        window->activateWindow();
        QTRY_COMPARE(hooks->warnings.size(), 1);
        QCOMPARE(hooks->warnings.first().title, QStringLiteral("Excel Write Error"));
    }

    // At twice the size a 1,280 x 800 screen offers 640 x 400 of the window's own units, less a
    // title bar and a panel: the window may become that small, and its controls then scroll.
    void fitsAScreenAtTwiceTheSize() {
        window->show();
        const QSize smallest = window->minimumSizeHint().expandedTo(window->minimumSize());
        QVERIFY2(smallest.width() <= 640 && smallest.height() <= 340,
                 qPrintable(QStringLiteral("%1 x %2").arg(smallest.width()).arg(smallest.height())));
        window->resize(640, 340);
        QCOMPARE(window->size(), QSize(640, 340));
    }

    // The panel reads the chosen source; what is checked there is what is converted.
    void thePanelChoosesWhatIsConverted() {
        registerSpreadsheetServer();
        const auto unregister = qScopeGuard(&unregisterSpreadsheetServer);
        auto* panel = window->findChild<StudyPanel*>();
        QVERIFY(panel);
        QSignalSpy read(panel, &StudyPanel::contentsRead);
        sourceEdit()->setText(QStringLiteral(GRIDWELL_EXAMPLES_DIR "/upper-basin-study.pvx"));
        Q_EMIT sourceEdit()->editingFinished();
        QVERIFY(read.wait(10000));
        QCOMPARE(read.first().first().toBool(), true);
        resultEdit()->setText(dir.filePath(QStringLiteral("chosen.xlsx")));
        auto* slotList = panel->findChild<QListWidget*>(QStringLiteral("_slotList"));
        for (int row = 0; row < slotList->count(); ++row)
            slotList->item(row)->setCheckState(row == 3 || row == 4 ? Qt::Checked : Qt::Unchecked);
        panel->findChild<QListWidget*>(QStringLiteral("_runList"))->item(0)->setCheckState(Qt::Unchecked);
        Logger::instance().setLoggingLevel(Info);

        // Stop is not offered once the save has begun.
        bool stopOffered = true;
        QString status;
        connect(window.get(), &GridwellDlg::savingWorkbook, this, [&] {
            stopOffered = child<QPushButton>("_okButton")->isEnabled();
            status = window->statusBar()->findChild<QLabel*>()->text();
        });
        QCOMPARE(convert(), QString());
        QVERIFY(!stopOffered);
        QVERIFY2(status.endsWith(QStringLiteral("(the save cannot be stopped)")), qPrintable(status));
        QVERIFY2(
            loggedLines.join('\n').contains(QStringLiteral("Converting 2 of 7 series slots and 2 of 3 runs")),
            qPrintable(loggedLines.join('\n')));

        for (int row = 0; row < slotList->count(); ++row)
            slotList->item(row)->setCheckState(Qt::Unchecked);
        QCOMPARE(convert(), QStringLiteral("(not started)"));
        QCOMPARE(hooks->warnings.last().title, QStringLiteral("Excel Write Configuration Error"));
        QVERIFY(hooks->warnings.last().text.startsWith(QStringLiteral("Nothing to convert")));
    }

    // A lock file that a spreadsheet application left behind is removed only when the user says so.
    void aStaleLockIsRemovedOnlyWhenTheUserAgrees() {
        registerSpreadsheetServer();
        const auto unregister = qScopeGuard(&unregisterSpreadsheetServer);
        const QString workbook = dir.filePath(QStringLiteral("stale.xlsx"));
        const QString lock = dir.filePath(QStringLiteral(".~lock.stale.xlsx#"));
        QFile file(lock);
        QVERIFY(file.open(QIODevice::WriteOnly));
        file.write("Someone," + QByteArray(::getpwuid(::getuid())->pw_name) + ',' +
                   QSysInfo::machineHostName().toUtf8() + ",07.12.2026 10:00,file:///x;");
        file.close();
        if (WorkbookClaim::staleApplicationLock(workbook).isEmpty())
            QSKIP("an office suite runs on this machine, so its lock files are not stale");
        sourceEdit()->setText(QStringLiteral(GRIDWELL_EXAMPLES_DIR "/upper-basin-study.pvx"));
        resultEdit()->setText(workbook);
        QCOMPARE(convert(), QStringLiteral("(not started)"));
        QCOMPARE(hooks->warnings.last().title, QStringLiteral("Workbook Locked"));
        QVERIFY(hooks->warnings.last().text.startsWith(
            QStringLiteral("The workbook seems to be locked by a spreadsheet application that is no longer "
                           "running. Convert anyway?")));
        QVERIFY(QFile::exists(lock));
        hooks->warningAnswer = 0;
        QCOMPARE(convert(), QString());
        QVERIFY(!QFile::exists(lock));
        QVERIFY(QFile::exists(workbook));
    }
};

QTEST_MAIN(GridwellDlgTest)
#include "tst_main_window.moc"
