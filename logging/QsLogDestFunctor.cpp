#include "QsLogDestFunctor.h"

namespace QsLogging {

const char* const FunctorDestination::Type = "functor";

FunctorDestination::FunctorDestination(LogFunction function) : QObject(nullptr), logFunction(function) {}

FunctorDestination::FunctorDestination(QObject* receiver, const char* member)
    : QObject(nullptr), logFunction(nullptr) {
    // Queued, so the receiver's slot runs in its own thread and never under the logger's mutex.
    connect(this, SIGNAL(logMessageReady(QString, int)), receiver, member, Qt::QueuedConnection);
}

void FunctorDestination::write(const QString& message, Level level) {
    if (logFunction)
        logFunction(message, level);
    if (level > Trace)
        Q_EMIT logMessageReady(message, static_cast<int>(level));
}

bool FunctorDestination::isValid() {
    return true;
}

QString FunctorDestination::type() const {
    return QString::fromLatin1(Type);
}

} // namespace QsLogging
