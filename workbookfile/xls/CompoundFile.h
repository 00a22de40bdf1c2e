#pragma once

// The compound file (OLE structured storage) that holds a 97-2003 workbook: its streams and
// storages are read into memory and written back through libgsf, so that every stream the engine
// does not change keeps its bytes and every stream and storage its class id.

#include "Workbook.h"

#include <array>
#include <functional>
#include <string>
#include <string_view>
#include <vector>

namespace workbookfile {

struct CompoundEntry {
    std::string name; // UTF-8
    bool storage = false;
    std::string data;                        // a stream's bytes
    std::array<unsigned char, 16> classId{}; // a stream's or a storage's (the root's too)
    std::vector<CompoundEntry> children;     // a storage's, in the order read

    const CompoundEntry* child(std::string_view childName) const;
};

// True when the bytes begin with the compound file signature.
bool isCompoundFile(std::string_view head);

// Reads the whole tree of the file's bytes under the limits (size of one stream, of all, number of
// entries). Throws Error naming the file when it is no compound file or is damaged.
CompoundEntry readCompoundFile(const std::string& bytes, const OpenLimits& limits, const std::string& path);

// Writes root's tree into fd, with the top-level stream `replaced` (added when absent) holding what
// produce writes through the function it is given, instead of its bytes. Throws Error naming path
// on a write failure.
using StreamProducer = std::function<void(const std::function<void(std::string_view)>& write)>;
void writeCompoundFile(int fd, const std::string& path, const CompoundEntry& root,
                       const std::string& replaced, const StreamProducer& produce);

} // namespace workbookfile
