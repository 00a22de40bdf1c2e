#include "MessageWatcher.h"

#include "QsLog.h"

#include <QRegularExpression>

namespace UtilsNS {

MessageWatcher messageWatcher;

void watcherLogFunction(const QString& line, QsLogging::Level level) {
    QString text = line;
    const QRegularExpressionMatch stamp = QsLogging::linePrefixPattern().match(text);
    if (stamp.hasMatch())
        text.remove(stamp.capturedStart(), stamp.capturedLength());

    QsLogging::Level shown = level;
    if (level == QsLogging::Trace || level == QsLogging::Debug)
        shown = QsLogging::Info;
    else if (level == QsLogging::Fatal)
        shown = QsLogging::Error;

    Q_EMIT messageWatcher.message(shown, text);
}

} // namespace UtilsNS
