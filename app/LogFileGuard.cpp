#include "LogFileGuard.h"

#include "SystemPaths.h"
#include "WorkbookClaim.h"

#include <QByteArray>
#include <QFile>

#ifndef _WIN32
#include <sys/stat.h>
#endif

namespace {

// The first bytes of a zip package (.xlsx, .xlsm, .xlsb) or of a compound file (.xls).
bool looksLikeWorkbook(const QString& path) {
    QFile file;
    QString error;
    if (!openFile(file, path, QIODevice::ReadOnly, error))
        return false;
    const QByteArray head = file.read(8);
    return head.startsWith("PK\x03\x04") || head.startsWith("PK\x05\x06") ||
           head == QByteArray("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8);
}

} // namespace

bool sameFileOnDisk(const QString& a, const QString& b) {
    if (a.isEmpty() || b.isEmpty())
        return false;
#ifndef _WIN32
    struct stat first, second;
    if (statusOf(a, first) && statusOf(b, second))
        return first.st_dev == second.st_dev && first.st_ino == second.st_ino;
#endif
    return WorkbookClaim::resolvedPath(a).compare(WorkbookClaim::resolvedPath(b),
#ifdef _WIN32
                                                  Qt::CaseInsensitive
#else
                                                  Qt::CaseSensitive
#endif
                                                  ) == 0;
}

QString logFileRefusal(const QString& logPath, const QString& inputPath, const QString& workbookPath) {
    if (sameFileOnDisk(logPath, inputPath))
        return QStringLiteral("it is the input file");
    if (sameFileOnDisk(logPath, workbookPath))
        return QStringLiteral("it is the workbook");
    if (isRegularFile(logPath) && looksLikeWorkbook(logPath))
        return QStringLiteral("it is a workbook, not a log file");
    return QString();
}
