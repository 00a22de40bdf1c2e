#pragma once

#include <QMainWindow>
#include <QString>

class ExcelWrite;

namespace Ui {
class GridwellDlg;
}

namespace UtilsNS {
class MessageViewer;
}

// The main window: source and result paths, arrangement and slot-label style, and the
// buttons that convert, show the diagnostics window, open help and close.
class GridwellDlg : public QMainWindow {
    Q_OBJECT
public:
    // The writer stays main's; every conversion of the window uses it.
    explicit GridwellDlg(ExcelWrite* writer, QWidget* parent = nullptr);
    ~GridwellDlg() override;

    // The diagnostics window, null once the main window has closed.
    UtilsNS::MessageViewer* diagnostics() const { return _diagnostics; }

protected:
    void closeEvent(QCloseEvent* event) override;

private Q_SLOTS:
    void sourceSelectHandler(bool checked);
    void resultSelectHandler(bool checked);
    void orientationHandler(int index);
    void okButtonHandler(bool checked);
    void cancelButtonHandler(bool checked);
    void helpButtonHandler(bool checked);
    void diagButtonHandler(bool checked);

private:
    // Logs the text at Error and shows it in a warning box.
    void reportFailure(const QString& title, const QString& text);

    Ui::GridwellDlg* ui;
    ExcelWrite* _writer;
    QString _lastDirectory;
    UtilsNS::MessageViewer* _diagnostics;
};
