#pragma once

// Writes a zip package to a file descriptor: entries compressed beforehand (so that several can
// be deflated in parallel) or copied as stored bytes from another archive.

#include <cstdint>
#include <ctime>
#include <string>
#include <string_view>
#include <vector>

namespace workbookfile {

// An entry ready to be written: its bytes as they go into the archive.
struct PackedEntry {
    std::string name;
    std::uint16_t method = 8; // 0 stored, 8 deflated
    std::uint32_t crc = 0;
    std::uint64_t size = 0;
    std::string data;
};

// Deflates content into an entry (level as for zlib, 1 to 12 with libdeflate).
PackedEntry packEntry(std::string name, std::string_view content, int level);
// The size of content deflated at level, as a fraction of its own.
double deflatedFraction(std::string_view content, int level);

class ZipWriter {
public:
    ZipWriter(int fd, std::string path, std::time_t timestamp);
    ~ZipWriter();

    void add(const PackedEntry& entry);
    // An entry whose stored bytes follow through appendRaw() calls, then endRaw(); an entry copied
    // from another archive keeps its date and time there (MS-DOS fields; zero: the writer's).
    void beginRaw(const std::string& name, std::uint16_t method, std::uint32_t crc,
                  std::uint64_t compressedSize, std::uint64_t size, std::uint16_t dosTime = 0,
                  std::uint16_t dosDate = 0);
    void appendRaw(const char* data, std::size_t size);
    // The same from size bytes of another file at offset at, copied by the kernel where it can.
    void appendRawFromFile(int fd, std::uint64_t at, std::uint64_t size);
    void endRaw();
    // An entry whose sizes are known only at its end (deflated while it is written); its header is
    // completed in place by endStreamed().
    void beginStreamed(const std::string& name);
    void appendStreamed(const char* data, std::size_t size) { put(data, size); }
    void endStreamed(std::uint32_t crc, std::uint64_t size);
    // Writes the central directory and flushes everything to the file.
    void finish();

private:
    struct Central {
        std::string name;
        std::uint16_t method;
        std::uint32_t crc;
        std::uint64_t compressedSize, size, offset;
        std::uint16_t dosTime, dosDate;
    };
    void header(const std::string& name, std::uint16_t method, std::uint32_t crc,
                std::uint64_t compressedSize, std::uint64_t size, std::uint16_t dosTime = 0,
                std::uint16_t dosDate = 0);
    void put(const void* data, std::size_t size);
    void put16(std::uint16_t v);
    void put32(std::uint32_t v);
    void flush();

    int _fd;
    std::string _path;
    std::uint16_t _dosTime = 0, _dosDate = 0;
    std::vector<char> _buffer;
    std::uint64_t _offset = 0;
    std::uint64_t _rawRemaining = 0;
    std::uint64_t _streamStart = 0;
    std::vector<Central> _central;
};

} // namespace workbookfile
