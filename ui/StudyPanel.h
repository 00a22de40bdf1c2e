#pragma once

#include "PvxSelection.h"
#include "StudyReading.h"

#include <QFutureWatcher>
#include <QHash>
#include <QWidget>

class QLabel;
class QLineEdit;
class QListWidget;
class QListWidgetItem;
class QPushButton;
class SlotPreview;

// What the chosen study holds, read beside the window: its series slots and runs with check
// boxes (all checked at first), a filter over the slots, "All" and "None", the counts chosen,
// and a preview of the selected slot over the checked runs. The conversion converts what is
// checked. A study that does not read says why here, before "Create Workbook".
class StudyPanel : public QWidget {
    Q_OBJECT
public:
    explicit StudyPanel(QWidget* parent = nullptr);
    ~StudyPanel() override;

    // Reads the file's contents in the background; an empty path empties the panel.
    void setSourceFile(const QString& path);
    const QString& sourceFile() const { return _path; }
    bool reading() const { return _contentsWatcher.isRunning(); }
    // Why the file does not read; empty while reading and for a file that reads.
    const QString& problem() const { return _problem; }

    // What is checked, as the conversion takes it: everything when all is checked.
    PvxSelection selection() const;
    int chosenSlots() const;
    int chosenRuns() const;
    // "12 of 2,000 series slots and 3 of 3 runs chosen"
    QString countsText() const;

    SlotPreview* preview() const { return _preview; }

Q_SIGNALS:
    // The contents of the file are read (or failed to read).
    void contentsRead(bool readable);
    // The checked slots or runs changed.
    void choiceChanged();
    // A preview has been drawn or cleared.
    void previewShown();

private:
    void contentsArrived();
    void fill(const StudyListing& listing);
    void applyFilter(const QString& text);
    void setVisibleChecked(QListWidget* list, bool checked);
    void itemChanged();
    void requestPreview();
    void previewArrived();
    void rememberChoice() const;

    QString _path;
    QString _problem;
    StudyListing _listing;
    QLabel* _status;
    QLineEdit* _filter;
    QListWidget* _slots;
    QListWidget* _runs;
    QLabel* _counts;
    SlotPreview* _preview;
    QFutureWatcher<StudyContents> _contentsWatcher;
    QFutureWatcher<SlotSeries> _previewWatcher;
    bool _previewWanted = false;
    bool _filling = false;
};
