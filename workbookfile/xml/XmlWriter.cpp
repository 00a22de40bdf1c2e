// Saving an XML workbook: its parts brought up to date, then the package written in order, parts
// read copied as they are, changed ones deflated a few at a time beside the writing thread, large
// worksheets deflated piece by piece.

#include "Xml.h"

#include "NewParts.h"
#include "PackageNames.h"
#include "PartNames.h"
#include "Utf.h"

#include "SheetXml.h"
#include "XmlDom.h"
#include "XmlText.h"
#include "ZipWriter.h"

#include <zlib.h>

#include <algorithm>
#include <condition_variable>
#include <exception>
#include <memory>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>

#include <sys/stat.h>

namespace workbookfile {

std::size_t estimatedXmlSize(const Worksheet::Impl& sheet) {
    // A cell takes about 28 bytes and its reference (r="AB1234") six more than the letters of its
    // column and the digits of its row: too small an estimate would copy the part once more.
    std::size_t bytes = 0, rowDigits = 1, nextPower = 10;
    const auto& rows = sheet.model.rows;
    for (std::size_t i = 0; i < rows.size(); ++i) {
        if (i + 1 >= nextPower) {
            ++rowDigits;
            nextPower *= 10;
        }
        const auto& cells = rows[i].cells;
        if (cells.empty())
            continue;
        const std::size_t letters = cells.back().column < 26 ? 1 : cells.back().column < 702 ? 2 : 3;
        bytes += cells.size() * (34 + letters + rowDigits);
    }
    return sheet.head.size() + sheet.tail.size() + bytes + rows.size() * 24 + 64;
}

namespace {

// The worksheet part's text before <sheetData>, with its dimension brought up to date.
std::string headWithDimension(const Worksheet::Impl& sheet) {
    std::string head = sheet.head;
    std::string tag = "<" + sheet.prefix + "dimension";
    std::size_t at = head.find(tag);
    if (at == std::string::npos)
        return head;
    std::size_t end = head.find('>', at);
    std::size_t ref = head.find("ref=\"", at);
    if (ref == std::string::npos || ref > end)
        return head;
    ref += 5;
    std::size_t refEnd = head.find('"', ref);
    if (refEnd == std::string::npos || refEnd > end)
        return head;
    head.replace(ref, refEnd - ref, dimensionRef(sheet.model));
    return head;
}

// One entry of the package being written.
struct OutputItem {
    enum Kind { Copy, Memory, Sheet, StreamedSheet, Packed } kind;
    std::string name;
    long sourceIndex = -1;
    const std::string* content = nullptr;
    const Worksheet::Impl* sheet = nullptr;
};

// Deflates a worksheet into the archive a few megabytes at a time.
void writeStreamedSheet(ZipWriter& zip, const std::string& name, const Worksheet::Impl& sheet) {
    z_stream z{};
    if (deflateInit2(&z, 1, Z_DEFLATED, -15, 8, Z_DEFAULT_STRATEGY) != Z_OK)
        throw std::bad_alloc();
    std::unique_ptr<z_stream, int (*)(z_stream*)> guard(&z, deflateEnd);
    zip.beginStreamed(name);
    uLong crc = crc32(0, nullptr, 0);
    std::uint64_t size = 0;
    std::vector<char> out(1 << 20);
    auto feed = [&](const std::string& text, bool last) {
        crc = crc32(crc, reinterpret_cast<const Bytef*>(text.data()), uInt(text.size()));
        size += text.size();
        z.next_in = reinterpret_cast<Bytef*>(const_cast<char*>(text.data()));
        z.avail_in = uInt(text.size());
        int rc;
        do {
            z.next_out = reinterpret_cast<Bytef*>(out.data());
            z.avail_out = uInt(out.size());
            rc = deflate(&z, last ? Z_FINISH : Z_NO_FLUSH);
            zip.appendStreamed(out.data(), out.size() - z.avail_out);
        } while (z.avail_out == 0 || (last && rc != Z_STREAM_END));
    };
    std::string piece = headWithDimension(sheet) + "<" + sheet.prefix + "sheetData>";
    const std::size_t rows = sheet.model.rows.size();
    const std::size_t pieceBytes = 4 << 20;
    std::size_t row = 0;
    while (row < rows) {
        std::size_t end = row;
        std::size_t cells = 0;
        while (end < rows && cells * 28 < pieceBytes)
            cells += sheet.model.rows[end++].cells.size() + 1;
        appendRows(piece, sheet.model, sheet.prefix, row, end);
        row = end;
        feed(piece, false);
        piece.clear();
    }
    piece += "</" + sheet.prefix + "sheetData>" + sheet.tail;
    feed(piece, true);
    zip.endStreamed(std::uint32_t(crc), size);
}

PackedEntry produce(const OutputItem& item) {
    if (item.kind == OutputItem::Memory)
        return packEntry(item.name, *item.content, kXmlDeflateLevel);
    std::string xml;
    writeSheetXml(xml, *item.sheet);
    return packEntry(item.name, xml, kXmlDeflateLevel);
}

} // namespace

void writeSheetXml(std::string& xml, const Worksheet::Impl& sheet) {
    xml.clear();
    xml.reserve(estimatedXmlSize(sheet));
    xml += headWithDimension(sheet);
    appendSheetData(xml, sheet.model, sheet.prefix);
    xml += sheet.tail;
}

void prepareXmlSave(Workbook::Impl& wb, FileFormat target) {
    pugi::xml_node root = rootElement(wb.workbookXml);
    wb.renameTableColumns();

    // Formulas elsewhere may depend on changed cells: drop the calculation chain and have the
    // spreadsheet recalculate on opening.
    if (wb.cellsChanged && !wb.isNew) {
        wb.dropWorkbookRelated("calcChain");
        pugi::xml_node calcPr = childByLocalName(root, "calcPr");
        if (!calcPr) {
            pugi::xml_node after = wb.sheetsNode;
            for (const char* name : {"functionGroups", "externalReferences", "definedNames"})
                if (pugi::xml_node n = childByLocalName(root, name))
                    after = n;
            calcPr = root.insert_child_after((prefixOf(root.name()) + "calcPr").c_str(), after);
        }
        pugi::xml_attribute full = calcPr.attribute("fullCalcOnLoad");
        if (!full)
            full = calcPr.append_attribute("fullCalcOnLoad");
        if (std::string_view(full.value()) != "1") {
            full.set_value("1");
        }
        wb.workbookChanged = true;
    }

    // Macros only travel in a macro-enabled workbook.
    if (target == FileFormat::Xlsx)
        wb.dropWorkbookRelated("vbaProject");
    wb.setOverride(wb.workbookPart,
                   target == FileFormat::Xlsm ? kMacroWorkbookContentType : kWorkbookContentType);

    wb.countStringReferences();
    if (wb.strings.changed()) {
        if (wb.stringsPart.empty()) {
            // A relationship whose part is missing is given its part rather than a second one.
            wb.stringsPart = wb.relationshipTarget("sharedStrings");
            if (wb.stringsPart.empty()) {
                wb.stringsPart = wb.newPartName(wb.workbookDir + "sharedStrings", ".xml", false);
                wb.addRelationship(relationshipType("sharedStrings"), wb.relativeTarget(wb.stringsPart));
            }
            wb.setOverride(wb.stringsPart, kSharedStringsContentType);
        }
        wb.setPart(wb.stringsPart, wb.strings.serialize());
    }
    if (wb.styles.changed())
        wb.setPart(wb.stylesPart, wb.styles.serialize());
    if (wb.isNew) {
        wb.setPart("docProps/core.xml", newCoreProperties(wb.fixedTime ? wb.fixedTime : std::time(nullptr)));
    }
    if (wb.workbookChanged)
        wb.setPart(wb.workbookPart, serializePart(wb.workbookXml));
    if (wb.workbookRelsChanged)
        wb.setPart(wb.workbookRelsPart, serializePart(wb.workbookRels));
    if (wb.contentTypesChanged)
        wb.setPart("[Content_Types].xml", serializePart(wb.contentTypes));
}

void writeXmlPackage(Workbook::Impl& wb, int fd, const std::string& target) {
    // The entries in order: those of the file read first, in their order, then new ones.
    std::vector<OutputItem> items;
    std::set<std::string> placed;
    std::unordered_map<std::string, const Worksheet::Impl*> changedSheets;
    for (const auto& s : wb.sheets)
        if (s->impl().loaded && s->impl().changed)
            changedSheets.emplace(lowerAscii(s->impl().part), &s->impl());
    auto itemFor = [&](const std::string& name, long sourceIndex) {
        OutputItem item{OutputItem::Copy, name, sourceIndex};
        std::string key = lowerAscii(name);
        auto sheet = changedSheets.find(key);
        if (sheet != changedSheets.end()) {
            item.kind = sheet->second->packed                                   ? OutputItem::Packed
                        : estimatedXmlSize(*sheet->second) > wb.streamThreshold ? OutputItem::StreamedSheet
                                                                                : OutputItem::Sheet;
            item.sheet = sheet->second;
        } else if (auto memory = wb.memoryIndex.find(key); memory != wb.memoryIndex.end()) {
            item.kind = OutputItem::Memory;
            item.content = &wb.memoryParts[memory->second].second;
        }
        return item;
    };
    if (wb.source) {
        for (std::size_t i = 0; i < wb.source->count(); ++i) {
            const std::string& name = wb.source->name(i);
            std::string key = lowerAscii(name);
            if (wb.removedParts.count(key) || placed.count(key) || name.empty() || name.back() == '/')
                continue;
            placed.insert(key);
            items.push_back(itemFor(name, long(i)));
        }
    }
    for (const auto& p : wb.memoryParts) {
        std::string key = lowerAscii(p.first);
        if (placed.insert(key).second)
            items.push_back(itemFor(p.first, -1));
    }

    ZipWriter zip(fd, target, wb.fixedTime ? wb.fixedTime : std::time(nullptr));
    std::size_t n = items.size();
    std::vector<std::optional<PackedEntry>> results(n);
    std::mutex mutex;
    std::condition_variable cv;
    std::size_t next = 0, written = 0;
    bool stop = false;
    std::exception_ptr failure;
    unsigned workerCount = std::max(1u, std::min(std::thread::hardware_concurrency(), 4u));
    const std::size_t window = workerCount * 2;

    auto worker = [&] {
        for (;;) {
            std::size_t i;
            {
                std::unique_lock<std::mutex> lock(mutex);
                for (;;) {
                    while (next < n && (items[next].kind == OutputItem::Copy ||
                                        items[next].kind == OutputItem::StreamedSheet ||
                                        items[next].kind == OutputItem::Packed))
                        ++next;
                    if (stop || next >= n)
                        return;
                    if (next < written + window)
                        break;
                    cv.wait(lock);
                }
                i = next++;
            }
            try {
                PackedEntry e = produce(items[i]);
                std::lock_guard<std::mutex> lock(mutex);
                results[i] = std::move(e);
            } catch (...) {
                std::lock_guard<std::mutex> lock(mutex);
                if (!failure)
                    failure = std::current_exception();
                stop = true;
            }
            cv.notify_all();
        }
    };
    std::vector<std::thread> threads;
    for (unsigned t = 0; t < workerCount; ++t)
        threads.emplace_back(worker);
    auto finishThreads = [&] {
        {
            std::lock_guard<std::mutex> lock(mutex);
            stop = true;
        }
        cv.notify_all();
        for (auto& t : threads)
            t.join();
        threads.clear();
    };
    try {
        int step = 0;
        for (std::size_t i = 0; i < n; ++i) {
            const OutputItem& item = items[i];
            if (item.kind == OutputItem::Copy) {
                ZipReader::RawInfo info = wb.source->rawInfo(std::size_t(item.sourceIndex));
                zip.beginRaw(item.name, info.method, info.crc, info.compressedSize, info.size);
                wb.source->copyRaw(std::size_t(item.sourceIndex),
                                   [&](const char* data, std::size_t size) { zip.appendRaw(data, size); });
                zip.endRaw();
            } else if (item.kind == OutputItem::StreamedSheet) {
                writeStreamedSheet(zip, item.name, *item.sheet);
            } else if (item.kind == OutputItem::Packed) {
                wb.addPacked(zip, *item.sheet, item.name);
            } else {
                std::optional<PackedEntry> entry;
                {
                    std::unique_lock<std::mutex> lock(mutex);
                    cv.wait(lock, [&] { return results[i].has_value() || failure; });
                    if (failure)
                        std::rethrow_exception(failure);
                    entry = std::move(results[i]);
                    results[i].reset();
                }
                zip.add(*entry);
            }
            {
                std::lock_guard<std::mutex> lock(mutex);
                written = i + 1;
            }
            cv.notify_all();
            if (wb.progress)
                wb.progress(++step);
        }
        zip.finish();
    } catch (...) {
        finishThreads();
        throw;
    }
    finishThreads();
}

} // namespace workbookfile
