#include "QsLogDestConsole.h"

#include "QsLogStandardError.h"

namespace QsLogging {

const char* const DebugOutputDestination::Type = "console";

void DebugOutputDestination::write(const QString& message, Level) {
    writeToStandardError(message.toUtf8());
    writeToStandardError(QByteArrayLiteral("\n"));
}

bool DebugOutputDestination::isValid() {
    return true;
}

QString DebugOutputDestination::type() const {
    return QString::fromLatin1(Type);
}

} // namespace QsLogging
