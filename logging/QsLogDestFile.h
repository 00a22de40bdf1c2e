#pragma once

#include "QsLogDest.h"
#include "QsLogRotation.h"

#include <QFile>
#include <QSharedPointer>
#include <QTextStream>

namespace QsLogging {

// Appends each line to a text file, moving the file aside when its rotation policy says so.
class QSLOG_SHARED_OBJECT FileDestination : public Destination {
public:
    FileDestination(const QString& filePath, QSharedPointer<RotationStrategy> rotationStrategy);

    void write(const QString& message, Level level) override;
    bool isValid() override;
    QString type() const override;

    static const char* const Type;

private:
    QFile mFile;
    QTextStream mOutputStream;
    QSharedPointer<RotationStrategy> mRotationStrategy;
};

} // namespace QsLogging
