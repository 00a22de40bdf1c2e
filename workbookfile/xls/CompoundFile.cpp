// libgsf reads and writes the container; the engine only walks its tree. The file's bytes are read
// once into memory and handed to libgsf from there, so the limits apply before anything is parsed.

#include "CompoundFile.h"

#include "CompoundDirectory.h"

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

// Calls visit for every stream of the tree below storage, with its path ("Storage/Stream").
template <typename Entry, typename Visit>
void forEachStream(Entry& storage, const std::string& folder, const Visit& visit) {
    for (Entry& child : storage.children) {
        if (child.storage)
            forEachStream(child, folder + child.name + "/", visit);
        else
            visit(child, folder + child.name);
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
    auto open = [](const std::string& data, std::string& reason) {
        GsfHandle<GsfInput> input(gsf_input_memory_new(reinterpret_cast<const guint8*>(data.data()),
                                                       gsf_off_t(data.size()), FALSE));
        GError* error = nullptr;
        GsfHandle<GsfInfile> root(gsf_infile_msole_new(input.get(), &error));
        if (!root) {
            reason = error && error->message ? error->message : "it cannot be read";
            if (error)
                g_error_free(error);
        }
        return root;
    };
    std::string reason;
    GsfHandle<GsfInfile> root = open(bytes, reason);
    // Counts in the header that disagree with the chains the file holds, and a last sector cut
    // short, are taken as readers take them; the file is only read this way, the save writes a
    // container of its own.
    const std::string repaired = root ? std::string() : repairedForReading(bytes);
    if (!root && !repaired.empty())
        root = open(repaired, reason);
    if (!root)
        throw Error(ErrorKind::Damaged,
                    "The file \"" + path + "\" is a damaged compound file: " + reason + ".");
    CompoundEntry tree;
    tree.storage = true;
    gsf_infile_msole_get_class_id(GSF_INFILE_MSOLE(root.get()), tree.classId.data());
    ReadBudget budget{limits, path};
    readChildren(root.get(), tree, budget, 0);
    const std::map<std::string, ClassId> ids = streamClassIds(bytes);
    if (!ids.empty())
        forEachStream(tree, "", [&](CompoundEntry& stream, const std::string& streamPath) {
            if (auto it = ids.find(streamPath); it != ids.end())
                stream.classId = it->second;
        });
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
    balanceDirectory(fd, path);
    std::map<std::string, ClassId> ids;
    forEachStream(root, "", [&](const CompoundEntry& stream, const std::string& streamPath) {
        if (stream.classId != ClassId{})
            ids.emplace(streamPath, stream.classId);
    });
    writeStreamClassIds(fd, path, ids);
}

} // namespace workbookfile
