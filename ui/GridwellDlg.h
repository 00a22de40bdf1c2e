#pragma once

#include <QMainWindow>
#include <QString>

#include <functional>
#include <memory>

class ConversionJob;
class ExcelWrite;
class QFile;
class QLabel;
class QLineEdit;
class QProgressBar;
class StudyPanel;

namespace Ui {
class GridwellDlg;
}

namespace UtilsNS {
class MessageViewer;
}

// The main window: source and result paths, arrangement and slot-label style, and the
// buttons that convert, show the diagnostics window, open help and close. A conversion runs
// beside the window: the status bar shows its progress and "Create Workbook" becomes "Stop".
class GridwellDlg : public QMainWindow {
    Q_OBJECT
public:
    // The writer stays main's; every conversion of the window uses it.
    explicit GridwellDlg(ExcelWrite* writer, QWidget* parent = nullptr);
    ~GridwellDlg() override;

    // The source that the next window opens with, as a launcher hands over a file
    // ("gridwell study.pvx"); that window takes it, proposing the result from it.
    static void setStartSource(const QString& path);

    // The diagnostics window, null once the main window has closed.
    UtilsNS::MessageViewer* diagnostics() const { return _diagnostics; }
    // Whether a conversion is running.
    bool converting() const { return _job != nullptr; }

Q_SIGNALS:
    // A conversion has ended, and its outcome has been shown, or waits for the window to be
    // active again. A conversion stopped by closing the window ends without it.
    void conversionEnded(const QString& status);
    // The workbook is being saved: Stop is no longer offered.
    void savingWorkbook();
    // The conversion has begun to write the named worksheet.
    void worksheetStarted(const QString& name);

protected:
    void changeEvent(QEvent* event) override;
    void closeEvent(QCloseEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;

private Q_SLOTS:
    void sourceSelectHandler(bool checked);
    void resultSelectHandler(bool checked);
    void orientationHandler(int index);
    void okButtonHandler(bool checked);
    void cancelButtonHandler(bool checked);
    void helpButtonHandler(bool checked);
    void diagButtonHandler(bool checked);

private:
    // Logs the text at Error, one row a line, and shows it trimmed in a warning box.
    void reportFailure(const QString& title, const QString& text);
    void logFailure(const QString& text);
    // The text followed by the paths of the source and the workbook that it concerns.
    QString namingFiles(const QString& text, const QString& sourcePath, const QString& workbookPath) const;
    // A desktop opener's failure: logged, and shown in a box that offers to copy the path.
    void reportOpenFailure(const QString& title, const QString& text, const QString& path);
    // Hands a file or folder ("workbook", "folder") to the desktop and says so if nothing opens it.
    void openOnDesktop(const QString& path, const QString& what);
    // What the result dialog proposes: the path in the field, made absolute.
    QString resultProposal() const;
    void startConversion(std::unique_ptr<QFile> source, const QString& sourcePath,
                         const QString& workbookPath);
    // Asks whether to remove a spreadsheet application's lock file that its application left
    // behind; false when the user keeps it (or it cannot be removed): no conversion then.
    bool takeOverStaleLock(const QString& workbookPath);
    void conversionFinished(const QString& status);
    void showProgress(const QString& worksheet, qint64 valuesWritten, qint64 valuesInAll);
    void setConverting(bool converting);
    // The box that tells the outcome: "updated" for a workbook that existed before, else "written".
    void showSuccess(const QString& workbookPath, bool existed);
    // Stops the conversion and waits for it, without telling its end.
    void abandonConversion();
    // Shows the outcome now, or, when the user is in another program, asks for attention and
    // shows it once the window is active again.
    void presentOutcome(std::function<void()> show);
    bool attended() const;
    // Puts a source path into its field and proposes the result path from it.
    void takeSourcePath(const QString& path, bool proposeAlways);
    void proposeResultPath(const QString& sourcePath, bool always);
    // Where a dialog for the field starts: the file in it, else the last folder used.
    QString dialogStart(const QLineEdit* field) const;
    void rememberFolder(const QString& filePath);
    void restoreSettings();
    void saveSettings() const;

    Ui::GridwellDlg* ui;
    ExcelWrite* _writer;
    QString _lastDirectory;
    UtilsNS::MessageViewer* _diagnostics;
    ConversionJob* _job = nullptr;
    // What the chosen study holds, and which of its runs and slots are converted.
    StudyPanel* _studyPanel = nullptr;
    QProgressBar* _progress = nullptr;
    QLabel* _progressText = nullptr;
    QString _jobWorkbook;
    QString _jobSource;
    bool _jobWorkbookExisted = false;
    int _jobWorksheets = 0;
    qint64 _jobValues = 0;
    QString _proposedResult;
    std::function<void()> _pendingOutcome;
};
