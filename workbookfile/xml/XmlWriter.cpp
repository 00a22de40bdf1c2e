// Saving an XML workbook: its parts brought up to date, then the package written in order, parts
// read copied as they are, changed ones deflated a few at a time beside the writing thread, large
// worksheets deflated piece by piece.

#include "Xml.h"

#include "NewParts.h"
#include "PackageNames.h"
#include "PartNames.h"
#include "Utf.h"

#include "OrderedZip.h"
#include "SheetXml.h"
#include "XmlDom.h"
#include "XmlText.h"

#include <zlib.h>

#include <memory>

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
        wb.setPart(wb.ensureStringsPart(".xml", kSharedStringsContentType),
                   wb.strings.serialize(wb.unusedStrings()));
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
    const std::size_t threshold = wb.streamThreshold;
    std::vector<ZipItem> items = wb.packageItems(kXmlDeflateLevel, [threshold](ZipItem& item,
                                                                               const Worksheet::Impl& sheet) {
        if (estimatedXmlSize(sheet) > threshold) {
            item.write = [name = item.name, &sheet](ZipWriter& zip) { writeStreamedSheet(zip, name, sheet); };
            return;
        }
        item.make = [name = item.name, &sheet] {
            std::string xml;
            writeSheetXml(xml, sheet);
            return packEntry(name, xml, sheetDeflateLevel(xml));
        };
    });
    ZipWriter zip(fd, target, wb.fixedTime ? wb.fixedTime : std::time(nullptr));
    int step = 0;
    writeInOrder(zip, wb.source.get(), items, [&] {
        if (wb.progress)
            wb.progress(++step);
    });
}

} // namespace workbookfile
