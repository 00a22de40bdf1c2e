#include "ExcelWrite.h"

#include "CutNames.h"

#include <QRegularExpression>

QString ExcelWrite::shortenSlotName(const QString& fullName) {
    static const QRegularExpression standaloneAnd(QStringLiteral("And(?![a-z])"));
    static const QRegularExpression droppedCharacters(QStringLiteral("[aeiou:\\s]"));

    QString shortName = fullName;
    shortName.replace(standaloneAnd, QStringLiteral("&"));
    shortName.remove(droppedCharacters);

    // The names given so far, for the cut below; kept in step with shortSlotNames, which
    // the header step empties at its start.
    if (!shortNameCuts || shortNameCuts->size() != shortSlotNames.size()) {
        shortNameCuts = std::make_shared<CutNames>(CutNames::CaseSensitive);
        for (const QString& given : std::as_const(shortSlotNames))
            shortNameCuts->add(given);
    }
    if (shortName.size() < 32) {
        shortNameCuts->add(shortName);
        shortSlotNames.append(shortName);
        return shortName;
    }

    // Too long for a worksheet name: cut, mark the cut, and keep cut names apart by a
    // counter in front of the name.
    const QString candidate = shortNameCuts->cutDistinct(shortName);
    shortSlotNames.append(candidate);
    return candidate;
}
