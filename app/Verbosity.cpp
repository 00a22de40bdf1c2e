#include "Verbosity.h"

#include "QsLog.h"

void setVerboseLogging(bool verbose) {
    QsLogging::Logger::instance().setLoggingLevel(verbose ? QsLogging::Trace : QsLogging::Warn);
}
