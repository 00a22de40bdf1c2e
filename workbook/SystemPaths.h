#pragma once

// Paths handed to the system as the bytes of the platform's file-name codec. Qt's own file
// classes turn a byte kept from a name that is not UTF-8 into U+FFFD and would miss such a file;
// every user path that reaches the system goes through these instead.

#include <QByteArray>
#include <QByteArrayView>
#include <QIODevice>
#include <QString>

class QFile;
struct stat;

QString decodeFileName(QByteArrayView bytes);
QByteArray encodeFileName(const QString& path);
// Whether the path holds a byte kept from a name that is not UTF-8.
bool holdsKeptBytes(const QString& path);

// The path made absolute against the current folder, as it is; and also cleaned of "." and "..".
QString withCurrentFolder(const QString& path);
QString absolutePath(const QString& path);
// The folder part and the name part of an absolute path.
QString folderOf(const QString& path);
QString nameOf(const QString& path);
QString joinPath(const QString& folder, const QString& name);

// What stat() (links followed) or lstat() says of the path; false when it cannot.
bool statusOf(const QString& path, struct stat& info, bool followLinks = true);
bool pathExists(const QString& path);
bool isRegularFile(const QString& path);
bool isFolder(const QString& path);
bool isSymbolicLink(const QString& path);
// Where a symbolic link points, as an absolute path; empty for anything else.
QString linkTarget(const QString& path);
// The path with every link and "." or ".." resolved; empty when it does not lead to a file.
QString canonicalPath(const QString& path);
// access() on the path.
bool mayAccess(const QString& path, int mode);
bool removeFile(const QString& path);

// Opens the file for reading (ReadOnly) or as a new, empty file (WriteOnly), Text as QFile
// takes it; error says why it could not be opened.
bool openFile(QFile& file, const QString& path, QIODevice::OpenMode mode, QString& error);
