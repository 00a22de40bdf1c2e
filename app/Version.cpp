#include "Version.h"

#include "GridwellVersion.h"

QString versionText() {
    return QStringLiteral("v%1.%2").arg(GRIDWELL_VERSION_MAJOR).arg(GRIDWELL_VERSION_MINOR);
}
