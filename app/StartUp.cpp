#include "StartUp.h"

// The logging library and the main window join here when they land.
void startLogging() {}

int runWindowMode(ExcelWrite&) {
    return 0;
}
