#include "SlotWorksheetNames.h"

#include "CutNames.h"
#include "ExcelWrite.h"
#include "PvxModel.h"
#include "WorkbookTypes.h"

#include <QRegularExpression>

QString worksheetNameFrom(const QString& label, const QString& indexLabel) {
    static const QRegularExpression colon(QStringLiteral("[:]"));
    // Besides the characters a worksheet name may not hold, U+FFFE and U+FFFF, which XML may
    // not hold: a workbook part with one in it opens in no reader.
    static const QRegularExpression refused(
        QStringLiteral("[\\[\\]*?/\\\\\\x00-\\x1F\\x7F\\x{FFFE}\\x{FFFF}]"));
    static const QRegularExpression outerApostrophes(QStringLiteral("^'+|'+$"));

    QString name = QString(label).remove(colon);
    name.replace(refused, QStringLiteral("_"));
    name.remove(outerApostrophes);
    return name.isEmpty() ? indexLabel : name;
}

QStringList slotWorksheetNames(const QStringList& slotLabels, const QStringList& indexLabels) {
    CutNames taken(CutNames::IgnoringCase);
    taken.add(QStringLiteral("Header"));
    taken.add(QStringLiteral("History"));

    QStringList names;
    names.reserve(slotLabels.size());
    for (qsizetype k = 0; k < slotLabels.size(); ++k) {
        const QString indexLabel =
            k < indexLabels.size() ? indexLabels.at(k) : QStringLiteral("Slot%1").arg(k);
        const QString name = worksheetNameFrom(slotLabels.at(k), indexLabel);
        // A name already given would make two slots share one worksheet; the counter in
        // front keeps the names apart.
        if (name.size() >= 32) {
            names.append(taken.cutDistinct(name));
        } else if (taken.contains(name)) {
            names.append(taken.countedDistinct(name));
        } else {
            taken.add(name);
            names.append(name);
        }
    }
    return names;
}

QStringList fileSeriesLabels(const PvxPackage& package, int preference) {
    return seriesLabels(package.fileSeriesObjects, package.fileSeriesSlots, preference);
}

QStringList seriesLabels(const QStringList& objectNames, const QStringList& slotNames, int preference) {
    ExcelWrite shortener;
    QStringList labels;
    labels.reserve(objectNames.size());
    for (qsizetype k = 0; k < objectNames.size(); ++k) {
        const QString fullName = objectNames.at(k) + slotNames.value(k);
        if (preference == Full)
            labels.append(fullName);
        else if (preference == Short)
            labels.append(shortener.shortenSlotName(fullName));
        else
            labels.append(QStringLiteral("Slot%1").arg(k));
    }
    return labels;
}
