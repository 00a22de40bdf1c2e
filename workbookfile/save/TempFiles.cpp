#include "TempFiles.h"

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstdint>
#include <string_view>
#include <vector>

namespace workbookfile {

namespace {

constexpr std::string_view kPrefix = ".gridwell-save-";
constexpr std::size_t kRandomLength = 6;

// The pid in a temporary file's name; false for any other name.
bool pidOfTempFile(std::string_view name, pid_t& pid) {
    if (name.substr(0, kPrefix.size()) != kPrefix)
        return false;
    name.remove_prefix(kPrefix.size());
    std::size_t dash = name.find('-');
    if (dash == 0 || dash == std::string_view::npos || dash > 10 || name.size() != dash + 1 + kRandomLength)
        return false;
    long long value = 0;
    for (char c : name.substr(0, dash)) {
        if (c < '0' || c > '9')
            return false;
        value = value * 10 + (c - '0');
    }
    if (value <= 0 || value > 0x7fffffff)
        return false;
    pid = pid_t(value);
    return true;
}

} // namespace

std::string newTempFileName() {
    static std::atomic<std::uint64_t> counter{0};
    std::uint64_t x = std::uint64_t(std::chrono::steady_clock::now().time_since_epoch().count()) ^
                      (std::uint64_t(::getpid()) << 40) ^ (++counter * 0x9E3779B97F4A7C15ull);
    // splitmix64: spreads the clock and counter bits over the random part.
    x = (x ^ (x >> 30)) * 0xBF58476D1CE4E5B9ull;
    x = (x ^ (x >> 27)) * 0x94D049BB133111EBull;
    x ^= x >> 31;
    static const char alphabet[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789";
    std::string name(kPrefix);
    name += std::to_string(::getpid());
    name += '-';
    for (std::size_t i = 0; i < kRandomLength; ++i, x /= 62)
        name += alphabet[x % 62];
    return name;
}

std::string replacementTempFileName(std::string_view name) {
    std::uint64_t hash = 0xCBF29CE484222325ull; // FNV-1a
    for (const char c : name) {
        hash ^= static_cast<unsigned char>(c);
        hash *= 0x100000001B3ull;
    }
    std::string tmp(kPrefix);
    static const char digits[] = "0123456789abcdef";
    for (int shift = 60; shift >= 0; shift -= 4)
        tmp += digits[(hash >> shift) & 0xF];
    return tmp;
}

bool takeTempFileName(int dirFd, const std::string& tmpName) {
    const int fd = ::openat(dirFd, tmpName.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0)
        return errno == ENOENT;
    struct stat held, there;
    bool taken = false;
    // Removed only while this process holds the lock, and only the file it holds.
    if (::fstat(fd, &held) == 0 && S_ISREG(held.st_mode) && ::flock(fd, LOCK_EX | LOCK_NB) == 0 &&
        ::fstatat(dirFd, tmpName.c_str(), &there, AT_SYMLINK_NOFOLLOW) == 0 && there.st_dev == held.st_dev &&
        there.st_ino == held.st_ino)
        taken = ::unlinkat(dirFd, tmpName.c_str(), 0) == 0;
    ::close(fd);
    return taken;
}

void removeStaleTempFiles(int dirFd) {
    int listFd = ::openat(dirFd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (listFd < 0)
        return;
    DIR* dir = ::fdopendir(listFd);
    if (!dir) {
        ::close(listFd);
        return;
    }
    const pid_t self = ::getpid();
    std::vector<std::string> stale;
    while (dirent* entry = ::readdir(dir)) {
        pid_t pid = 0;
        if (!pidOfTempFile(entry->d_name, pid) || pid == self)
            continue;
        if (::kill(pid, 0) == 0 || errno != ESRCH)
            continue; // running, or someone else's process
        stale.emplace_back(entry->d_name);
    }
    ::closedir(dir);
    for (const std::string& name : stale) {
        struct stat st;
        if (::fstatat(dirFd, name.c_str(), &st, AT_SYMLINK_NOFOLLOW) == 0 && S_ISREG(st.st_mode))
            ::unlinkat(dirFd, name.c_str(), 0);
    }
}

} // namespace workbookfile
