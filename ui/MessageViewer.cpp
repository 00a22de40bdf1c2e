#include "MessageViewer.h"

#include "MessageWatcher.h"
#include "UiHooks.h"

#include <QAction>
#include <QApplication>
#include <QBrush>
#include <QCheckBox>
#include <QClipboard>
#include <QCloseEvent>
#include <QColor>
#include <QDir>
#include <QFile>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QTreeWidget>
#include <QVBoxLayout>

namespace UtilsNS {

namespace {

QColor rowColour(QsLogging::Level level) {
    switch (level) {
    case QsLogging::Info:
        return QColor(0, 0, 0);
    case QsLogging::Warn:
        return QColor(115, 78, 0);
    default:
        return QColor(185, 0, 0);
    }
}

} // namespace

MessageViewer::MessageViewer(const QStringList& headerLabels, QWidget* parent) : QDialog(parent) {
    setModal(false);
    setWindowTitle(tr("Untitled"));
    setWindowFlags(windowFlags() & ~Qt::WindowContextHelpButtonHint);

    auto* layout = new QVBoxLayout(this);
    _tree = new QTreeWidget(this);
    _tree->setColumnCount(headerLabels.size());
    _tree->setHeaderLabels(headerLabels);
    _tree->resizeColumnToContents(0);
    _tree->setRootIsDecorated(false);
    _tree->setSelectionMode(QAbstractItemView::ContiguousSelection);
    _headerItem = _tree->headerItem();
    _header = _tree->header();
    _header->setSectionResizeMode(QHeaderView::Fixed);
    _header->setSectionsMovable(false);
    _header->setStretchLastSection(false);
    layout->addWidget(_tree);

    auto* checkBoxRow = new QHBoxLayout;
    checkBoxRow->addStretch();
    _autoScrollCheckBox = new QCheckBox(tr("Automatic Scrolling"), this);
    _autoScrollCheckBox->setChecked(_autoScroll);
    connect(_autoScrollCheckBox, &QCheckBox::stateChanged, this, &MessageViewer::checkBoxHandler);
    checkBoxRow->addWidget(_autoScrollCheckBox);
    layout->addLayout(checkBoxRow);

    resize(600, 300);

    _menuBar = new QMenuBar(this);
    layout->setMenuBar(_menuBar);

    _fileMenu = _menuBar->addMenu(tr("&File"));
    _saveAllAction = _fileMenu->addAction(tr("Save All &As"));
    _saveAllAction->setShortcut(QKeySequence(tr("Ctrl+Shift+S")));
    _saveAllAction->setData(true);
    connect(_saveAllAction, &QAction::triggered, this, &MessageViewer::saveHandler);
    _saveSelectedAction = _fileMenu->addAction(tr("Save &Selected As"));
    _saveSelectedAction->setData(false);
    connect(_saveSelectedAction, &QAction::triggered, this, &MessageViewer::saveHandler);
    _closeAction = _fileMenu->addAction(tr("&Close Window"));
    _closeAction->setShortcut(QKeySequence(tr("Ctrl+W")));
    connect(_closeAction, &QAction::triggered, this, &QDialog::close);

    _editMenu = _menuBar->addMenu(tr("&Edit"));
    _copyAllAction = _editMenu->addAction(tr("&Copy All"));
    _copyAllAction->setShortcut(QKeySequence(tr("Ctrl+C")));
    _copyAllAction->setData(true);
    connect(_copyAllAction, &QAction::triggered, this, &MessageViewer::copyHandler);
    _copySelectedAction = _editMenu->addAction(tr("Copy &Selected"));
    _copySelectedAction->setData(false);
    connect(_copySelectedAction, &QAction::triggered, this, &MessageViewer::copyHandler);
    _clearAction = _editMenu->addAction(tr("Clear"));
    connect(_clearAction, &QAction::triggered, _tree, &QTreeWidget::clear);
}

void MessageViewer::connectToWatcher() {
    connect(&messageWatcher, &MessageWatcher::message, this,
            qOverload<QsLogging::Level, const QString&>(&MessageViewer::messageHandler),
            Qt::QueuedConnection);
}

bool MessageViewer::actionDataOr(bool fallback) const {
    const auto* action = qobject_cast<const QAction*>(sender());
    if (!action || !action->data().isValid())
        return fallback;
    return action->data().toBool();
}

QString MessageViewer::collectText(bool allRows) const {
    QString text;
    for (int row = 0; row < _tree->topLevelItemCount(); ++row) {
        const QTreeWidgetItem* item = _tree->topLevelItem(row);
        if (!allRows && !item->isSelected())
            continue;
        bool first = true;
        for (int column = 0; column < _tree->columnCount(); ++column) {
            if (_header->isSectionHidden(column))
                continue;
            if (!first)
                text += QStringLiteral(" | ");
            text += item->text(column);
            first = false;
        }
        // Plain lines: no blanks at their ends.
        while (text.endsWith(QLatin1Char(' ')) || text.endsWith(QLatin1Char('\t')))
            text.chop(1);
        text += QLatin1Char('\n');
    }
    return text;
}

void MessageViewer::saveHandler() {
    const QString text = collectText(actionDataOr(true));
    const QString fileName =
        uiHooks().getSaveFileName(this, tr("Save Diagnostic Output"), _lastSavePath, QString(), nullptr, {});
    if (fileName.isEmpty())
        return;
    QFile file(fileName);
    if (!file.open(QIODevice::WriteOnly)) {
        uiHooks().warning(this, QStringLiteral("Save Diagnostics Error"),
                          QStringLiteral("The diagnostics could not be saved to %1: %2.")
                              .arg(QDir::toNativeSeparators(fileName), file.errorString()),
                          QMessageBox::Ok, QMessageBox::NoButton);
        return;
    }
    file.write(text.toLocal8Bit());
    _lastSavePath = fileName;
}

void MessageViewer::copyHandler() {
    // Ctrl+C copies what is selected, as everywhere else; everything when nothing is.
    bool all = actionDataOr(true);
    if (sender() == _copyAllAction && !_tree->selectedItems().isEmpty())
        all = false;
    const QString text = collectText(all);
    QClipboard* clipboard = QApplication::clipboard();
    if (!clipboard) {
        uiHooks().warning(this, tr("Copy Message Error"), tr("Cannot access the clipboard"), QMessageBox::Ok,
                          QMessageBox::NoButton);
        return;
    }
    clipboard->setText(text);
}

void MessageViewer::columnHandler(bool checked) {
    const auto* action = qobject_cast<const QAction*>(sender());
    if (!action)
        return;
    const int column = action->data().toInt();
    if (checked)
        _header->showSection(column);
    else
        _header->hideSection(column);
}

void MessageViewer::messageHandler(QsLogging::Level level, const QString& text) {
    appendRow(level, QStringList{text});
}

void MessageViewer::appendRow(QsLogging::Level level, const QStringList& texts) {
    if (texts.size() != _tree->columnCount())
        return;
    auto* item = new QTreeWidgetItem(_tree);
    const QBrush brush(rowColour(level), Qt::SolidPattern);
    for (int column = 0; column < texts.size(); ++column) {
        item->setText(column, texts.at(column));
        item->setForeground(column, brush);
    }
    // A column is widened when the new row needs more room; measuring every row again for each
    // new one would cost the window more the longer the list grows.
    for (int column = 0; column < texts.size(); ++column) {
        const int needed =
            _tree->sizeHintForIndex(_tree->model()->index(_tree->topLevelItemCount() - 1, column)).width() +
            (column == 0 ? _tree->indentation() : 0);
        if (needed > _header->sectionSize(column))
            _header->resizeSection(column, needed);
    }
    if (_autoScroll)
        _tree->scrollToBottom();
}

void MessageViewer::checkBoxHandler(int state) {
    _autoScroll = state == Qt::Checked;
    if (_autoScroll)
        _tree->scrollToBottom();
}

void MessageViewer::closeEvent(QCloseEvent* event) {
    hide();
    event->ignore();
}

} // namespace UtilsNS
