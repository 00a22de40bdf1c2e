// Write-behind: a conversion fills its worksheets one after another, so once it writes into
// another worksheet, the last one is encoded and deflated on a second thread while the next one is
// composed, and its cells are freed. The packed bytes (for .xls the records, stored as they are)
// go to a spill file, or stay in memory where none can be written, and the save only copies
// them into the package or the workbook stream. A packed worksheet that is used again is
// inflated and read back into cells first; the bytes saved are the same either way.

#include "WorkbookState.h"

#include "PartNames.h"
#include "Switchboard.h"

#include <zlib.h>

#include <fcntl.h>
#include <sys/statvfs.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include <algorithm>
#include <exception>
#include <memory>
#include <thread>

namespace workbookfile {

namespace {

std::string inflated(const PackedEntry& entry, std::string data) {
    if (entry.method == 0)
        return data;
    std::string out(entry.size, '\0');
    z_stream z{};
    if (inflateInit2(&z, -15) != Z_OK)
        throw std::bad_alloc();
    std::unique_ptr<z_stream, int (*)(z_stream*)> guard(&z, inflateEnd);
    z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(data.data()));
    z.avail_in = uInt(data.size());
    z.next_out = reinterpret_cast<Bytef*>(out.data());
    z.avail_out = uInt(out.size());
    if (inflate(&z, Z_FINISH) != Z_STREAM_END || z.avail_out != 0)
        throw Error(ErrorKind::Damaged, "A worksheet kept in memory could not be read back.");
    return out;
}

} // namespace

void Workbook::Impl::noteWrite(Worksheet::Impl& sheet) {
    if (lastWritten == &sheet)
        return;
    Worksheet::Impl* finished = lastWritten;
    lastWritten = &sheet;
    if (!finished || !writeBehind || !finished->loaded || !finished->changed || finished->packed)
        return;
    // The encoding of the format the workbook will be saved in, where its codec can make it now.
    const Codec& as = codecFor(format);
    if (!as.packable(*this, *finished))
        return;
    // As many worksheets in flight as the machine has cores beside the composing thread, at least one.
    const std::size_t inFlight = std::max(1u, std::thread::hardware_concurrency());
    while (packing.size() >= inFlight)
        finishPacking(packing.front().first);
    const bool first = !sheets.empty() && &sheets.front()->impl() == finished;
    const std::string folder = path.empty() ? std::string() : partFolder(path);
    if (!pool)
        pool = std::make_unique<WorkerPool>(unsigned(inFlight));
    packing.emplace_back(finished, pool->submit([this, finished, &as, first, folder] {
        Worksheet::Impl& s = *finished;
        auto entry = std::make_unique<PackedEntry>(as.packSheet(*this, s, first));
        s.packedStringCells = s.model.sharedStringCells();
        s.packedStringsKnown = sharedStringsOf(s.model, *s.codec, s.packedStrings);
        s.packedPlainRows = s.model.plainRows();
        s.model = SheetModel{};
        s.packed = std::move(entry);
        s.packedAs = &as;
        s.packedFirst = first;
        spill(s, folder);
    }));
}

std::string Workbook::Impl::takeBuffer() {
    std::lock_guard<std::mutex> lock(bufferMutex);
    if (spareBuffers.empty())
        return {};
    std::string buffer = std::move(spareBuffers.back());
    spareBuffers.pop_back();
    return buffer;
}

void Workbook::Impl::keepBuffer(std::string buffer) {
    // One huge worksheet's buffer is not kept for the rest of the conversion.
    if (buffer.capacity() > (std::size_t(64) << 20))
        return;
    buffer.clear();
    std::lock_guard<std::mutex> lock(bufferMutex);
    spareBuffers.push_back(std::move(buffer));
}

namespace {
unsigned long long freeBytes(const std::string& folder) {
    struct statvfs fs;
    return ::statvfs(folder.c_str(), &fs) == 0 ? (unsigned long long)fs.f_bavail * fs.f_frsize : 0;
}

// Where the spilled worksheets wait for the save: the save copies them, so they may be on any file
// system, and on the workbook's own they would need room beside the old workbook and the new one.
// The folder of temporary files takes them when its file system has more room.
std::string spillFolder(const std::string& workbookFolder) {
    const char* configured = std::getenv("TMPDIR");
    const std::string temporary = configured && *configured ? configured : "/tmp";
    return freeBytes(temporary) > freeBytes(workbookFolder) ? temporary : workbookFolder;
}
} // namespace

// The unnamed file, made where there is most room (else among the temporary files), is gone with
// the process whatever happens. A worksheet that cannot be spilled stays in memory.
void Workbook::Impl::spill(Worksheet::Impl& sheet, const std::string& folder) {
    std::uint64_t at;
    {
        std::lock_guard<std::mutex> lock(spillMutex);
        if (spillFd < 0) {
            spillFd = ::open(spillFolder(folder.empty() ? "." : folder).c_str(),
                             O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
            if (spillFd < 0)
                if (std::FILE* file = std::tmpfile()) {
                    spillFd = ::fcntl(::fileno(file), F_DUPFD_CLOEXEC, 0);
                    std::fclose(file);
                }
            if (spillFd < 0)
                return;
        }
        at = spillEnd;
        spillEnd += sheet.packed->data.size();
    }
    const std::string& data = sheet.packed->data;
    for (std::size_t done = 0; done < data.size();) {
        const ssize_t n = ::pwrite(spillFd, data.data() + done, data.size() - done, off_t(at + done));
        if (n <= 0 && errno != EINTR)
            return; // kept in memory
        if (n > 0)
            done += std::size_t(n);
    }
    sheet.spilledAt = at;
    sheet.spilledSize = data.size();
    sheet.spilled = true;
    std::string().swap(sheet.packed->data);
}

std::string Workbook::Impl::packedBytes(const Worksheet::Impl& sheet) const {
    if (!sheet.spilled)
        return sheet.packed->data;
    std::string data(sheet.spilledSize, '\0');
    for (std::size_t done = 0; done < data.size();) {
        const ssize_t n =
            ::pread(spillFd, data.data() + done, data.size() - done, off_t(sheet.spilledAt + done));
        if (n <= 0 && errno != EINTR)
            throw Error(ErrorKind::FileSystem,
                        std::string("A worksheet kept on disk could not be read back: ") +
                            std::strerror(n == 0 ? EIO : errno) + ".");
        if (n > 0)
            done += std::size_t(n);
    }
    return data;
}

void Workbook::Impl::addPacked(ZipWriter& zip, const Worksheet::Impl& sheet, const std::string& name) const {
    const PackedEntry& entry = *sheet.packed;
    if (sheet.spilled) {
        zip.beginRaw(name, entry.method, entry.crc, sheet.spilledSize, entry.size);
        zip.appendRawFromFile(spillFd, sheet.spilledAt, sheet.spilledSize);
    } else {
        zip.beginRaw(name, entry.method, entry.crc, entry.data.size(), entry.size);
        zip.appendRaw(entry.data.data(), entry.data.size());
    }
    zip.endRaw();
}

void Workbook::Impl::finishPacking(const Worksheet::Impl* sheet) {
    // A failure to pack leaves the worksheet's cells as they were; it is reported once the others
    // are done.
    std::exception_ptr failure;
    for (auto it = packing.begin(); it != packing.end();) {
        if (sheet && it->first != sheet) {
            ++it;
            continue;
        }
        try {
            it->second.get();
        } catch (...) {
            if (!failure)
                failure = std::current_exception();
        }
        it = packing.erase(it);
    }
    if (failure)
        std::rethrow_exception(failure);
}

void Workbook::Impl::bringBack(Worksheet::Impl& sheet) {
    const std::string data = inflated(*sheet.packed, packedBytes(sheet));
    const std::size_t atLoad = sheet.stringCellsAtLoad;
    sheet.packedAs->unpackSheet(*this, sheet, data);
    sheet.model.makePlain(sheet.packedPlainRows);
    sheet.packedPlainRows = {};
    sheet.stringCellsAtLoad = atLoad;
    sheet.packed.reset();
    sheet.spilled = false;
}

void Workbook::Impl::settlePacking(FileFormat target) {
    finishPacking();
    for (const auto& s : sheets) {
        Worksheet::Impl& sheet = s->impl();
        if (sheet.packed && sheet.packedAs != &codecFor(target))
            bringBack(sheet);
    }
}

Workbook::Impl::~Impl() {
    for (auto& job : packing)
        job.second.wait();
    if (spillFd >= 0)
        ::close(spillFd);
}

} // namespace workbookfile
