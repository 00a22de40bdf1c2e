#pragma once

// Replacing a file so that a failure or a crash at any moment leaves either the old or the new
// file whole: write an unnamed file in the same folder (a named temporary one where the file
// system has none), flush it, name it (a new file) or rename it over the target, flush the folder.

#include "Workbook.h"

#include <functional>
#include <string>

namespace workbookfile {

// Replaces target, or creates it. A symbolic link (also a chain of them, also one pointing to a
// file not yet there) stays a link: the file it finally names is replaced, with a temporary file
// in that file's folder. A file this process may not write is refused; a replaced file keeps its
// permission bits and, as far as this process may give them, its owner and group.
// writeBody receives the descriptor of the new file. progress (may be empty) is called
// after the data is flushed, after the rename and after the folder is flushed.
void replaceFileAtomically(const std::string& target, const std::function<void(int fd)>& writeBody,
                           const std::function<void()>& progress);

// The refusal of a save whose new file would replace one that appeared at target after the save
// had found nothing there.
Error appearedMeanwhile(const std::string& target);
// True when both paths name the same existing file (symbolic links followed).
bool sameFile(const std::string& a, const std::string& b);
bool fileExists(const std::string& path);
bool isFolder(const std::string& path);

} // namespace workbookfile
