// The style sheet of a binary workbook, described to the engine's Styles in the XML form
// (StyleRecords.h). Saving writes the records read unchanged and appends the fonts, cell formats
// and number formats added since.

#include "StyleRecords.h"
#include "Xlsb.h"
#include "XlsbRecords.h"
#include "XmlDom.h"
#include "XmlText.h"

#include <algorithm>
#include <cmath>

namespace workbookfile {

namespace {

// Offsets of the fields the engine changes.
constexpr std::size_t kFontWeight = 4;                // BrtFont bls
constexpr std::size_t kXfFormat = 2, kXfFont = 4;     // BrtXF iFmt, iFont
constexpr std::size_t kXfFlags = 12, kXfApplied = 14; // alignment and protection bits; xfGrbitAtr
constexpr std::uint16_t kLocked = 0x1000;             // fLocked in the flags
constexpr std::uint16_t kNormalWeight = 400, kBoldWeight = 700;

std::string fontRecord(const pugi::xml_node& font) {
    const std::uint16_t weight = isBoldFont(font) ? kBoldWeight : kNormalWeight;
    if (pugi::xml_attribute record = font.attribute(kRecordAttribute)) {
        std::string body = bytesOf(record.value());
        if (body.size() >= kFontWeight + 2)
            patchU16(body, kFontWeight, weight);
        return body;
    }
    std::string body;
    const double size = childByLocalName(font, "sz").attribute("val").as_double(11);
    putU16(body, std::uint16_t(std::clamp(std::lround(size * 20), 20l, 8191l)));
    std::uint16_t flags = 0;
    if (pugi::xml_node i = childByLocalName(font, "i");
        i && std::string_view(i.attribute("val").value()) != "0")
        flags |= 2;
    putU16(body, flags);
    putU16(body, weight);
    putU16(body, 0);                                                                         // sss
    putU8(body, 0);                                                                          // uls
    putU8(body, std::uint8_t(childByLocalName(font, "family").attribute("val").as_uint(0))); // bFamily
    putU8(body, 0);                                                                          // bCharSet
    putU8(body, 0);
    // The automatic colour: the engine's fonts name none.
    for (int i = 0; i < 7; ++i)
        putU8(body, 0);
    putU8(body, 0xFF);
    putU8(body, 0); // no font scheme
    const char* name = childByLocalName(font, "name").attribute("val").value();
    putWideString(body, *name ? name : "Calibri");
    return body;
}

std::string xfRecord(const pugi::xml_node& xf, bool cellStyle) {
    const auto format = std::uint16_t(u32Attribute(xf, "numFmtId"));
    const auto font = std::uint16_t(u32Attribute(xf, "fontId"));
    const bool locked = isLockedFormat(xf);
    if (pugi::xml_attribute record = xf.attribute(kRecordAttribute)) {
        std::string body = bytesOf(record.value());
        if (body.size() >= kXfApplied + 2) {
            patchU16(body, kXfFormat, format);
            patchU16(body, kXfFont, font);
            // The number format and font are the cell format's own, not its style's.
            body[kXfApplied] = static_cast<char>(body[kXfApplied] & ~3);
        }
        return body;
    }
    std::string body;
    putU16(body, cellStyle ? 0xFFFF : std::uint16_t(u32Attribute(xf, "xfId")));
    putU16(body, format);
    putU16(body, font);
    putU16(body, std::uint16_t(u32Attribute(xf, "fillId")));
    putU16(body, std::uint16_t(u32Attribute(xf, "borderId")));
    putU8(body, 0); // trot
    putU8(body, 0); // indent
    // Bottom-aligned as the spreadsheet's default, locked unless the format says otherwise.
    putU16(body, std::uint16_t(0x0010 | (locked ? kLocked : 0)));
    putU16(body, 0); // every property is the format's own
    return body;
}

std::string fillRecord(const pugi::xml_node& fill) {
    const std::string_view pattern = childByLocalName(fill, "patternFill").attribute("patternType").value();
    std::string body;
    putU32(body, pattern == "gray125" ? 0x11 : pattern == "solid" ? 1 : 0);
    for (int c = 0; c < 2; ++c) { // foreground and background: automatic
        for (int i = 0; i < 7; ++i)
            putU8(body, 0);
        putU8(body, 0xFF);
    }
    putU32(body, 0); // no gradient
    for (int i = 0; i < 5; ++i)
        putF64(body, 0.0);
    putU32(body, 0);
    return body;
}

std::string borderRecord() {
    std::string body;
    putU8(body, 0);
    for (int side = 0; side < 5; ++side) { // top, bottom, left, right, diagonal: none
        putU8(body, 0);
        putU8(body, 0);
        for (int i = 0; i < 7; ++i)
            putU8(body, 0);
        putU8(body, 0xFF);
    }
    return body;
}

std::string countBody(std::size_t count) {
    std::string body;
    putU32(body, std::uint32_t(count));
    return body;
}

void appendFormat(std::string& out, const pugi::xml_node& numFmt) {
    std::string body;
    putU16(body, std::uint16_t(u32Attribute(numFmt, "numFmtId")));
    putWideString(body, numFmt.attribute("formatCode").value());
    appendRecord(out, rt::Fmt, body);
}

void appendList(std::string& out, std::uint32_t begin, std::uint32_t end,
                const std::vector<std::string>& bodies, std::uint32_t type) {
    appendRecord(out, begin, countBody(bodies.size()));
    for (const std::string& body : bodies)
        appendRecord(out, type, body);
    appendRecord(out, end, {});
}

} // namespace

std::string xlsbStylesFromXml(const std::string& styleXml) {
    pugi::xml_document doc;
    parsePart(doc, styleXml, "styles");
    pugi::xml_node root = rootElement(doc);
    std::string out;
    appendRecord(out, rt::BeginStyleSheet, {});
    const auto formats = childElements(childByLocalName(root, "numFmts"), "numFmt");
    if (!formats.empty()) {
        appendRecord(out, rt::BeginFmts, countBody(formats.size()));
        for (const auto& f : formats)
            appendFormat(out, f);
        appendRecord(out, rt::EndFmts, {});
    }
    std::vector<std::string> bodies;
    for (const auto& f : childElements(childByLocalName(root, "fonts"), "font"))
        bodies.push_back(fontRecord(f));
    appendList(out, rt::BeginFonts, rt::EndFonts, bodies, rt::Font);
    bodies.clear();
    for (const auto& f : childElements(childByLocalName(root, "fills"), "fill"))
        bodies.push_back(fillRecord(f));
    appendList(out, rt::BeginFills, rt::EndFills, bodies, rt::Fill);
    bodies.assign(std::max<std::size_t>(1, childElements(childByLocalName(root, "borders"), "border").size()),
                  borderRecord());
    appendList(out, rt::BeginBorders, rt::EndBorders, bodies, rt::Border);
    bodies.clear();
    for (const auto& x : childElements(childByLocalName(root, "cellStyleXfs"), "xf"))
        bodies.push_back(xfRecord(x, true));
    appendList(out, rt::BeginCellStyleXFs, rt::EndCellStyleXFs, bodies, rt::XF);
    bodies.clear();
    for (const auto& x : childElements(childByLocalName(root, "cellXfs"), "xf"))
        bodies.push_back(xfRecord(x, false));
    appendList(out, rt::BeginCellXFs, rt::EndCellXFs, bodies, rt::XF);
    std::string normal;
    putU32(normal, 0);   // the first cell style format
    putU16(normal, 1);   // built in
    putU8(normal, 0);    // "Normal"
    putU8(normal, 0xFF); // no outline level: Normal is no row or column level style
    putWideString(normal, "Normal");
    appendList(out, rt::BeginStyles, rt::EndStyles, {normal}, rt::Style);
    appendRecord(out, rt::BeginDXFs, countBody(0));
    appendRecord(out, rt::EndDXFs, {});
    std::string tableStyles = countBody(0);
    putWideString(tableStyles, "TableStyleMedium9");
    putWideString(tableStyles, "PivotStyleLight16");
    appendRecord(out, rt::BeginTableStyles, tableStyles);
    appendRecord(out, rt::EndTableStyles, {});
    appendRecord(out, rt::EndStyleSheet, {});
    return out;
}

std::string xmlStylesFromXlsb(std::string_view records, const std::string& part, XlsbBook& book) {
    std::string formats, fonts, xfs;
    std::size_t fontCount = 0, xfCount = 0;
    std::vector<std::uint32_t> formatIds;
    enum { None, CellXfs, Other } list = None;
    bool sheetBegun = false;
    RecordReader reader(records, part);
    Record r;
    while (reader.next(r)) {
        switch (r.type) {
        case rt::BeginStyleSheet:
            sheetBegun = true;
            break;
        case rt::BeginCellXFs:
            list = CellXfs;
            break;
        case rt::BeginCellStyleXFs:
            list = Other;
            break;
        case rt::EndCellXFs:
        case rt::EndCellStyleXFs:
            list = None;
            break;
        case rt::Fmt: {
            BodyReader body(r.body, part);
            const std::uint16_t id = body.u16();
            const std::string code = readWideString(body);
            if (code.find('\0') != std::string::npos)
                throw Error(ErrorKind::Damaged,
                            "The style sheet \"" + part + "\" has a number format with a null character.");
            formats += "<numFmt numFmtId=\"" + std::to_string(id) + "\" formatCode=\"";
            appendXmlEscaped(formats, code);
            formats += "\"/>";
            formatIds.push_back(id);
            break;
        }
        case rt::Font: {
            if (r.body.size() < kFontWeight + 2)
                throw Error(ErrorKind::Damaged,
                            "The style sheet \"" + part + "\" has a font record that is too short.");
            BodyReader fields(r.body, part);
            fields.skip(kFontWeight);
            const bool bold = fields.u16() >= kBoldWeight;
            std::string body(r.body);
            patchU16(body, kFontWeight, 0);
            fonts += std::string("<font ") + kRecordAttribute + "=\"" + hexOf(body) + "\">" +
                     (bold ? "<b/>" : "") + "</font>";
            ++fontCount;
            break;
        }
        case rt::XF: {
            if (list != CellXfs)
                break;
            if (r.body.size() < kXfApplied + 2)
                throw Error(ErrorKind::Damaged,
                            "The style sheet \"" + part + "\" has a cell format record that is too short.");
            BodyReader body(r.body, part);
            body.skip(kXfFormat);
            const std::uint16_t format = body.u16();
            const std::uint16_t font = body.u16();
            body.skip(kXfFlags - kXfFont - 2);
            const std::uint16_t flags = body.u16();
            std::string bytes(r.body);
            patchU16(bytes, kXfFormat, 0);
            patchU16(bytes, kXfFont, 0);
            bytes[kXfApplied] = static_cast<char>(bytes[kXfApplied] & ~3);
            xfs += "<xf numFmtId=\"" + std::to_string(format) + "\" fontId=\"" + std::to_string(font) +
                   "\" applyNumberFormat=\"1\" applyFont=\"1\" " + kRecordAttribute + "=\"" + hexOf(bytes) +
                   "\">" + ((flags & kLocked) ? "" : "<protection locked=\"0\"/>") + "</xf>";
            ++xfCount;
            break;
        }
        default:
            break;
        }
    }
    if (!sheetBegun)
        throw Error(ErrorKind::Damaged, "The part \"" + part + "\" is not a style sheet.");
    book.styleRecords = std::string(records);
    book.fontCount = fontCount;
    book.cellXfCount = xfCount;
    book.formatIds = std::move(formatIds);
    return std::string(kXmlDeclaration) + "<styleSheet xmlns=\"" + kMainNamespace + "\"><numFmts>" + formats +
           "</numFmts><fonts>" + fonts + "</fonts><cellXfs>" + xfs + "</cellXfs></styleSheet>";
}

std::string extendXlsbStyles(const XlsbBook& book, const std::string& styleXml, const std::string& part) {
    pugi::xml_document doc;
    parsePart(doc, styleXml, part);
    pugi::xml_node root = rootElement(doc);
    std::string newFormats, newFonts, newXfs;
    std::size_t formatCount = book.formatIds.size();
    for (const auto& f : childElements(childByLocalName(root, "numFmts"), "numFmt"))
        if (std::find(book.formatIds.begin(), book.formatIds.end(), u32Attribute(f, "numFmtId")) ==
            book.formatIds.end()) {
            appendFormat(newFormats, f);
            ++formatCount;
        }
    const auto fonts = childElements(childByLocalName(root, "fonts"), "font");
    for (std::size_t i = book.fontCount; i < fonts.size(); ++i)
        appendRecord(newFonts, rt::Font, fontRecord(fonts[i]));
    const auto xfs = childElements(childByLocalName(root, "cellXfs"), "xf");
    for (std::size_t i = book.cellXfCount; i < xfs.size(); ++i)
        appendRecord(newXfs, rt::XF, xfRecord(xfs[i], false));

    const std::string_view original = book.styleRecords;
    std::string out;
    std::size_t copied = 0;
    bool formatsPlaced = newFormats.empty();
    auto copyTo = [&](std::size_t at) {
        out.append(original.substr(copied, at - copied));
        copied = at;
    };
    bool hasFormatList = false;
    RecordReader look(original, part);
    Record r;
    while (look.next(r))
        hasFormatList |= r.type == rt::BeginFmts;
    RecordReader reader(original, part);
    while (reader.next(r)) {
        switch (r.type) {
        case rt::BeginStyleSheet:
            copyTo(r.end);
            if (!formatsPlaced && !hasFormatList) { // the first number format of the sheet
                appendRecord(out, rt::BeginFmts, countBody(formatCount));
                out += newFormats;
                appendRecord(out, rt::EndFmts, {});
                formatsPlaced = true;
            }
            break;
        case rt::BeginFmts:
            copyTo(r.begin);
            appendRecord(out, rt::BeginFmts, countBody(formatCount));
            copied = r.end;
            break;
        case rt::EndFmts:
            copyTo(r.begin);
            out += newFormats;
            formatsPlaced = true;
            break;
        case rt::BeginFonts:
            copyTo(r.begin);
            appendRecord(out, rt::BeginFonts, countBody(fonts.size()));
            copied = r.end;
            break;
        case rt::EndFonts:
            copyTo(r.begin);
            out += newFonts;
            break;
        case rt::BeginCellXFs:
            copyTo(r.begin);
            appendRecord(out, rt::BeginCellXFs, countBody(xfs.size()));
            copied = r.end;
            break;
        case rt::EndCellXFs:
            copyTo(r.begin);
            out += newXfs;
            break;
        default:
            break;
        }
    }
    copyTo(original.size());
    return out;
}

} // namespace workbookfile
