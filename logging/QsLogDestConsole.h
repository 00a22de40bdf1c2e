#pragma once

#include "QsLogDest.h"

namespace QsLogging {

// The debugger-output destination. Without a Windows debugger channel the lines go to
// the standard error stream, each followed by a separate line feed.
class QSLOG_SHARED_OBJECT DebugOutputDestination : public Destination {
public:
    void write(const QString& message, Level level) override;
    bool isValid() override;
    QString type() const override;

    static const char* const Type;
};

} // namespace QsLogging
