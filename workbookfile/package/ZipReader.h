#pragma once

// Reads a zip package defensively: entry names are checked, inflated sizes are capped while
// inflating (the archive's own size fields are not trusted), encrypted entries are refused.

#include "Workbook.h"

#include <cstdint>
#include <functional>
#include <string>
#include <unordered_map>
#include <vector>

struct zip;

namespace workbookfile {

class ZipReader {
public:
    ZipReader(const std::string& path, const OpenLimits& limits);
    ~ZipReader();
    ZipReader(const ZipReader&) = delete;
    ZipReader& operator=(const ZipReader&) = delete;

    std::size_t count() const { return _names.size(); }
    const std::string& name(std::size_t index) const { return _names[index]; }
    // Index of the entry (part names compare without regard to ASCII case), -1 when absent.
    long find(std::string_view name) const;

    // The inflated content of an entry.
    std::string read(std::size_t index);

    struct RawInfo {
        std::uint16_t method = 0;
        std::uint32_t crc = 0;
        std::uint64_t compressedSize = 0;
        std::uint64_t size = 0;
        // The entry's modification time as the archive stores it (MS-DOS date and time); zero
        // when it has none.
        std::uint16_t dosTime = 0, dosDate = 0;
    };
    RawInfo rawInfo(std::size_t index) const;
    // Streams the entry's stored (compressed) bytes unchanged.
    void copyRaw(std::size_t index, const std::function<void(const char*, std::size_t)>& sink);

private:
    void refuseDenseMarkup(const std::string& name, const std::string& xml, std::uint64_t stored) const;
    void streamEntry(std::size_t index, std::uint32_t zipFlags,
                     const std::function<void(const char*, std::size_t)>& sink);

    std::string _path;
    OpenLimits _limits;
    ::zip* _zip = nullptr;
    std::vector<std::string> _names;
    std::unordered_map<std::string, std::size_t> _byLowerName;
    std::uint64_t _totalRead = 0;
    std::uint64_t _fileSize = UINT64_MAX;
};

} // namespace workbookfile
