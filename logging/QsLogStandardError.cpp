#include "QsLogStandardError.h"

#include <cstdio>

namespace QsLogging {

void writeToStandardError(const QByteArray& bytes) {
    std::fwrite(bytes.constData(), 1, static_cast<size_t>(bytes.size()), stderr);
    std::fflush(stderr);
}

} // namespace QsLogging
