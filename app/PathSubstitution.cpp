#include "PathSubstitution.h"

#include "SystemPaths.h"

#include <QObject>
#include <QRegExp>
#include <QStringList>

WriteStatus substituteEnvironmentVariables(const QString& path, QString& result) {
    result = path;
    if (result.isEmpty())
        return WriteStatus();

    const QRegExp reference(QStringLiteral("\\$[({]?[A-Za-z0-9_]+[})]?"), Qt::CaseSensitive, QRegExp::RegExp);
    QStringList undefinedNames;
    int position = 0;
    while (position < result.size()) {
        const int found = reference.indexIn(result, position);
        if (found < 0)
            break;
        const QString matched = reference.cap(0);
        // A bracketed reference loses its last character whatever it is.
        const QChar opening = matched.size() > 1 ? matched.at(1) : QChar();
        const bool bracketed = opening == u'(' || opening == u'{';
        const QString name = bracketed ? matched.mid(2, matched.size() - 3) : matched.mid(1);
        // A value is part of a path: one that is not UTF-8 keeps its bytes.
        const QString value = decodeFileName(qgetenv(name.toLocal8Bit().constData()));
        if (value.isEmpty()) {
            undefinedNames.append(name);
            position = found + matched.size();
        } else {
            result.replace(found, matched.size(), value);
            position = found + value.size();
        }
    }
    // Values joined with the text around them may make UTF-8 of bytes that were kept apart: the
    // path reads as the system will read its bytes.
    result = decodeFileName(encodeFileName(result));
    if (undefinedNames.isEmpty())
        return WriteStatus();
    return QObject::tr("contains undefined environment variable(s): ") +
           undefinedNames.join(QStringLiteral(", "));
}
