#include "AtomicFile.h"

#include "Workbook.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <vector>

namespace xlsx {

namespace {

std::string folderOf(const std::string& path) {
    std::size_t slash = path.rfind('/');
    if (slash == std::string::npos)
        return ".";
    if (slash == 0)
        return "/";
    return path.substr(0, slash);
}

std::string baseName(const std::string& path) {
    std::size_t slash = path.rfind('/');
    return slash == std::string::npos ? path : path.substr(slash + 1);
}

[[noreturn]] void fail(const std::string& target, const std::string& what) {
    throw Error("Cannot save \"" + target + "\": " + what + " (" + std::strerror(errno) + ").");
}

} // namespace

bool fileExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    if (a.empty() || b.empty() || ::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

void replaceFileAtomically(const std::string& target, const std::function<void(int fd)>& writeBody,
                           const std::function<void()>& progress) {
    std::string folder = folderOf(target);
    std::string tmpl = folder + "/." + baseName(target) + ".XXXXXX";
    std::vector<char> name(tmpl.begin(), tmpl.end());
    name.push_back('\0');
    int fd = ::mkstemp(name.data());
    if (fd < 0)
        fail(target, "cannot create a temporary file in \"" + folder + "\"");
    std::string tmp(name.data());
    try {
        // Keep the permissions of the file being replaced; a new file gets the usual ones.
        struct stat st;
        mode_t mode;
        if (::stat(target.c_str(), &st) == 0) {
            mode = st.st_mode & 07777;
        } else {
            mode_t mask = ::umask(0);
            ::umask(mask);
            mode = 0666 & ~mask;
        }
        if (::fchmod(fd, mode) != 0)
            fail(target, "cannot set the permissions of the temporary file");
        writeBody(fd);
        if (::fsync(fd) != 0)
            fail(target, "cannot flush the file to disk");
        int closed = ::close(fd);
        fd = -1;
        if (closed != 0)
            fail(target, "cannot close the file");
        if (progress)
            progress();
        if (::rename(tmp.c_str(), target.c_str()) != 0)
            fail(target, "cannot replace the file");
    } catch (...) {
        if (fd >= 0)
            ::close(fd);
        ::unlink(tmp.c_str());
        throw;
    }
    if (progress)
        progress();
    int dir = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (dir >= 0) {
        ::fsync(dir);
        ::close(dir);
    }
    if (progress)
        progress();
}

} // namespace xlsx
