#pragma once

#include <atomic>

// While an object of this class lives, SIGINT and SIGTERM ask the conversion to stop instead
// of ending the process: the conversion then ends as a failure that leaves the workbook as it
// was, the lock and every temporary file removed. A second signal ends the process at once.
// Does nothing on Windows.
class InterruptStop {
public:
    InterruptStop();
    ~InterruptStop();
    InterruptStop(const InterruptStop&) = delete;
    InterruptStop& operator=(const InterruptStop&) = delete;

    // Set by the first signal; meant for ExcelWrite::setStopRequest.
    static const std::atomic<bool>* request();
};
