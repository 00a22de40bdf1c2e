// Write-behind: a conversion fills its worksheets one after another, so once it writes into
// another worksheet, the last one is encoded and deflated on a second thread while the next one is
// composed, and its cells are freed. The packed bytes (for .xls the records, stored as they are)
// go to a spill file, or stay in memory where none can be written, and the save only copies
// them into the package or the workbook stream. A packed worksheet that is used again is
// inflated and read back into cells first; the bytes saved are the same either way.

#include "Internal.h"
#include "Xls.h"
#include "Xlsb.h"

#include <zlib.h>

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
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

// The encoding of a worksheet in the format it will be saved in, when the engine can pack it:
// XML for .xlsx/.xlsm, records for .xlsb and .xls.
bool packable(const Workbook::Impl& wb, const Worksheet::Impl& sheet) {
    if (!wb.writeBehind || !sheet.loaded || !sheet.changed || sheet.packed)
        return false;
    switch (wb.format) {
    case FileFormat::Xlsx:
    case FileFormat::Xlsm:
        // A worksheet too large to hold as one text is deflated piece by piece while it is saved.
        return sheet.codec == SheetCodec::Xml && !wb.xlsb && !wb.xls &&
               estimatedXmlSize(sheet) <= wb.streamThreshold;
    case FileFormat::Xlsb:
        return wb.xlsb ? sheet.codec == SheetCodec::Xlsb : sheet.codec == SheetCodec::Xml && !wb.source;
    case FileFormat::Xls:
        // Cells beyond the format stay, for the save to refuse them.
        return (wb.xls || (!wb.source && !wb.xlsb)) && fitsXls(sheet.model);
    }
    return false;
}

PackedEntry storedEntry(std::string name, std::string content) {
    PackedEntry entry;
    entry.name = std::move(name);
    entry.method = 0;
    entry.size = content.size();
    entry.data = std::move(content);
    return entry;
}

bool sameFamily(FileFormat a, FileFormat b) {
    auto family = [](FileFormat f) { return f == FileFormat::Xlsm ? FileFormat::Xlsx : f; };
    return family(a) == family(b);
}

} // namespace

void Workbook::Impl::noteWrite(Worksheet::Impl& sheet) {
    if (lastWritten == &sheet)
        return;
    Worksheet::Impl* finished = lastWritten;
    lastWritten = &sheet;
    if (!finished || !packable(*this, *finished))
        return;
    // As many worksheets in flight as the machine has cores beside the composing thread, at least one.
    const std::size_t inFlight = std::max(1u, std::thread::hardware_concurrency());
    while (packing.size() >= inFlight)
        finishPacking(packing.front().first);
    const FileFormat as = format;
    const bool newBinary = as == FileFormat::Xlsb && !xlsb;
    const bool first = !sheets.empty() && &sheets.front()->impl() == finished;
    const std::string folder = path.empty() ? std::string() : partFolder(path);
    packing.emplace_back(
        finished, std::async(std::launch::async, [this, finished, as, newBinary, first, folder] {
            Worksheet::Impl& s = *finished;
            std::string data = takeBuffer();
            if (as == FileFormat::Xls) {
                data = xlsSheetRecords(*this, s, first);
            } else if (newBinary) {
                static const std::string tail = newXlsbSheetTail();
                data = xlsbSheetRecords(s.model, newXlsbSheetHead(s.layout), tail, s.part);
            } else if (as == FileFormat::Xlsb) {
                data = xlsbSheetRecords(s.model, s.head, s.tail, s.part);
            } else {
                writeSheetXml(data, s);
            }
            auto entry = std::make_unique<PackedEntry>(as == FileFormat::Xls
                                                           ? storedEntry(s.part, std::move(data))
                                                           : packEntry(s.part, data, deflateLevelFor(as)));
            if (as != FileFormat::Xls)
                keepBuffer(std::move(data));
            s.packedStringCells = s.model.sharedStringCells();
            s.packedPlainRows = s.model.plainRows();
            s.model = SheetModel{};
            s.packed = std::move(entry);
            s.packedAs = as;
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

// The unnamed file, made in the workbook's folder where the file system allows (else among the
// temporary files), is gone with the process whatever happens. A worksheet that cannot be
// spilled stays in memory.
void Workbook::Impl::spill(Worksheet::Impl& sheet, const std::string& folder) {
    std::uint64_t at;
    {
        std::lock_guard<std::mutex> lock(spillMutex);
        if (spillFd < 0) {
            spillFd = ::open(folder.empty() ? "." : folder.c_str(), O_TMPFILE | O_RDWR | O_CLOEXEC, 0600);
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
    if (sheet.packedAs == FileFormat::Xls) {
        loadXlsSheetRecords(*this, sheet, data);
    } else if (sheet.packedAs != FileFormat::Xlsb) {
        loadXmlSheet(sheet, data);
    } else if (sheet.codec == SheetCodec::Xlsb) {
        loadXlsbSheetRecords(sheet, data);
    } else {
        // A new workbook's worksheet packed as binary records: only its cells come back.
        SheetModel model;
        std::string head, tail;
        parseXlsbSheet(data, sheet.part, model, head, tail);
        sheet.model = std::move(model);
    }
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
        if (sheet.packed && !sameFamily(sheet.packedAs, target))
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
