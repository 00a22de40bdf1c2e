#include "QsLogRotation.h"

#include "QsLogStandardError.h"

#include <QFile>

#include <algorithm>

namespace QsLogging {

RotationStrategy::~RotationStrategy() = default;

const int SizeRotationStrategy::MaxBackupCount = 10;

void SizeRotationStrategy::startFrom(const QFile& file) {
    mFileName = file.fileName();
    mCurrentSizeInBytes = file.size();
}

void SizeRotationStrategy::countMessage(const QString& message) {
    // The line end is not counted, so the count runs a little behind the file's size.
    mCurrentSizeInBytes += message.toUtf8().size();
}

bool SizeRotationStrategy::needsRotation() const {
    return mCurrentSizeInBytes > mMaxSizeInBytes;
}

void SizeRotationStrategy::rotate() {
    if (mBackupsCount == 0) {
        if (!removeFile(mFileName))
            writeToStandardError("QsLog: backup delete failed " + mFileName.toLocal8Bit());
        return;
    }

    const QString backupPattern = mFileName + QStringLiteral(".%1");
    auto backup = [&backupPattern](int index) { return backupPattern.arg(index); };

    // Shift only the unbroken run of backups from 1 upwards; a gap stops the shifting, and
    // the oldest kept backup is overwritten.
    int lastExisting = 0;
    for (int index = 1; index <= mBackupsCount; ++index) {
        if (!fileExists(backup(index)))
            break;
        lastExisting = index;
    }
    const int lastToShift = std::min(lastExisting, mBackupsCount - 1);
    for (int index = lastToShift; index >= 1; --index) {
        const QString from = backup(index);
        const QString to = backup(index + 1);
        removeFile(to);
        if (!renameFile(from, to))
            writeToStandardError("QsLog: could not rename backup " + from.toLocal8Bit() + " to " +
                                 to.toLocal8Bit());
    }

    const QString newest = backup(1);
    if (fileExists(newest))
        removeFile(newest);
    if (!renameFile(mFileName, newest))
        writeToStandardError("QsLog: could not rename log " + mFileName.toLocal8Bit() + " to " +
                             newest.toLocal8Bit());
}

QIODevice::OpenMode SizeRotationStrategy::reopenMode() const {
    return QIODevice::Append;
}

void SizeRotationStrategy::setMaxSizeBytes(qint64 size) {
    mMaxSizeInBytes = size;
}

void SizeRotationStrategy::setMaxOldLogCount(int count) {
    mBackupsCount = std::min(count, MaxBackupCount);
}

bool SizeRotationStrategy::removeFile(const QString& fileName) {
    return QFile::remove(fileName);
}

bool SizeRotationStrategy::fileExists(const QString& fileName) {
    return QFile::exists(fileName);
}

bool SizeRotationStrategy::renameFile(const QString& from, const QString& to) {
    return QFile::rename(from, to);
}

} // namespace QsLogging
