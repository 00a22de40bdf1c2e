#pragma once

// What the fuzz targets do with one input, shared with the regression test driver so that a kept
// input is replayed exactly as the fuzzer ran it.

#include "CompoundFile.h"
#include "Workbook.h"
#include "ZipWriter.h"

#include <fcntl.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace fuzz {

inline const char* const kContentTypes =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
    "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
    "<Default Extension=\"xml\" ContentType=\"application/xml\"/>"
    "<Override PartName=\"/xl/workbook.xml\" "
    "ContentType=\"application/vnd.openxmlformats-officedocument.spreadsheetml.sheet.main+xml\"/></Types>";

inline const char* const kRootRels =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId1\" "
    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/officeDocument\" "
    "Target=\"xl/workbook.xml\"/></Relationships>";

inline const char* const kWorkbookRels =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    "<Relationships xmlns=\"http://schemas.openxmlformats.org/package/2006/relationships\">"
    "<Relationship Id=\"rId1\" "
    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/worksheet\" "
    "Target=\"worksheets/sheet1.xml\"/>"
    "<Relationship Id=\"rId2\" "
    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/styles\" "
    "Target=\"styles.xml\"/>"
    "<Relationship Id=\"rId3\" "
    "Type=\"http://schemas.openxmlformats.org/officeDocument/2006/relationships/sharedStrings\" "
    "Target=\"sharedStrings.xml\"/></Relationships>";

// The pieces of an input split by "\n--PART--\n".
inline std::vector<std::string_view> splitParts(std::string_view input) {
    std::vector<std::string_view> parts;
    const std::string_view separator = "\n--PART--\n";
    for (;;) {
        std::size_t at = input.find(separator);
        parts.push_back(input.substr(0, at));
        if (at == std::string_view::npos)
            return parts;
        input.remove_prefix(at + separator.size());
    }
}

// Writes a package of the content types, root and workbook relationships and up to four parts:
// workbook part, worksheet, style sheet and shared strings, named with the extension given.
inline void writePackage(const std::string& path, std::string_view input, const std::string& contentTypes,
                         const std::string& extension) {
    const std::vector<std::string_view> parts = splitParts(input);
    std::string rootRels = kRootRels, workbookRels = kWorkbookRels;
    if (extension != ".xml")
        for (std::string* text : {&rootRels, &workbookRels})
            for (std::size_t at; (at = text->find(".xml\"")) != std::string::npos;)
                text->replace(at, 5, extension + "\"");
    int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0)
        throw workbookfile::Error(workbookfile::ErrorKind::FileSystem, "cannot write " + path);
    workbookfile::ZipWriter zip(fd, path, 0);
    const std::string names[] = {"xl/workbook", "xl/worksheets/sheet1", "xl/styles", "xl/sharedStrings"};
    zip.add(workbookfile::packEntry("[Content_Types].xml", contentTypes, 1));
    zip.add(workbookfile::packEntry("_rels/.rels", rootRels, 1));
    zip.add(workbookfile::packEntry("xl/_rels/workbook" + extension + ".rels", workbookRels, 1));
    for (std::size_t i = 0; i < parts.size() && i < 4; ++i)
        zip.add(workbookfile::packEntry(names[i] + extension, parts[i], 1));
    zip.finish();
    ::close(fd);
}

// Wraps an input split by "\n--PART--\n" into workbook part, worksheet, style sheet and shared
// strings in a valid package (a fuzzer that mutates zipped bytes rarely gets past the checksums).
inline void writeSplitPackage(const std::string& path, std::string_view input) {
    writePackage(path, input, kContentTypes, ".xml");
}

inline const char* const kXlsbContentTypes =
    "<?xml version=\"1.0\" encoding=\"UTF-8\"?>"
    "<Types xmlns=\"http://schemas.openxmlformats.org/package/2006/content-types\">"
    "<Default Extension=\"rels\" ContentType=\"application/vnd.openxmlformats-package.relationships+xml\"/>"
    "<Default Extension=\"bin\" ContentType=\"application/vnd.ms-excel.sheet.binary.macroEnabled.main\"/>"
    "<Override PartName=\"/xl/workbook.bin\" "
    "ContentType=\"application/vnd.ms-excel.sheet.binary.macroEnabled.main\"/>"
    "<Override PartName=\"/xl/worksheets/sheet1.bin\" ContentType=\"application/vnd.ms-excel.worksheet\"/>"
    "</Types>";

// The same for the parts of a binary workbook (.xlsb), with the relationships of one worksheet.
inline void writeSplitXlsbPackage(const std::string& path, std::string_view input) {
    writePackage(path, input, kXlsbContentTypes, ".bin");
}

// Opens a file and reads every worksheet and some cells; then, when `out` is given, edits the
// first worksheet and saves to `out`, which must open again. A refused file throws workbookfile::Error from
// the reading steps only; a failure to save or reopen what was read is a fault and is not caught.
// A 97-2003 workbook: an input whose first byte is odd is the whole file (the compound file's own
// structures get mutated); otherwise the rest is the workbook stream, put into a valid compound
// file so that mutations reach the record reader.
inline void writeXlsInput(const std::string& path, std::string_view input) {
    const int fd = ::open(path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0600);
    if (fd < 0)
        std::abort();
    if (!input.empty() && (input[0] & 1)) {
        if (::write(fd, input.data() + 1, input.size() - 1) < 0)
            std::abort();
    } else {
        workbookfile::CompoundEntry root;
        root.storage = true;
        workbookfile::writeCompoundFile(fd, path, root, "Workbook", [&](const auto& write) {
            write(input.empty() ? input : input.substr(1));
        });
    }
    ::close(fd);
}

inline void exercise(const std::string& path, const std::string& out) {
    std::unique_ptr<workbookfile::Workbook> wb;
    try {
        workbookfile::OpenLimits limits;
        limits.maxEntryBytes = 8 << 20;
        limits.maxTotalBytes = 32 << 20;
        wb = workbookfile::Workbook::open(path, limits);
        for (int i = 1; i <= wb->sheetCount(); ++i)
            if (wb->findSheet(wb->sheet(i).name) < 1)
                std::abort(); // every sheet is found by its own name
        for (int i = 1; i <= wb->worksheetCount(); ++i) {
            workbookfile::Worksheet* ws = wb->worksheet(i);
            int rows = ws->lastRow(), cols = ws->lastColumn();
            for (int r = 1; r <= rows && r <= 20; ++r)
                for (int c = 1; c <= cols && c <= 20; ++c)
                    ws->cell(r, c);
        }
        if (out.empty())
            return;
        if (wb->worksheetCount() > 0) {
            workbookfile::Worksheet* ws = wb->worksheet(1);
            workbookfile::ValueBlock block(2, 2);
            block.setNumber(1, 1, 1.5);
            block.setText(1, 2, "fuzz");
            block.setDate(2, 1, 45000);
            ws->putBlock(1, 1, block);
            ws->setBold(1, 1, 3, 3);
            ws->setNumberFormat(2, 2, 3, 3, "0.00");
            // Writing into another worksheet packs the first in the background; reading it
            // brings it back.
            if (wb->worksheetCount() > 1) {
                wb->worksheet(2)->putBlock(1, 1, block);
                ws->cell(1, 1);
            }
            wb->addWorksheet(1);
        }
    } catch (const workbookfile::Error&) {
        throw;
    }
    ::unlink(out.c_str());
    try {
        // A binary workbook is saved in its format; any other as .xlsx.
        const workbookfile::FileFormat format = wb->format();
        wb->saveAs(out, format == workbookfile::FileFormat::Xlsb || format == workbookfile::FileFormat::Xls
                            ? format
                            : workbookfile::FileFormat::Xlsx);
        auto again = workbookfile::Workbook::open(out);
        for (int i = 1; i <= again->worksheetCount(); ++i)
            again->worksheet(i)->lastRow();
    } catch (const workbookfile::Error& e) {
        std::fprintf(stderr, "a workbook that opened could not be saved and reopened: %s\n", e.what());
        std::abort();
    }
}

// One fuzz input: written into a workbook file by write(path, input), then exercised, the saved
// copy going to a second file; files are named by the target and the process.
inline int runInput(const char* target, const char* extension, const std::uint8_t* data, std::size_t size,
                    void (*write)(const std::string&, std::string_view)) {
    const std::string stem = std::string("/tmp/") + target + "_" + std::to_string(getpid());
    try {
        write(stem + extension, std::string_view(reinterpret_cast<const char*>(data), size));
        exercise(stem + extension, stem + "_out" + extension);
    } catch (const workbookfile::Error&) {
    }
    return 0;
}

} // namespace fuzz
