#pragma once

// Writing a package's entries in their order while the entries that must be made are made and
// deflated a few at a time on other threads: the one pipeline of every zip-based codec.

#include "ZipReader.h"
#include "ZipWriter.h"

#include <functional>
#include <string>
#include <vector>

namespace workbookfile {

// One entry of the package, in one of three ways.
struct ZipItem {
    std::string name;
    // Copied as stored from the source archive (its index there), when not negative.
    long sourceIndex = -1;
    // Made and deflated on a worker thread.
    std::function<PackedEntry()> make;
    // Written by the writing thread itself when its turn comes (entries too large to hold, or
    // already deflated elsewhere).
    std::function<void(ZipWriter&)> write;
};

// Writes the items in their order into zip, then its central directory; stepDone is called after
// each entry. Entries to make run ahead of the writing by a bounded window; a failure stops the
// workers and is rethrown once they are done.
void writeInOrder(ZipWriter& zip, ZipReader* source, const std::vector<ZipItem>& items,
                  const std::function<void()>& stepDone);

} // namespace workbookfile
