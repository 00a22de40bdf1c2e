#pragma once

#include "QsLogLevel.h"

#include <QDialog>
#include <QString>
#include <QStringList>

class QAction;
class QCheckBox;
class QHeaderView;
class QMenu;
class QMenuBar;
class QTreeWidget;
class QTreeWidgetItem;

namespace UtilsNS {

// A non-modal window listing log messages as coloured rows, which can be copied, saved
// and cleared. Closing it only hides it; the rows stay.
class MessageViewer : public QDialog {
    Q_OBJECT
public:
    MessageViewer(const QStringList& headerLabels, QWidget* parent = nullptr);

    // Receives the message watcher's signal through a queued connection.
    void connectToWatcher();

    // The text of all rows, or of the selected ones: shown columns joined by " | ", one
    // line feed after each row, no blanks before it.
    QString collectText(bool allRows) const;

public Q_SLOTS:
    void saveHandler();
    void copyHandler();
    void columnHandler(bool checked);
    void messageHandler(QsLogging::Level level, const QString& text);
    void checkBoxHandler(int state);

protected:
    void closeEvent(QCloseEvent* event) override;

private:
    void appendRow(QsLogging::Level level, const QStringList& texts);
    bool actionDataOr(bool fallback) const;

    bool _autoScroll = true;
    QMenuBar* _menuBar = nullptr;
    QMenu* _fileMenu = nullptr;
    QAction* _saveAllAction = nullptr;
    QAction* _saveSelectedAction = nullptr;
    QAction* _closeAction = nullptr;
    QMenu* _editMenu = nullptr;
    QAction* _copyAllAction = nullptr;
    QAction* _copySelectedAction = nullptr;
    QAction* _clearAction = nullptr;
    QTreeWidget* _tree = nullptr;
    QHeaderView* _header = nullptr;
    QTreeWidgetItem* _headerItem = nullptr;
    QCheckBox* _autoScrollCheckBox = nullptr;
    QString _lastSavePath;
};

} // namespace UtilsNS
