// libgsf reads and writes the container; the engine only walks its tree. The file's bytes are read
// once into memory and handed to libgsf from there, so the limits apply before anything is parsed.

#include "CompoundFile.h"

#include <gsf/gsf.h>

#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

namespace workbookfile {

namespace {

template <typename T> struct Unref {
    void operator()(T* object) const {
        if (object)
            g_object_unref(object);
    }
};
template <typename T> using GsfHandle = std::unique_ptr<T, Unref<T>>;

void initGsf() {
    static std::once_flag once;
    std::call_once(once, [] {
        gsf_init();
        // Damaged files are reported by the errors thrown, not by the library's warnings (some of
        // which come without a domain).
        for (const char* domain : {static_cast<const char*>(nullptr), "libgsf", "libgsf:msole"})
            g_log_set_handler(
                domain,
                GLogLevelFlags(G_LOG_LEVEL_CRITICAL | G_LOG_LEVEL_WARNING | G_LOG_LEVEL_MESSAGE |
                               G_LOG_LEVEL_INFO),
                [](const gchar*, GLogLevelFlags, const gchar*, gpointer) {}, nullptr);
    });
}

struct ReadBudget {
    const OpenLimits& limits;
    const std::string& path;
    std::uint64_t total = 0, entries = 0;
};

[[noreturn]] void tooLarge(const std::string& path, const std::string& what) {
    throw Error(ErrorKind::TooLarge, "The file \"" + path + "\" is too large to open: " + what + ".");
}

void readChildren(GsfInfile* storage, CompoundEntry& into, ReadBudget& budget, int depth) {
    if (depth > 64)
        throw Error(ErrorKind::Damaged,
                    "The file \"" + budget.path + "\" is damaged: its storages nest too deeply.");
    const int count = gsf_infile_num_children(storage);
    for (int i = 0; i < count; ++i) {
        if (++budget.entries > budget.limits.maxEntries)
            tooLarge(budget.path,
                     "it holds more than " + std::to_string(budget.limits.maxEntries) + " streams");
        GsfHandle<GsfInput> child(gsf_infile_child_by_index(storage, i));
        if (!child)
            throw Error(ErrorKind::Damaged,
                        "The file \"" + budget.path + "\" is damaged: an entry cannot be read.");
        CompoundEntry entry;
        const char* name = gsf_infile_name_by_index(storage, i);
        entry.name = name ? name : "";
        GsfInfile* sub = GSF_IS_INFILE(child.get()) ? GSF_INFILE(child.get()) : nullptr;
        if (sub && gsf_infile_num_children(sub) >= 0) {
            entry.storage = true;
            if (GSF_IS_INFILE_MSOLE(sub))
                gsf_infile_msole_get_class_id(GSF_INFILE_MSOLE(sub), entry.classId.data());
            readChildren(sub, entry, budget, depth + 1);
        } else {
            const gsf_off_t size = gsf_input_size(child.get());
            if (size < 0 || std::uint64_t(size) > budget.limits.maxEntryBytes)
                tooLarge(budget.path, "the stream \"" + entry.name + "\" is larger than " +
                                          std::to_string(budget.limits.maxEntryBytes) + " bytes");
            budget.total += std::uint64_t(size);
            if (budget.total > budget.limits.maxTotalBytes)
                tooLarge(budget.path, "its streams hold more than " +
                                          std::to_string(budget.limits.maxTotalBytes) + " bytes");
            entry.data.resize(std::size_t(size));
            if (size > 0 &&
                !gsf_input_read(child.get(), std::size_t(size), reinterpret_cast<guint8*>(entry.data.data())))
                throw Error(ErrorKind::Damaged, "The file \"" + budget.path + "\" is damaged: the stream \"" +
                                                    entry.name + "\" cannot be read to its end.");
        }
        into.children.push_back(std::move(entry));
    }
}

// The directory is a tree of entries linked by index (left and right siblings, first child), which
// libgsf walks recursively: a chain tens of thousands of links long exhausts the stack. Real files
// hold a few dozen entries, their siblings in a balanced tree or a short chain.
constexpr std::size_t kMaxDirectoryDepth = 1000;
constexpr std::uint32_t kNoEntry = 0xFFFFFFFF, kEndOfChain = 0xFFFFFFFE;

// A field past the end of a cut-off file reads as "no entry", which ends every chain and link.
std::uint32_t u32At(const std::string& bytes, std::size_t at) {
    if (at + 4 > bytes.size())
        return kNoEntry;
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(bytes[at + std::size_t(i)]);
    return v;
}

// Checks the directory before libgsf reads it, without recursion: its chain of sectors ends, every
// link names an entry that exists, no entry is reached twice, and no path is deeper than the limit.
// What the container's other structures get wrong is left to libgsf, which reports it.
void checkDirectory(const std::string& bytes, const std::string& path) {
    auto damaged = [&](const std::string& what) {
        throw Error(ErrorKind::Damaged,
                    "The file \"" + path + "\" is a damaged compound file: " + what + ".");
    };
    if (bytes.size() < 512)
        return;
    const unsigned shift =
        static_cast<unsigned char>(bytes[0x1E]) | (static_cast<unsigned char>(bytes[0x1F]) << 8);
    if (shift != 9 && shift != 12)
        return;
    const std::size_t sectorSize = std::size_t(1) << shift;
    const std::size_t sectors = (bytes.size() - 1) / sectorSize; // a last sector may be cut short
    auto sectorAt = [&](std::uint32_t n) { return (std::size_t(n) + 1) * sectorSize; };
    const std::size_t perSector = sectorSize / 4;
    // The allocation table: its sectors are listed in the header and in a chain of further sectors.
    std::vector<std::uint32_t> tableSectors;
    for (std::size_t i = 0; i < 109; ++i)
        if (std::uint32_t n = u32At(bytes, 0x4C + 4 * i); n < sectors)
            tableSectors.push_back(n);
    std::uint32_t more = u32At(bytes, 0x44);
    for (std::size_t hops = 0; more < sectors && hops <= sectors; ++hops) {
        for (std::size_t i = 0; i + 1 < perSector; ++i)
            if (std::uint32_t n = u32At(bytes, sectorAt(more) + 4 * i); n < sectors)
                tableSectors.push_back(n);
        more = u32At(bytes, sectorAt(more) + 4 * (perSector - 1));
    }
    auto next = [&](std::uint32_t n) -> std::uint32_t {
        const std::size_t table = n / perSector;
        if (table >= tableSectors.size())
            return kEndOfChain;
        return u32At(bytes, sectorAt(tableSectors[table]) + 4 * (n % perSector));
    };
    // The directory's sectors, then its entries: 128 bytes each.
    std::vector<std::size_t> directory;
    std::vector<bool> seen(sectors, false);
    for (std::uint32_t n = u32At(bytes, 0x30); n != kEndOfChain; n = next(n)) {
        if (n >= sectors || seen[n])
            damaged("its directory's chain of sectors loops or leads out of the file");
        seen[n] = true;
        directory.push_back(sectorAt(n));
    }
    const std::size_t perDirectorySector = sectorSize / 128;
    const std::size_t entries = directory.size() * perDirectorySector;
    auto entryAt = [&](std::uint32_t id) {
        return directory[id / perDirectorySector] + 128 * (id % perDirectorySector);
    };
    if (entries == 0)
        return;
    std::vector<bool> reached(entries, false);
    std::vector<std::pair<std::uint32_t, std::size_t>> pending{{0, 0}}; // entry, depth
    reached[0] = true;
    while (!pending.empty()) {
        const auto [id, depth] = pending.back();
        pending.pop_back();
        if (depth > kMaxDirectoryDepth)
            damaged("its directory links more than " + std::to_string(kMaxDirectoryDepth) +
                    " entries in a row, more than any workbook holds");
        const std::size_t at = entryAt(id);
        for (std::size_t link : {68u, 72u, 76u}) {
            const std::uint32_t to = u32At(bytes, at + link);
            if (to == kNoEntry)
                continue;
            if (to >= entries || reached[to])
                damaged("its directory links an entry that is missing or reached twice");
            reached[to] = true;
            pending.push_back({to, depth + 1});
        }
    }
}

[[noreturn]] void writeFailed(const std::string& path, int error) {
    throw Error(ErrorKind::FileSystem,
                "Cannot write \"" + path + "\": " + std::strerror(error ? error : EIO) + ".");
}

void writeChildren(GsfOutfile* storage, const CompoundEntry& from, const std::string& path,
                   const std::string& replaced, const StreamProducer& produce, bool top) {
    bool placed = false;
    auto writeStream = [&](const std::string& name, const StreamProducer& content) {
        GsfHandle<GsfOutput> out(gsf_outfile_new_child(storage, name.c_str(), FALSE));
        if (!out)
            writeFailed(path, errno);
        content([&](std::string_view piece) {
            if (!piece.empty() &&
                !gsf_output_write(out.get(), piece.size(), reinterpret_cast<const guint8*>(piece.data())))
                writeFailed(path, errno);
        });
        if (!gsf_output_close(out.get()))
            writeFailed(path, errno);
    };
    for (const CompoundEntry& child : from.children) {
        if (child.storage) {
            GsfHandle<GsfOutput> out(gsf_outfile_new_child(storage, child.name.c_str(), TRUE));
            if (!out)
                writeFailed(path, errno);
            gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(out.get()), child.classId.data());
            writeChildren(GSF_OUTFILE(out.get()), child, path, replaced, produce, false);
            if (!gsf_output_close(out.get()))
                writeFailed(path, errno);
        } else if (top && child.name == replaced) {
            writeStream(child.name, produce);
            placed = true;
        } else {
            writeStream(child.name, [&](const auto& write) { write(child.data); });
        }
    }
    if (top && !placed)
        writeStream(replaced, produce);
}

} // namespace

const CompoundEntry* CompoundEntry::child(std::string_view childName) const {
    for (const CompoundEntry& c : children)
        if (c.name == childName)
            return &c;
    return nullptr;
}

bool isCompoundFile(std::string_view head) {
    static const unsigned char signature[8] = {0xD0, 0xCF, 0x11, 0xE0, 0xA1, 0xB1, 0x1A, 0xE1};
    return head.size() >= 8 && std::memcmp(head.data(), signature, 8) == 0;
}

CompoundEntry readCompoundFile(const std::string& bytes, const OpenLimits& limits, const std::string& path) {
    checkDirectory(bytes, path);
    initGsf();
    GsfHandle<GsfInput> input(
        gsf_input_memory_new(reinterpret_cast<const guint8*>(bytes.data()), gsf_off_t(bytes.size()), FALSE));
    GError* error = nullptr;
    GsfHandle<GsfInfile> root(gsf_infile_msole_new(input.get(), &error));
    if (!root) {
        std::string reason = error && error->message ? error->message : "it cannot be read";
        if (error)
            g_error_free(error);
        throw Error(ErrorKind::Damaged,
                    "The file \"" + path + "\" is a damaged compound file: " + reason + ".");
    }
    CompoundEntry tree;
    tree.storage = true;
    gsf_infile_msole_get_class_id(GSF_INFILE_MSOLE(root.get()), tree.classId.data());
    ReadBudget budget{limits, path};
    readChildren(root.get(), tree, budget, 0);
    return tree;
}

void writeCompoundFile(int fd, const std::string& path, const CompoundEntry& root,
                       const std::string& replaced, const StreamProducer& produce) {
    initGsf();
    const int copy = ::dup(fd);
    if (copy < 0)
        writeFailed(path, errno);
    std::FILE* file = ::fdopen(copy, "wb");
    if (!file) {
        const int error = errno;
        ::close(copy);
        writeFailed(path, error);
    }
    std::unique_ptr<std::FILE, int (*)(std::FILE*)> closer(file, std::fclose);
    GsfHandle<GsfOutput> sink(gsf_output_stdio_new_FILE(path.c_str(), file, TRUE));
    if (!sink)
        writeFailed(path, errno);
    GsfHandle<GsfOutfile> outfile(gsf_outfile_msole_new(sink.get()));
    if (!outfile)
        writeFailed(path, errno);
    gsf_outfile_msole_set_class_id(GSF_OUTFILE_MSOLE(outfile.get()), root.classId.data());
    writeChildren(outfile.get(), root, path, replaced, produce, true);
    // Closing the compound file writes its directory and closes the sink.
    if (!gsf_output_close(GSF_OUTPUT(outfile.get())))
        writeFailed(path, errno);
    outfile.reset();
    sink.reset();
    if (std::fflush(file) != 0)
        writeFailed(path, errno);
}

} // namespace workbookfile
