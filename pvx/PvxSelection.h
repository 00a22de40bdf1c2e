#pragma once

#include "WriteStatus.h"

#include <QList>
#include <QRegularExpression>
#include <QString>
#include <QStringList>

// The runs and series slots a conversion keeps. A slot selection is a comma-separated list of
// indices ("12"), index ranges ("0-9") and patterns matched against "Object.Slot" ("*" for any
// text, "?" for one character, case-insensitive); a run selection takes indices and ranges.
// Every added text adds to what is chosen; nothing added chooses everything.
//
// Slot indices count series slots only, as the workbook's "Slot12" labels do.
class PvxSelection {
public:
    // Adds the items of one selection text; a text that does not parse leaves the selection as
    // it was and says which item is wrong.
    WriteStatus addSlots(const QString& text);
    WriteStatus addRuns(const QString& text);
    void addSlotIndex(int index);
    void addRunIndex(int index);

    bool choosesAllSlots() const { return _slotItems.isEmpty(); }
    bool choosesAllRuns() const { return _runItems.isEmpty(); }
    bool choosesEverything() const { return choosesAllSlots() && choosesAllRuns(); }

    bool choosesSlot(int seriesIndex, const QString& objectName, const QString& slotName) const;
    bool choosesRun(int run) const;

    // The items that choose none of the given series slots (object and slot names in file
    // order), or none of runCount runs.
    QStringList slotItemsMatchingNothing(const QStringList& objectNames, const QStringList& slotNames) const;
    QStringList runItemsMatchingNothing(int runCount) const;

    // The texts as given, joined for messages.
    QString slotText() const { return _slotTexts.join(QLatin1Char(',')); }
    QString runText() const { return _runTexts.join(QLatin1Char(',')); }

private:
    struct Item {
        QString text;
        int first = 0;
        int last = -1;
        QRegularExpression pattern; // valid only for a pattern item
        bool isPattern() const { return !pattern.pattern().isEmpty(); }
        bool matches(int index, const QString& name) const;
    };
    static WriteStatus parse(const QString& text, bool patternsAllowed, QList<Item>& items);
    // Slot texts take patterns, run texts do not.
    WriteStatus add(const QString& text, bool slots);

    QList<Item> _slotItems;
    QList<Item> _runItems;
    QStringList _slotTexts;
    QStringList _runTexts;
};
