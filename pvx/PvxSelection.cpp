#include "PvxSelection.h"

#include <QRegularExpression>

namespace {
// "*" and "?" as wildcards, every other character as itself.
QRegularExpression wildcardPattern(const QString& text) {
    QString expression;
    for (const QChar c : text) {
        if (c == u'*')
            expression += QStringLiteral(".*");
        else if (c == u'?')
            expression += u'.';
        else
            expression += QRegularExpression::escape(QString(c));
    }
    return QRegularExpression(QRegularExpression::anchoredPattern(expression),
                              QRegularExpression::CaseInsensitiveOption |
                                  QRegularExpression::DotMatchesEverythingOption);
}

QString seriesName(const QString& objectName, const QString& slotName) {
    return objectName + u'.' + slotName;
}
} // namespace

bool PvxSelection::Item::matches(int index, const QString& name) const {
    if (isPattern())
        return pattern.match(name).hasMatch();
    return index >= first && index <= last;
}

WriteStatus PvxSelection::parse(const QString& text, bool patternsAllowed, QList<Item>& items) {
    static const QRegularExpression indexOrRange(QStringLiteral("^(\\d+)(?:\\s*-\\s*(\\d+))?$"));
    QList<Item> parsed;
    for (const QString& part : text.split(u',')) {
        const QString itemText = part.trimmed();
        if (itemText.isEmpty())
            continue;
        Item item;
        item.text = itemText;
        const QRegularExpressionMatch match = indexOrRange.match(itemText);
        if (match.hasMatch()) {
            bool firstOk = false;
            bool lastOk = true;
            item.first = match.captured(1).toInt(&firstOk);
            item.last = match.hasCaptured(2) ? match.captured(2).toInt(&lastOk) : item.first;
            if (!firstOk || !lastOk)
                return QStringLiteral("\"%1\" is too large a number").arg(itemText);
            if (item.last < item.first)
                return QStringLiteral("\"%1\" is a range that ends before it begins").arg(itemText);
        } else if (patternsAllowed) {
            item.pattern = wildcardPattern(itemText);
        } else {
            return QStringLiteral("\"%1\" is not a number or a range of numbers such as 0-9").arg(itemText);
        }
        parsed.append(item);
    }
    if (parsed.isEmpty())
        return QStringLiteral("\"%1\" names nothing").arg(text);
    items += parsed;
    return WriteStatus();
}

WriteStatus PvxSelection::add(const QString& text, bool slots) {
    const WriteStatus status = parse(text, slots, slots ? _slotItems : _runItems);
    if (!status.isEmpty())
        return (slots ? QStringLiteral("Invalid slot selection: ")
                      : QStringLiteral("Invalid run selection: ")) +
               status;
    (slots ? _slotTexts : _runTexts).append(text);
    return WriteStatus();
}

WriteStatus PvxSelection::addSlots(const QString& text) {
    return add(text, true);
}

WriteStatus PvxSelection::addRuns(const QString& text) {
    return add(text, false);
}

void PvxSelection::addSlotIndex(int index) {
    _slotItems.append({QString::number(index), index, index, {}});
    _slotTexts.append(QString::number(index));
}

void PvxSelection::addRunIndex(int index) {
    _runItems.append({QString::number(index), index, index, {}});
    _runTexts.append(QString::number(index));
}

bool PvxSelection::choosesSlot(int seriesIndex, const QString& objectName, const QString& slotName) const {
    if (_slotItems.isEmpty())
        return true;
    QString name;
    for (const Item& item : _slotItems) {
        if (item.isPattern() && name.isEmpty())
            name = seriesName(objectName, slotName);
        if (item.matches(seriesIndex, name))
            return true;
    }
    return false;
}

bool PvxSelection::choosesRun(int run) const {
    if (_runItems.isEmpty())
        return true;
    for (const Item& item : _runItems)
        if (item.matches(run, QString()))
            return true;
    return false;
}

QStringList PvxSelection::slotItemsMatchingNothing(const QStringList& objectNames,
                                                   const QStringList& slotNames) const {
    QStringList unmatched;
    for (const Item& item : _slotItems) {
        bool matched = false;
        for (qsizetype k = 0; k < objectNames.size() && !matched; ++k)
            matched = item.matches(int(k), seriesName(objectNames.at(k), slotNames.value(k)));
        if (!matched)
            unmatched.append(item.text);
    }
    return unmatched;
}

QStringList PvxSelection::runItemsMatchingNothing(int runCount) const {
    QStringList unmatched;
    for (const Item& item : _runItems)
        if (item.first >= runCount)
            unmatched.append(item.text);
    return unmatched;
}
