#pragma once

#include "QsLogExport.h"
#include "QsLogLevel.h"

#include <QSharedPointer>
#include <QString>
#include <QtGlobal>

class QObject;

namespace QsLogging {

// Where finished log lines go. Called with the logger's mutex held, so a destination
// must never log itself.
class QSLOG_SHARED_OBJECT Destination {
public:
    using LogFunction = void (*)(const QString& message, Level level);

    virtual ~Destination();
    virtual void write(const QString& message, Level level) = 0;
    virtual bool isValid() = 0;
    // "console", "file" or "functor".
    virtual QString type() const = 0;
};
using DestinationPtr = QSharedPointer<Destination>;

enum LogRotationOption { DisableLogRotation = 0, EnableLogRotation = 1 };

struct QSLOG_SHARED_OBJECT MaxSizeBytes {
    MaxSizeBytes() : size(0) {}
    explicit MaxSizeBytes(qint64 size_) : size(size_) {}
    qint64 size;
};

struct QSLOG_SHARED_OBJECT MaxOldLogCount {
    MaxOldLogCount() : count(0) {}
    explicit MaxOldLogCount(int count_) : count(count_) {}
    int count;
};

class QSLOG_SHARED_OBJECT DestinationFactory {
public:
    static DestinationPtr MakeFileDestination(const QString& filePath,
                                              LogRotationOption rotation = DisableLogRotation,
                                              const MaxSizeBytes& sizeInBytesToRotateAfter = MaxSizeBytes(),
                                              const MaxOldLogCount& oldLogsToKeep = MaxOldLogCount());
    static DestinationPtr MakeDebugOutputDestination();
    static DestinationPtr MakeFunctorDestination(Destination::LogFunction function);
    // The receiver's slot gets every line above Trace through a queued connection.
    static DestinationPtr MakeFunctorDestination(QObject* receiver, const char* member);
};

} // namespace QsLogging
