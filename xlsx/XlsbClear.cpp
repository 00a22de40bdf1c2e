// Clearing a binary worksheet as Worksheet::clear does for XML ones: merged ranges, conditional
// formats, data validations, hyperlinks and the autofilter go, and whole columns lose their
// formats while keeping their widths. Left behind they would act on whatever is written next.

#include "Xlsb.h"
#include "XlsbRecords.h"
#include "XmlDom.h"

namespace xlsx {

namespace {

constexpr std::size_t kColumnStyle = 12; // BrtColInfo: ixfe after the columns and the width
constexpr std::size_t kLinkRange = 16;   // BrtHLink: the range before the relationship id

// Records from a begin record to its end record, both included, go.
struct Block {
    std::uint32_t begin, end;
};
constexpr Block kDropped[] = {{rt::BeginMergeCells, rt::EndMergeCells},
                              {rt::BeginConditionalFormatting, rt::EndConditionalFormatting},
                              {rt::BeginDVals, rt::EndDVals},
                              {rt::BeginAFilter, rt::EndAFilter}};

// The records kept of one side of the cells; ids of hyperlinks' relationships are collected.
std::string cleared(const std::string& records, const std::string& part, std::set<std::string>& linkIds) {
    std::string out;
    RecordReader reader(records, part);
    Record r;
    std::uint32_t skipUntil = 0;
    int depth = 0;
    while (reader.next(r)) {
        if (depth > 0) {
            for (const Block& b : kDropped) {
                if (b.begin == skipUntil && r.type == b.begin)
                    ++depth;
                if (b.end == skipUntil && r.type == skipUntil)
                    --depth;
            }
            continue;
        }
        bool dropped = false;
        for (const Block& b : kDropped)
            if (r.type == b.begin) {
                skipUntil = b.end;
                depth = 1;
                dropped = true;
            }
        if (dropped)
            continue;
        if (r.type == rt::HLink) {
            if (r.body.size() >= kLinkRange + 4) {
                BodyReader body(r.body, part);
                body.skip(kLinkRange);
                BodyReader peek = body;
                if (peek.u32() != 0xFFFFFFFF)
                    linkIds.insert(body.wideString());
            }
            continue;
        }
        if (r.type == rt::ColInfo && r.body.size() >= kColumnStyle + 4) {
            std::string body(r.body);
            patchU32(body, kColumnStyle, 0);
            appendRecord(out, r.type, body);
            continue;
        }
        out.append(records, r.begin, r.end - r.begin);
    }
    return out;
}

} // namespace

void clearXlsbSheetExtras(Workbook::Impl& wb, Worksheet::Impl& sheet) {
    // Worked out first and committed at the end, so that a failure changes nothing.
    std::set<std::string> linkIds;
    std::string head = cleared(sheet.head, sheet.part, linkIds);
    std::string tail = cleared(sheet.tail, sheet.part, linkIds);
    pugi::xml_document rels;
    bool relsChanged = false;
    if (!linkIds.empty() && wb.readRelationships(sheet.part, rels))
        for (const std::string& id : linkIds)
            relsChanged |= removeRelationship(rels, id);
    sheet.head = std::move(head);
    sheet.tail = std::move(tail);
    if (relsChanged)
        wb.setPart(relationshipsPartOf(sheet.part), serializePart(rels));
}

} // namespace xlsx
