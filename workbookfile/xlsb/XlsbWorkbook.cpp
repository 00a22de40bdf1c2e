// The workbook part of a binary workbook: its list of sheets and its calculation properties.
// Of an opened workbook every other record is kept; records that name sheets by position follow
// a sheet inserted before them.

#include "Xlsb.h"
#include "XlsbRecords.h"

#include <unordered_map>

#include <algorithm>

namespace workbookfile {

namespace {

constexpr std::uint16_t kFullCalcOnLoad = 1;
constexpr std::size_t kCalcFlags = 24;                         // BrtCalcProp: the flags after the counts
constexpr std::size_t kNameTab = 5;                            // BrtName: the sheet a name belongs to
constexpr std::size_t kViewFirstTab = 20, kViewActiveTab = 24; // BrtBookView
constexpr std::uint32_t kWorkbookScope = 0xFFFFFFFF;

std::string sheetRecord(const Workbook::Impl& wb, const pugi::xml_node& node) {
    std::string body;
    const std::string_view state = node.attribute("state").value();
    putU32(body, state == "hidden" ? 1 : state == "veryHidden" ? 2 : 0);
    putU32(body, node.attribute("sheetId").as_uint(0));
    putWideString(body, wb.sheetRelationshipId(node));
    putWideString(body, node.attribute("name").value());
    return body;
}

std::string calcProperties(bool fullCalcOnLoad) {
    std::string body;
    putU32(body, 0);   // no engine has calculated the workbook
    putU32(body, 1);   // automatic
    putU32(body, 100); // iterations
    putF64(body, 0.001);
    putU32(body, 1);
    // A1 references, full precision, recalculation before saving.
    putU16(body, std::uint16_t(0x0002 | 0x0008 | 0x0020 | (fullCalcOnLoad ? kFullCalcOnLoad : 0)));
    return body;
}

} // namespace

std::string newXlsbWorkbook(const Workbook::Impl& wb) {
    std::string out;
    appendRecord(out, rt::BeginBook, {});
    std::string properties;
    putU32(properties, 0);
    putU32(properties, 0);
    putWideString(properties, "");
    appendRecord(out, rt::WbProp, properties);
    // One workbook view, as a new XML workbook has: readers place the sheets' views in it.
    appendRecord(out, rt::BeginBookViews, {});
    std::string view;
    for (std::uint32_t v :
         {0u, 0u, 0x4000u, 0x2000u, 600u, 0u, 0u}) // place, size, tab bar, first and active tab
        putU32(view, v);
    putU8(view, 0x78); // scroll bars and tabs shown
    appendRecord(out, rt::BookView, view);
    appendRecord(out, rt::EndBookViews, {});
    appendRecord(out, rt::BeginBundleShs, {});
    for (const SheetEntry& tab : wb.tabs)
        appendRecord(out, rt::BundleSh, sheetRecord(wb, tab.node));
    appendRecord(out, rt::EndBundleShs, {});
    appendRecord(out, rt::CalcProp, calcProperties(false));
    appendRecord(out, rt::EndBook, {});
    return out;
}

std::string updatedXlsbWorkbook(const Workbook::Impl& wb) {
    const XlsbBook& book = *xlsbBookOf(wb);
    // Where each sheet read now stands among the tabs.
    std::unordered_map<const void*, std::uint32_t> tabOf;
    for (std::size_t t = 0; t < wb.tabs.size(); ++t)
        tabOf.emplace(wb.tabs[t].node.internal_object(), std::uint32_t(t));
    std::vector<std::uint32_t> moved(book.sheetNodes.size());
    bool anyMoved = false;
    for (std::size_t i = 0; i < book.sheetNodes.size(); ++i) {
        const auto at = tabOf.find(book.sheetNodes[i].internal_object());
        moved[i] = at == tabOf.end() ? std::uint32_t(wb.tabs.size()) : at->second;
        anyMoved |= moved[i] != i;
    }
    auto remap = [&](std::string& body, std::size_t at) {
        if (body.size() < at + 4)
            return;
        const std::uint32_t tab = readU32(body, at);
        if (tab != kWorkbookScope && tab < moved.size())
            patchU32(body, at, moved[tab]);
    };
    // Supporting links in the order read: references to sheets of this workbook go through those
    // that are the workbook itself.
    std::vector<bool> selfLinks;
    if (anyMoved) {
        RecordReader links(book.workbookRecords, wb.workbookPart);
        Record l;
        while (links.next(l))
            if (l.type == rt::SupBookSrc || l.type == rt::SupSelf || l.type == rt::SupSame)
                selfLinks.push_back(l.type == rt::SupSelf);
    }
    const bool fullCalc = wb.cellsChanged;
    const std::string_view original = book.workbookRecords;
    std::string out;
    bool sheetsWritten = false, calcWritten = false;
    std::size_t calcAfter = std::string::npos; // where calculation properties go when there are none
    RecordReader reader(original, wb.workbookPart);
    Record r;
    while (reader.next(r)) {
        std::string body(r.body);
        switch (r.type) {
        case rt::BundleSh:
            if (!sheetsWritten)
                for (const SheetEntry& tab : wb.tabs)
                    appendRecord(out, rt::BundleSh, sheetRecord(wb, tab.node));
            sheetsWritten = true;
            continue;
        case rt::EndBundleShs:
            if (!sheetsWritten)
                for (const SheetEntry& tab : wb.tabs)
                    appendRecord(out, rt::BundleSh, sheetRecord(wb, tab.node));
            sheetsWritten = true;
            break;
        case rt::Name:
            if (anyMoved)
                remap(body, kNameTab);
            break;
        case rt::ExternSheet:
            // Each reference: a supporting link, then the first and last sheet it covers.
            if (anyMoved && body.size() >= 4)
                for (std::size_t at = 4, n = readU32(body, 0); n > 0 && at + 12 <= body.size();
                     --n, at += 12) {
                    const std::uint32_t link = readU32(body, at);
                    if (link < selfLinks.size() && selfLinks[link]) {
                        remap(body, at + 4);
                        remap(body, at + 8);
                    }
                }
            break;
        case rt::BookView:
            if (anyMoved) {
                remap(body, kViewFirstTab);
                remap(body, kViewActiveTab);
            }
            break;
        case rt::CalcProp:
            if (fullCalc && body.size() >= kCalcFlags + 2) {
                patchU16(body, kCalcFlags,
                         std::uint16_t(
                             (std::uint8_t(body[kCalcFlags]) | (std::uint8_t(body[kCalcFlags + 1]) << 8)) |
                             kFullCalcOnLoad));
                patchU32(body, 0, 0);
            }
            calcWritten = true;
            break;
        default:
            break;
        }
        if (r.type == rt::EndBook && fullCalc && !calcWritten) {
            std::string calc;
            appendRecord(calc, rt::CalcProp, calcProperties(true));
            out.insert(calcAfter == std::string::npos ? out.size() : calcAfter, calc);
            calcWritten = true;
        }
        appendRecord(out, r.type, body);
        if (r.type == rt::EndBundleShs || r.type == rt::EndExternals || r.type == rt::Name)
            calcAfter = out.size();
    }
    return out;
}

} // namespace workbookfile
