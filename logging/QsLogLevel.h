#pragma once

#include <QMetaType>

namespace QsLogging {

// Severity of a log message; a message is written when its level is at or above the
// logger's level. Off silences everything. Int-based, so that any int travels as a level
// (a value outside 0 to 6 is written as INFO).
enum Level : int { Trace = 0, Debug = 1, Info = 2, Warn = 3, Error = 4, Fatal = 5, Off = 6 };

} // namespace QsLogging

Q_DECLARE_METATYPE(QsLogging::Level)
