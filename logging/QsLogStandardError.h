#pragma once

#include <QByteArray>

namespace QsLogging {

// Writes the bytes to the C standard error stream and flushes, bypassing whatever buffer
// the C++ streams have been given.
void writeToStandardError(const QByteArray& bytes);

} // namespace QsLogging
