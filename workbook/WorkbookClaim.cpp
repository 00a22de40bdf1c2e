#include "WorkbookClaim.h"

#include "SystemPaths.h"

#include <QCryptographicHash>
#include <QDir>
#include <QDirIterator>
#include <QFileInfo>
#include <QLockFile>
#include <QSysInfo>

#include <cerrno>
#include <csignal>
#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <string_view>
#include <unistd.h>

namespace {

// File names of at most 255 bytes fit every common file system.
const int maxLockNameBytes = 255;

// The name of the conversion lock of the workbook named name. The lock file is made through Qt,
// which cannot name a file with bytes that are not UTF-8: such a workbook's lock, like that of a
// long name, is named by a hash of the workbook name's bytes.
QString conversionLockName(const QString& name) {
    const QString lockName = QStringLiteral(".") + name + QStringLiteral(".gridwell-lock");
    if (!holdsKeptBytes(name) && lockName.toUtf8().size() <= maxLockNameBytes)
        return lockName;
    const QByteArray hash = QCryptographicHash::hash(encodeFileName(name), QCryptographicHash::Sha1);
    return QStringLiteral(".gridwell-%1.lock").arg(QString::fromLatin1(hash.toHex().left(16)));
}

// The lock files that spreadsheet applications keep beside a workbook they have open.
QStringList applicationLockPaths(const QString& workbook) {
    const QString folder = folderOf(workbook);
    const QString name = nameOf(workbook);
    QStringList paths = {joinPath(folder, QStringLiteral(".~lock.") + name + QLatin1Char('#')),
                         joinPath(folder, QStringLiteral("~$") + name)};
    // Long names lose their first two characters to the "~$".
    if (name.size() > 8)
        paths.append(joinPath(folder, QStringLiteral("~$") + name.mid(2)));
    return paths;
}

// Whether the lock at path was left by a process of this machine that has ended.
bool leftByEndedProcess(const QString& path) {
    QLockFile lock(path);
    qint64 pid = 0;
    QString host, application;
    if (!lock.getLockInfo(&pid, &host, &application) || pid <= 0)
        return false;
    return host == QSysInfo::machineHostName() && ::kill(pid_t(pid), 0) != 0 && errno == ESRCH;
}

// Whether a file name is that of a conversion lock: ".<name>.gridwell-lock" or, for long names,
// ".gridwell-<hash>.lock".
bool isConversionLockName(std::string_view name) {
    auto startsWith = [&](std::string_view s) { return name.substr(0, s.size()) == s; };
    auto endsWith = [&](std::string_view s) {
        return name.size() >= s.size() && name.substr(name.size() - s.size()) == s;
    };
    return (startsWith(".") && endsWith(".gridwell-lock")) || (startsWith(".gridwell-") && endsWith(".lock"));
}

// The conversion locks in the folder that killed conversions left behind: nobody holds them, and
// nobody else would ever remove them. Names are compared as bytes, which keeps a folder of
// hundreds of thousands of files a matter of a few hundredths of a second.
void removeEndedConversionLocks(const QString& folder) {
    DIR* dir = ::opendir(encodeFileName(folder).constData());
    if (!dir)
        return;
    QStringList locks;
    while (const dirent* entry = ::readdir(dir))
        if (isConversionLockName(entry->d_name) && !holdsKeptBytes(decodeFileName(entry->d_name)))
            locks.append(joinPath(folder, decodeFileName(entry->d_name)));
    ::closedir(dir);
    for (const QString& path : locks) {
        const QFileInfo lock(path);
        if (!lock.isSymLink() && lock.isFile() && leftByEndedProcess(path))
            QFile::remove(path);
    }
}

QString currentUserName() {
    if (const passwd* entry = ::getpwuid(::getuid()))
        return QString::fromLocal8Bit(entry->pw_name);
    return qEnvironmentVariable("USER");
}

// Whether a process of the office suite that writes ".~lock.<name>#" files runs on this machine.
bool officeSuiteRuns() {
    QDirIterator processes(QStringLiteral("/proc"), QDir::Dirs | QDir::NoDotAndDotDot);
    while (processes.hasNext()) {
        QFile command(processes.next() + QStringLiteral("/comm"));
        if (!command.open(QIODevice::ReadOnly))
            continue;
        const QByteArray name = command.readAll().trimmed();
        if (name == "soffice.bin" || name == "soffice" || name == "oosplash")
            return true;
    }
    return false;
}

// A ".~lock.<name>#" file reads "full name,user,host,date,profile;".
bool namesThisUserHere(const QString& lockPath) {
    QFile lock;
    QString error;
    if (!openFile(lock, lockPath, QIODevice::ReadOnly, error))
        return false;
    const QStringList fields = QString::fromUtf8(lock.read(4096)).split(u',');
    return fields.size() >= 3 && fields.at(1) == currentUserName() &&
           fields.at(2) == QSysInfo::machineHostName();
}

QString openElsewhere(const QString& path, const QString& applicationLock) {
    const QString shown = QDir::toNativeSeparators(applicationLock);
    return QStringLiteral(
               "The workbook \"%1\" is open in a spreadsheet application (its lock file \"%2\" "
               "exists). Close the workbook there and convert again. If no spreadsheet application has "
               "it open (the lock file was left by one that ended), remove the lock file, for example "
               "with: rm '%2'")
        .arg(path, shown);
}

// What to do about a lock file this user could not use: another user's (in a folder that lets
// only a file's owner remove it, say) is for its owner or an administrator to remove.
QString ownerAdvice(const QFileInfo& file, const QString& remove) {
    if (!file.exists() || file.ownerId() == ::getuid())
        return remove;
    const QString owner = file.owner().isEmpty() ? QString::number(file.ownerId()) : file.owner();
    return QStringLiteral(
               " It belongs to the user %1: if no conversion into the workbook runs, have them or an "
               "administrator remove it, and convert again.")
        .arg(owner);
}

// Why the conversion lock at lockPath could not be taken, as a sentence about the workbook at
// path: another conversion that runs, or what is wrong with the lock file.
QString lockProblem(QLockFile& lock, const QString& lockPath, const QString& shownLockPath,
                    const QString& path) {
    const QFileInfo file(lockPath);
    const QString shown = QDir::toNativeSeparators(shownLockPath);
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
    // One this user may not read is not taken for an empty or foreign one.
    if (QFile readable(lockPath); file.exists() && !readable.open(QIODevice::ReadOnly))
        return QStringLiteral("The lock file \"%1\" of the workbook \"%2\" cannot be read: %3.")
                   .arg(shown, path, readable.errorString()) +
               ownerAdvice(file, remove);
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
           ownerAdvice(file, remove);
}

} // namespace

WorkbookClaim::WorkbookClaim(const QString& workbookPath) : _path(workbookPath) {}

WorkbookClaim::~WorkbookClaim() {
    _lock.reset();
    if (_folder >= 0)
        ::close(_folder);
}

QString WorkbookClaim::resolvedPath(const QString& path) {
    // Not cleaned of "..": the system resolves it after the links before it, as the save will.
    QString file = withCurrentFolder(QDir::fromNativeSeparators(path));
    // A chain of links, also one that ends in a file not made yet; bounded against loops.
    for (int hops = 0; hops < 40 && isSymbolicLink(file); ++hops)
        file = linkTarget(file);
    if (const QString canonical = canonicalPath(file); !canonical.isEmpty())
        return canonical;
    if (const QString folder = canonicalPath(folderOf(file)); !folder.isEmpty())
        return joinPath(folder, nameOf(file));
    return QDir::cleanPath(file);
}

// The folder as Qt may name it: a folder whose name is not UTF-8 is reached through a
// descriptor held open for the claim's life. Empty when that is not possible (no /proc); a folder
// that cannot be opened at all is left to the save to name.
QString WorkbookClaim::folderForQt(const QString& folder) {
    if (!holdsKeptBytes(folder))
        return folder;
    if (_folder < 0)
        _folder = ::open(encodeFileName(folder).constData(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (_folder < 0)
        return folder;
    const QString reached = QStringLiteral("/proc/self/fd/%1").arg(_folder);
    return isFolder(reached) ? reached : QString();
}

WriteStatus WorkbookClaim::acquire() {
    _resolved = resolvedPath(_path);
    const QString folder = folderOf(_resolved);
    const QString lockName = conversionLockName(nameOf(_resolved));
    const QString shownLockPath = joinPath(folder, lockName);
    const QString qtFolder = folderForQt(folder);
    if (qtFolder.isEmpty())
        return QStringLiteral("The conversion lock of the workbook \"%1\" cannot be taken: the name of its "
                              "folder is not UTF-8, and such a folder is reached through /proc/self/fd, "
                              "which is not there. Mount /proc, or convert into a folder with a UTF-8 name.")
            .arg(_path);
    const QString lockPath = joinPath(qtFolder, lockName);

    removeEndedConversionLocks(qtFolder);
    auto lock = std::make_unique<QLockFile>(lockPath);
    lock->setStaleLockTime(0);
    bool locked = lock->tryLock(0);
    if (!locked && lock->error() == QLockFile::LockFailedError) {
        const QString problem = lockProblem(*lock, lockPath, shownLockPath, _path);
        if (!problem.isEmpty())
            return problem;
        locked = lock->tryLock(0); // the lock of a conversion that has ended was taken away
        if (!locked && lock->error() == QLockFile::LockFailedError)
            return lockProblem(*lock, lockPath, shownLockPath, _path);
    }
    if (locked)
        _lock = std::move(lock);
    // A lock that cannot be made at all (a missing or read-only folder) leaves nobody else able to
    // write there either; the save names that cause.

    if (const WriteStatus open = checkNotOpenElsewhere(); !open.isEmpty()) {
        _lock.reset();
        return open;
    }
    _existed = pathExists(_resolved) || isSymbolicLink(_resolved);
    return WriteStatus();
}

WriteStatus WorkbookClaim::checkNotOpenElsewhere() const {
    for (const QString& applicationLock : applicationLockPaths(_resolved))
        if (pathExists(applicationLock))
            return openElsewhere(_path, applicationLock);
    return WriteStatus();
}

WriteStatus WorkbookClaim::checkReplaceable() const {
    const QString folder = folderOf(_resolved);
    const QString tail =
        QStringLiteral("; the study was not read.\n Could not save workbook \"%1\"").arg(_path);
    // The new file is made beside the old one and takes its place, so the folder must take it.
    if (isFolder(folder) && !mayAccess(folder, W_OK | X_OK))
        return QStringLiteral(
                   "Cannot save \"%1\": Permission denied (the folder \"%2\" may not be written by this "
                   "user)")
                   .arg(_path, QDir::toNativeSeparators(folder)) +
               tail;
    if (isRegularFile(_resolved) && !mayAccess(_resolved, W_OK))
        return QStringLiteral(
                   "Cannot save \"%1\": Permission denied (the workbook may not be written by this "
                   "user)")
                   .arg(_path) +
               tail;
    return WriteStatus();
}

QString WorkbookClaim::staleApplicationLock(const QString& workbookPath) {
    const QString officeLock = applicationLockPaths(resolvedPath(workbookPath)).first();
    if (isRegularFile(officeLock) && namesThisUserHere(officeLock) && !officeSuiteRuns())
        return officeLock;
    return QString();
}

void WorkbookClaim::discardCreatedWorkbook() {
    if (!_existed && !_resolved.isEmpty() && pathExists(_resolved))
        removeFile(_resolved);
}
