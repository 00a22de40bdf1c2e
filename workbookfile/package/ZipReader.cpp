#include "ZipReader.h"

#include "PartNames.h"
#include "Utf.h"
#include <ctime>

#include <zip.h>

#include <algorithm>
#include <cstring>
#include <memory>
#include <sys/stat.h>

namespace workbookfile {

namespace {

bool unsafeName(std::string_view name) {
    if (name.empty() || name.front() == '/' || name.front() == '\\')
        return true;
    if (name.size() >= 2 && name[1] == ':')
        return true; // drive letter
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find_first_of("/\\", start);
        if (end == std::string_view::npos)
            end = name.size();
        if (name.substr(start, end - start) == "..")
            return true;
        start = end + 1;
    }
    return name.find('\0') != std::string_view::npos;
}

} // namespace

ZipReader::ZipReader(const std::string& path, const OpenLimits& limits) : _path(path), _limits(limits) {
    int err = 0;
    _zip = zip_open(path.c_str(), ZIP_RDONLY | ZIP_CHECKCONS, &err);
    if (!_zip) {
        zip_error_t ze;
        zip_error_init_with_code(&ze, err);
        std::string why = zip_error_strerror(&ze);
        zip_error_fini(&ze);
        if (err == ZIP_ER_NOZIP || err == ZIP_ER_INCONS)
            throw Error(err == ZIP_ER_NOZIP ? ErrorKind::NotAWorkbook : ErrorKind::Damaged,
                        "The file \"" + path + "\" is not a workbook: it is not a valid zip package (" + why +
                            ").");
        throw Error(ErrorKind::FileSystem, "Cannot open the file \"" + path + "\": " + why + ".");
    }
    struct stat info {};
    if (::stat(path.c_str(), &info) == 0)
        _fileSize = std::uint64_t(info.st_size);
    zip_int64_t n = zip_get_num_entries(_zip, 0);
    if (n < 0 || std::uint64_t(n) > _limits.maxEntries) {
        zip_discard(_zip);
        _zip = nullptr;
        throw Error(ErrorKind::TooLarge, "The file \"" + path + "\" has too many entries to be a workbook.");
    }
    for (zip_int64_t i = 0; i < n; ++i) {
        const char* name = zip_get_name(_zip, zip_uint64_t(i), ZIP_FL_ENC_GUESS);
        std::string entry = name ? name : "";
        if (unsafeName(entry)) {
            zip_discard(_zip);
            _zip = nullptr;
            throw Error(ErrorKind::Damaged, "The file \"" + path +
                                                "\" contains an entry with an unsafe name (\"" + entry +
                                                "\"); it is refused.");
        }
        zip_stat_t st;
        zip_stat_init(&st);
        if (zip_stat_index(_zip, zip_uint64_t(i), 0, &st) == 0 && (st.valid & ZIP_STAT_ENCRYPTION_METHOD) &&
            st.encryption_method != ZIP_EM_NONE) {
            zip_discard(_zip);
            _zip = nullptr;
            throw Error(ErrorKind::Encrypted,
                        "The file \"" + path + "\" is encrypted (password-protected) and cannot be opened.");
        }
        _byLowerName.emplace(lowerAscii(entry), _names.size());
        _names.push_back(std::move(entry));
    }
}

ZipReader::~ZipReader() {
    if (_zip)
        zip_discard(_zip);
}

long ZipReader::find(std::string_view name) const {
    auto it = _byLowerName.find(lowerAscii(name));
    return it == _byLowerName.end() ? -1 : long(it->second);
}

// Hands the entry's bytes to sink piece by piece: inflated, or as stored with ZIP_FL_COMPRESSED.
void ZipReader::streamEntry(std::size_t index, std::uint32_t flags,
                            const std::function<void(const char*, std::size_t)>& sink) {
    const std::string& name = _names[index];
    zip_file_t* f = zip_fopen_index(_zip, index, flags);
    if (!f)
        throw Error(ErrorKind::Damaged, "Cannot read the part \"" + name + "\" of \"" + _path +
                                            "\": " + zip_strerror(_zip) + ".");
    std::unique_ptr<zip_file_t, int (*)(zip_file_t*)> guard(f, zip_fclose);
    char buf[65536];
    for (;;) {
        zip_int64_t got = zip_fread(f, buf, sizeof buf);
        if (got < 0)
            throw Error(ErrorKind::Damaged, "The part \"" + name + "\" of \"" + _path +
                                                "\" is damaged: " + zip_file_strerror(f) + ".");
        if (got == 0)
            break;
        sink(buf, std::size_t(got));
    }
}

std::string ZipReader::read(std::size_t index) {
    const std::string& name = _names[index];
    std::string out;
    // The stored bytes the entry can be inflated from: its compressed size, which the reader
    // never reads past, and never more than the whole file.
    const std::uint64_t stored =
        std::max<std::uint64_t>(1, std::min(rawInfo(index).compressedSize, _fileSize));
    // The caps are checked on the inflated bytes themselves, never on the sizes the archive claims.
    streamEntry(index, 0, [&](const char* data, std::size_t size) {
        if (out.size() + size > _limits.maxEntryBytes)
            throw Error(ErrorKind::TooLarge,
                        "The part \"" + name + "\" of \"" + _path +
                            "\" inflates beyond the size limit; the file is refused as a possible zip bomb.");
        const std::uint64_t inflated = out.size() + size;
        if (inflated > _limits.ratioFloorBytes && inflated / _limits.maxInflationRatio > stored)
            throw Error(ErrorKind::TooLarge,
                        "The part \"" + name + "\" of \"" + _path + "\" inflates to more than " +
                            std::to_string(_limits.maxInflationRatio) +
                            " times its stored size; the file is refused as a possible zip bomb.");
        _totalRead += size;
        if (_totalRead > _limits.maxTotalBytes)
            throw Error(ErrorKind::TooLarge,
                        "The file \"" + _path +
                            "\" inflates beyond the total size limit; it is refused as a possible zip bomb.");
        out.append(data, size);
    });
    const std::string lower = lowerAscii(name);
    if (endsWith(lower, ".xml") || endsWith(lower, ".rels") || endsWith(lower, ".vml"))
        refuseDenseMarkup(name, out, stored);
    return out;
}

// Every element costs a node of the tree the part is parsed into, many times the few bytes of
// its markup; a part of mostly empty elements (a few hundred bytes of a file can hold millions)
// would hold gigabytes.
void ZipReader::refuseDenseMarkup(const std::string& name, const std::string& xml,
                                  std::uint64_t stored) const {
    const std::uint64_t budget = std::min(
        _limits.maxElements, std::max(_limits.elementFloor, stored * _limits.maxElementsPerStoredByte));
    std::uint64_t elements = 0;
    for (const char* at = xml.data();
         (at = static_cast<const char*>(std::memchr(at, '<', std::size_t(xml.data() + xml.size() - at))));) {
        ++at;
        if (at < xml.data() + xml.size() && *at != '/' && *at != '?' && *at != '!' && ++elements > budget)
            throw Error(ErrorKind::TooLarge,
                        "The part \"" + name + "\" of \"" + _path + "\" holds more than " +
                            std::to_string(budget) + " XML elements, more than " +
                            (budget == _limits.maxElements ? std::string("a workbook part may hold")
                                                           : "its stored size of " + std::to_string(stored) +
                                                                 " bytes can hold in a real workbook") +
                            "; the file is refused as too large.");
    }
}

ZipReader::RawInfo ZipReader::rawInfo(std::size_t index) const {
    zip_stat_t st;
    zip_stat_init(&st);
    if (zip_stat_index(_zip, index, 0, &st) != 0)
        throw Error(ErrorKind::Damaged,
                    "Cannot read the part \"" + _names[index] + "\" of \"" + _path + "\".");
    RawInfo info;
    info.method = std::uint16_t(st.comp_method);
    info.crc = st.crc;
    info.compressedSize = st.comp_size;
    info.size = st.size;
    if (st.valid & ZIP_STAT_MTIME) {
        // libzip turns the stored date and time into local time; this turns it back.
        std::tm tm{};
        if (localtime_r(&st.mtime, &tm) && tm.tm_year >= 80) {
            info.dosTime = std::uint16_t((tm.tm_hour << 11) | (tm.tm_min << 5) | (tm.tm_sec / 2));
            info.dosDate = std::uint16_t(((tm.tm_year - 80) << 9) | ((tm.tm_mon + 1) << 5) | tm.tm_mday);
        }
    }
    return info;
}

void ZipReader::copyRaw(std::size_t index, const std::function<void(const char*, std::size_t)>& sink) {
    streamEntry(index, ZIP_FL_COMPRESSED, sink);
}

} // namespace workbookfile
