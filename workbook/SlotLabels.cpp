#include "ExcelWrite.h"

#include <QRegularExpression>

QString ExcelWrite::shortenSlotName(const QString& fullName) {
    static const QRegularExpression standaloneAnd(QStringLiteral("And(?![a-z])"));
    static const QRegularExpression droppedCharacters(QStringLiteral("[aeiou:\\s]"));

    QString shortName = fullName;
    shortName.replace(standaloneAnd, QStringLiteral("&"));
    shortName.remove(droppedCharacters);

    if (shortName.size() < 32) {
        shortSlotNames.append(shortName);
        return shortName;
    }

    // Too long for a worksheet name: cut, mark the cut, and keep cut names apart by a
    // counter in front of the name.
    QString candidate = shortName.left(30) + QLatin1Char('~');
    for (int k = 1; shortSlotNames.contains(candidate); ++k)
        candidate = (QString::number(k) + shortName).left(30) + QLatin1Char('~');
    shortSlotNames.append(candidate);
    return candidate;
}
