#pragma once

#include "QsLogExport.h"
#include "QsLogLevel.h"

#include <QDebug>
#include <QSharedPointer>
#include <QString>

class QRegularExpression;

namespace QsLogging {

class Destination;
class LoggerImpl;

// The time-stamp format of every log line: local time to the millisecond.
QSLOG_SHARED_OBJECT const QString& timestampFormat();
// Matches one time stamp in that format and the blanks after it.
QSLOG_SHARED_OBJECT const QRegularExpression& linePrefixPattern();
// The five-character text that opens a line of the given level ("" for Off).
QSLOG_SHARED_OBJECT QString levelText(int level);

// The process-wide logger: a minimum level and the destinations every line goes to.
class QSLOG_SHARED_OBJECT Logger {
public:
    static Logger& instance();

    void setLoggingLevel(Level newLevel);
    Level loggingLevel() const;

    void addDestination(QSharedPointer<Destination> destination);
    void removeDestination(const QSharedPointer<Destination>& destination);
    bool hasDestinationOfType(const char* type) const;

    // The level whose text opens the line; Off (and ok false) when none does.
    static Level levelFromLogMessage(const QString& logMessage, bool* conversionSucceeded = nullptr);

    ~Logger();

    // Collects one message from the stream and writes it as a line when destroyed.
    class QSLOG_SHARED_OBJECT Helper {
    public:
        explicit Helper(Level logLevel) : level(logLevel), qtDebug(&buffer) {}
        ~Helper();
        QDebug& stream() { return qtDebug; }

    private:
        void writeToLog();

        Level level;
        QString buffer;
        QDebug qtDebug;
    };

private:
    Logger();
    Logger(const Logger&) = delete;
    Logger& operator=(const Logger&) = delete;

    void enqueueWrite(const QString& message, Level level);
    void write(const QString& message, Level level);

    LoggerImpl* d;
};

} // namespace QsLogging

// Call-site macros: nothing is built when the logger's level filters the message out.
#define QLOG_AT(lvl)                                                                                         \
    if (QsLogging::Logger::instance().loggingLevel() > (lvl)) {                                              \
    } else                                                                                                   \
        QsLogging::Logger::Helper(lvl).stream()
#define QLOG_TRACE() QLOG_AT(QsLogging::Trace)
#define QLOG_DEBUG() QLOG_AT(QsLogging::Debug)
#define QLOG_INFO() QLOG_AT(QsLogging::Info)
#define QLOG_WARN() QLOG_AT(QsLogging::Warn)
#define QLOG_ERROR() QLOG_AT(QsLogging::Error)
#define QLOG_FATAL() QLOG_AT(QsLogging::Fatal)
