#include "InterruptStop.h"

#ifndef _WIN32
#include <csignal>
#endif

namespace {
std::atomic<bool> stopRequest{false};

#ifndef _WIN32
// SIGHUP: the terminal the conversion runs in was closed.
const int stopSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int stopSignalCount = int(sizeof stopSignals / sizeof stopSignals[0]);
struct sigaction previousActions[stopSignalCount];

void requestStop(int signal) {
    if (stopRequest.exchange(true)) {
        // Asked twice: the default action, now.
        std::signal(signal, SIG_DFL);
        std::raise(signal);
    }
}
#endif
} // namespace

static_assert(std::atomic<bool>::is_always_lock_free, "the flag is set from a signal handler");

InterruptStop::InterruptStop() {
    stopRequest = false;
#ifndef _WIN32
    struct sigaction action = {};
    action.sa_handler = requestStop;
    sigemptyset(&action.sa_mask);
    for (int i = 0; i < stopSignalCount; ++i) {
        sigaction(stopSignals[i], nullptr, &previousActions[i]);
        // A signal the caller chose to ignore stays ignored.
        if (previousActions[i].sa_handler != SIG_IGN)
            sigaction(stopSignals[i], &action, nullptr);
    }
#endif
}

InterruptStop::~InterruptStop() {
#ifndef _WIN32
    for (int i = 0; i < stopSignalCount; ++i)
        sigaction(stopSignals[i], &previousActions[i], nullptr);
#endif
}

const std::atomic<bool>* InterruptStop::request() {
    return &stopRequest;
}
