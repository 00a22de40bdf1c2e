#include "CompoundDirectory.h"

#include "Utf.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <functional>
#include <utility>
#include <vector>

namespace workbookfile {

namespace {

// The directory is a tree of entries linked by index (left and right siblings, first child), which
// libgsf walks recursively: a chain tens of thousands of links long exhausts the stack. Real files
// hold a few dozen entries, their siblings in a balanced tree or a short chain.
constexpr std::size_t kMaxDirectoryDepth = 1000;
constexpr std::uint32_t kNoEntry = 0xFFFFFFFF, kEndOfChain = 0xFFFFFFFE;
// Fields of a directory entry.
constexpr std::size_t kNameLength = 0x40, kType = 0x42, kLeft = 0x44, kRight = 0x48, kChild = 0x4C,
                      kClassId = 0x50, kStreamSize = 0x78, kEntrySize = 128;
constexpr std::size_t kColour = 0x43;
constexpr unsigned char kStorage = 1, kStream = 2, kRoot = 5, kRed = 0, kBlack = 1;
// Sibling trees deeper than this are rebalanced after libgsf, which writes them as one chain.
constexpr std::size_t kBalancedEnough = 64;

// The container's bytes, in memory or in a file. A field past the end of a cut-off file reads as
// "no entry", which ends every chain and link.
struct Bytes {
    std::size_t size = 0;
    std::function<bool(std::size_t at, void* out, std::size_t n)> read;

    std::uint32_t u32(std::size_t at) const {
        unsigned char b[4];
        if (at + 4 > size || !read(at, b, 4))
            return kNoEntry;
        return std::uint32_t(b[0]) | (std::uint32_t(b[1]) << 8) | (std::uint32_t(b[2]) << 16) |
               (std::uint32_t(b[3]) << 24);
    }
};

Bytes inMemory(const std::string& bytes) {
    return {bytes.size(), [&bytes](std::size_t at, void* out, std::size_t n) {
                std::memcpy(out, bytes.data() + at, n);
                return true;
            }};
}

using Damaged = std::function<void(const std::string& what)>;

// The sector allocation table: its sectors are listed in the header and in a chain of further
// sectors (none when the header is not one of a compound file the engine reads).
struct AllocationTable {
    const Bytes& bytes;
    std::size_t sectorSize = 0, sectors = 0;
    std::vector<std::uint32_t> tableSectors;

    explicit AllocationTable(const Bytes& source) : bytes(source) {
        if (bytes.size < 512)
            return;
        const std::uint32_t shift = bytes.u32(0x1C) >> 16;
        if (shift != 9 && shift != 12)
            return;
        sectorSize = std::size_t(1) << shift;
        sectors = (bytes.size - 1) / sectorSize; // a last sector may be cut short
        const std::size_t perSector = sectorSize / 4;
        for (std::size_t i = 0; i < 109; ++i)
            if (std::uint32_t n = bytes.u32(0x4C + 4 * i); n < sectors)
                tableSectors.push_back(n);
        std::uint32_t more = bytes.u32(0x44);
        for (std::size_t hops = 0; more < sectors && hops <= sectors; ++hops) {
            for (std::size_t i = 0; i + 1 < perSector; ++i)
                if (std::uint32_t n = bytes.u32(at(more) + 4 * i); n < sectors)
                    tableSectors.push_back(n);
            more = bytes.u32(at(more) + 4 * (perSector - 1));
        }
    }
    bool usable() const { return sectorSize != 0; }
    std::size_t at(std::uint32_t sector) const { return (std::size_t(sector) + 1) * sectorSize; }
    std::uint32_t next(std::uint32_t n) const {
        const std::size_t perSector = sectorSize / 4;
        const std::size_t table = n / perSector;
        if (table >= tableSectors.size())
            return kEndOfChain;
        return bytes.u32(at(tableSectors[table]) + 4 * (n % perSector));
    }
    // The sectors of the chain from first; damaged() when it loops or leads out of the file.
    std::vector<std::uint32_t> chain(std::uint32_t first, const Damaged& damaged, const char* what) const {
        std::vector<std::uint32_t> out;
        std::vector<bool> seen(sectors, false);
        for (std::uint32_t n = first; n != kEndOfChain; n = next(n)) {
            if (n >= sectors || seen[n]) {
                damaged(std::string("its ") + what + "'s chain of sectors loops or leads out of the file");
                break;
            }
            seen[n] = true;
            out.push_back(n);
        }
        return out;
    }
};

// The offsets of the directory's entries, by entry number.
std::vector<std::size_t> directoryEntries(const Bytes& bytes, const Damaged& damaged) {
    const AllocationTable table(bytes);
    if (!table.usable())
        return {};
    std::vector<std::size_t> entries;
    for (std::uint32_t n : table.chain(bytes.u32(0x30), damaged, "directory"))
        for (std::size_t i = 0; i < table.sectorSize / kEntrySize; ++i)
            entries.push_back(table.at(n) + kEntrySize * i);
    return entries;
}

// Walks the directory's tree without recursion, calling visit(entry offset, path) for every entry
// below the root; a path is its storages' names and its own, joined by "/".
void walk(const Bytes& bytes, const std::vector<std::size_t>& entries, const Damaged& damaged,
          const std::function<void(std::size_t at, const std::string& path)>& visit) {
    if (entries.empty())
        return;
    std::vector<bool> reached(entries.size(), false);
    struct Pending {
        std::uint32_t id;
        std::size_t depth;
        std::string folder; // the path of its storage, with "/"; "" at the top
    };
    std::vector<Pending> pending;
    reached[0] = true;
    auto follow = [&](std::uint32_t to, std::size_t depth, const std::string& folder) {
        if (to == kNoEntry)
            return;
        if (to >= entries.size() || reached[to])
            damaged("its directory links an entry that is missing or reached twice");
        if (depth > kMaxDirectoryDepth)
            damaged("its directory links more than " + std::to_string(kMaxDirectoryDepth) +
                    " entries in a row, more than any workbook holds");
        reached[to] = true;
        pending.push_back({to, depth, folder});
    };
    for (std::size_t link : {kLeft, kRight, kChild})
        follow(bytes.u32(entries[0] + link), 1, "");
    while (!pending.empty()) {
        const Pending p = std::move(pending.back());
        pending.pop_back();
        const std::size_t at = entries[p.id];
        unsigned char raw[kNameLength + 2];
        std::string name;
        if (bytes.read && at + sizeof raw <= bytes.size && bytes.read(at, raw, sizeof raw)) {
            const std::size_t length =
                std::min<std::size_t>(raw[kNameLength] | (raw[kNameLength + 1] << 8), 64);
            std::u16string utf16;
            for (std::size_t i = 0; i + 1 < length; i += 2)
                if (char16_t c = char16_t(raw[i] | (raw[i + 1] << 8)))
                    utf16 += c;
            try {
                name = toUtf8(utf16);
            } catch (const Error&) {
                name.clear(); // a name that is no text matches no stream
            }
        }
        visit(at, p.folder + name);
        follow(bytes.u32(at + kLeft), p.depth + 1, p.folder);
        follow(bytes.u32(at + kRight), p.depth + 1, p.folder);
        follow(bytes.u32(at + kChild), p.depth + 1, p.folder + name + "/");
    }
}

unsigned char typeAt(const Bytes& bytes, std::size_t at) {
    unsigned char type = 0;
    if (at + kType < bytes.size)
        bytes.read(at + kType, &type, 1);
    return type;
}

} // namespace

std::string repairedForReading(const std::string& data) {
    const Bytes bytes = inMemory(data);
    const AllocationTable table(bytes);
    if (!table.usable())
        return {};
    const Damaged ignore = [](const std::string&) {};
    const auto tableSectors = std::uint32_t(table.tableSectors.size());
    const auto miniSectors = std::uint32_t(table.chain(bytes.u32(0x3C), ignore, "mini table").size());
    const std::size_t cut = (table.sectorSize - data.size() % table.sectorSize) % table.sectorSize;
    if (bytes.u32(0x2C) == tableSectors && bytes.u32(0x40) == miniSectors && cut == 0)
        return {};
    std::string repaired = data;
    for (const auto& [at, value] : {std::pair{0x2Cu, tableSectors}, std::pair{0x40u, miniSectors}})
        for (int i = 0; i < 4; ++i)
            repaired[at + std::size_t(i)] = static_cast<char>(value >> (8 * i));
    // What is missing of a table's sector are free entries; of any other, bytes no stream reads.
    const auto last = std::uint32_t(table.sectors - 1);
    const bool tableSector =
        std::find(table.tableSectors.begin(), table.tableSectors.end(), last) != table.tableSectors.end();
    repaired.append(cut, tableSector ? '\xFF' : '\0');
    return repaired;
}

void checkDirectory(const std::string& data, const std::string& path) {
    const Damaged damaged = [&](const std::string& what) {
        throw Error(ErrorKind::Damaged,
                    "The file \"" + path + "\" is a damaged compound file: " + what + ".");
    };
    const Bytes bytes = inMemory(data);
    // Version 3 files keep only the low half of a stream's size; the high half may hold anything.
    const bool wideSizes = data.size() > 0x1B && static_cast<unsigned char>(data[0x1A]) >= 4;
    const std::vector<std::size_t> entries = directoryEntries(bytes, damaged);
    // No storage holds the root's siblings: libgsf reads them without a parent and loses them
    // (and their memory), while the walk would take them for top-level streams.
    if (!entries.empty() &&
        (bytes.u32(entries[0] + kLeft) != kNoEntry || bytes.u32(entries[0] + kRight) != kNoEntry))
        damaged("its root entry has siblings, which no storage holds");
    walk(bytes, entries, damaged, [&](std::size_t at, const std::string& path) {
        if (typeAt(bytes, at) != kStream || at + kEntrySize > bytes.size)
            return;
        const std::uint64_t size = bytes.u32(at + kStreamSize) |
                                   (wideSizes ? std::uint64_t(bytes.u32(at + kStreamSize + 4)) << 32 : 0);
        // The container reader leaves such a stream out, and the workbook would be told to have none.
        if (size > bytes.size)
            damaged("its stream \"" + path + "\" claims " + std::to_string(size) +
                    " bytes, more than the whole file holds");
    });
}

std::map<std::string, ClassId> streamClassIds(const std::string& data) {
    std::map<std::string, ClassId> ids;
    const Bytes bytes = inMemory(data);
    const Damaged ignore = [](const std::string&) {};
    walk(bytes, directoryEntries(bytes, ignore), ignore, [&](std::size_t at, const std::string& path) {
        ClassId id{};
        if (typeAt(bytes, at) != kStream || at + kClassId + id.size() > bytes.size)
            return;
        bytes.read(at + kClassId, id.data(), id.size());
        if (id != ClassId{})
            ids.emplace(path, id);
    });
    return ids;
}

namespace {

[[noreturn]] void writeFailed(const std::string& path, int error) {
    throw Error(ErrorKind::FileSystem,
                "Cannot write \"" + path + "\": " + std::strerror(error ? error : EIO) + ".");
}

Bytes inFile(int fd, const std::string& path) {
    struct stat st;
    if (::fstat(fd, &st) != 0)
        writeFailed(path, errno);
    return {std::size_t(st.st_size), [fd](std::size_t at, void* out, std::size_t n) {
                return ::pread(fd, out, n, off_t(at)) == ssize_t(n);
            }};
}

void writeAt(int fd, const std::string& path, std::size_t at, const void* data, std::size_t size) {
    if (::pwrite(fd, data, size, off_t(at)) != ssize_t(size))
        writeFailed(path, errno);
}

void writeU32(int fd, const std::string& path, std::size_t at, std::uint32_t value) {
    const unsigned char b[4] = {static_cast<unsigned char>(value), static_cast<unsigned char>(value >> 8),
                                static_cast<unsigned char>(value >> 16),
                                static_cast<unsigned char>(value >> 24)};
    writeAt(fd, path, at, b, sizeof b);
}

} // namespace

void balanceDirectory(int fd, const std::string& path) {
    const Bytes bytes = inFile(fd, path);
    const Damaged ignore = [](const std::string&) {};
    const std::vector<std::size_t> entries = directoryEntries(bytes, ignore);
    std::vector<bool> seen(entries.size(), false);
    for (std::size_t storage = 0; storage < entries.size(); ++storage) {
        const unsigned char type = typeAt(bytes, entries[storage]);
        if (type != kStorage && type != kRoot)
            continue;
        // The storage's entries in the order of its tree, and how deep the tree goes.
        std::vector<std::uint32_t> ordered;
        std::vector<std::pair<std::uint32_t, std::size_t>> stack;
        std::size_t depth = 0;
        std::uint32_t node = bytes.u32(entries[storage] + kChild);
        std::size_t nodeDepth = 1;
        bool sound = true;
        while (sound && (node != kNoEntry || !stack.empty())) {
            while (node != kNoEntry) {
                if (node >= entries.size() || seen[node]) {
                    sound = false;
                    break;
                }
                seen[node] = true;
                depth = std::max(depth, nodeDepth);
                stack.emplace_back(node, nodeDepth);
                node = bytes.u32(entries[node] + kLeft);
                ++nodeDepth;
            }
            if (!sound || stack.empty())
                break;
            const auto [top, topDepth] = stack.back();
            stack.pop_back();
            ordered.push_back(top);
            node = bytes.u32(entries[top] + kRight);
            nodeDepth = topDepth + 1;
        }
        if (!sound || depth <= kBalancedEnough)
            continue;
        // The same order as a balanced tree: the middle entry on top, each half below it. Entries
        // on a last level that is not full are red, all others black, as a red-black tree is.
        std::size_t levels = 0;
        while ((std::size_t(1) << levels) - 1 < ordered.size())
            ++levels;
        const bool full = (std::size_t(1) << levels) - 1 == ordered.size();
        const std::function<std::uint32_t(std::size_t, std::size_t, std::size_t)> build =
            [&](std::size_t lo, std::size_t hi, std::size_t level) -> std::uint32_t {
            if (lo >= hi)
                return kNoEntry;
            const std::size_t mid = lo + (hi - lo) / 2;
            const std::size_t at = entries[ordered[mid]];
            writeU32(fd, path, at + kLeft, build(lo, mid, level + 1));
            writeU32(fd, path, at + kRight, build(mid + 1, hi, level + 1));
            const unsigned char colour = !full && level == levels ? kRed : kBlack;
            writeAt(fd, path, at + kColour, &colour, 1);
            return ordered[mid];
        };
        writeU32(fd, path, entries[storage] + kChild, build(0, ordered.size(), 1));
    }
}

void writeStreamClassIds(int fd, const std::string& path, const std::map<std::string, ClassId>& ids) {
    if (ids.empty())
        return;
    const Bytes bytes = inFile(fd, path);
    const Damaged damaged = [&](const std::string&) { writeFailed(path, EIO); };
    std::vector<std::pair<std::size_t, ClassId>> patches;
    walk(bytes, directoryEntries(bytes, damaged), damaged, [&](std::size_t at, const std::string& entry) {
        const auto it = ids.find(entry);
        if (it != ids.end() && typeAt(bytes, at) == kStream)
            patches.emplace_back(at + kClassId, it->second);
    });
    for (const auto& [at, id] : patches)
        writeAt(fd, path, at, id.data(), id.size());
}

} // namespace workbookfile
