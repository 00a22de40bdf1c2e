#include "ConsoleBuf.h"

#include <cerrno>
#include <iostream>

#ifdef _WIN32
#include <windows.h>
#else
#include <fcntl.h>
#include <unistd.h>
#endif

namespace UtilsNS {

namespace {
// Shared by every console buffer of the process.
bool consoleTried = false;
bool consoleFailed = false;
bool pauseOnExit = true;

#ifdef _WIN32
bool createConsole() {
    return AllocConsole() != 0;
}

bool standardOutputUsable() {
    const HANDLE output = GetStdHandle(STD_OUTPUT_HANDLE);
    return output != INVALID_HANDLE_VALUE && output != nullptr;
}

bool writeAll(const char* data, int count) {
    DWORD written = 0;
    return WriteFile(GetStdHandle(STD_OUTPUT_HANDLE), data, static_cast<DWORD>(count), &written, nullptr) &&
           written == static_cast<DWORD>(count);
}

void waitForKey() {
    const HANDLE input = GetStdHandle(STD_INPUT_HANDLE);
    if (SetConsoleMode(input, ENABLE_WINDOW_INPUT)) {
        char keys[40];
        DWORD read = 0;
        ReadConsoleA(input, keys, sizeof keys, &read, nullptr);
    }
}
#else
// There is no console to create here: output goes to the standard output the process
// already has, and nothing waits for a key.
bool createConsole() {
    return false;
}

bool standardOutputUsable() {
    return fcntl(STDOUT_FILENO, F_GETFD) != -1;
}

bool writeAll(const char* data, int count) {
    while (count > 0) {
        const ssize_t written = ::write(STDOUT_FILENO, data, static_cast<size_t>(count));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return false;
        data += written;
        count -= static_cast<int>(written);
    }
    return true;
}

void waitForKey() {}
#endif
} // namespace

consolebuf::consolebuf() : _buffer(new char[bufferSize]) {
    // One byte stays free for the character that overflow receives when the area is full.
    setp(_buffer, _buffer + bufferSize - 1);
}

consolebuf::~consolebuf() {
    if (consoleTried && !consoleFailed && pauseOnExit) {
        std::cout << "Press any key to exit..." << std::endl;
        waitForKey();
    }
    delete[] _buffer;
}

consolebuf::int_type consolebuf::overflow(int_type c) {
    if (!traits_type::eq_int_type(c, traits_type::eof())) {
        *pptr() = traits_type::to_char_type(c);
        pbump(1);
    }
    return flush() < 0 ? traits_type::eof() : traits_type::not_eof(c);
}

int consolebuf::sync() {
    return flush() < 0 ? -1 : 0;
}

int consolebuf::flush() {
    if (!consoleTried) {
        if (!createConsole()) {
            consoleFailed = true;
            if (standardOutputUsable()) {
                consoleFailed = false;
                pauseOnExit = false;
            }
        }
        consoleTried = true;
    }
    if (consoleFailed)
        return -1;
    const int count = static_cast<int>(pptr() - pbase());
    if (count == 0)
        return 0;
    if (!writeAll(pbase(), count))
        return -1;
    pbump(-count);
    return count;
}

} // namespace UtilsNS
