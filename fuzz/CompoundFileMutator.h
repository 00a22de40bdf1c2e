#pragma once

// Mutations of a whole compound file input of xls_fuzz_open (first byte odd) that know its
// structures: directory entries (links, start sectors, sizes, types, names), the chains of the
// allocation table and of the mini table (loops, cross-links, cut and long chains) and the
// header's fields, each changed while the rest stays as it was. Byte-level mutation of a container
// rarely hits a link in a way the reader must survive; a stream's own bytes are still left to
// libFuzzer's mutator.

#include "FuzzWorkbook.h"

#include <sys/mman.h>

#include <algorithm>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <random>
#include <vector>

extern "C" std::size_t LLVMFuzzerMutate(std::uint8_t* data, std::size_t size, std::size_t maxSize);

namespace fuzz::cfb {

constexpr std::uint32_t kFree = 0xFFFFFFFF, kEnd = 0xFFFFFFFE, kFatSector = 0xFFFFFFFD,
                        kDifatSector = 0xFFFFFFFC, kNoStream = 0xFFFFFFFF;
constexpr std::size_t kEntrySize = 128, kNone = SIZE_MAX;
// Bounds every walk over a chain: the input may hold loops already.
constexpr std::size_t kWalkLimit = 4096;

inline std::uint32_t load32(const std::uint8_t* p) {
    return std::uint32_t(p[0]) | std::uint32_t(p[1]) << 8 | std::uint32_t(p[2]) << 16 |
           std::uint32_t(p[3]) << 24;
}

inline void store32(std::uint8_t* p, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        p[i] = std::uint8_t(v >> (8 * i));
}

// The compound file at bytes, as far as its header, allocation table, directory and mini table
// can be found; positions that lie outside the bytes are left out.
class View {
public:
    View(std::uint8_t* bytes, std::size_t size) : _bytes(bytes) {
        static const std::uint8_t signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
        if (size < 512 || std::memcmp(bytes, signature, 8) != 0)
            return;
        const unsigned shift = bytes[30] | bytes[31] << 8;
        if (shift != 9 && shift != 12)
            return;
        sectorSize = std::size_t(1) << shift;
        if (size <= sectorSize)
            return;
        sectors = std::uint32_t(std::min<std::size_t>(size / sectorSize - 1, 0xFFFFFFF0u));
        for (std::size_t k = 0; k < 109; ++k)
            addFatSector(load32(bytes + 76 + 4 * k));
        // The chain of further DIFAT sectors, each ending in the next one's number.
        std::uint32_t difat = load32(bytes + 68);
        for (std::size_t hops = 0; difat < sectors && hops < 64; ++hops) {
            const std::uint8_t* sector = bytes + offsetOf(difat);
            for (std::size_t k = 0; k + 1 < sectorSize / 4; ++k)
                addFatSector(load32(sector + 4 * k));
            difat = load32(sector + sectorSize - 4);
        }
        for (std::uint32_t s : chain(load32(bytes + 48)))
            for (std::size_t at = 0; at < sectorSize; at += kEntrySize)
                entries.push_back(offsetOf(s) + at);
        miniFatSectors = chain(load32(bytes + 60));
        valid = true;
    }

    bool valid = false;
    std::size_t sectorSize = 512;
    std::uint32_t sectors = 0;
    std::vector<std::uint32_t> fatSectors, miniFatSectors;
    std::vector<std::size_t> entries; // offsets of the directory entries

    std::size_t offsetOf(std::uint32_t sector) const { return (std::size_t(sector) + 1) * sectorSize; }

    // Where the allocation table's entry for sector n lies, or kNone.
    std::size_t fatEntry(std::uint32_t n) const { return tableEntry(fatSectors, n); }
    std::size_t miniFatEntry(std::uint32_t n) const { return tableEntry(miniFatSectors, n); }

    std::vector<std::uint32_t> chain(std::uint32_t start) const { return walk(start, false); }
    std::vector<std::uint32_t> miniChain(std::uint32_t start) const { return walk(start, true); }

    std::uint32_t entryStart(std::size_t entry) const { return load32(_bytes + entry + 116); }
    std::uint32_t entrySize(std::size_t entry) const { return load32(_bytes + entry + 120); }
    bool inMiniStream(std::size_t entry) const {
        return _bytes[entry + 66] == 2 && entrySize(entry) < load32(_bytes + 56);
    }

private:
    std::uint8_t* _bytes;

    void addFatSector(std::uint32_t s) {
        if (s < sectors)
            fatSectors.push_back(s);
    }

    std::size_t tableEntry(const std::vector<std::uint32_t>& table, std::uint32_t n) const {
        const std::size_t perSector = sectorSize / 4;
        if (n / perSector >= table.size())
            return kNone;
        return offsetOf(table[n / perSector]) + 4 * (n % perSector);
    }

    std::vector<std::uint32_t> walk(std::uint32_t start, bool mini) const {
        std::vector<std::uint32_t> sectorsOnTheWay;
        std::vector<bool> seen;
        for (std::uint32_t s = start; sectorsOnTheWay.size() < kWalkLimit;) {
            if (!mini && s >= sectors)
                break;
            const std::size_t at = mini ? miniFatEntry(s) : fatEntry(s);
            if (at == kNone || (s < seen.size() && seen[s]))
                break;
            if (s >= seen.size())
                seen.resize(std::size_t(s) + 1);
            seen[s] = true;
            sectorsOnTheWay.push_back(s);
            s = load32(_bytes + at);
        }
        return sectorsOnTheWay;
    }
};

using Random = std::mt19937; // all 32 bits, for the special sector numbers

inline std::size_t below(Random& random, std::size_t n) {
    return n == 0 ? 0 : std::size_t(random() % n);
}

template <typename T> const T& anyOf(Random& random, const std::vector<T>& items) {
    return items[below(random, items.size())];
}

// A sector number worth trying: one of the file's, one just past them, a special value or any.
inline std::uint32_t someSector(Random& random, const View& file) {
    switch (below(random, 6)) {
    case 0:
        return file.sectors;
    case 1:
        return anyOf(random, std::vector<std::uint32_t>{kEnd, kFree, kFatSector, kDifatSector});
    case 2:
        return std::uint32_t(random());
    default:
        return std::uint32_t(below(random, file.sectors));
    }
}

// One change to the structures of the compound file in bytes; false when it has none to change.
inline bool mutateOnce(std::uint8_t* bytes, std::size_t& size, std::size_t maxSize, Random& random) {
    View file(bytes, size);
    if (!file.valid)
        return false;
    const std::uint32_t entryCount = std::uint32_t(file.entries.size());
    switch (below(random, 10)) {
    case 0: { // a link of the red-black tree: left, right or child
        if (file.entries.empty())
            return false;
        const std::uint32_t id = std::uint32_t(below(random, entryCount));
        const std::size_t entry = file.entries[id];
        const std::uint32_t choices[] = {std::uint32_t(below(random, entryCount)),
                                         id, // itself
                                         0,
                                         kNoStream,
                                         entryCount,
                                         std::uint32_t(random())};
        store32(bytes + entry + 68 + 4 * below(random, 3), choices[below(random, 6)]);
        return true;
    }
    case 1: { // where a stream starts: another's chain, a sector, past the end, a special value
        if (file.entries.empty())
            return false;
        const std::size_t entry = anyOf(random, file.entries);
        store32(bytes + entry + 116, below(random, 3) == 0 ? file.entryStart(anyOf(random, file.entries))
                                                           : someSector(random, file));
        return true;
    }
    case 2: { // how long a stream says it is, around the mini stream cutoff and the chain's length
        if (file.entries.empty())
            return false;
        const std::size_t entry = anyOf(random, file.entries);
        const std::uint32_t now = file.entrySize(entry);
        const std::uint32_t choices[] = {
            0,          1,          4095,
            4096,       4097,       now - 1,
            now + 1,    now * 2,    std::uint32_t(file.sectors * file.sectorSize),
            0x7FFFFFFF, 0xFFFFFFFF, std::uint32_t(random())};
        store32(bytes + entry + 120, choices[below(random, 12)]);
        if (below(random, 8) == 0) // the high half that version 3 files must leave zero
            store32(bytes + entry + 124, below(random, 2) ? 1 : std::uint32_t(random()));
        return true;
    }
    case 3: { // what an entry is: its type, colour, name length, name
        if (file.entries.empty())
            return false;
        const std::size_t entry = anyOf(random, file.entries);
        switch (below(random, 4)) {
        case 0:
            bytes[entry + 66] = below(random, 4) ? std::uint8_t(below(random, 6)) : std::uint8_t(random());
            break;
        case 1:
            bytes[entry + 67] = std::uint8_t(below(random, 3));
            break;
        case 2: {
            const std::uint16_t lengths[] = {0, 1, 2, 3, 62, 64, 66, std::uint16_t(random())};
            const std::uint16_t length = lengths[below(random, 8)];
            bytes[entry + 64] = std::uint8_t(length);
            bytes[entry + 65] = std::uint8_t(length >> 8);
            break;
        }
        default: // the name of another entry: two entries of one name in a storage
            std::memmove(bytes + entry, bytes + anyOf(random, file.entries), 66);
        }
        return true;
    }
    case 4:
    case 5: { // a link of a chain in the allocation table: loop, cross-link, cut, special value
        std::vector<std::uint32_t> chain;
        switch (below(random, 3)) {
        case 0:
            chain = file.chain(load32(bytes + 48)); // the directory's
            break;
        case 1:
            chain = file.miniFatSectors;
            break;
        default:
            if (!file.entries.empty())
                chain = file.chain(file.entryStart(anyOf(random, file.entries)));
        }
        if (chain.empty())
            return false;
        const std::size_t i = below(random, chain.size());
        const std::size_t at = file.fatEntry(chain[i]);
        std::uint32_t to;
        switch (below(random, 5)) {
        case 0:
            to = chain[below(random, i + 1)]; // back into the chain: a loop
            break;
        case 1:
            to = file.entries.empty() ? kEnd : file.entryStart(anyOf(random, file.entries)); // cross-link
            break;
        case 2:
            to = kEnd;
            break;
        default:
            to = someSector(random, file);
        }
        store32(bytes + at, to);
        return true;
    }
    case 6: { // a link of a chain in the mini table
        std::vector<std::size_t> small;
        for (std::size_t entry : file.entries)
            if (file.inMiniStream(entry))
                small.push_back(entry);
        if (small.empty())
            return false;
        const std::vector<std::uint32_t> chain = file.miniChain(file.entryStart(anyOf(random, small)));
        if (chain.empty())
            return false;
        const std::size_t i = below(random, chain.size());
        const std::uint32_t choices[] = {chain[below(random, i + 1)], kEnd, kFree,
                                         std::uint32_t(below(random, 8 * file.sectors + 8)),
                                         std::uint32_t(random())};
        store32(bytes + file.miniFatEntry(chain[i]), choices[below(random, 5)]);
        return true;
    }
    case 7: { // a field of the header
        const std::size_t fields[] = {30, 32, 40, 44, 48, 56, 60, 64, 68, 72, 76 + 4 * below(random, 109)};
        const std::size_t at = fields[below(random, 11)];
        if (at == 30 || at == 32) {
            const std::uint16_t shifts[] = {6, 9, 12, 0, 31, std::uint16_t(random())};
            const std::uint16_t shift = shifts[below(random, 6)];
            bytes[at] = std::uint8_t(shift);
            bytes[at + 1] = std::uint8_t(shift >> 8);
        } else {
            const std::uint32_t now = load32(bytes + at);
            const std::uint32_t choices[] = {0,    1,    now - 1, now + 1,
                                             4096, kEnd, kFree,   someSector(random, file)};
            store32(bytes + at, choices[below(random, 8)]);
        }
        return true;
    }
    case 8: { // a long chain: new sectors, copies of the file's, appended to a stream's chain
        if (file.entries.empty())
            return false;
        const std::size_t entry = anyOf(random, file.entries);
        const std::vector<std::uint32_t> chain = file.chain(file.entryStart(entry));
        const std::size_t room = (maxSize - size) / file.sectorSize;
        // Only as many as the allocation table has entries for.
        std::size_t count = std::min<std::size_t>(room, 1 + below(random, 64));
        while (count > 0 && file.fatEntry(file.sectors + std::uint32_t(count) - 1) == kNone)
            --count;
        if (chain.empty() || count == 0 || size % file.sectorSize != 0)
            return false;
        std::uint32_t last = chain.back();
        for (std::size_t k = 0; k < count; ++k) {
            const std::uint32_t added = file.sectors + std::uint32_t(k);
            std::memmove(bytes + size, bytes + file.offsetOf(std::uint32_t(below(random, file.sectors))),
                         file.sectorSize);
            size += file.sectorSize;
            store32(bytes + file.fatEntry(last), added);
            last = added;
        }
        // Ended, or (now and then) looped back to the start.
        store32(bytes + file.fatEntry(last), below(random, 4) ? kEnd : chain.front());
        if (below(random, 2))
            store32(bytes + entry + 120, std::uint32_t((chain.size() + count) * file.sectorSize));
        return true;
    }
    default: { // a stream's bytes, sector by sector, left to libFuzzer
        if (file.sectors == 0)
            return false;
        const std::size_t at = file.offsetOf(std::uint32_t(below(random, file.sectors)));
        LLVMFuzzerMutate(bytes + at, file.sectorSize, file.sectorSize);
        return true;
    }
    }
}

// The input of a workbook stream (first byte even) as the whole file that the target makes of
// it, first byte odd; 0 when it does not fit into maxSize.
inline std::size_t wrapStream(std::uint8_t* data, std::size_t size, std::size_t maxSize) {
    const int fd = ::memfd_create("xls_fuzz_mutate", 0);
    if (fd < 0)
        return 0;
    std::size_t written = 0;
    try {
        workbookfile::CompoundEntry root;
        root.storage = true;
        const std::string_view stream(reinterpret_cast<const char*>(data) + 1, size - 1);
        workbookfile::writeCompoundFile(fd, "xls_fuzz_mutate", root, "Workbook",
                                        [&](const auto& write) { write(stream); });
        const off_t length = ::lseek(fd, 0, SEEK_END);
        if (length > 0 && std::size_t(length) + 1 <= maxSize &&
            ::pread(fd, data + 1, std::size_t(length), 0) == length) {
            data[0] |= 1;
            written = std::size_t(length) + 1;
        }
    } catch (const workbookfile::Error&) {
    }
    ::close(fd);
    return written;
}

inline std::size_t mutate(std::uint8_t* data, std::size_t size, std::size_t maxSize, unsigned seed) {
    Random random(seed);
    if (size > 1 && !(data[0] & 1) && below(random, 8) == 0)
        if (const std::size_t wrapped = wrapStream(data, size, maxSize))
            size = wrapped;
    if (size > 1 && (data[0] & 1) && below(random, 16) != 0) {
        std::size_t file = size - 1;
        bool changed = false;
        for (std::size_t n = 1 + below(random, 3); n > 0; --n)
            changed |= mutateOnce(data + 1, file, maxSize - 1, random);
        if (changed)
            return file + 1;
    }
    return LLVMFuzzerMutate(data, size, maxSize);
}

} // namespace fuzz::cfb
