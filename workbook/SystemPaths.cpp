#include "SystemPaths.h"

#include "FileNameCodec.h"

#include <QDir>
#include <QFile>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

QString decodeFileName(QByteArrayView bytes) {
    const std::u16string text = fileNameText(std::string_view(bytes.data(), std::size_t(bytes.size())));
    return QString::fromStdU16String(text);
}

QByteArray encodeFileName(const QString& path) {
    const std::string bytes =
        fileNameBytes(std::u16string_view(QStringView(path).utf16(), std::size_t(path.size())));
    return QByteArray(bytes.data(), qsizetype(bytes.size()));
}

bool holdsKeptBytes(const QString& path) {
    return holdsKeptBytes(std::u16string_view(QStringView(path).utf16(), std::size_t(path.size())));
}

QString withCurrentFolder(const QString& path) {
    if (path.startsWith(u'/'))
        return path;
    // The current folder's name may itself not be UTF-8.
    char* current = ::getcwd(nullptr, 0);
    const QString folder = current ? decodeFileName(current) : QDir::currentPath();
    std::free(current);
    return joinPath(folder, path);
}

QString absolutePath(const QString& path) {
    return QDir::cleanPath(withCurrentFolder(path));
}

QString folderOf(const QString& path) {
    const qsizetype slash = path.lastIndexOf(u'/');
    if (slash < 0)
        return QStringLiteral(".");
    return slash == 0 ? QStringLiteral("/") : path.left(slash);
}

QString nameOf(const QString& path) {
    return path.mid(path.lastIndexOf(u'/') + 1);
}

QString joinPath(const QString& folder, const QString& name) {
    return folder.endsWith(u'/') ? folder + name : folder + u'/' + name;
}

bool statusOf(const QString& path, struct stat& info, bool followLinks) {
    const QByteArray bytes = encodeFileName(path);
    return (followLinks ? ::stat(bytes.constData(), &info) : ::lstat(bytes.constData(), &info)) == 0;
}

bool pathExists(const QString& path) {
    struct stat info;
    return !path.isEmpty() && statusOf(path, info);
}

bool isRegularFile(const QString& path) {
    struct stat info;
    return !path.isEmpty() && statusOf(path, info) && S_ISREG(info.st_mode);
}

bool isFolder(const QString& path) {
    struct stat info;
    return !path.isEmpty() && statusOf(path, info) && S_ISDIR(info.st_mode);
}

bool isSymbolicLink(const QString& path) {
    struct stat info;
    return !path.isEmpty() && statusOf(path, info, false) && S_ISLNK(info.st_mode);
}

QString linkTarget(const QString& path) {
    QByteArray target(PATH_MAX, Qt::Uninitialized);
    const ssize_t length =
        ::readlink(encodeFileName(path).constData(), target.data(), std::size_t(target.size()));
    if (length <= 0 || length >= target.size())
        return QString();
    target.truncate(length);
    const QString text = decodeFileName(target);
    if (text.startsWith(u'/'))
        return QDir::cleanPath(text);
    // A relative target starts from the folder the link is really in: ".." in the link's own path
    // is the system's to resolve, after the links before it.
    const QString folder = folderOf(withCurrentFolder(path));
    const QString realFolder = canonicalPath(folder);
    return QDir::cleanPath(joinPath(realFolder.isEmpty() ? folder : realFolder, text));
}

QString canonicalPath(const QString& path) {
    if (path.isEmpty())
        return QString();
    char* resolved = ::realpath(encodeFileName(path).constData(), nullptr);
    if (!resolved)
        return QString();
    const QString text = decodeFileName(resolved);
    std::free(resolved);
    return text;
}

bool mayAccess(const QString& path, int mode) {
    return ::access(encodeFileName(path).constData(), mode) == 0;
}

bool removeFile(const QString& path) {
    return ::unlink(encodeFileName(path).constData()) == 0;
}

bool openFile(QFile& file, const QString& path, QIODevice::OpenMode mode, QString& error) {
    const int flags = (mode & QIODevice::WriteOnly) ? O_WRONLY | O_CREAT | O_TRUNC : O_RDONLY;
    int fd;
    do
        fd = ::open(encodeFileName(path).constData(), flags | O_CLOEXEC, 0666);
    while (fd < 0 && errno == EINTR);
    if (fd < 0) {
        error = QString::fromLocal8Bit(std::strerror(errno));
        return false;
    }
    // As QFile says of a folder opened for reading.
    struct stat info;
    if (::fstat(fd, &info) == 0 && S_ISDIR(info.st_mode)) {
        error = QStringLiteral("file to open is a directory");
        ::close(fd);
        return false;
    }
    if (!file.open(fd, mode, QFileDevice::AutoCloseHandle)) {
        error = file.errorString();
        ::close(fd);
        return false;
    }
    return true;
}
