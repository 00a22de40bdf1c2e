#include "StudyPanel.h"

#include "SlotPreview.h"

#include <QFileInfo>
#include <QHBoxLayout>
#include <QLabel>
#include <QLineEdit>
#include <QListWidget>
#include <QLocale>
#include <QPushButton>
#include <QVBoxLayout>
#include <QtConcurrent/QtConcurrentRun>

namespace {
// The slots each file had checked, by the file's path, for the session.
QHash<QString, QList<bool>>& rememberedChoices() {
    static QHash<QString, QList<bool>> choices;
    return choices;
}

QString grouped(qsizetype number) {
    return QLocale(QLocale::English).toString(number);
}

int checkedCount(const QListWidget* list) {
    int count = 0;
    for (int row = 0; row < list->count(); ++row)
        count += list->item(row)->checkState() == Qt::Checked ? 1 : 0;
    return count;
}

// A column of a list with "All" and "None" under it; the buttons act on the rows shown.
QWidget* listColumn(QWidget* parent, QListWidget* list, QPushButton* all, QPushButton* none, QWidget* top) {
    auto* column = new QWidget(parent);
    auto* layout = new QVBoxLayout(column);
    layout->setContentsMargins(0, 0, 0, 0);
    if (top)
        layout->addWidget(top);
    layout->addWidget(list);
    auto* buttons = new QHBoxLayout;
    buttons->addWidget(all);
    buttons->addWidget(none);
    buttons->addStretch();
    layout->addLayout(buttons);
    return column;
}
} // namespace

StudyPanel::StudyPanel(QWidget* parent)
    : QWidget(parent), _status(new QLabel(this)), _filter(new QLineEdit(this)), _slots(new QListWidget(this)),
      _runs(new QListWidget(this)), _counts(new QLabel(this)), _preview(new SlotPreview(this)) {
    _status->setWordWrap(true);
    _filter->setPlaceholderText(tr("Filter slots (Object.Slot)"));
    _filter->setClearButtonEnabled(true);
    _filter->setAccessibleName(tr("Slot filter"));
    _filter->setAccessibleDescription(
        tr("Shows only the series slots whose Object.Slot name contains the text"));
    _slots->setAccessibleName(tr("Series slots"));
    _slots->setAccessibleDescription(tr("The series slots of the study; checked slots are converted"));
    _runs->setAccessibleName(tr("Runs"));
    _runs->setAccessibleDescription(tr("The runs of the study; checked runs are converted"));
    _slots->setUniformItemSizes(true);
    _runs->setUniformItemSizes(true);
    _slots->setMinimumHeight(48);
    _runs->setMinimumHeight(48);
    _runs->setMinimumWidth(70);

    auto* allSlots = new QPushButton(tr("All"), this);
    auto* noSlots = new QPushButton(tr("None"), this);
    auto* allRuns = new QPushButton(tr("All"), this);
    auto* noRuns = new QPushButton(tr("None"), this);
    allSlots->setAccessibleName(tr("Check all shown slots"));
    noSlots->setAccessibleName(tr("Uncheck all shown slots"));
    allRuns->setAccessibleName(tr("Check all runs"));
    noRuns->setAccessibleName(tr("Uncheck all runs"));
    allSlots->setObjectName(QStringLiteral("_allSlotsButton"));
    noSlots->setObjectName(QStringLiteral("_noSlotsButton"));
    _filter->setObjectName(QStringLiteral("_slotFilterEdit"));
    _slots->setObjectName(QStringLiteral("_slotList"));
    _runs->setObjectName(QStringLiteral("_runList"));

    // Lists and preview side by side, so that the panel adds little to the window's height.
    auto* lists = new QHBoxLayout;
    lists->addWidget(listColumn(this, _slots, allSlots, noSlots, _filter), 3);
    lists->addWidget(listColumn(this, _runs, allRuns, noRuns, nullptr), 1);
    lists->addWidget(_preview, 4);
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(_status);
    layout->addLayout(lists, 1);
    layout->addWidget(_counts);

    connect(_filter, &QLineEdit::textChanged, this, &StudyPanel::applyFilter);
    connect(allSlots, &QPushButton::clicked, this, [this] { setVisibleChecked(_slots, true); });
    connect(noSlots, &QPushButton::clicked, this, [this] { setVisibleChecked(_slots, false); });
    connect(allRuns, &QPushButton::clicked, this, [this] { setVisibleChecked(_runs, true); });
    connect(noRuns, &QPushButton::clicked, this, [this] { setVisibleChecked(_runs, false); });
    connect(_slots, &QListWidget::itemChanged, this, &StudyPanel::itemChanged);
    connect(_runs, &QListWidget::itemChanged, this, &StudyPanel::itemChanged);
    connect(_slots, &QListWidget::currentRowChanged, this, &StudyPanel::requestPreview);
    connect(&_contentsWatcher, &QFutureWatcher<StudyContents>::finished, this, &StudyPanel::contentsArrived);
    connect(&_previewWatcher, &QFutureWatcher<SlotSeries>::finished, this, &StudyPanel::previewArrived);
    setSourceFile(QString());
}

StudyPanel::~StudyPanel() {
    rememberChoice();
}

void StudyPanel::setSourceFile(const QString& path) {
    const QString absolute = path.isEmpty() ? QString() : QFileInfo(path).absoluteFilePath();
    if (absolute == _path && !_path.isEmpty())
        return;
    rememberChoice();
    _path = absolute;
    _problem.clear();
    _listing = StudyListing();
    _filling = true;
    _slots->clear();
    _runs->clear();
    _filling = false;
    _counts->clear();
    _preview->showMessage(QString());
    if (_path.isEmpty()) {
        _status->setText(tr("Choose a source PVX file to see its runs and series slots."));
        return;
    }
    _status->setText(tr("Reading %1 …").arg(QFileInfo(_path).fileName()));
    _contentsWatcher.setFuture(QtConcurrent::run(readStudyContents, _path));
}

void StudyPanel::contentsArrived() {
    const StudyContents contents = _contentsWatcher.result();
    if (contents.path != _path)
        return; // another file was chosen meanwhile; its own read follows
    if (!contents.status.isEmpty()) {
        _problem = contents.status;
        _status->setText(tr("This file cannot be converted: %1").arg(_problem));
        Q_EMIT contentsRead(false);
        return;
    }
    fill(contents.listing);
    Q_EMIT contentsRead(true);
}

void StudyPanel::fill(const StudyListing& listing) {
    _listing = listing;
    _status->setText(
        tr("%1: %2 runs, %3 series slots, %4 timesteps")
            .arg(listing.name.isEmpty() ? QFileInfo(_path).fileName() : listing.name)
            .arg(grouped(listing.runs), grouped(listing.slots.size()), grouped(listing.timesteps)));
    const QList<bool> remembered = rememberedChoices().value(_path);
    _filling = true;
    for (const StudyListing::Slot& slot : listing.slots) {
        auto* item = new QListWidgetItem(
            QStringLiteral("%1  %2.%3").arg(slot.index).arg(slot.objectName, slot.slotName));
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        const bool checked = remembered.size() == listing.slots.size() ? remembered.at(slot.index) : true;
        item->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
        _slots->addItem(item);
    }
    for (int run = 0; run < listing.runs; ++run) {
        auto* item = new QListWidgetItem(QStringLiteral("Run%1").arg(run));
        item->setFlags(Qt::ItemIsEnabled | Qt::ItemIsSelectable | Qt::ItemIsUserCheckable);
        item->setCheckState(Qt::Checked);
        _runs->addItem(item);
    }
    _filling = false;
    applyFilter(_filter->text());
    itemChanged();
}

void StudyPanel::applyFilter(const QString& text) {
    const QString wanted = text.trimmed();
    for (int row = 0; row < _slots->count(); ++row) {
        const StudyListing::Slot& slot = _listing.slots.at(row);
        const QString name = slot.objectName + u'.' + slot.slotName;
        _slots->setRowHidden(row, !wanted.isEmpty() && !name.contains(wanted, Qt::CaseInsensitive));
    }
}

void StudyPanel::setVisibleChecked(QListWidget* list, bool checked) {
    _filling = true;
    for (int row = 0; row < list->count(); ++row)
        if (!list->isRowHidden(row))
            list->item(row)->setCheckState(checked ? Qt::Checked : Qt::Unchecked);
    _filling = false;
    itemChanged();
}

void StudyPanel::itemChanged() {
    if (_filling)
        return;
    _counts->setText(countsText());
    Q_EMIT choiceChanged();
    // The preview shows the checked runs.
    if (sender() == _runs || sender() == nullptr || qobject_cast<QPushButton*>(sender()))
        requestPreview();
}

int StudyPanel::chosenSlots() const {
    return checkedCount(_slots);
}

int StudyPanel::chosenRuns() const {
    return checkedCount(_runs);
}

QString StudyPanel::countsText() const {
    return tr("%1 of %2 series slots and %3 of %4 runs chosen")
        .arg(grouped(chosenSlots()), grouped(_slots->count()), grouped(chosenRuns()),
             grouped(_runs->count()));
}

PvxSelection StudyPanel::selection() const {
    PvxSelection selection;
    if (chosenSlots() != _slots->count())
        for (int row = 0; row < _slots->count(); ++row)
            if (_slots->item(row)->checkState() == Qt::Checked)
                selection.addSlotIndex(row);
    if (chosenRuns() != _runs->count())
        for (int row = 0; row < _runs->count(); ++row)
            if (_runs->item(row)->checkState() == Qt::Checked)
                selection.addRunIndex(row);
    return selection;
}

void StudyPanel::requestPreview() {
    const int slot = _slots->currentRow();
    if (slot < 0 || _path.isEmpty())
        return;
    QList<int> runs;
    for (int row = 0; row < _runs->count(); ++row)
        if (_runs->item(row)->checkState() == Qt::Checked)
            runs.append(row);
    if (runs.isEmpty()) {
        _preview->showMessage(tr("Check a run to see the slot's values."));
        Q_EMIT previewShown();
        return;
    }
    // One read at a time; the latest wish is read when the running one is done.
    if (_previewWatcher.isRunning()) {
        _previewWanted = true;
        return;
    }
    _previewWanted = false;
    _preview->showMessage(tr("Reading the values …"));
    _previewWatcher.setFuture(QtConcurrent::run(readSlotSeries, _path, slot, runs));
}

void StudyPanel::previewArrived() {
    const SlotSeries series = _previewWatcher.result();
    if (_previewWanted || series.path != _path || series.slot != _slots->currentRow()) {
        requestPreview();
        return;
    }
    if (!series.status.isEmpty()) {
        _preview->showMessage(series.status);
    } else {
        const StudyListing::Slot& slot = _listing.slots.at(series.slot);
        _preview->show(series, slot.objectName + u'.' + slot.slotName);
    }
    Q_EMIT previewShown();
}

void StudyPanel::rememberChoice() const {
    if (_path.isEmpty() || _slots->count() == 0)
        return;
    QList<bool> checked;
    for (int row = 0; row < _slots->count(); ++row)
        checked.append(_slots->item(row)->checkState() == Qt::Checked);
    rememberedChoices().insert(_path, checked);
}
