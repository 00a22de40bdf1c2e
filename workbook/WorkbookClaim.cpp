#include "WorkbookClaim.h"

#include <QCryptographicHash>
#include <QDir>
#include <QFileInfo>
#include <QLockFile>
#include <QSysInfo>

#include <cerrno>
#include <csignal>

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

// Why the conversion lock at lockPath could not be taken, as a sentence about the workbook at
// path: another conversion that runs, or what is wrong with the lock file.
QString lockProblem(QLockFile& lock, const QString& lockPath, const QString& path) {
    const QFileInfo file(lockPath);
    const QString shown = QDir::toNativeSeparators(lockPath);
    const QString remove =
        QStringLiteral(" Remove it if no conversion into the workbook runs, and convert again.");
    if (file.isSymLink())
        return QStringLiteral(
                   "The lock file \"%1\" of the workbook \"%2\" is a symbolic link; a lock is never "
                   "written through one.")
                   .arg(shown, path) +
               remove;
    if (file.isDir())
        return QStringLiteral("The lock file \"%1\" of the workbook \"%2\" is a folder.").arg(shown, path) +
               remove;
    if (file.exists() && !file.isFile())
        return QStringLiteral("The lock file \"%1\" of the workbook \"%2\" is not a regular file.")
                   .arg(shown, path) +
               remove;
    qint64 pid = 0;
    QString host, application;
    if (!lock.getLockInfo(&pid, &host, &application))
        return QStringLiteral(
                   "The lock file \"%1\" of the workbook \"%2\" cannot be read: it is empty or not a "
                   "Gridwell lock file.")
                   .arg(shown, path) +
               remove;
    // A process of this machine that still runs (or one of another machine, which cannot be
    // asked) holds it; the lock of one that has ended is taken away.
    const bool gone = host == QSysInfo::machineHostName() && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
    if (!gone)
        return QStringLiteral(
                   "The workbook \"%1\" is being written by another conversion (process %2 on %3); "
                   "try again when it has finished.")
            .arg(path)
            .arg(pid)
            .arg(host.isEmpty() ? QStringLiteral("an unknown machine") : host);
    if (lock.removeStaleLockFile())
        return QString();
    QFile stale(lockPath);
    if (stale.remove())
        return QString();
    return QStringLiteral(
               "The lock file \"%1\" of the workbook \"%2\" was left by a conversion that has ended "
               "(process %3), but it cannot be removed: %4.")
               .arg(shown, path)
               .arg(pid)
               .arg(stale.errorString()) +
           remove;
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

    const QString lockPath = conversionLockPath(workbook);
    auto lock = std::make_unique<QLockFile>(lockPath);
    lock->setStaleLockTime(0);
    bool locked = lock->tryLock(0);
    if (!locked && lock->error() == QLockFile::LockFailedError) {
        const QString problem = lockProblem(*lock, lockPath, _path);
        if (!problem.isEmpty())
            return problem;
        locked = lock->tryLock(0); // the lock of a conversion that has ended was taken away
        if (!locked && lock->error() == QLockFile::LockFailedError)
            return lockProblem(*lock, lockPath, _path);
    }
    if (locked)
        _lock = std::move(lock);
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
