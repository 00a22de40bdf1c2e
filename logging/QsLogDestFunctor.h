#pragma once

#include "QsLogDest.h"

#include <QObject>

namespace QsLogging {

// Hands each line to a plain function and, for every level above Trace, to the
// logMessageReady signal.
class QSLOG_SHARED_OBJECT FunctorDestination : public QObject, public Destination {
    Q_OBJECT
public:
    explicit FunctorDestination(LogFunction function);
    FunctorDestination(QObject* receiver, const char* member);

    void write(const QString& message, Level level) override;
    bool isValid() override;
    QString type() const override;

    static const char* const Type;

Q_SIGNALS:
    void logMessageReady(const QString& message, int level);

private:
    LogFunction logFunction;
};

} // namespace QsLogging
