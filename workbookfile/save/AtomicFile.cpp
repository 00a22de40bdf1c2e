#include "AtomicFile.h"

#include "SaveSignals.h"
#include "TempFiles.h"
#include "Workbook.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <sys/xattr.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

namespace workbookfile {

namespace {

#ifdef O_PATH
// Enough to create, rename and remove files in a folder that may not be listed.
constexpr int kFolderFlags = O_PATH | O_DIRECTORY | O_CLOEXEC;
#else
constexpr int kFolderFlags = O_RDONLY | O_DIRECTORY | O_CLOEXEC;
#endif

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

[[noreturn]] void fail(const std::string& target, const std::string& what, int error) {
    throw Error(ErrorKind::FileSystem,
                "Cannot save \"" + target + "\": " + what + " (" + std::strerror(error) + ").");
}

[[noreturn]] void fail(const std::string& target, const std::string& what) {
    fail(target, what, errno);
}

// The file that path finally names: symbolic links followed one by one, so that a dangling link
// leads to the file it would name.
std::string finalTarget(const std::string& path) {
    std::string current = path;
    for (int hops = 0;; ++hops) {
        struct stat st;
        if (::lstat(current.c_str(), &st) != 0) {
            if (errno == ENOENT)
                return current;
            fail(path, "cannot look up the file");
        }
        if (!S_ISLNK(st.st_mode))
            return current;
        if (hops == 40)
            fail(path, "cannot follow its symbolic links", ELOOP);
        char link[PATH_MAX];
        ssize_t n = ::readlink(current.c_str(), link, sizeof link);
        if (n < 0)
            fail(path, "cannot read the symbolic link \"" + current + "\"");
        if (std::size_t(n) >= sizeof link)
            fail(path, "cannot read the symbolic link \"" + current + "\"", ENAMETOOLONG);
        std::string next(link, std::size_t(n));
        current = next.front() == '/' ? next : folderOf(current) + "/" + next;
    }
}

// The extended attributes of the old file (its access control list among them) given to the new
// one, so that an update keeps who may read and write it. A "security." attribute that this
// process may not set is left to the system; any other that cannot be copied stops the save.
void copyExtendedAttributes(const std::string& target, const std::string& file, int fd) {
    const ssize_t listSize = ::llistxattr(file.c_str(), nullptr, 0);
    if (listSize < 0) {
        if (errno == ENOTSUP)
            return;
        fail(target, "cannot read the extended attributes of the old file");
    }
    std::vector<char> names(std::size_t(listSize) + 1, '\0');
    const ssize_t listed = ::llistxattr(file.c_str(), names.data(), names.size());
    if (listed < 0)
        fail(target, "cannot read the extended attributes of the old file");
    for (const char* name = names.data(); name < names.data() + listed; name += std::strlen(name) + 1) {
        const std::string attribute = name;
        const ssize_t size = ::lgetxattr(file.c_str(), name, nullptr, 0);
        std::vector<char> value(std::size_t(std::max<ssize_t>(size, 0)) + 1);
        const ssize_t got = size < 0 ? -1 : ::lgetxattr(file.c_str(), name, value.data(), value.size());
        if (got < 0)
            fail(target, "cannot read the attribute " + attribute + " of the old file");
        if (::fsetxattr(fd, name, value.data(), std::size_t(got), 0) == 0)
            continue;
        if (attribute.rfind("security.", 0) == 0 && (errno == EPERM || errno == ENOTSUP || errno == EACCES))
            continue;
        const bool list = attribute == "system.posix_acl_access" || attribute == "system.posix_acl_default";
        fail(target, list ? "cannot give the new file the access control list of the old one"
                          : "cannot give the new file the attribute " + attribute + " of the old one");
    }
}

std::string megabytes(unsigned long long bytes) {
    const unsigned long long tenths = (bytes + 52428) / 104858;
    return std::to_string(tenths / 10) + "." + std::to_string(tenths % 10) + " MB";
}

// A full disk, told with the figures a user needs to make room: what the save had written of the
// new file when the space ran out, the old file that stays until the new one takes its place,
// and what the file system has free now that the partial file is gone.
std::string spaceShortage(const std::string& folder, unsigned long long written, unsigned long long old) {
    struct statvfs fs;
    if (::statvfs(folder.c_str(), &fs) != 0)
        return std::string();
    const unsigned long long available = (unsigned long long)fs.f_bavail * fs.f_frsize;
    std::string text =
        " The save had written " + megabytes(written) + " of the new workbook when the space ran out";
    if (old > 0)
        text +=
            ", beside the old workbook's " + megabytes(old) + ", which stays until the new one replaces it";
    return text + "; the folder \"" + folder + "\" has " + megabytes(available) +
           " free. Make more room than the new workbook needs and convert again.";
}

std::string procPath(int fd) {
    return "/proc/self/fd/" + std::to_string(fd);
}

// An unnamed file in the folder open as dirFd: nothing of it stays, whatever ends the process
// before it is named, and making it needs no look at the folder's other files. -1 where the file
// system has no unnamed files or /proc, through which one is named, is missing.
int openUnnamed(int dirFd) {
#ifdef O_TMPFILE
    // Test seam: the named files of file systems without unnamed ones.
    if (const char* seam = std::getenv("GRIDWELL_NAMED_TEMP_FILES");
        seam && *seam && std::strcmp(seam, "0") != 0)
        return -1;
    const int fd = ::openat(dirFd, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    if (fd < 0)
        return -1;
    if (::access(procPath(fd).c_str(), F_OK) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
#else
    (void)dirFd;
    return -1;
#endif
}

struct Descriptor {
    int fd = -1;
    ~Descriptor() {
        if (fd >= 0)
            ::close(fd);
    }
};

} // namespace

Error appearedMeanwhile(const std::string& target) {
    return Error(ErrorKind::FileSystem, "Cannot save \"" + target +
                                            "\": a file of that name appeared while the workbook was made, "
                                            "and is not replaced.");
}

bool fileExists(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0;
}

bool isFolder(const std::string& path) {
    struct stat st;
    return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool sameFile(const std::string& a, const std::string& b) {
    struct stat sa, sb;
    if (a.empty() || b.empty() || ::stat(a.c_str(), &sa) != 0 || ::stat(b.c_str(), &sb) != 0)
        return false;
    return sa.st_dev == sb.st_dev && sa.st_ino == sb.st_ino;
}

void replaceFileAtomically(const std::string& target, const std::function<void(int fd)>& writeBody,
                           const std::function<void()>& progress) {
    const std::string file = finalTarget(target);
    struct stat old;
    const bool replacing = ::lstat(file.c_str(), &old) == 0;
    if (!replacing && errno != ENOENT)
        fail(target, "cannot look up the file");
    if (replacing) {
        if (S_ISDIR(old.st_mode))
            throw Error(ErrorKind::FileSystem, "Cannot save \"" + target + "\": it is a folder.");
        if (!S_ISREG(old.st_mode))
            throw Error(ErrorKind::FileSystem, "Cannot save \"" + target + "\": it is not a regular file.");
        // The rename needs only the folder's permission; a file protected against writing must
        // not be replaced behind its owner's back.
        if (::access(file.c_str(), W_OK) != 0)
            fail(target, "the file may not be changed");
    }
    const std::string folder = folderOf(file);
    Descriptor dir;
    dir.fd = ::open(folder.c_str(), kFolderFlags);
    if (dir.fd < 0)
        fail(target, "cannot open the folder \"" + folder + "\"");
    int fd = openUnnamed(dir.fd);
    const bool unnamed = fd >= 0;
    const std::string name = baseName(file);
    // Named temporary files of killed saves are found by looking through the folder; unnamed ones
    // leave nothing to look for but the one name a replacement takes before its rename.
    if (!unnamed) {
        removeStaleTempFiles(dir.fd);
        if (replacing)
            takeTempFileName(dir.fd, replacementTempFileName(name));
    }

    // The temporary name, registered before it exists, so that a signal at any moment finds it; an
    // unnamed file takes it only to replace an old file (removing the name that is not there yet
    // still tells the save that a signal came).
    std::optional<ActiveTempFile> active;
    std::string tmp;
    if (unnamed) {
        tmp = newTempFileName();
        active.emplace(dir.fd, tmp.c_str());
    }
    for (int attempt = 0; fd < 0; ++attempt) {
        tmp = newTempFileName();
        active.emplace(dir.fd, tmp.c_str());
        fd = ::openat(dir.fd, tmp.c_str(), O_RDWR | O_CREAT | O_EXCL | O_CLOEXEC, 0666);
        if (fd < 0) {
            const int error = errno;
            active.reset();
            if (error != EEXIST || attempt == 100)
                fail(target, "cannot create a file in the folder \"" + folder + "\"", error);
        }
    }
    auto interrupted = [&] {
        throw Error(ErrorKind::Interrupted,
                    "Cannot save \"" + target +
                        "\": the save was interrupted by a signal; the file is unchanged.");
    };
    std::string named; // the name the new file has taken so far, "" while it has none
    if (!unnamed)
        named = tmp;
    Descriptor held; // the new file, locked while it waits for its rename under the shared name
    try {
        if (replacing) {
            // The new file belongs to the old one's owner and group where this process may say so
            // (root may; a member of the file's group may keep the group).
            if (::fchown(fd, old.st_uid, old.st_gid) != 0 && errno == EPERM &&
                ::fchown(fd, uid_t(-1), old.st_gid) != 0) {
                // Neither: the file becomes this process's own, as any file it creates.
            }
            if (::fchmod(fd, old.st_mode & 07777) != 0)
                fail(target, "cannot give the new file the permissions of the old one");
            copyExtendedAttributes(target, file, fd);
        }
        writeBody(fd);
        if (::fsync(fd) != 0)
            fail(target, "cannot flush the file to disk");
        if (progress)
            progress();
        if (active->removedBySignal())
            interrupted();
        if (unnamed && !replacing) {
            // A new file takes its own name at once, and a file that appeared there meanwhile is
            // not replaced.
            if (::linkat(AT_FDCWD, procPath(fd).c_str(), dir.fd, name.c_str(), AT_SYMLINK_FOLLOW) != 0) {
                if (errno == EEXIST)
                    throw appearedMeanwhile(target);
                fail(target, "cannot give the new file its name");
            }
            named = name;
        } else if (unnamed) {
            // One that replaces another takes a temporary name first: the name this file's
            // replacements share, where a save killed before its rename left its file (removed now,
            // unless a running save holds it), else a name of its own.
            const std::string shared = replacementTempFileName(name);
            held.fd = ::fcntl(fd, F_DUPFD_CLOEXEC, 0);
            if (held.fd >= 0 && ::flock(held.fd, LOCK_EX | LOCK_NB) == 0 &&
                takeTempFileName(dir.fd, shared)) {
                const bool signalled = active->removedBySignal();
                active.emplace(dir.fd, shared.c_str());
                if (signalled)
                    interrupted();
                tmp = shared;
            }
            int linked = ::linkat(AT_FDCWD, procPath(fd).c_str(), dir.fd, tmp.c_str(), AT_SYMLINK_FOLLOW);
            if (linked != 0 && errno == EEXIST && tmp == shared) {
                // Another save took the shared name meanwhile.
                const bool signalled = active->removedBySignal();
                tmp = newTempFileName();
                active.emplace(dir.fd, tmp.c_str());
                if (signalled)
                    interrupted();
                linked = ::linkat(AT_FDCWD, procPath(fd).c_str(), dir.fd, tmp.c_str(), AT_SYMLINK_FOLLOW);
            }
            if (linked != 0)
                fail(target, "cannot give the new file its name");
            named = tmp;
        }
        const int closed = ::close(fd);
        fd = -1;
        if (closed != 0)
            fail(target, "cannot close the file");
        if (named != name) {
            if (active->removedBySignal())
                interrupted();
            if (::renameat(dir.fd, tmp.c_str(), dir.fd, name.c_str()) != 0) {
                if (active->removedBySignal())
                    interrupted();
                fail(target, "cannot replace the file");
            }
        }
    } catch (const Error& error) {
        struct stat written {};
        const bool sized = fd >= 0 ? ::fstat(fd, &written) == 0
                                   : ::fstatat(dir.fd, tmp.c_str(), &written, AT_SYMLINK_NOFOLLOW) == 0;
        if (fd >= 0)
            ::close(fd);
        if (!named.empty())
            ::unlinkat(dir.fd, named.c_str(), 0);
        const std::string message = error.what();
        if (!sized || message.find(std::strerror(ENOSPC)) == std::string::npos)
            throw;
        throw Error(error.kind(), message + spaceShortage(folder, (unsigned long long)written.st_size,
                                                          replacing ? (unsigned long long)old.st_size : 0));
    } catch (...) {
        if (fd >= 0)
            ::close(fd);
        if (!named.empty())
            ::unlinkat(dir.fd, named.c_str(), 0);
        throw;
    }
    active.reset();
    if (progress)
        progress();
    Descriptor sync;
    sync.fd = ::openat(dir.fd, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (sync.fd >= 0)
        ::fsync(sync.fd);
    if (progress)
        progress();
}

} // namespace workbookfile
