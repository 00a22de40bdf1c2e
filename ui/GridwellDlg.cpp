#include "GridwellDlg.h"

#include "ui_GridwellDlg.h"

#include "ExcelWrite.h"
#include "HelpLauncher.h"
#include "MessageViewer.h"
#include "PathDefaults.h"
#include "PathSubstitution.h"
#include "QsLog.h"
#include "UiHooks.h"
#include "Verbosity.h"
#include "Version.h"

#include <QApplication>
#include <QCloseEvent>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>

namespace {

// The arrangement box's entries, in the order of their Orientation values.
const char* const arrangementTexts[] = {
    "Timesteps / Slots / Runs", "Timesteps / Runs / Slots", "Slots / Timesteps / Runs",
    "Slots / Runs / Timesteps", "Runs / Timesteps / Slots", "Runs / Slots / Timesteps",
};

void showWarning(const QString& title, const QString& text) {
    UtilsNS::uiHooks().warning(nullptr, title, text, QMessageBox::Ok, QMessageBox::NoButton);
}

// Asks for a file name with the save-style dialog, which lets the user name a file that
// need not exist, without an overwrite question.
QString askFileName(QWidget* parent, const QString& caption, const QString& folder, const QString& filter,
                    const QString& selectedFilter) {
    QString selected = selectedFilter;
    return UtilsNS::uiHooks().getSaveFileName(parent, caption, folder, filter, &selected,
                                              QFileDialog::DontConfirmOverwrite);
}

} // namespace

GridwellDlg::GridwellDlg(ExcelWrite* writer, QWidget* parent)
    : QMainWindow(parent), ui(new Ui::GridwellDlg), _writer(writer), _diagnostics(nullptr) {
    ui->setupUi(this);
    setWindowTitle(QStringLiteral("PVX to Excel Writer (%1)").arg(versionText()));

    for (const char* text : arrangementTexts)
        ui->_configurationComboBox->addItem(QString::fromLatin1(text));
    ui->_configurationComboBox->setCurrentIndex(TimestepsRunsSlots);
    ui->_altNameRadioButton->setChecked(true);

    // Connected only now, so that filling the box does not run the handler.
    connect(ui->_configurationComboBox, &QComboBox::currentIndexChanged, this,
            &GridwellDlg::orientationHandler);
    connect(ui->_sourcePvxButton, &QPushButton::clicked, this, &GridwellDlg::sourceSelectHandler);
    connect(ui->_resulWorkbookButton, &QPushButton::clicked, this, &GridwellDlg::resultSelectHandler);
    connect(ui->_cancelButton, &QPushButton::clicked, this, &GridwellDlg::cancelButtonHandler);
    connect(ui->_okButton, &QPushButton::clicked, this, &GridwellDlg::okButtonHandler);
    connect(ui->_helpButton, &QPushButton::clicked, this, &GridwellDlg::helpButtonHandler);
    connect(ui->_diagButton, &QPushButton::clicked, this, &GridwellDlg::diagButtonHandler);

    orientationHandler(ui->_configurationComboBox->currentIndex());

    _diagnostics = new UtilsNS::MessageViewer(QStringList{tr("Diagnostic Messages")}, nullptr);
    _diagnostics->setWindowTitle(QStringLiteral("PVX to Excel Writer Diagnostics"));
    _diagnostics->connectToWatcher();

    setVerboseLogging(true);
}

GridwellDlg::~GridwellDlg() {
    delete _diagnostics;
    delete ui;
}

void GridwellDlg::closeEvent(QCloseEvent* event) {
    delete _diagnostics;
    _diagnostics = nullptr;
    QWidget::closeEvent(event);
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
        ui->_orientationFrame->adjustSize();
        adjustSize();
    }
}

void GridwellDlg::sourceSelectHandler(bool) {
    const QString fileName = askFileName(this, QStringLiteral("Source PVX File"), _lastDirectory,
                                         QStringLiteral("PVX Files (*.pvx *.out);;All Files (*)"),
                                         QStringLiteral("PVX Files (*.pvx *.out)"));
    if (fileName.isEmpty())
        return;
    _lastDirectory = QFileInfo(fileName).path();
    ui->_sourcePvxLineEdit->setText(fileName);

    // Only a full stop in the file name counts; a name that is all extension gives no default.
    const QString stem = withExtension(fileName, QString());
    if (!stem.isEmpty() && !stem.endsWith(QLatin1Char('/')) && !stem.endsWith(QLatin1Char('\\')))
        ui->_resultWorkbookLineEdit->setText(stem + QStringLiteral(".xlsx"));
}

void GridwellDlg::resultSelectHandler(bool) {
    const QString fileName = askFileName(this, QStringLiteral("Result Workbook File"), _lastDirectory,
                                         QStringLiteral("Excel Files (*.xl*);;All Files (*)"),
                                         QStringLiteral("Excel Files (*.xl*)"));
    if (fileName.isEmpty())
        return;
    _lastDirectory = QFileInfo(fileName).path();
    ui->_resultWorkbookLineEdit->setText(fileName);
}

void GridwellDlg::reportFailure(const QString& title, const QString& text) {
    QLOG_ERROR() << text;
    showWarning(title, text);
}

void GridwellDlg::okButtonHandler(bool) {
    const QString sourceText = ui->_sourcePvxLineEdit->text();
    const QString resultText = ui->_resultWorkbookLineEdit->text();
    if (sourceText.isEmpty() || resultText.isEmpty()) {
        reportFailure(QStringLiteral("Incomplete Information"),
                      QStringLiteral("Source or Result File name is not specified"));
        return;
    }

    QString sourcePath;
    if (!substituteEnvironmentVariables(sourceText, sourcePath).isEmpty()) {
        reportFailure(QStringLiteral("Information Error"),
                      QStringLiteral("Source PVX file environment variables could not be substituted"));
        return;
    }
    QString resultPath;
    if (!substituteEnvironmentVariables(resultText, resultPath).isEmpty()) {
        reportFailure(QStringLiteral("Information Error"),
                      QStringLiteral("Result workbook file environment variables could not be substituted"));
        return;
    }

    const QString configurationError = QStringLiteral("Excel Write Configuration Error");
    // Closed when the handler ends, on every path.
    QFile source(sourcePath);
    if (!source.open(QIODevice::ReadOnly | QIODevice::Text)) {
        reportFailure(configurationError, source.errorString());
        return;
    }

    WriteStatus status = _writer->setDevice(&source);
    if (status.isEmpty())
        status = _writer->setWorkbookName(resultPath);
    if (status.isEmpty())
        status = _writer->setOrientation(ui->_configurationComboBox->currentIndex());
    if (!status.isEmpty()) {
        reportFailure(configurationError, status);
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
        reportFailure(configurationError, status);
        return;
    }

    QApplication::setOverrideCursor(Qt::WaitCursor);
    status = _writer->write();
    QApplication::restoreOverrideCursor();

    if (status.isEmpty()) {
        const QString done = QStringLiteral("Workbook write successfully completed!");
        QLOG_INFO() << done;
        showWarning(QStringLiteral("Excel Write"), done);
    } else {
        reportFailure(QStringLiteral("Excel Write Error"), status);
    }
}

void GridwellDlg::cancelButtonHandler(bool) {
    close();
}

void GridwellDlg::helpButtonHandler(bool) {
    const QString address = helpPageAddress(QCoreApplication::applicationDirPath());
    QLOG_INFO() << QStringLiteral("Opening help file %1").arg(address);
    openInBrowser(address);
}

void GridwellDlg::diagButtonHandler(bool) {
    if (!_diagnostics)
        return;
    _diagnostics->show();
    _diagnostics->raise();
}
