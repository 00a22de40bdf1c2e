// Fonts, number formats and cell formats (XF records) of 97-2003 workbooks, described to the
// engine's Styles in the XML form (StyleRecords.h). A new workbook gets them made from the style
// DOM; an opened one keeps its records and gets the fonts, formats and cell formats added since
// appended after its own.
//
// Two numberings differ from the XML form: font index 4 does not exist (the fifth FONT record is
// font 5), and the XF records begin with style formats (XfMap trades the default cell format's
// place with the first).

#include "StyleRecords.h"
#include "Xls.h"
#include "XlsRecords.h"

#include "PackageNames.h"
#include "Utf.h"
#include "XmlDom.h"
#include "XmlText.h"

#include <algorithm>
#include <cmath>

namespace workbookfile {

namespace {

// Offsets of the fields the engine reads or changes.
constexpr std::size_t kFontFlags = 2, kFontWeight = 6; // FONT grbit, bls
// Bold is the weight; readers of the earliest versions of the format look at this flag instead.
constexpr std::uint8_t kBoldFlag = 0x01;
constexpr std::size_t kXfFont = 0, kXfFormat = 2; // XF ifnt, ifmt
constexpr std::size_t kXfFlags = 4, kXfUsed = 9;  // locked, hidden, style bit and parent; attributes own
constexpr std::uint16_t kLocked = 0x0001, kStyle = 0x0004;
constexpr std::uint8_t kOwnFormat = 0x04, kOwnFont = 0x08, kOwnProtection = 0x80;
constexpr std::uint16_t kNormalWeight = 400, kBoldWeight = 700;
constexpr std::size_t kXfSize = 20;
constexpr std::size_t kMaxXfs = 4050; // what the format can index

std::uint16_t fontIndex(std::uint32_t font) {
    return std::uint16_t(font < 4 ? font : font + 1);
}

std::uint32_t fontOfIndex(std::uint16_t index) {
    return index < 4 ? index : index == 4 ? 0 : index - 1u;
}

std::string fontRecord(const pugi::xml_node& font) {
    const std::uint16_t weight = isBoldFont(font) ? kBoldWeight : kNormalWeight;
    if (pugi::xml_attribute record = font.attribute(kRecordAttribute)) {
        std::string body = bytesOf(record.value());
        if (body.size() >= kFontWeight + 2) {
            patchU16(body, kFontWeight, weight);
            body[kFontFlags] =
                static_cast<char>((body[kFontFlags] & ~kBoldFlag) | (weight >= kBoldWeight ? kBoldFlag : 0));
        }
        return body;
    }
    std::string body;
    const double size = childByLocalName(font, "sz").attribute("val").as_double(11);
    putU16(body, std::uint16_t(std::clamp(std::lround(size * 20), 20l, 8191l)));
    std::uint16_t flags = weight >= kBoldWeight ? kBoldFlag : 0;
    if (pugi::xml_node i = childByLocalName(font, "i");
        i && std::string_view(i.attribute("val").value()) != "0")
        flags |= 2;
    putU16(body, flags);
    putU16(body, 0x7FFF); // the automatic colour
    putU16(body, weight);
    putU16(body, 0); // no super- or subscript
    putU8(body, 0);  // no underline
    putU8(body, std::uint8_t(childByLocalName(font, "family").attribute("val").as_uint(0)));
    putU8(body, 0); // character set
    putU8(body, 0);
    const char* name = childByLocalName(font, "name").attribute("val").value();
    putShortXlString(body, toUtf16(*name ? name : "Calibri"));
    return body;
}

void appendFormat(std::string& out, const pugi::xml_node& numFmt) {
    if (u32Attribute(numFmt, "numFmtId") > 0xFFFF)
        throw Error(ErrorKind::LimitExceeded, "A 97-2003 workbook has no room for another number format.");
    std::string body;
    putU16(body, std::uint16_t(u32Attribute(numFmt, "numFmtId")));
    putXlString(body, toUtf16(numFmt.attribute("formatCode").value()));
    appendBiff(out, biff::Format, body);
}

// A cell format made from the DOM: from the record it copies, or from its properties.
std::string xfRecord(const pugi::xml_node& xf) {
    const auto format = std::uint16_t(u32Attribute(xf, "numFmtId"));
    const std::uint16_t font = fontIndex(u32Attribute(xf, "fontId"));
    const bool locked = isLockedFormat(xf);
    std::string body;
    if (pugi::xml_attribute record = xf.attribute(kRecordAttribute))
        body = bytesOf(record.value());
    if (body.size() != kXfSize) {
        body.assign(kXfSize, '\0');
        body[6] = 0x20;             // bottom-aligned
        patchU16(body, 18, 0x20C0); // automatic pattern colours
    }
    patchU16(body, kXfFont, font);
    patchU16(body, kXfFormat, format);
    std::uint16_t flags = std::uint16_t((body[kXfFlags] & 0xFF) | ((body[kXfFlags + 1] & 0xFF) << 8));
    flags = std::uint16_t((flags & ~kLocked) | (locked ? kLocked : 0));
    patchU16(body, kXfFlags, flags);
    body[kXfUsed] = static_cast<char>(body[kXfUsed] | kOwnFormat | kOwnFont | (locked ? 0 : kOwnProtection));
    return body;
}

std::string styleXf() {
    std::string body(kXfSize, '\0');
    patchU16(body, kXfFlags, 0xFFF5); // locked, a style, no parent
    body[6] = 0x20;
    body[kXfUsed] = static_cast<char>(0xF4);
    patchU16(body, 18, 0x20C0);
    return body;
}

} // namespace

std::string xlsStylesFromXml(const std::string& styleXml) {
    pugi::xml_document doc;
    parsePart(doc, styleXml, "styles");
    pugi::xml_node root = rootElement(doc);
    std::string out;
    const auto fonts = childElements(childByLocalName(root, "fonts"), "font");
    for (const auto& f : fonts)
        appendBiff(out, biff::Font, fontRecord(f));
    // Fonts 0 to 3 exist in every workbook.
    for (std::size_t i = fonts.size(); i < 4 && !fonts.empty(); ++i)
        appendBiff(out, biff::Font, fontRecord(fonts.front()));
    for (const auto& f : childElements(childByLocalName(root, "numFmts"), "numFmt"))
        appendFormat(out, f);
    const std::string style = styleXf();
    for (int i = 0; i < kXlsStyleXfCount; ++i) {
        std::string body = style;
        if (i == 0)
            body[kXfUsed] = 0;
        appendBiff(out, biff::Xf, body);
    }
    const auto xfs = childElements(childByLocalName(root, "cellXfs"), "xf");
    if (xfs.size() + kXlsStyleXfCount > kMaxXfs)
        throw Error(ErrorKind::LimitExceeded, "A 97-2003 workbook holds at most " + std::to_string(kMaxXfs) +
                                                  " cell formats; this one needs " +
                                                  std::to_string(xfs.size() + kXlsStyleXfCount) + ".");
    for (const auto& x : xfs) {
        std::string body = xfRecord(x);
        patchU16(body, kXfFlags, std::uint16_t(body[kXfFlags] & kLocked)); // parent: the Normal style
        appendBiff(out, biff::Xf, body);
    }
    std::string normal;
    putU16(normal, 0x8000); // built in, of format 0
    putU8(normal, 0);       // "Normal"
    putU8(normal, 0xFF);
    appendBiff(out, biff::Style, normal);
    return out;
}

std::string xmlStylesFromXls(std::string_view globals, XlsBook& book) {
    std::string formats, fonts;
    std::vector<std::string_view> xfBodies;
    BiffReader reader(globals);
    BiffRecord r;
    while (reader.next(r)) {
        if (r.type == biff::Font) {
            if (r.body.size() < kFontWeight + 2)
                throw Error(ErrorKind::Damaged, "A font record of the 97-2003 workbook is too short.");
            BodyReader body(r.body, kWorkbookStream);
            body.skip(kFontWeight);
            const bool bold = body.u16() >= kBoldWeight;
            std::string bytes(r.body);
            patchU16(bytes, kFontWeight, 0);
            bytes[kFontFlags] = static_cast<char>(bytes[kFontFlags] & ~kBoldFlag);
            fonts += std::string("<font ") + kRecordAttribute + "=\"" + hexOf(bytes) + "\">" +
                     (bold ? "<b/>" : "") + "</font>";
            ++book.fontCount;
        } else if (r.type == biff::Format) {
            BodyReader body(r.body, kWorkbookStream);
            const std::uint16_t id = body.u16();
            const std::string code = readXlStringWithin(body);
            if (code.find('\0') != std::string::npos)
                throw Error(ErrorKind::Damaged,
                            "A number format of the 97-2003 workbook has a null character.");
            formats += "<numFmt numFmtId=\"" + std::to_string(id) + "\" formatCode=\"";
            appendXmlEscaped(formats, code);
            formats += "\"/>";
            book.formatIds.push_back(id);
        } else if (r.type == biff::Xf) {
            if (r.body.size() < kXfSize)
                throw Error(ErrorKind::Damaged, "A cell format record of the 97-2003 workbook is too short.");
            xfBodies.push_back(r.body.substr(0, kXfSize));
        }
    }
    if (xfBodies.empty())
        throw Error(
            ErrorKind::Damaged,
            "The 97-2003 workbook has no cell format records: its cells have no format to show them in.");
    // Without font records the readers show every cell in a default font; the first format the
    // conversion adds needs one, which the save then writes.
    const std::size_t fontsRead = book.fontCount;
    if (fontsRead == 0)
        fonts = "<font><sz val=\"10\"/><name val=\"Arial\"/></font>";
    const std::uint32_t fontsKnown = std::uint32_t(std::max<std::size_t>(fontsRead, 1));
    // The default cell format: the first that is not a style.
    book.xfMap.offset = 0;
    book.xfMap.swapped = 0;
    for (std::size_t i = 0; i < xfBodies.size(); ++i)
        if (!(static_cast<unsigned char>(xfBodies[i][kXfFlags]) & kStyle)) {
            book.xfMap.swapped = std::uint32_t(i);
            break;
        }
    book.xfCount = xfBodies.size();
    std::string xfs;
    for (std::size_t k = 0; k < xfBodies.size(); ++k) {
        const std::uint16_t index = book.xfMap.xf(std::uint32_t(k));
        std::string bytes(xfBodies[index]);
        BodyReader body(bytes, kWorkbookStream);
        const std::uint16_t font = body.u16(), format = body.u16(), flags = body.u16();
        // A style is described as a cell format of that style, for the formats derived from it.
        const std::uint16_t described =
            (flags & kStyle) ? std::uint16_t((flags & 0x0003) | (index << 4)) : flags;
        if (flags & kStyle)
            bytes[kXfUsed] = 0;
        patchU16(bytes, kXfFont, 0);
        patchU16(bytes, kXfFormat, 0);
        patchU16(bytes, kXfFlags, std::uint16_t(described & ~kLocked));
        bytes[kXfUsed] = static_cast<char>(bytes[kXfUsed] & ~(kOwnFormat | kOwnFont | kOwnProtection));
        // A font the workbook does not have is shown as the first.
        const std::uint32_t fontId = fontOfIndex(font) < fontsKnown ? fontOfIndex(font) : 0;
        xfs += "<xf numFmtId=\"" + std::to_string(format) + "\" fontId=\"" + std::to_string(fontId) +
               "\" applyNumberFormat=\"1\" applyFont=\"1\" " + kRecordAttribute + "=\"" + hexOf(bytes) +
               "\"" + ((flags & kStyle) ? std::string(" ") + kCellStyleAttribute + "=\"1\"" : std::string()) +
               ">" + ((flags & kLocked) ? "" : "<protection locked=\"0\"/>") + "</xf>";
    }
    return std::string(kXmlDeclaration) + "<styleSheet xmlns=\"" + kMainNamespace + "\"><numFmts>" + formats +
           "</numFmts><fonts>" + fonts + "</fonts><cellXfs>" + xfs + "</cellXfs></styleSheet>";
}

XlsStyleAdditions xlsStyleAdditions(const XlsBook& book, const std::string& styleXml) {
    pugi::xml_document doc;
    parsePart(doc, styleXml, "styles");
    pugi::xml_node root = rootElement(doc);
    XlsStyleAdditions out;
    for (const auto& f : childElements(childByLocalName(root, "numFmts"), "numFmt"))
        if (std::find(book.formatIds.begin(), book.formatIds.end(), u32Attribute(f, "numFmtId")) ==
            book.formatIds.end())
            appendFormat(out.formats, f);
    const auto fonts = childElements(childByLocalName(root, "fonts"), "font");
    for (std::size_t i = book.fontCount; i < fonts.size(); ++i)
        appendBiff(out.fonts, biff::Font, fontRecord(fonts[i]));
    const auto xfs = childElements(childByLocalName(root, "cellXfs"), "xf");
    if (xfs.size() > kMaxXfs)
        throw Error(ErrorKind::LimitExceeded, "A 97-2003 workbook holds at most " + std::to_string(kMaxXfs) +
                                                  " cell formats; this one needs " +
                                                  std::to_string(xfs.size()) + ".");
    for (std::size_t i = book.xfCount; i < xfs.size(); ++i)
        appendBiff(out.xfs, biff::Xf, xfRecord(xfs[i]));
    return out;
}

} // namespace workbookfile
