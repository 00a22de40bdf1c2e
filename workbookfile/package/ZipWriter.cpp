#include "ZipWriter.h"

#include "Workbook.h"

#include <libdeflate.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

namespace workbookfile {

namespace {

constexpr std::uint64_t kZip32Limit = 0xFFFFFFFFull;

struct CompressorDeleter {
    void operator()(libdeflate_compressor* c) const { libdeflate_free_compressor(c); }
};

constexpr int kMostDeflateLevel = 12;

// One compressor per level and thread: a worksheet's sample and the worksheet itself may be
// deflated at different levels.
libdeflate_compressor* compressorFor(int level) {
    thread_local std::unique_ptr<libdeflate_compressor, CompressorDeleter> compressors[kMostDeflateLevel + 1];
    level = std::clamp(level, 0, kMostDeflateLevel);
    auto& compressor = compressors[level];
    if (!compressor) {
        compressor.reset(libdeflate_alloc_compressor(level));
        if (!compressor)
            throw std::bad_alloc();
    }
    return compressor.get();
}

// Deflates content into out, a scratch buffer of the worst case left uninitialised (only the part
// written is ever touched); returns the deflated size, 0 when it did not fit.
std::size_t deflated(std::string_view content, int level, std::unique_ptr<char[]>& out) {
    libdeflate_compressor* c = compressorFor(level);
    const std::size_t bound = libdeflate_deflate_compress_bound(c, content.size());
    out.reset(new char[bound]);
    return libdeflate_deflate_compress(c, content.data(), content.size(), out.get(), bound);
}

} // namespace

double deflatedFraction(std::string_view content, int level) {
    if (content.empty())
        return 1.0;
    std::unique_ptr<char[]> out;
    const std::size_t n = deflated(content, level, out);
    return double(n ? n : content.size()) / double(content.size());
}

PackedEntry packEntry(std::string name, std::string_view content, int level) {
    PackedEntry e;
    e.name = std::move(name);
    e.size = content.size();
    e.crc = std::uint32_t(libdeflate_crc32(0, content.data(), content.size()));
    std::unique_ptr<char[]> out;
    const std::size_t n = deflated(content, level, out);
    if (n == 0 || n >= content.size()) {
        e.method = 0;
        e.data.assign(content.data(), content.size());
    } else {
        e.method = 8;
        e.data.assign(out.get(), n);
    }
    return e;
}

ZipWriter::ZipWriter(int fd, std::string path, std::time_t timestamp) : _fd(fd), _path(std::move(path)) {
    std::tm tm{};
    gmtime_r(&timestamp, &tm);
    if (tm.tm_year < 80) {
        tm = std::tm{};
        tm.tm_year = 80;
        tm.tm_mday = 1;
    }
    _dosTime = std::uint16_t((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
    _dosDate = std::uint16_t(((tm.tm_year - 80) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
    _buffer.reserve(1 << 20);
}

ZipWriter::~ZipWriter() = default;

void ZipWriter::flush() {
    std::size_t done = 0;
    while (done < _buffer.size()) {
        ssize_t n = ::write(_fd, _buffer.data() + done, _buffer.size() - done);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            throw Error(ErrorKind::FileSystem,
                        "Cannot write \"" + _path + "\": " + std::strerror(errno) + ".");
        }
        done += std::size_t(n);
    }
    _buffer.clear();
}

void ZipWriter::put(const void* data, std::size_t size) {
    const char* p = static_cast<const char*>(data);
    if (_buffer.size() + size > _buffer.capacity()) {
        flush();
        if (size >= _buffer.capacity()) {
            _buffer.assign(p, p + size);
            flush();
            _offset += size;
            return;
        }
    }
    _buffer.insert(_buffer.end(), p, p + size);
    _offset += size;
}

void ZipWriter::put16(std::uint16_t v) {
    unsigned char b[2] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8)};
    put(b, 2);
}

void ZipWriter::put32(std::uint32_t v) {
    unsigned char b[4] = {static_cast<unsigned char>(v), static_cast<unsigned char>(v >> 8),
                          static_cast<unsigned char>(v >> 16), static_cast<unsigned char>(v >> 24)};
    put(b, 4);
}

void ZipWriter::header(const std::string& name, std::uint16_t method, std::uint32_t crc,
                       std::uint64_t compressedSize, std::uint64_t size, std::uint16_t dosTime,
                       std::uint16_t dosDate) {
    if (!dosDate) {
        dosTime = _dosTime;
        dosDate = _dosDate;
    }
    if (compressedSize > kZip32Limit || size > kZip32Limit || _offset > kZip32Limit)
        throw Error(ErrorKind::LimitExceeded,
                    "Cannot write \"" + _path + "\": the part \"" + name + "\" exceeds 4 GB.");
    _central.push_back({name, method, crc, compressedSize, size, _offset, dosTime, dosDate});
    put32(0x04034b50);
    put16(20);
    put16(0x0800); // names are UTF-8
    put16(method);
    put16(dosTime);
    put16(dosDate);
    put32(crc);
    put32(std::uint32_t(compressedSize));
    put32(std::uint32_t(size));
    put16(std::uint16_t(name.size()));
    put16(0);
    put(name.data(), name.size());
}

void ZipWriter::add(const PackedEntry& entry) {
    header(entry.name, entry.method, entry.crc, entry.data.size(), entry.size);
    put(entry.data.data(), entry.data.size());
}

void ZipWriter::beginRaw(const std::string& name, std::uint16_t method, std::uint32_t crc,
                         std::uint64_t compressedSize, std::uint64_t size, std::uint16_t dosTime,
                         std::uint16_t dosDate) {
    header(name, method, crc, compressedSize, size, dosTime, dosDate);
    _rawRemaining = compressedSize;
}

void ZipWriter::appendRaw(const char* data, std::size_t size) {
    if (size > _rawRemaining)
        throw Error(ErrorKind::Damaged,
                    "Cannot write \"" + _path + "\": a copied part is longer than its archive entry says.");
    _rawRemaining -= size;
    put(data, size);
}

void ZipWriter::appendRawFromFile(int fd, std::uint64_t at, std::uint64_t size) {
    if (size > _rawRemaining)
        throw Error(ErrorKind::Damaged,
                    "Cannot write \"" + _path + "\": a copied part is longer than its archive entry says.");
    _rawRemaining -= size;
    flush(); // what the buffer holds goes first; the file's offset is then _offset
    loff_t from = loff_t(at);
    std::uint64_t left = size;
    std::vector<char> chunk;
    while (left > 0) {
        ssize_t n = ::copy_file_range(fd, &from, _fd, nullptr,
                                      std::size_t(std::min<std::uint64_t>(left, 1u << 30)), 0);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            // Across file systems (or where the kernel cannot): through memory.
            chunk.resize(std::size_t(std::min<std::uint64_t>(left, 1u << 20)));
            n = ::pread(fd, chunk.data(), chunk.size(), off_t(from));
            if (n <= 0)
                throw Error(ErrorKind::FileSystem, "Cannot write \"" + _path +
                                                       "\": a kept worksheet cannot be read: " +
                                                       std::strerror(n == 0 ? EIO : errno) + ".");
            _buffer.assign(chunk.data(), chunk.data() + n);
            flush();
            from += n;
        }
        left -= std::uint64_t(n);
    }
    _offset += size;
}

void ZipWriter::endRaw() {
    if (_rawRemaining != 0)
        throw Error(ErrorKind::Damaged,
                    "Cannot write \"" + _path + "\": a copied part is shorter than its archive entry says.");
}

void ZipWriter::beginStreamed(const std::string& name) {
    header(name, 8, 0, 0, 0);
    _streamStart = _offset;
}

void ZipWriter::endStreamed(std::uint32_t crc, std::uint64_t size) {
    Central& c = _central.back();
    std::uint64_t compressedSize = _offset - _streamStart;
    if (compressedSize > kZip32Limit || size > kZip32Limit)
        throw Error(ErrorKind::LimitExceeded,
                    "Cannot write \"" + _path + "\": the part \"" + c.name + "\" exceeds 4 GB.");
    c.crc = crc;
    c.compressedSize = compressedSize;
    c.size = size;
    flush();
    unsigned char fields[12];
    const std::uint32_t values[3] = {crc, std::uint32_t(compressedSize), std::uint32_t(size)};
    for (int i = 0; i < 3; ++i)
        for (int b = 0; b < 4; ++b)
            fields[i * 4 + b] = static_cast<unsigned char>(values[i] >> (8 * b));
    // crc-32, compressed and uncompressed size sit 14 bytes into the local header.
    if (::pwrite(_fd, fields, sizeof fields, off_t(c.offset + 14)) != ssize_t(sizeof fields))
        throw Error(ErrorKind::FileSystem, "Cannot write \"" + _path + "\": " + std::strerror(errno) + ".");
}

void ZipWriter::finish() {
    std::uint64_t start = _offset;
    for (const Central& c : _central) {
        put32(0x02014b50);
        put16(20);
        put16(20);
        put16(0x0800);
        put16(c.method);
        put16(c.dosTime);
        put16(c.dosDate);
        put32(c.crc);
        put32(std::uint32_t(c.compressedSize));
        put32(std::uint32_t(c.size));
        put16(std::uint16_t(c.name.size()));
        put16(0);
        put16(0);
        put16(0);
        put16(0);
        put32(0);
        put32(std::uint32_t(c.offset));
        put(c.name.data(), c.name.size());
    }
    std::uint64_t size = _offset - start;
    if (_central.size() > 0xFFFF || start > kZip32Limit || size > kZip32Limit)
        throw Error(ErrorKind::LimitExceeded,
                    "Cannot write \"" + _path + "\": the workbook exceeds the limits of a zip file.");
    put32(0x06054b50);
    put16(0);
    put16(0);
    put16(std::uint16_t(_central.size()));
    put16(std::uint16_t(_central.size()));
    put32(std::uint32_t(size));
    put32(std::uint32_t(start));
    put16(0);
    flush();
}

} // namespace workbookfile
