#include "GridwellDlg.h"

#include "ui_GridwellDlg.h"

#include "ControlDescriptions.h"
#include "ConversionJob.h"
#include "ExcelWrite.h"
#include "FittingScrollArea.h"
#include "HelpLauncher.h"
#include "MessageViewer.h"
#include "PathDefaults.h"
#include "PathSubstitution.h"
#include "QsLog.h"
#include "ScriptedClose.h"
#include "StudyPanel.h"
#include "SystemPaths.h"
#include "UiHooks.h"
#include "Verbosity.h"
#include "Version.h"
#include "WorkbookClaim.h"
#include "WorkbookFilters.h"

#include <QApplication>
#include <QClipboard>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QGroupBox>
#include <QLabel>
#include <QMimeData>
#include <QProgressBar>
#include <QRadioButton>
#include <QScreen>
#include <QSettings>
#include <QStatusBar>
#include <QTimer>
#include <QUrl>
#include <QVBoxLayout>

namespace {

// The arrangement box's entries, in the order of their Orientation values.
const char* const arrangementTexts[] = {
    "Timesteps / Slots / Runs", "Timesteps / Runs / Slots", "Slots / Timesteps / Runs",
    "Slots / Runs / Timesteps", "Runs / Timesteps / Slots", "Runs / Slots / Timesteps",
};

const char* const createText = "Create &Workbook";
const char* const stopText = "&Stop";

// "~" and "~/…" stand for the home folder, as in a shell.
QString expandHome(const QString& path) {
    if (path == QLatin1String("~") || path.startsWith(QLatin1String("~/")))
        return QDir::homePath() + path.mid(1);
    return path;
}

bool isWorkbookPath(const QString& path) {
    return QFileInfo(path).suffix().startsWith(QLatin1String("xl"), Qt::CaseInsensitive);
}

// The local files among dropped data.
QStringList droppedFiles(const QMimeData* data) {
    QStringList files;
    if (data)
        for (const QUrl& url : data->urls())
            if (url.isLocalFile())
                files.append(QDir::toNativeSeparators(url.toLocalFile()));
    return files;
}

QString& startSource() {
    static QString path;
    return path;
}

QSettings settings() {
    return QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Gridwell"),
                     QStringLiteral("Gridwell"));
}

} // namespace

// The icon lives in this static library's resources, which the linker keeps only when asked.
static void initResources() {
    Q_INIT_RESOURCE(gridwell);
}

GridwellDlg::GridwellDlg(ExcelWrite* writer, QWidget* parent)
    : QMainWindow(parent), ui(new Ui::GridwellDlg), _writer(writer), _diagnostics(nullptr) {
    ui->setupUi(this);
    // The controls scroll when the window is smaller than they are, so that it fits small or
    // highly scaled screens (1,280 x 800 at twice the size) and still shows everything.
    auto* scroller = new FittingScrollArea(this);
    scroller->setWidget(takeCentralWidget());
    setCentralWidget(scroller);
    initResources();
    setWindowTitle(QStringLiteral("PVX to Excel Writer (%1) - Gridwell").arg(versionText()));
    setWindowIcon(QIcon(QStringLiteral(":/gridwell/gridwell.svg")));

    for (const char* text : arrangementTexts)
        ui->_configurationComboBox->addItem(QString::fromLatin1(text));
    ui->_configurationComboBox->setCurrentIndex(TimestepsRunsSlots);
    ui->_altNameRadioButton->setChecked(true);
    restoreSettings();

    // Connected only now, so that filling the box does not run the handler.
    connect(ui->_configurationComboBox, &QComboBox::currentIndexChanged, this,
            &GridwellDlg::orientationHandler);
    connect(ui->_sourcePvxButton, &QPushButton::clicked, this, &GridwellDlg::sourceSelectHandler);
    connect(ui->_resulWorkbookButton, &QPushButton::clicked, this, &GridwellDlg::resultSelectHandler);
    connect(ui->_cancelButton, &QPushButton::clicked, this, &GridwellDlg::cancelButtonHandler);
    connect(ui->_okButton, &QPushButton::clicked, this, &GridwellDlg::okButtonHandler);
    connect(ui->_helpButton, &QPushButton::clicked, this, &GridwellDlg::helpButtonHandler);
    connect(ui->_diagButton, &QPushButton::clicked, this, &GridwellDlg::diagButtonHandler);
    // Typing works as well as clicking: a typed source proposes the result, Enter converts.
    connect(ui->_sourcePvxLineEdit, &QLineEdit::textEdited, this,
            [this](const QString& text) { proposeResultPath(expandHome(text), false); });
    for (QLineEdit* field : {ui->_sourcePvxLineEdit, ui->_resultWorkbookLineEdit}) {
        connect(field, &QLineEdit::returnPressed, this, [this] {
            if (!_job)
                okButtonHandler(false);
        });
        field->installEventFilter(this);
    }
    for (QWidget* choice : {ui->_indexNameRadioButton, ui->_completeNameRadioButton, ui->_altNameRadioButton})
        choice->installEventFilter(this);
    // Long paths show their end, where the file name is; the whole path is the tooltip.
    for (QLineEdit* field : {ui->_sourcePvxLineEdit, ui->_resultWorkbookLineEdit})
        connect(field, &QLineEdit::textChanged, field, [field](const QString& text) {
            field->setToolTip(QDir::toNativeSeparators(text));
            if (!field->hasFocus())
                field->setCursorPosition(int(text.size()));
        });
    // A frame's Alt shortcut leads to its path field, never to the frame's other controls.
    for (QWidget* frame :
         {static_cast<QWidget*>(ui->_sourcePvxFrame), static_cast<QWidget*>(ui->_orientationFrame)})
        frame->installEventFilter(this);
    // Return on a focused button presses it, as Space does.
    for (QPushButton* button : findChildren<QPushButton*>())
        button->setAutoDefault(true);
    describeControls(*ui);
    setAcceptDrops(true);

    orientationHandler(ui->_configurationComboBox->currentIndex());

    // The study's contents between the settings and the buttons, read whenever a source is taken.
    auto* contents = new QGroupBox(tr("Study contents"), this);
    auto* contentsLayout = new QVBoxLayout(contents);
    _studyPanel = new StudyPanel(contents);
    contentsLayout->addWidget(_studyPanel);
    ui->verticalLayout_4->insertWidget(ui->verticalLayout_4->indexOf(ui->_buttonFrame), contents, 1);
    connect(ui->_sourcePvxLineEdit, &QLineEdit::editingFinished, this,
            [this] { _studyPanel->setSourceFile(expandHome(ui->_sourcePvxLineEdit->text().trimmed())); });
    connect(_studyPanel, &StudyPanel::contentsRead, this, [this](bool readable) {
        if (!readable) {
            QLOG_WARN() << QStringLiteral("%1 cannot be converted: %2")
                               .arg(QDir::toNativeSeparators(_studyPanel->sourceFile()),
                                    _studyPanel->problem());
        }
    });

    _progress = new QProgressBar(this);
    _progress->setRange(0, 1000);
    _progress->setMaximumWidth(160);
    _progressText = new QLabel(this);
    statusBar()->addWidget(_progressText, 1);
    statusBar()->addPermanentWidget(_progress);
    _progress->hide();
    _progress->setAccessibleName(tr("Conversion progress"));
    _progress->setAccessibleDescription(tr("How much of the workbook is written"));
    _progressText->setAccessibleName(tr("Conversion status"));
    _progressText->setAccessibleDescription(tr("What the conversion is doing"));

    // Parented, so that it opens over the main window; deleted when the main window closes.
    _diagnostics = new UtilsNS::MessageViewer(QStringList{tr("Diagnostic Messages")}, this);
    _diagnostics->setWindowTitle(QStringLiteral("PVX to Excel Writer Diagnostics"));
    _diagnostics->connectToWatcher();

    setVerboseLogging(true);

    // Everything shown where the screen has room for it; what does not fit scrolls.
    const QSize room = screen() != nullptr ? screen()->availableSize() * 9 / 10 : QSize(800, 600);
    resize(sizeHint().boundedTo(room));

    if (!startSource().isEmpty()) {
        takeSourcePath(QDir::toNativeSeparators(QFileInfo(startSource()).absoluteFilePath()), true);
        startSource().clear();
    }
    scriptCloseWhileConverting(this);
}

void GridwellDlg::setStartSource(const QString& path) {
    startSource() = path;
}

GridwellDlg::~GridwellDlg() {
    // The base destructor closes the window, and a focused editor then still reports its editing
    // finished: nothing of this window may answer by then.
    for (QObject* child : findChildren<QObject*>())
        child->disconnect(this);
    delete _job;
    delete _diagnostics;
    delete ui;
}

void GridwellDlg::closeEvent(QCloseEvent* event) {
    // Closing ends the program. A conversion still running is stopped (the writer leaves the
    // workbook as it was), and neither its end nor an outcome still waiting is shown: there is
    // no window left to show it over.
    if (_job)
        abandonConversion();
    _pendingOutcome = nullptr;
    saveSettings();
    delete _diagnostics;
    _diagnostics = nullptr;
    QWidget::closeEvent(event);
}

void GridwellDlg::abandonConversion() {
    ConversionJob* job = _job;
    // Its end may already wait in the event queue; with no conversion left, it is dropped.
    _job = nullptr;
    disconnect(job, nullptr, this, nullptr);
    job->requestStop();
    job->wait();
    const bool written = job->status().isEmpty();
    delete job;
    QApplication::restoreOverrideCursor();
    setConverting(false);
    if (written)
        QLOG_INFO() << QStringLiteral("Workbook %1 written as the window closed").arg(_jobWorkbook);
    else
        QLOG_INFO() << QStringLiteral(
            "The conversion was stopped as the window closed; the workbook was left "
            "as it was.");
}

void GridwellDlg::changeEvent(QEvent* event) {
    QMainWindow::changeEvent(event);
    if (event->type() == QEvent::ActivationChange && _pendingOutcome && attended())
        QTimer::singleShot(0, this, [this] {
            if (!_pendingOutcome)
                return;
            const std::function<void()> show = std::move(_pendingOutcome);
            _pendingOutcome = nullptr;
            show();
        });
}

bool GridwellDlg::attended() const {
    // The diagnostics window is this window's too.
    for (const QWidget* active = QApplication::activeWindow(); active; active = active->parentWidget())
        if (active == this)
            return true;
    return false;
}

void GridwellDlg::presentOutcome(std::function<void()> show) {
    // A conversion that ends while the user works in another program does not take the focus:
    // the window asks for attention, and the box waits until the window is active again.
    if (!isVisible() || attended()) {
        show();
        return;
    }
    _pendingOutcome = std::move(show);
    QApplication::alert(this);
}

void GridwellDlg::orientationHandler(int) {
    // Only arrangements with slots on worksheets name worksheets after slots.
    const QString text = ui->_configurationComboBox->currentText();
    if (text == QLatin1String(arrangementTexts[TimestepsRunsSlots]) ||
        text == QLatin1String(arrangementTexts[RunsTimestepsSlots])) {
        ui->_slotLabelGroupBox->show();
        ui->_alternateNameCheckBox->hide();
    } else {
        ui->_slotLabelGroupBox->hide();
        ui->_alternateNameCheckBox->show();
    }
    // The layout grows the window when the controls need more room; it is never shrunk, so a
    // window that the user has enlarged keeps its size.
}

QString GridwellDlg::dialogStart(const QLineEdit* field) const {
    const QString current = expandHome(field->text().trimmed());
    if (!current.isEmpty() && QFileInfo(current).absoluteDir().exists())
        return current;
    return _lastDirectory;
}

void GridwellDlg::rememberFolder(const QString& filePath) {
    _lastDirectory = QFileInfo(filePath).path();
}

void GridwellDlg::sourceSelectHandler(bool) {
    QString selected = QStringLiteral("PVX Files (*.pvx *.out)");
    const QString fileName = UtilsNS::uiHooks().getOpenFileName(
        this, QStringLiteral("Source PVX File"), dialogStart(ui->_sourcePvxLineEdit),
        QStringLiteral("PVX Files (*.pvx *.out);;All Files (*)"), &selected);
    if (fileName.isEmpty())
        return;
    rememberFolder(fileName);
    takeSourcePath(fileName, true);
}

void GridwellDlg::takeSourcePath(const QString& path, bool proposeAlways) {
    ui->_sourcePvxLineEdit->setText(path);
    proposeResultPath(path, proposeAlways);
    _studyPanel->setSourceFile(path);
}

void GridwellDlg::proposeResultPath(const QString& sourcePath, bool always) {
    // A result the user typed is never replaced by a proposal from typing.
    const QString current = ui->_resultWorkbookLineEdit->text();
    if (!always && !current.isEmpty() && current != _proposedResult)
        return;
    // Only a full stop in the file name counts; a name that is all extension gives no default.
    const QString stem = withExtension(sourcePath, QString());
    if (stem.isEmpty() || stem.endsWith(QLatin1Char('/')) || stem.endsWith(QLatin1Char('\\')))
        return;
    _proposedResult = stem + QStringLiteral(".xlsx");
    ui->_resultWorkbookLineEdit->setText(_proposedResult);
}

QString GridwellDlg::resultProposal() const {
    const QString current = expandHome(ui->_resultWorkbookLineEdit->text().trimmed());
    if (current.isEmpty())
        return _lastDirectory;
    const QFileInfo proposed(current);
    if (proposed.absoluteDir().exists())
        return proposed.absoluteFilePath();
    // A dialog asked for a missing folder opens in the working folder; the last one used is nearer.
    return _lastDirectory.isEmpty() ? proposed.fileName()
                                    : QDir(_lastDirectory).filePath(proposed.fileName());
}

void GridwellDlg::resultSelectHandler(bool) {
    const QString proposed = resultProposal();
    const WorkbookFilters filters = workbookFilters(proposed);
    QString selected = filters.selected;
    QString fileName =
        UtilsNS::uiHooks().getSaveFileName(this, QStringLiteral("Result Workbook File"), proposed,
                                           filters.filters, &selected, QFileDialog::DontConfirmOverwrite);
    if (fileName.isEmpty())
        return;
    if (QFileInfo(fileName).suffix().isEmpty())
        fileName += QStringLiteral(".xlsx");
    rememberFolder(fileName);
    ui->_resultWorkbookLineEdit->setText(fileName);
}

void GridwellDlg::logFailure(const QString& text) {
    // One row a line: the causes that precede a message show as rows of their own.
    for (const QString& line : text.split(QLatin1Char('\n'), Qt::SkipEmptyParts))
        QLOG_ERROR() << line.trimmed();
}

void GridwellDlg::reportFailure(const QString& title, const QString& text) {
    // Messages of the writer's lower layers may begin with a blank or a blank line.
    const QString shown = text.trimmed();
    logFailure(shown);
    UtilsNS::uiHooks().warning(this, title, shown, QMessageBox::Ok, QMessageBox::NoButton);
}

QString GridwellDlg::namingFiles(const QString& text, const QString& sourcePath,
                                 const QString& workbookPath) const {
    return QStringLiteral("%1\n\nSource PVX file: %2\nResult workbook: %3")
        .arg(text.trimmed(), QDir::toNativeSeparators(sourcePath), QDir::toNativeSeparators(workbookPath));
}

void GridwellDlg::reportOpenFailure(const QString& title, const QString& text, const QString& path) {
    logFailure(text);
    if (UtilsNS::uiHooks().warningChoice(this, title, text, {tr("Copy Path")}) == 0)
        QApplication::clipboard()->setText(path);
}

void GridwellDlg::openOnDesktop(const QString& path, const QString& what) {
    const QString shown = QDir::toNativeSeparators(path);
    UtilsNS::uiHooks().openUrl(QUrl::fromLocalFile(path), this, [this, shown, what](const QString& failure) {
        if (failure.isEmpty()) {
            QLOG_INFO() << QStringLiteral("Opened %1 %2").arg(what, shown);
            return;
        }
        reportOpenFailure(QStringLiteral("Open Error"),
                          QStringLiteral("The %1 %2 could not be opened: %3.").arg(what, shown, failure),
                          shown);
    });
}

void GridwellDlg::okButtonHandler(bool) {
    if (_job) {
        _job->requestStop();
        _progressText->setText(tr("Stopping..."));
        ui->_okButton->setEnabled(false);
        return;
    }
    const QString sourceText = expandHome(ui->_sourcePvxLineEdit->text());
    const QString resultText = expandHome(ui->_resultWorkbookLineEdit->text());
    if (sourceText.isEmpty() || resultText.isEmpty()) {
        reportFailure(QStringLiteral("Incomplete Information"),
                      QStringLiteral("Source or Result File name is not specified"));
        return;
    }

    QString sourcePath;
    if (!substituteEnvironmentVariables(sourceText, sourcePath).isEmpty()) {
        reportFailure(QStringLiteral("Information Error"),
                      QStringLiteral("Source PVX file environment variables could not be substituted\n\n%1")
                          .arg(sourceText));
        return;
    }
    QString resultPath;
    if (!substituteEnvironmentVariables(resultText, resultPath).isEmpty()) {
        reportFailure(
            QStringLiteral("Information Error"),
            QStringLiteral("Result workbook file environment variables could not be substituted\n\n%1")
                .arg(resultText));
        return;
    }

    const QString configurationError = QStringLiteral("Excel Write Configuration Error");
    // Kept open by the conversion until it ends; closed with it on every path.
    auto source = std::make_unique<QFile>();
    if (QString error; !openFile(*source, sourcePath, QIODevice::ReadOnly | QIODevice::Text, error)) {
        reportFailure(configurationError, QStringLiteral("The source PVX file %1 cannot be opened: %2.")
                                              .arg(QDir::toNativeSeparators(sourcePath), error));
        return;
    }

    WriteStatus status = _writer->setDevice(source.get());
    if (status.isEmpty())
        status = _writer->setWorkbookName(resultPath);
    if (status.isEmpty())
        status = _writer->setOrientation(ui->_configurationComboBox->currentIndex());
    if (!status.isEmpty()) {
        reportFailure(configurationError, namingFiles(status, sourcePath, resultPath));
        return;
    }

    SlotLabelPreference preference;
    if (ui->_alternateNameCheckBox->isVisibleTo(this)) {
        preference = ui->_alternateNameCheckBox->isChecked() ? Short : Full;
    } else if (ui->_indexNameRadioButton->isChecked()) {
        preference = Index;
    } else if (ui->_completeNameRadioButton->isChecked()) {
        preference = Full;
    } else if (ui->_altNameRadioButton->isChecked()) {
        preference = Short;
    } else {
        reportFailure(configurationError, QStringLiteral("Unknown slot label type"));
        return;
    }
    status = _writer->setSlotLabelPreference(preference);
    if (!status.isEmpty()) {
        reportFailure(configurationError, namingFiles(status, sourcePath, resultPath));
        return;
    }
    // What the panel shows of this file is what is converted; a file it has not read yet is
    // converted whole.
    PvxSelection selection;
    if (QFileInfo(sourcePath).absoluteFilePath() == _studyPanel->sourceFile() && !_studyPanel->reading() &&
        _studyPanel->problem().isEmpty()) {
        if (_studyPanel->chosenSlots() == 0 || _studyPanel->chosenRuns() == 0) {
            reportFailure(
                configurationError,
                QStringLiteral("Nothing to convert: check at least one series slot and one run of %1.")
                    .arg(QDir::toNativeSeparators(sourcePath)));
            return;
        }
        selection = _studyPanel->selection();
    }
    _writer->setSelection(selection);
    if (!takeOverStaleLock(resultPath))
        return;
    saveSettings();
    startConversion(std::move(source), sourcePath, resultPath);
}

bool GridwellDlg::takeOverStaleLock(const QString& workbookPath) {
    const QString lock = WorkbookClaim::staleApplicationLock(workbookPath);
    if (lock.isEmpty())
        return true;
    const int chosen = UtilsNS::uiHooks().warningChoice(
        this, QStringLiteral("Workbook Locked"),
        QStringLiteral(
            "The workbook seems to be locked by a spreadsheet application that is no longer running. "
            "Convert anyway?\n\n%1\n\nIts lock file %2 will be removed.")
            .arg(QDir::toNativeSeparators(workbookPath), QDir::toNativeSeparators(lock)),
        {tr("Convert Anyway")});
    if (chosen != 0)
        return false;
    if (!removeFile(lock)) {
        reportFailure(
            QStringLiteral("Workbook Locked"),
            QStringLiteral("The lock file %1 cannot be removed.").arg(QDir::toNativeSeparators(lock)));
        return false;
    }
    QLOG_INFO() << QStringLiteral("Removed the stale lock file %1").arg(QDir::toNativeSeparators(lock));
    return true;
}

void GridwellDlg::startConversion(std::unique_ptr<QFile> source, const QString& sourcePath,
                                  const QString& workbookPath) {
    _jobWorkbook = workbookPath;
    _jobSource = sourcePath;
    _jobWorkbookExisted = pathExists(workbookPath);
    _jobWorksheets = 0;
    _jobValues = 0;
    _job = new ConversionJob(*_writer, std::move(source));
    connect(_job, &ConversionJob::packageWasRead, this, [sourcePath](int runs, int slots, int timesteps) {
        QLOG_INFO() << QStringLiteral("Read %1: %2 runs, %3 series slots, %4 timesteps")
                           .arg(sourcePath)
                           .arg(runs)
                           .arg(slots)
                           .arg(timesteps);
    });
    connect(_job, &ConversionJob::worksheetStarted, this, &GridwellDlg::showProgress);
    connect(_job, &ConversionJob::savingStarted, this, [this](int worksheets, qint64 values) {
        _jobWorksheets = worksheets;
        _jobValues = values;
        _progress->setValue(_progress->maximum());
        // From here on the workbook is replaced as a whole or not at all: a stop cannot come between.
        ui->_okButton->setEnabled(false);
        _progressText->setText(
            tr("Saving %1 (the save cannot be stopped)").arg(QFileInfo(_jobWorkbook).fileName()));
        Q_EMIT savingWorkbook();
    });
    connect(_job, &ConversionJob::finished, this, &GridwellDlg::conversionFinished);
    setConverting(true);
    QApplication::setOverrideCursor(Qt::BusyCursor);
    _job->start();
}

void GridwellDlg::showProgress(const QString& worksheet, qint64 valuesWritten, qint64 valuesInAll) {
    if (!_job || _job->stopRequested())
        return;
    _progress->setValue(valuesInAll > 0 ? int(valuesWritten * _progress->maximum() / valuesInAll) : 0);
    _progressText->setText(tr("Writing worksheet \"%1\"").arg(worksheet));
    Q_EMIT worksheetStarted(worksheet);
}

void GridwellDlg::setConverting(bool converting) {
    for (QWidget* input :
         {static_cast<QWidget*>(ui->_sourcePvxFrame), static_cast<QWidget*>(ui->_orientationFrame)})
        input->setEnabled(!converting);
    ui->_okButton->setText(converting ? tr(stopText) : tr(createText));
    ui->_okButton->setEnabled(true);
    _progress->setVisible(converting);
    _progress->setValue(0);
    _progressText->setText(
        converting ? tr("Reading %1").arg(QFileInfo(ui->_sourcePvxLineEdit->text()).fileName()) : QString());
}

void GridwellDlg::conversionFinished(const QString& status) {
    if (!_job) // stopped by closing the window, which shows nothing more
        return;
    ConversionJob* job = _job;
    job->wait();
    const double seconds = job->seconds();
    _job = nullptr;
    job->deleteLater();
    QApplication::restoreOverrideCursor();
    setConverting(false);

    if (!_writer->selectionSummary().isEmpty()) {
        QLOG_INFO() << _writer->selectionSummary();
    }
    for (const QString& warning : _writer->warnings())
        QLOG_WARN() << warning;
    for (const QString& note : _writer->saveNotes())
        QLOG_INFO() << note;
    if (status.isEmpty()) {
        QLOG_INFO() << QStringLiteral("Workbook %1 %2: %3 worksheets, %4 values in %5 s")
                           .arg(_jobWorkbook,
                                _jobWorkbookExisted ? QStringLiteral("updated") : QStringLiteral("written"))
                           .arg(_jobWorksheets)
                           .arg(_jobValues)
                           .arg(seconds, 0, 'f', 1);
        QLOG_INFO() << QStringLiteral("Workbook write successfully completed!");
        presentOutcome([this, workbook = _jobWorkbook, existed = _jobWorkbookExisted] {
            showSuccess(workbook, existed);
        });
    } else if (status == ExcelWrite::stoppedMessage()) {
        // The user asked for it: told as information, not as an error.
        const QString text = QStringLiteral("The conversion was stopped; the workbook was left as it was.");
        QLOG_INFO() << text;
        presentOutcome([this, text] {
            UtilsNS::uiHooks().information(this, QStringLiteral("Excel Write Stopped"), text, {});
        });
    } else {
        const QString text = namingFiles(status, _jobSource, _jobWorkbook);
        logFailure(text);
        presentOutcome([this, text] {
            UtilsNS::uiHooks().warning(this, QStringLiteral("Excel Write Error"), text, QMessageBox::Ok,
                                       QMessageBox::NoButton);
        });
    }
    Q_EMIT conversionEnded(status);
}

void GridwellDlg::showSuccess(const QString& workbookPath, bool existed) {
    const QString text = QStringLiteral("The workbook was %1 successfully:\n\n%2")
                             .arg(existed ? QStringLiteral("updated") : QStringLiteral("written"),
                                  QDir::toNativeSeparators(QFileInfo(workbookPath).absoluteFilePath()));
    const int chosen = UtilsNS::uiHooks().information(this, QStringLiteral("Excel Write"), text,
                                                      {tr("Open Workbook"), tr("Open Folder")});
    if (chosen < 0)
        return;
    const QFileInfo workbook(workbookPath);
    if (chosen == 0)
        openOnDesktop(workbook.absoluteFilePath(), QStringLiteral("workbook"));
    else
        openOnDesktop(workbook.absolutePath(), QStringLiteral("folder"));
}

void GridwellDlg::cancelButtonHandler(bool) {
    close();
}

void GridwellDlg::helpButtonHandler(bool) {
    const QString executableFolder = QCoreApplication::applicationDirPath();
    const QString page = helpPagePath(executableFolder);
    if (page.isEmpty()) {
        reportFailure(QStringLiteral("Help Error"),
                      QStringLiteral("The help page %1 cannot be opened: it is missing.")
                          .arg(QDir::toNativeSeparators(executableFolder +
                                                        QStringLiteral("/Help-Gridwell/GridwellHelp.html"))));
        return;
    }
    const QString address = helpPageAddress(page);
    const QString shown = QDir::toNativeSeparators(page);
    openInBrowser(address, this, [this, address, shown](const QString& failure) {
        if (failure.isEmpty()) {
            QLOG_INFO() << QStringLiteral("Opened help file %1").arg(address);
            return;
        }
        reportOpenFailure(QStringLiteral("Help Error"),
                          QStringLiteral("The help page %1 cannot be opened: %2.").arg(shown, failure),
                          shown);
    });
}

void GridwellDlg::diagButtonHandler(bool) {
    if (!_diagnostics)
        return;
    _diagnostics->show();
    _diagnostics->raise();
}

void GridwellDlg::dragEnterEvent(QDragEnterEvent* event) {
    if (!_job && !droppedFiles(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void GridwellDlg::dropEvent(QDropEvent* event) {
    const QStringList files = droppedFiles(event->mimeData());
    if (_job || files.isEmpty())
        return;
    // A workbook goes to the result, anything else to the source.
    for (const QString& file : files) {
        if (isWorkbookPath(file))
            ui->_resultWorkbookLineEdit->setText(file);
        else
            takeSourcePath(file, true);
    }
    event->acceptProposedAction();
}

bool GridwellDlg::eventFilter(QObject* watched, QEvent* event) {
    // A group box's mnemonic goes back to the child last focused (the arrangement box, say),
    // where typed text would be lost; the frames lead to their path fields instead.
    if (event->type() == QEvent::Shortcut &&
        (watched == ui->_sourcePvxFrame || watched == ui->_orientationFrame)) {
        QLineEdit* field =
            watched == ui->_sourcePvxFrame ? ui->_sourcePvxLineEdit : ui->_resultWorkbookLineEdit;
        field->setFocus(Qt::ShortcutFocusReason);
        return true;
    }
    // Tabbing into the label group lands on the checked choice, as in other applications.
    if (event->type() == QEvent::FocusIn && qobject_cast<QRadioButton*>(watched)) {
        const Qt::FocusReason reason = static_cast<QFocusEvent*>(event)->reason();
        auto* choice = static_cast<QRadioButton*>(watched);
        if ((reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason) && !choice->isChecked()) {
            for (QRadioButton* checked : ui->_slotLabelGroupBox->findChildren<QRadioButton*>())
                if (checked->isChecked()) {
                    QTimer::singleShot(0, checked, [checked, reason] { checked->setFocus(reason); });
                    break;
                }
        }
    }
    // A file dropped on a field puts its local path there, replacing what was there.
    const bool onSource = watched == ui->_sourcePvxLineEdit;
    if ((onSource || watched == ui->_resultWorkbookLineEdit) &&
        (event->type() == QEvent::DragEnter || event->type() == QEvent::DragMove ||
         event->type() == QEvent::Drop)) {
        auto* drop = static_cast<QDropEvent*>(event);
        const QStringList files = droppedFiles(drop->mimeData());
        if (files.isEmpty())
            return false;
        if (event->type() == QEvent::Drop) {
            if (onSource)
                takeSourcePath(files.first(), true);
            else
                ui->_resultWorkbookLineEdit->setText(files.first());
        }
        drop->acceptProposedAction();
        return true;
    }
    if (event->type() == QEvent::FocusOut && (onSource || watched == ui->_resultWorkbookLineEdit)) {
        auto* field = static_cast<QLineEdit*>(watched);
        const QString expanded = expandHome(field->text());
        if (expanded != field->text())
            field->setText(expanded);
        field->setCursorPosition(int(field->text().size()));
    }
    return QMainWindow::eventFilter(watched, event);
}

void GridwellDlg::restoreSettings() {
    QSettings stored = settings();
    _lastDirectory = stored.value(QStringLiteral("lastFolder")).toString();
    const int arrangement = stored.value(QStringLiteral("arrangement"), TimestepsRunsSlots).toInt();
    if (arrangement >= 0 && arrangement < ui->_configurationComboBox->count())
        ui->_configurationComboBox->setCurrentIndex(arrangement);
    switch (stored.value(QStringLiteral("slotLabels"), Short).toInt()) {
    case Index:
        ui->_indexNameRadioButton->setChecked(true);
        break;
    case Full:
        ui->_completeNameRadioButton->setChecked(true);
        break;
    default:
        ui->_altNameRadioButton->setChecked(true);
    }
    ui->_alternateNameCheckBox->setChecked(stored.value(QStringLiteral("shortNames"), false).toBool());
}

void GridwellDlg::saveSettings() const {
    QSettings stored = settings();
    stored.setValue(QStringLiteral("lastFolder"), _lastDirectory);
    stored.setValue(QStringLiteral("arrangement"), ui->_configurationComboBox->currentIndex());
    const int labels = ui->_indexNameRadioButton->isChecked()      ? Index
                       : ui->_completeNameRadioButton->isChecked() ? Full
                                                                   : Short;
    stored.setValue(QStringLiteral("slotLabels"), labels);
    stored.setValue(QStringLiteral("shortNames"), ui->_alternateNameCheckBox->isChecked());
}
