#pragma once

#include "QsLogExport.h"

#include <QIODevice>
#include <QString>

class QFile;

namespace QsLogging {

// Decides when a log file is full and moves it aside.
class QSLOG_SHARED_OBJECT RotationStrategy {
public:
    virtual ~RotationStrategy();

    // The file has just been opened.
    virtual void startFrom(const QFile& file) = 0;
    // A line is about to be written.
    virtual void countMessage(const QString& message) = 0;
    virtual bool needsRotation() const = 0;
    // Called with the file closed.
    virtual void rotate() = 0;
    // Extra open flags for the log file.
    virtual QIODevice::OpenMode reopenMode() const = 0;
};

// Never rotates; every new log starts empty.
class QSLOG_SHARED_OBJECT NullRotationStrategy : public RotationStrategy {
public:
    void startFrom(const QFile&) override {}
    void countMessage(const QString&) override {}
    bool needsRotation() const override { return false; }
    void rotate() override {}
    QIODevice::OpenMode reopenMode() const override { return QIODevice::Truncate; }
};

// Rotates once the bytes written exceed a maximum, keeping up to ten numbered backups
// (name.1 the newest).
class QSLOG_SHARED_OBJECT SizeRotationStrategy : public RotationStrategy {
public:
    static const int MaxBackupCount;

    void startFrom(const QFile& file) override;
    void countMessage(const QString& message) override;
    bool needsRotation() const override;
    void rotate() override;
    QIODevice::OpenMode reopenMode() const override;

    void setMaxSizeBytes(qint64 size);
    void setMaxOldLogCount(int count);

protected:
    // File operations, overridable so that failures can be staged.
    virtual bool removeFile(const QString& fileName);
    virtual bool fileExists(const QString& fileName);
    virtual bool renameFile(const QString& from, const QString& to);

private:
    QString mFileName;
    qint64 mCurrentSizeInBytes = 0;
    qint64 mMaxSizeInBytes = 0;
    int mBackupsCount = 0;
};

} // namespace QsLogging
