#include "GridwellDlg.h"
#include "ExcelWrite.h"
#include "FakeUiHooks.h"
#include "HelpLauncher.h"
#include "MessageViewer.h"
#include "MessageWatcher.h"
#include "QsLog.h"
#include "QsLogDest.h"

#include <QApplication>
#include <QCheckBox>
#include <QComboBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QLineEdit>
#include <QMenuBar>
#include <QPushButton>
#include <QRadioButton>
#include <QStatusBar>
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

const QStringList arrangementTexts{
    QStringLiteral("Timesteps / Slots / Runs"), QStringLiteral("Timesteps / Runs / Slots"),
    QStringLiteral("Slots / Timesteps / Runs"), QStringLiteral("Slots / Runs / Timesteps"),
    QStringLiteral("Runs / Timesteps / Slots"), QStringLiteral("Runs / Slots / Timesteps"),
};

} // namespace

class GridwellDlgTest : public QObject {
    Q_OBJECT

private:
    std::unique_ptr<FakeUiHooks> hooks;
    std::unique_ptr<ExcelWrite> writer;
    std::unique_ptr<GridwellDlg> window;
    DestinationPtr capture;
    QTemporaryDir dir;
    QString sourcePath;

    template <typename T> T* child(const char* name) {
        T* widget = window->findChild<T*>(QString::fromLatin1(name));
        if (!widget)
            qWarning("missing widget %s", name);
        return widget;
    }
    QComboBox* box() { return child<QComboBox>("_configurationComboBox"); }
    QLineEdit* sourceEdit() { return child<QLineEdit>("_sourcePvxLineEdit"); }
    QLineEdit* resultEdit() { return child<QLineEdit>("_resultWorkbookLineEdit"); }
    bool shown(const char* name) { return child<QWidget>(name)->isVisibleTo(window.get()); }
    void click(const char* button) { child<QPushButton>(button)->click(); }

    void fillPaths() {
        sourceEdit()->setText(sourcePath);
        resultEdit()->setText(dir.filePath(QStringLiteral("out/book.xlsx")));
    }

private Q_SLOTS:
    void initTestCase() {
        qRegisterMetaType<QsLogging::Level>("QsLogging::Level");
        sourcePath = dir.filePath(QStringLiteral("run1.pvx"));
        QFile source(sourcePath);
        QVERIFY(source.open(QIODevice::WriteOnly));
        source.write("not a pvx file\n");
    }

    void init() {
        loggedLines.clear();
        hooks = std::make_unique<FakeUiHooks>();
        capture = DestinationFactory::MakeFunctorDestination(&captureLine);
        Logger::instance().addDestination(capture);
        Logger::instance().setLoggingLevel(Trace);
        writer = std::make_unique<ExcelWrite>();
        window = std::make_unique<GridwellDlg>(writer.get());
    }

    void cleanup() {
        window.reset();
        writer.reset();
        Logger::instance().removeDestination(capture);
        hooks.reset();
    }

    void formHasItsWidgetTree_data() {
        QTest::addColumn<QString>("name");
        QTest::addColumn<QString>("className");
        QTest::addColumn<QString>("parentName");
        QTest::addColumn<QString>("layoutName");
        QTest::addColumn<QString>("text");
        QTest::newRow("central") << "centralwidget"
                                 << "QWidget"
                                 << "GridwellDlg"
                                 << "verticalLayout_4"
                                 << "";
        QTest::newRow("source frame") << "_sourcePvxFrame"
                                      << "QGroupBox"
                                      << "centralwidget"
                                      << "horizontalLayout_3"
                                      << "Source PVX File";
        QTest::newRow("source edit") << "_sourcePvxLineEdit"
                                     << "QLineEdit"
                                     << "_sourcePvxFrame"
                                     << ""
                                     << "";
        QTest::newRow("source button") << "_sourcePvxButton"
                                       << "QPushButton"
                                       << "_sourcePvxFrame"
                                       << ""
                                       << "Select...";
        QTest::newRow("result frame") << "_orientationFrame"
                                      << "QGroupBox"
                                      << "centralwidget"
                                      << "verticalLayout_3"
                                      << "Result Workbook";
        QTest::newRow("result edit") << "_resultWorkbookLineEdit"
                                     << "QLineEdit"
                                     << "_orientationFrame"
                                     << ""
                                     << "";
        QTest::newRow("result button") << "_resulWorkbookButton"
                                       << "QPushButton"
                                       << "_orientationFrame"
                                       << ""
                                       << "Select...";
        QTest::newRow("config group") << "_configGroupBox"
                                      << "QGroupBox"
                                      << "_orientationFrame"
                                      << "verticalLayout_2"
                                      << "Workbook Orientation";
        QTest::newRow("label") << "_orientationLabel"
                               << "QLabel"
                               << "_configGroupBox"
                               << ""
                               << "Rows / Columns / Worksheets";
        QTest::newRow("box") << "_configurationComboBox"
                             << "QComboBox"
                             << "_configGroupBox"
                             << ""
                             << "";
        QTest::newRow("check box") << "_alternateNameCheckBox"
                                   << "QCheckBox"
                                   << "_orientationFrame"
                                   << ""
                                   << "Use Automatically Shortened Slot Names in Result Data Sheets";
        QTest::newRow("slot group") << "_slotLabelGroupBox"
                                    << "QGroupBox"
                                    << "_orientationFrame"
                                    << "verticalLayout"
                                    << "Slot Labels for Sheet Tabs";
        QTest::newRow("index radio") << "_indexNameRadioButton"
                                     << "QRadioButton"
                                     << "_slotLabelGroupBox"
                                     << ""
                                     << "Slot Index Labels (Slot0, Slot1, etc.)";
        QTest::newRow("complete radio") << "_completeNameRadioButton"
                                        << "QRadioButton"
                                        << "_slotLabelGroupBox"
                                        << ""
                                        << "Slot Names from PVX File (truncated to 31 characters)";
        QTest::newRow("alt radio") << "_altNameRadioButton"
                                   << "QRadioButton"
                                   << "_slotLabelGroupBox"
                                   << ""
                                   << "Automatically Shortened Slot Names from PVX File";
        QTest::newRow("button frame") << "_buttonFrame"
                                      << "QFrame"
                                      << "centralwidget"
                                      << "horizontalLayout_4"
                                      << "";
        QTest::newRow("ok") << "_okButton"
                            << "QPushButton"
                            << "_buttonFrame"
                            << ""
                            << "Create Workbook";
        QTest::newRow("diag") << "_diagButton"
                              << "QPushButton"
                              << "_buttonFrame"
                              << ""
                              << "Show Diagnostics";
        QTest::newRow("help") << "_helpButton"
                              << "QPushButton"
                              << "_buttonFrame"
                              << ""
                              << "Help";
        QTest::newRow("cancel") << "_cancelButton"
                                << "QPushButton"
                                << "_buttonFrame"
                                << ""
                                << "Cancel";
        QTest::newRow("menu bar") << "menubar"
                                  << "QMenuBar"
                                  << "GridwellDlg"
                                  << ""
                                  << "";
        QTest::newRow("status bar") << "statusbar"
                                    << "QStatusBar"
                                    << "GridwellDlg"
                                    << ""
                                    << "";
    }

    void formHasItsWidgetTree() {
        QFETCH(QString, name);
        QFETCH(QString, className);
        QFETCH(QString, parentName);
        QFETCH(QString, layoutName);
        QFETCH(QString, text);
        QWidget* widget = window->findChild<QWidget*>(name);
        QVERIFY(widget);
        QCOMPARE(QString::fromLatin1(widget->metaObject()->className()), className);
        QCOMPARE(widget->parentWidget()->objectName(), parentName);
        if (!layoutName.isEmpty())
            QCOMPARE(widget->layout()->objectName(), layoutName);
        if (auto* group = qobject_cast<QGroupBox*>(widget))
            QCOMPARE(group->title(), text);
        else if (auto* button = qobject_cast<QAbstractButton*>(widget))
            QCOMPARE(button->text(), text);
        else if (auto* label = qobject_cast<QLabel*>(widget))
            QCOMPARE(label->text(), text);
        else if (auto* edit = qobject_cast<QLineEdit*>(widget))
            QCOMPARE(edit->text(), text);
        if (name.endsWith(QLatin1String("Button")) && className == QLatin1String("QPushButton"))
            QCOMPARE(widget->sizePolicy().horizontalPolicy(), QSizePolicy::Fixed);
    }

    void windowTitleSizeAndArrangementBox() {
        QCOMPARE(window->objectName(), QStringLiteral("GridwellDlg"));
        QCOMPARE(window->windowTitle(), QStringLiteral("PVX to Excel Writer (v1.4)"));
        QCOMPARE(window->size(), QSize(425, 431));
        QStringList items;
        for (int i = 0; i < box()->count(); ++i)
            items << box()->itemText(i);
        QCOMPARE(items, arrangementTexts);
        QCOMPARE(box()->currentIndex(), 1);
        QVERIFY(child<QRadioButton>("_altNameRadioButton")->isChecked());
        QVERIFY(!child<QCheckBox>("_alternateNameCheckBox")->isChecked());
        QCOMPARE(child<QMenuBar>("menubar")->geometry().height() > 0, true);
        QCOMPARE(child<QFrame>("_buttonFrame")->frameShape(), QFrame::StyledPanel);
        QCOMPARE(child<QFrame>("_buttonFrame")->frameShadow(), QFrame::Raised);
    }

    void windowTurnsVerboseLoggingOn() {
        Logger::instance().setLoggingLevel(Warn);
        GridwellDlg another(writer.get());
        QCOMPARE(Logger::instance().loggingLevel(), Trace);
    }

    void slotLabelControlsFollowTheArrangement_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<bool>("groupShown");
        for (int i = 0; i < 6; ++i)
            QTest::newRow(qPrintable(arrangementTexts.at(i))) << i << (i == 1 || i == 4);
    }

    void slotLabelControlsFollowTheArrangement() {
        QFETCH(int, index);
        QFETCH(bool, groupShown);
        box()->setCurrentIndex(index == 0 ? 5 : 0); // make sure the handler runs
        box()->setCurrentIndex(index);
        QCOMPARE(shown("_slotLabelGroupBox"), groupShown);
        QCOMPARE(shown("_alternateNameCheckBox"), !groupShown);
    }

    void startShowsTheSlotLabelGroup() {
        QVERIFY(shown("_slotLabelGroupBox"));
        QVERIFY(!shown("_alternateNameCheckBox"));
    }

    void hiddenChoicesSurviveSwitching() {
        child<QRadioButton>("_indexNameRadioButton")->setChecked(true);
        box()->setCurrentIndex(0);
        child<QCheckBox>("_alternateNameCheckBox")->setChecked(true);
        box()->setCurrentIndex(4);
        QVERIFY(child<QRadioButton>("_indexNameRadioButton")->isChecked());
        box()->setCurrentIndex(2);
        QVERIFY(child<QCheckBox>("_alternateNameCheckBox")->isChecked());
    }

    void createWorkbookConfiguresTheWriter_data() {
        QTest::addColumn<int>("index");
        QTest::addColumn<bool>("shortened");
        QTest::addColumn<QString>("radio");
        QTest::addColumn<int>("preference");
        QTest::newRow("check box unchecked") << 0 << false << "" << int(Full);
        QTest::newRow("check box checked") << 3 << true << "" << int(Short);
        QTest::newRow("check box wins over radios") << 5 << false << "_indexNameRadioButton" << int(Full);
        QTest::newRow("index radio") << 1 << false << "_indexNameRadioButton" << int(Index);
        QTest::newRow("complete radio") << 4 << true << "_completeNameRadioButton" << int(Full);
        QTest::newRow("shortened radio") << 1 << false << "_altNameRadioButton" << int(Short);
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
        expected.setWorkbookName(resultEdit()->text());
        QCOMPARE(writer->slotRoleValue(), expected.slotRoleValue());
        QCOMPARE(writer->runRoleValue(), expected.runRoleValue());
        QCOMPARE(writer->timestepRoleValue(), expected.timestepRoleValue());
        QCOMPARE(writer->workbookPathValue(), expected.workbookPathValue());
        QVERIFY(!QApplication::overrideCursor());

        // The conversion itself reports through one box; this source is no PVX file.
        QCOMPARE(hooks->warnings.size(), 1);
        QCOMPARE(hooks->warnings.at(0).title, QStringLiteral("Excel Write Error"));
        QVERIFY(hooks->warnings.at(0).parentless);
        QCOMPARE(hooks->warnings.at(0).buttons, QMessageBox::StandardButtons(QMessageBox::Ok));
        QCOMPARE(hooks->warnings.at(0).defaultButton, QMessageBox::NoButton);
        QVERIFY(loggedLines.last().startsWith(QStringLiteral("ERROR ")));
    }

    void noCheckedSlotLabelButtonIsRefused() {
        for (const char* name :
             {"_indexNameRadioButton", "_completeNameRadioButton", "_altNameRadioButton"}) {
            child<QRadioButton>(name)->setAutoExclusive(false);
            child<QRadioButton>(name)->setChecked(false);
        }
        fillPaths();
        click("_okButton");
        QCOMPARE(hooks->warnings.size(), 1);
        QCOMPARE(hooks->warnings.at(0).title, QStringLiteral("Excel Write Configuration Error"));
        QCOMPARE(hooks->warnings.at(0).text, QStringLiteral("Unknown slot label type"));
        QVERIFY(loggedLines.last().startsWith(QStringLiteral("ERROR ")));
    }

    void failedConversionCanBeRepeated() {
        fillPaths();
        click("_okButton");
        click("_okButton");
        QCOMPARE(hooks->warnings.size(), 2);
        QCOMPARE(hooks->warnings.at(0).text, hooks->warnings.at(1).text);
        QCOMPARE(sourceEdit()->text(), sourcePath);
    }

    void refusalsAreLoggedAndShown_data() {
        QTest::addColumn<QString>("source");
        QTest::addColumn<QString>("result");
        QTest::addColumn<QString>("title");
        QTest::addColumn<QString>("text");
        const QString unset = QStringLiteral("$GRIDWELL_TEST_SURELY_UNSET_VARIABLE/x");
        QTest::newRow("empty source") << ""
                                      << "b.xlsx"
                                      << "Incomplete Information"
                                      << "Source or Result File name is not specified";
        QTest::newRow("empty result") << "a.pvx"
                                      << ""
                                      << "Incomplete Information"
                                      << "Source or Result File name is not specified";
        QTest::newRow("source variable") << unset << "b.xlsx"
                                         << "Information Error"
                                         << "Source PVX file environment variables could not be substituted";
        QTest::newRow("result variable")
            << "a.pvx" << unset << "Information Error"
            << "Result workbook file environment variables could not be substituted";
        QTest::newRow("missing source") << "/nonexistent-folder/a.pvx"
                                        << "b.xlsx"
                                        << "Excel Write Configuration Error"
                                        << "No such file or directory";
        QTest::newRow("blank source is not empty") << "   "
                                                   << "b.xlsx"
                                                   << "Excel Write Configuration Error"
                                                   << "No such file or directory";
    }

    void refusalsAreLoggedAndShown() {
        QFETCH(QString, source);
        QFETCH(QString, result);
        QFETCH(QString, title);
        QFETCH(QString, text);
        sourceEdit()->setText(source);
        resultEdit()->setText(result);
        click("_okButton");
        QCOMPARE(hooks->warnings.size(), 1);
        QCOMPARE(hooks->warnings.at(0).title, title);
        QCOMPARE(hooks->warnings.at(0).text, text);
        QVERIFY(hooks->warnings.at(0).parentless);
        QCOMPARE(loggedLines.size(), 1);
        QVERIFY(loggedLines.first().startsWith(QStringLiteral("ERROR ")));
        QVERIFY(loggedLines.first().endsWith(QLatin1Char('"') + text + QStringLiteral("\" ")));
        QCOMPARE(writer->deviceValue(), nullptr); // refused before the writer was touched
    }

    void environmentReferencesAreSubstituted() {
        qputenv("GRIDWELL_TEST_FOLDER", dir.path().toUtf8());
        sourceEdit()->setText(QStringLiteral("${GRIDWELL_TEST_FOLDER}/run1.pvx"));
        resultEdit()->setText(QStringLiteral("$(GRIDWELL_TEST_FOLDER)/book.xlsx"));
        click("_okButton");
        ExcelWrite expected;
        expected.setWorkbookName(dir.path() + QStringLiteral("/book.xlsx"));
        QCOMPARE(writer->workbookPathValue(), expected.workbookPathValue());
        QCOMPARE(hooks->warnings.at(0).title, QStringLiteral("Excel Write Error")); // got as far as writing
    }

    void sourceDialogFillsTheResult_data() {
        QTest::addColumn<QString>("answer");
        QTest::addColumn<QString>("result");
        QTest::addColumn<QString>("folder");
        QTest::newRow("extension replaced") << "/data/run1.pvx"
                                            << "/data/run1.xlsx"
                                            << "/data";
        QTest::newRow("no extension") << "/data/run1"
                                      << "/data/run1.xlsx"
                                      << "/data";
        QTest::newRow("full stop in folder only") << "/my.dir/run1"
                                                  << "/my.dir/run1.xlsx"
                                                  << "/my.dir";
        QTest::newRow("last full stop counts") << "/d/a.b.out"
                                               << "/d/a.b.xlsx"
                                               << "/d";
        QTest::newRow("name that is all extension") << "/data/.pvx"
                                                    << "previous"
                                                    << "/data";
    }

    void sourceDialogFillsTheResult() {
        QFETCH(QString, answer);
        QFETCH(QString, result);
        QFETCH(QString, folder);
        resultEdit()->setText(QStringLiteral("previous"));
        hooks->fileAnswers << answer << QString();
        click("_sourcePvxButton");
        QCOMPARE(sourceEdit()->text(), answer);
        QCOMPARE(resultEdit()->text(), result);

        const FakeUiHooks::FileRequest& request = hooks->fileRequests.at(0);
        QCOMPARE(request.caption, QStringLiteral("Source PVX File"));
        QCOMPARE(request.folder, QString());
        QCOMPARE(request.filter, QStringLiteral("PVX Files (*.pvx *.out);;All Files (*)"));
        QCOMPARE(request.selectedFilter, QStringLiteral("PVX Files (*.pvx *.out)"));
        QCOMPARE(request.options, QFileDialog::Options(QFileDialog::DontConfirmOverwrite));

        click("_resulWorkbookButton"); // cancelled, but opens where the last file was chosen
        QCOMPARE(hooks->fileRequests.at(1).folder, folder);
        QCOMPARE(resultEdit()->text(), result);
    }

    void cancelledSourceDialogChangesNothing() {
        sourceEdit()->setText(QStringLiteral("kept.pvx"));
        resultEdit()->setText(QStringLiteral("kept.xlsx"));
        click("_sourcePvxButton");
        QCOMPARE(sourceEdit()->text(), QStringLiteral("kept.pvx"));
        QCOMPARE(resultEdit()->text(), QStringLiteral("kept.xlsx"));
    }

    void resultDialogSetsTheResult() {
        hooks->fileAnswers << QStringLiteral("/books/out.xls") << QString();
        click("_resulWorkbookButton");
        QCOMPARE(resultEdit()->text(), QStringLiteral("/books/out.xls"));
        const FakeUiHooks::FileRequest& request = hooks->fileRequests.at(0);
        QCOMPARE(request.caption, QStringLiteral("Result Workbook File"));
        QCOMPARE(request.filter, QStringLiteral("Excel Files (*.xl*);;All Files (*)"));
        QCOMPARE(request.selectedFilter, QStringLiteral("Excel Files (*.xl*)"));
        QCOMPARE(request.options, QFileDialog::Options(QFileDialog::DontConfirmOverwrite));
        click("_sourcePvxButton");
        QCOMPARE(hooks->fileRequests.at(1).folder, QStringLiteral("/books"));
    }

    void diagnosticsWindowShowsLoggedMessages() {
        UtilsNS::MessageViewer* diagnostics = window->diagnostics();
        QVERIFY(diagnostics);
        QVERIFY(!diagnostics->isVisible());
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
    }

    void closingTheWindowDeletesTheDiagnostics() {
        window->show();
        QPointer<UtilsNS::MessageViewer> diagnostics = window->diagnostics();
        click("_diagButton");
        click("_cancelButton");
        QVERIFY(!window->isVisible());
        QVERIFY(diagnostics.isNull());
        QCOMPARE(window->diagnostics(), nullptr);
    }

    void helpOpensThePageBesideTheExecutable() {
        click("_helpButton");
        const QString address = QStringLiteral("file:///%1/Help-Gridwell/GridwellHelp.html")
                                    .arg(QCoreApplication::applicationDirPath());
        QCOMPARE(loggedLines.size(), 1);
        QVERIFY(loggedLines.first().startsWith(QStringLiteral("INFO  ")));
        QVERIFY2(loggedLines.first().endsWith(QStringLiteral(" \"Opening help file ") + address + "\" "),
                 qPrintable(loggedLines.first()));
        QCOMPARE(hooks->openedUrls.size(), 1);
        QCOMPARE(hooks->openedUrls.first(),
                 QUrl::fromLocalFile(QCoreApplication::applicationDirPath() +
                                     QStringLiteral("/Help-Gridwell/GridwellHelp.html")));
    }

    void helpIsNotLoggedBelowInfo() {
        Logger::instance().setLoggingLevel(Warn);
        click("_helpButton");
        QVERIFY(loggedLines.isEmpty());
        QCOMPARE(hooks->openedUrls.size(), 1);
    }

    void helpAddressIsQuotedAroundWhiteSpace() {
        QCOMPARE(helpPageAddress(QStringLiteral("C:/Tools/App")),
                 QStringLiteral("file:///C:/Tools/App/Help-Gridwell/GridwellHelp.html"));
        QCOMPARE(helpPageAddress(QStringLiteral("C:/Program Files/App")),
                 QStringLiteral("\"file:///C:/Program Files/App/Help-Gridwell/GridwellHelp.html\""));
        QCOMPARE(helpPageAddress(QStringLiteral("/opt/a\tb")).front(), QLatin1Char('"'));

        QVERIFY(openInBrowser(helpPageAddress(QStringLiteral("/opt/My Apps"))).isEmpty());
        QCOMPARE(hooks->openedUrls.size(), 1);
        QCOMPARE(hooks->openedUrls.first().toLocalFile(),
                 QStringLiteral("/opt/My Apps/Help-Gridwell/GridwellHelp.html"));
    }
};

QTEST_MAIN(GridwellDlgTest)
#include "GridwellDlgTest.moc"
