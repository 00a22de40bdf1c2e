#pragma once

// The compound file's directory, read from the container's own bytes: checked before libgsf walks
// it, and the class ids of its streams, which libgsf neither reports nor writes (it keeps those of
// storages only), found and written back into a file libgsf made.

#include "Workbook.h"

#include <array>
#include <map>
#include <string>

namespace workbookfile {

using ClassId = std::array<unsigned char, 16>;

// Throws Error (Damaged) naming path unless the directory's chain of sectors ends in the file,
// every link names an entry that exists and is reached once, and no path is deeper than libgsf's
// recursion can take. What the container's other structures get wrong is left to libgsf.
void checkDirectory(const std::string& bytes, const std::string& path);

// The bytes as readers take them where libgsf would refuse them ("" when nothing needs it): the
// header's counts of allocation table and mini table sectors made those of the chains the file
// holds, and a last sector cut short (a table's trailing free entries left out) made whole. Some
// programs write such files.
std::string repairedForReading(const std::string& bytes);

// The streams whose class id is not all zeros, by their path ("Storage/Stream", UTF-8).
std::map<std::string, ClassId> streamClassIds(const std::string& bytes);

// Rebuilds, in the compound file in fd, every storage's tree of entries that runs deeper than a
// balanced one needs (libgsf writes each storage's entries as one chain) as a balanced tree in
// the same order, so that a workbook with thousands of streams reads back. Throws Error naming
// path on a read or write failure.
void balanceDirectory(int fd, const std::string& path);

// Writes those class ids into the directory of the compound file in fd, for the streams of the
// same paths. Throws Error naming path on a read or write failure.
void writeStreamClassIds(int fd, const std::string& path, const std::map<std::string, ClassId>& ids);

} // namespace workbookfile
