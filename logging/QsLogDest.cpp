#include "QsLogDest.h"

#include "QsLogDestConsole.h"
#include "QsLogDestFile.h"
#include "QsLogDestFunctor.h"

namespace QsLogging {

Destination::~Destination() = default;

DestinationPtr DestinationFactory::MakeFileDestination(const QString& filePath, LogRotationOption rotation,
                                                       const MaxSizeBytes& sizeInBytesToRotateAfter,
                                                       const MaxOldLogCount& oldLogsToKeep) {
    if (rotation == EnableLogRotation) {
        QSharedPointer<SizeRotationStrategy> policy(new SizeRotationStrategy);
        policy->setMaxSizeBytes(sizeInBytesToRotateAfter.size);
        policy->setMaxOldLogCount(oldLogsToKeep.count);
        return DestinationPtr(new FileDestination(filePath, policy));
    }
    return DestinationPtr(new FileDestination(filePath, QSharedPointer<NullRotationStrategy>::create()));
}

DestinationPtr DestinationFactory::MakeDebugOutputDestination() {
    return DestinationPtr(new DebugOutputDestination);
}

DestinationPtr DestinationFactory::MakeFunctorDestination(Destination::LogFunction function) {
    return DestinationPtr(new FunctorDestination(function));
}

DestinationPtr DestinationFactory::MakeFunctorDestination(QObject* receiver, const char* member) {
    return DestinationPtr(new FunctorDestination(receiver, member));
}

} // namespace QsLogging
