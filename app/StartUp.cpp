#include "StartUp.h"

#include "GridwellDlg.h"
#include "MessageWatcher.h"
#include "QsLog.h"
#include "QsLogDest.h"

#include <QApplication>
#include <QMetaType>

void startLogging() {
    // Known by name before any queued signal carries a level to the diagnostics window.
    qRegisterMetaType<QsLogging::Level>("QsLogging::Level");
    QsLogging::Logger::instance().setLoggingLevel(QsLogging::Trace);
    QsLogging::Logger::instance().addDestination(
        QsLogging::DestinationFactory::MakeFunctorDestination(&UtilsNS::watcherLogFunction));
}

int runWindowMode(ExcelWrite& writer) {
    auto* window = new GridwellDlg(&writer, nullptr);
    window->show();
    QApplication::exec(); // its result is not the program's status
    delete window;
    return 0;
}
