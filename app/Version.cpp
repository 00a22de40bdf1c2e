#include "Version.h"

QString versionText() {
    return QStringLiteral("v%1.%2").arg(1).arg(4);
}
