#include "WorkbookClaim.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>

namespace {

// File names of at most 255 bytes fit every common file system.
const int maxLockNameBytes = 255;

QString conversionLockPath(const QFileInfo& workbook) {
    const QString name = QStringLiteral(".") + workbook.fileName() + QStringLiteral(".gridwell-lock");
    if (name.toUtf8().size() <= maxLockNameBytes)
        return workbook.absoluteDir().filePath(name);
    const QByteArray hash = QCryptographicHash::hash(workbook.fileName().toUtf8(), QCryptographicHash::Sha1);
    return workbook.absoluteDir().filePath(
        QStringLiteral(".gridwell-%1.lock").arg(QString::fromLatin1(hash.toHex().left(16))));
}

// The lock files that spreadsheet applications keep beside a workbook they have open.
QStringList applicationLockPaths(const QFileInfo& workbook) {
    const QDir folder = workbook.absoluteDir();
    const QString name = workbook.fileName();
    QStringList paths = {folder.filePath(QStringLiteral(".~lock.") + name + QLatin1Char('#')),
                         folder.filePath(QStringLiteral("~$") + name)};
    // Long names lose their first two characters to the "~$".
    if (name.size() > 8)
        paths.append(folder.filePath(QStringLiteral("~$") + name.mid(2)));
    return paths;
}

} // namespace

WorkbookClaim::WorkbookClaim(const QString& workbookPath) : _path(workbookPath) {}

WorkbookClaim::~WorkbookClaim() = default;

QString WorkbookClaim::resolvedPath(const QString& path) {
    QFileInfo info(QDir::fromNativeSeparators(path));
    // A chain of links, also one that ends in a file not made yet; bounded against loops.
    for (int hops = 0; hops < 40 && info.isSymLink(); ++hops)
        info = QFileInfo(info.symLinkTarget());
    if (info.exists())
        return info.canonicalFilePath();
    const QString folder = info.absoluteDir().canonicalPath();
    return folder.isEmpty() ? info.absoluteFilePath() : QDir(folder).filePath(info.fileName());
}

WriteStatus WorkbookClaim::acquire() {
    _resolved = resolvedPath(_path);
    const QFileInfo workbook(_resolved);

    auto lock = std::make_unique<QLockFile>(conversionLockPath(workbook));
    lock->setStaleLockTime(0);
    if (lock->tryLock(0)) {
        _lock = std::move(lock);
    } else if (lock->error() == QLockFile::LockFailedError) {
        return QStringLiteral(
                   "The workbook \"%1\" is being written by another conversion; try again when it has "
                   "finished.")
            .arg(_path);
    }
    // A lock that cannot be made at all (a missing or read-only folder) leaves nobody else able to
    // write there either; the save names that cause.

    for (const QString& applicationLock : applicationLockPaths(workbook)) {
        if (QFileInfo::exists(applicationLock)) {
            _lock.reset();
            return QStringLiteral(
                       "The workbook \"%1\" is open in a spreadsheet application (its lock file \"%2\" "
                       "exists). Close the workbook there and convert again.")
                .arg(_path, QDir::toNativeSeparators(applicationLock));
        }
    }
    _existed = workbook.exists() || workbook.isSymLink();
    return WriteStatus();
}

void WorkbookClaim::discardCreatedWorkbook() {
    if (!_existed && !_resolved.isEmpty() && QFileInfo::exists(_resolved))
        QFile::remove(_resolved);
}
