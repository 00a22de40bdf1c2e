#include "QsLog.h"

#include "QsLogDest.h"

#include <QDateTime>
#include <QList>
#include <QMutex>
#include <QMutexLocker>
#include <QRegularExpression>

#include <atomic>

namespace QsLogging {

const QString& timestampFormat() {
    static const QString format = QStringLiteral("yyyy-MM-ddThh:mm:ss.zzz");
    return format;
}

const QRegularExpression& linePrefixPattern() {
    static const QRegularExpression pattern(
        QStringLiteral("\\d{4}-\\d{2}-\\d{2}T\\d{2}:\\d{2}:\\d{2}\\.\\d{3}\\s+"));
    return pattern;
}

QString levelText(int level) {
    switch (level) {
    case Trace:
        return QStringLiteral("TRACE");
    case Debug:
        return QStringLiteral("DEBUG");
    case Info:
        return QStringLiteral("INFO ");
    case Warn:
        return QStringLiteral("WARN ");
    case Error:
        return QStringLiteral("ERROR");
    case Fatal:
        return QStringLiteral("FATAL");
    case Off:
        return QString();
    default:
        return QStringLiteral("INFO ");
    }
}

class LoggerImpl {
public:
    LoggerImpl() { destList.reserve(2); }

    // Not recursive: a destination that logged would dead-lock, which is the point.
    QMutex logMutex;
    // Read and written without the mutex; atomic so that a level change from one thread
    // is never a torn or undefined read in another.
    std::atomic<int> level{Info};
    QList<DestinationPtr> destList;
};

Logger::Logger() : d(new LoggerImpl) {}

Logger::~Logger() {
    delete d;
}

Logger& Logger::instance() {
    static Logger logger;
    return logger;
}

void Logger::setLoggingLevel(Level newLevel) {
    d->level.store(newLevel, std::memory_order_relaxed);
}

Level Logger::loggingLevel() const {
    return static_cast<Level>(d->level.load(std::memory_order_relaxed));
}

void Logger::addDestination(QSharedPointer<Destination> destination) {
    QMutexLocker lock(&d->logMutex);
    d->destList.append(destination);
}

void Logger::removeDestination(const QSharedPointer<Destination>& destination) {
    QMutexLocker lock(&d->logMutex);
    for (qsizetype i = 0; i < d->destList.size(); ++i) {
        if (d->destList.at(i).data() == destination.data()) {
            d->destList.removeAt(i);
            return;
        }
    }
}

bool Logger::hasDestinationOfType(const char* type) const {
    const QString wanted = QString::fromLatin1(type);
    QMutexLocker lock(&d->logMutex);
    for (const DestinationPtr& destination : d->destList) {
        if (destination && destination->type() == wanted)
            return true;
    }
    return false;
}

Level Logger::levelFromLogMessage(const QString& logMessage, bool* conversionSucceeded) {
    if (conversionSucceeded)
        *conversionSucceeded = true;
    for (int level = Trace; level <= Fatal; ++level) {
        if (logMessage.startsWith(levelText(level)))
            return static_cast<Level>(level);
    }
    if (conversionSucceeded)
        *conversionSucceeded = false;
    return Off;
}

void Logger::enqueueWrite(const QString& message, Level level) {
    write(message, level);
}

void Logger::write(const QString& message, Level level) {
    // Held while every destination writes, so lines from different threads arrive whole
    // and in the same order everywhere.
    QMutexLocker lock(&d->logMutex);
    for (const DestinationPtr& destination : std::as_const(d->destList))
        destination->write(message, level);
}

Logger::Helper::~Helper() {
    writeToLog();
}

void Logger::Helper::writeToLog() {
    const QString line =
        QStringLiteral("%1 %2 %3")
            .arg(levelText(level), 0, QLatin1Char(' '))
            .arg(QDateTime::currentDateTime().toString(timestampFormat()), 0, QLatin1Char(' '))
            .arg(buffer, 0, QLatin1Char(' '));
    Logger::instance().enqueueWrite(line, level);
}

} // namespace QsLogging
