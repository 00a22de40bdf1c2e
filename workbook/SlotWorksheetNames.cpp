#include "SlotWorksheetNames.h"

#include <QRegularExpression>
#include <QSet>

namespace {

// Worksheet names as the spreadsheet compares them.
QString nameKey(const QString& name) {
    return name.toCaseFolded();
}

} // namespace

QStringList slotWorksheetNames(const QStringList& slotLabels) {
    static const QRegularExpression colon(QStringLiteral("[:]"));

    QStringList names;
    QSet<QString> taken;
    taken.insert(nameKey(QStringLiteral("Header")));
    for (const QString& label : slotLabels) {
        const QString colonFree = QString(label).remove(colon);
        QString name = colonFree.size() < 32 ? colonFree : colonFree.left(30) + QLatin1Char('~');
        // A name already given would make two slots share one worksheet; the counter in
        // front keeps the names apart.
        for (int k = 1; taken.contains(nameKey(name)); ++k)
            name = (QString::number(k) + colonFree).left(30) + QLatin1Char('~');
        taken.insert(nameKey(name));
        names.append(name);
    }
    return names;
}
