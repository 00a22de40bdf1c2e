#include "QsLogDestFile.h"

#include "QsLogStandardError.h"

namespace QsLogging {

const char* const FileDestination::Type = "file";

FileDestination::FileDestination(const QString& filePath, QSharedPointer<RotationStrategy> rotationStrategy)
    : mRotationStrategy(rotationStrategy) {
    mFile.setFileName(filePath);
    if (!mFile.open(QIODevice::WriteOnly | QIODevice::Text | mRotationStrategy->reopenMode()))
        writeToStandardError("QsLog: could not open log file " + filePath.toLocal8Bit());
    mOutputStream.setDevice(&mFile);
    mRotationStrategy->startFrom(mFile);
}

void FileDestination::write(const QString& message, Level) {
    mRotationStrategy->countMessage(message);
    if (mRotationStrategy->needsRotation()) {
        // The line that overflows the file becomes the first line of the fresh one.
        mOutputStream.setDevice(nullptr);
        mFile.close();
        mRotationStrategy->rotate();
        if (!mFile.open(QIODevice::WriteOnly | QIODevice::Text | mRotationStrategy->reopenMode()))
            writeToStandardError("QsLog: could not reopen log file " + mFile.fileName().toLocal8Bit());
        mRotationStrategy->startFrom(mFile);
        mOutputStream.setDevice(&mFile);
    }
    mOutputStream << message << Qt::endl;
    mOutputStream.flush();
}

bool FileDestination::isValid() {
    return mFile.isOpen();
}

QString FileDestination::type() const {
    return QString::fromLatin1(Type);
}

} // namespace QsLogging
