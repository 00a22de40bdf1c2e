#pragma once

// Keeps SIGINT and SIGTERM from leaving a save's temporary file behind. While at least one save
// is running, a handler removes the temporary files of all running saves and then does what the
// signal would have done without it: it calls the handler that was installed before, or
// terminates the process by the signal. A signal that was ignored when the first save began
// stays ignored. When the last running save ends, the previous handlers are put back.
//
// The handler only reads a small fixed table of atomics and calls unlinkat(), so it is safe at
// any moment and with saves running on several threads. When the table is full, a save runs
// unprotected; its temporary file is then removed by a later save into the same folder once this
// process is gone.

namespace workbookfile {

class ActiveTempFile {
public:
    // Registers the file `name` (at most 63 bytes) in the folder open as dirFd, before the file is
    // created, so that no moment exists in which it is on disk but unknown to the handler.
    ActiveTempFile(int dirFd, const char* name);
    // Unregisters it; waits for a handler that is removing it on another thread.
    ~ActiveTempFile();
    ActiveTempFile(const ActiveTempFile&) = delete;
    ActiveTempFile& operator=(const ActiveTempFile&) = delete;

    // True once a signal handler removed the file (the previous handler let the process go on).
    bool removedBySignal() const;

private:
    int _slot = -1;
};

} // namespace workbookfile
