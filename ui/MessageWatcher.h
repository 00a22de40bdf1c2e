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

// The function of the logger's functor destination: drops the time stamp from the line,
// folds Trace and Debug into Info and Fatal into Error, and hands the text to the watcher.
// Runs under the logger's mutex on the logging thread, so it only emits.
void watcherLogFunction(const QString& line, QsLogging::Level level);

} // namespace UtilsNS
