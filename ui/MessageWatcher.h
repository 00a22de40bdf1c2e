#pragma once

#include "QsLogLevel.h"

#include <QObject>
#include <QString>

namespace UtilsNS {

// Re-emits log lines as a Qt signal, so that windows can receive them through a queued
// connection on their own thread.
class MessageWatcher : public QObject {
    Q_OBJECT
Q_SIGNALS:
    void message(QsLogging::Level level, const QString& text);
};

// The one watcher of the process; without a connected window its signal reaches nobody.
extern MessageWatcher messageWatcher;

// The function of the logger's functor destination: folds Trace and Debug into Info and
// Fatal into Error, and hands the line as diagnosticRow gives it to the watcher. Runs under
// the logger's mutex on the logging thread, so it only emits.
void watcherLogFunction(const QString& line, QsLogging::Level level);

// A log line as the diagnostics window shows it: the level, the time of day ("hh:mm:ss")
// in place of the full time stamp, and the message as plain text, without the quotes that
// the log stream puts around a text and without trailing blanks.
QString diagnosticRow(const QString& line);

} // namespace UtilsNS
