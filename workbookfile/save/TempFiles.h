#pragma once

// Names of the temporary files that saves rename over the workbook (the new file written unnamed
// takes one only for that; where the file system has no unnamed files it is written under it):
// ".gridwell-save-<pid>-XXXXXX" in the folder of the file being replaced. They are short whatever
// the workbook's name, so they fit every file system's limit on names, and they carry the pid of
// the saving process, so that a later save can tell the leftover of a killed process from the
// file of a save still running.

#include <string>
#include <string_view>

namespace workbookfile {

// A fresh name for a temporary file of this process; the random part differs on every call.
std::string newTempFileName();

// The name under which a finished unnamed file that replaces the file `name` waits for its rename:
// ".gridwell-save-<16 hex digits>", one per target and without a pid, so that the next save of the
// same file removes what a save killed in that instant left, without looking through the folder.
// The save holds the file locked (flock) while it has that name; a killed save's lock is gone.
std::string replacementTempFileName(std::string_view name);

// Whether the name is free in the folder open as dirFd: not there, or a regular file that no
// running save holds locked, which is then removed.
bool takeTempFileName(int dirFd, const std::string& tmpName);

// Removes from the folder open as dirFd the temporary files whose process is gone: regular files
// only, never this process's own. Failures are ignored; a leftover then waits for the next save.
// Pids are only meaningful on this machine: a folder shared with others must not hold saves of
// another machine in progress.
void removeStaleTempFiles(int dirFd);

} // namespace workbookfile
