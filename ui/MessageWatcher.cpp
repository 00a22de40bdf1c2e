#include "MessageWatcher.h"

#include "QsLog.h"

#include <QDateTime>
#include <QRegularExpression>

namespace UtilsNS {

MessageWatcher messageWatcher;

namespace {

QString withoutTrailingBlanks(const QString& text) {
    qsizetype end = text.size();
    while (end > 0 && text.at(end - 1).isSpace())
        --end;
    return text.left(end);
}

// One text streamed into a log line arrives as "text" with \" and \\ escaped; anything
// else (several values, a text with an unescaped quote inside) is left as it is.
QString plainMessage(const QString& message) {
    const QString text = withoutTrailingBlanks(message);
    if (text.size() < 2 || !text.startsWith(QLatin1Char('"')) || !text.endsWith(QLatin1Char('"')))
        return text;
    QString plain;
    for (qsizetype i = 1; i < text.size() - 1; ++i) {
        QChar c = text.at(i);
        if (c == QLatin1Char('"'))
            return text;
        if (c == QLatin1Char('\\') && i + 1 < text.size() - 1) {
            const QChar next = text.at(++i);
            c = next == QLatin1Char('n')   ? QChar(QLatin1Char('\n'))
                : next == QLatin1Char('t') ? QChar(QLatin1Char('\t'))
                                           : next;
        }
        plain.append(c);
    }
    return plain;
}

} // namespace

QString diagnosticRow(const QString& line) {
    const QRegularExpressionMatch stamp = QsLogging::linePrefixPattern().match(line);
    if (!stamp.hasMatch())
        return withoutTrailingBlanks(line);
    const QString stampText = stamp.captured().trimmed();
    const QDateTime when = QDateTime::fromString(stampText, QsLogging::timestampFormat());
    const QString time = when.isValid() ? when.toString(QStringLiteral("hh:mm:ss")) : stampText;
    return line.left(stamp.capturedStart()) + time + QLatin1Char(' ') +
           plainMessage(line.mid(stamp.capturedEnd()));
}

void watcherLogFunction(const QString& line, QsLogging::Level level) {
    const QString text = diagnosticRow(line);

    QsLogging::Level shown = level;
    if (level == QsLogging::Trace || level == QsLogging::Debug)
        shown = QsLogging::Info;
    else if (level == QsLogging::Fatal)
        shown = QsLogging::Error;

    Q_EMIT messageWatcher.message(shown, text);
}

} // namespace UtilsNS
