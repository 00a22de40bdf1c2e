#include "SaveSignals.h"

#include <sched.h>
#include <signal.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <mutex>

namespace workbookfile {

namespace {

enum SlotState : int { Free, Filling, Active, Removing, Removed };

struct Slot {
    std::atomic<int> state{Free};
    int dirFd = -1;
    char name[64] = {};
};
static_assert(std::atomic<int>::is_always_lock_free, "the signal handler may only use lock-free atomics");

constexpr int kSlotCount = 32;
Slot slots[kSlotCount];

constexpr int kSignals[] = {SIGINT, SIGTERM, SIGHUP};
constexpr int kSignalCount = int(sizeof kSignals / sizeof kSignals[0]);
// Written only while no save runs, that is while the handler is not installed.
struct sigaction previous[kSignalCount];
bool installed[kSignalCount] = {};
std::mutex installMutex;
int runningSaves = 0;

int signalIndex(int sig) {
    for (int i = 0; i < kSignalCount; ++i)
        if (kSignals[i] == sig)
            return i;
    return -1;
}

void removeActiveFiles() {
    for (Slot& slot : slots) {
        int expected = Active;
        if (slot.state.compare_exchange_strong(expected, Removing)) {
            ::unlinkat(slot.dirFd, slot.name, 0);
            slot.state.store(Removed);
        }
    }
}

void onSignal(int sig, siginfo_t* info, void* context) {
    const int savedErrno = errno;
    removeActiveFiles();
    const int index = signalIndex(sig);
    if (index >= 0) {
        const struct sigaction& before = previous[index];
        if (before.sa_flags & SA_SIGINFO) {
            if (before.sa_sigaction)
                before.sa_sigaction(sig, info, context);
        } else if (before.sa_handler == SIG_DFL) {
            // Dies by the signal, as without this handler: the raised signal stays blocked until
            // this handler returns and then takes its default action.
            struct sigaction defaults {};
            defaults.sa_handler = SIG_DFL;
            sigemptyset(&defaults.sa_mask);
            ::sigaction(sig, &defaults, nullptr);
            ::raise(sig);
        } else if (before.sa_handler != SIG_IGN) {
            before.sa_handler(sig);
        }
    }
    errno = savedErrno;
}

void beginSave() {
    std::lock_guard<std::mutex> lock(installMutex);
    if (runningSaves++ > 0)
        return;
    for (int i = 0; i < kSignalCount; ++i) {
        struct sigaction current {};
        installed[i] = false;
        if (::sigaction(kSignals[i], nullptr, &current) != 0)
            continue;
        // A signal ignored on purpose (nohup, a parent's choice) must keep being ignored.
        if (!(current.sa_flags & SA_SIGINFO) && current.sa_handler == SIG_IGN)
            continue;
        previous[i] = current;
        struct sigaction ours {};
        ours.sa_sigaction = onSignal;
        ours.sa_flags = SA_SIGINFO | SA_RESTART;
        sigemptyset(&ours.sa_mask);
        for (int other : kSignals)
            sigaddset(&ours.sa_mask, other);
        installed[i] = ::sigaction(kSignals[i], &ours, nullptr) == 0;
    }
}

void endSave() {
    std::lock_guard<std::mutex> lock(installMutex);
    if (--runningSaves > 0)
        return;
    for (int i = 0; i < kSignalCount; ++i)
        if (installed[i]) {
            ::sigaction(kSignals[i], &previous[i], nullptr);
            installed[i] = false;
        }
}

} // namespace

ActiveTempFile::ActiveTempFile(int dirFd, const char* name) {
    beginSave();
    for (int i = 0; i < kSlotCount; ++i) {
        int expected = Free;
        if (!slots[i].state.compare_exchange_strong(expected, Filling))
            continue;
        slots[i].dirFd = dirFd;
        std::strncpy(slots[i].name, name, sizeof slots[i].name - 1);
        slots[i].name[sizeof slots[i].name - 1] = '\0';
        slots[i].state.store(Active);
        _slot = i;
        break;
    }
}

ActiveTempFile::~ActiveTempFile() {
    if (_slot >= 0) {
        Slot& slot = slots[_slot];
        int expected = Active;
        if (!slot.state.compare_exchange_strong(expected, Filling))
            while (slot.state.load() != Removed)
                sched_yield();
        slot.state.store(Free);
    }
    endSave();
}

bool ActiveTempFile::removedBySignal() const {
    return _slot >= 0 && slots[_slot].state.load() >= Removing;
}

} // namespace workbookfile
