// Clearing a binary worksheet as Worksheet::clear does for XML ones: merged ranges, conditional
// formats, data validations, hyperlinks, comments (with their drawing when it holds nothing else)
// and the autofilter go, and whole columns lose their formats while keeping their widths. Left
// behind they would act on whatever is written next.

#include "PartNames.h"
#include "Utf.h"
#include "Xlsb.h"
#include "XlsbRecords.h"
#include "XmlDom.h"

namespace workbookfile {

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

// The relationship id a hyperlink or drawing record names; empty when it names none.
std::string relationshipIdOf(const Record& r, const std::string& part) {
    BodyReader body(r.body, part);
    if (r.type == rt::HLink)
        body.skip(kLinkRange);
    return readNullableWideString(body);
}

// A VML drawing that holds comment boxes only; form controls live in the same kind of part and
// must not go with the comments.
bool onlyNotes(const std::string& vml) {
    const std::string_view key = "ObjectType=";
    for (std::size_t at = vml.find(key); at != std::string::npos; at = vml.find(key, at + 1)) {
        const std::size_t value = at + key.size();
        if (value + 5 < vml.size() && (vml[value] == '"' || vml[value] == '\'') &&
            vml.compare(value + 1, 4, "Note") == 0 && vml[value + 5] == vml[value])
            continue;
        return false;
    }
    return true;
}

// The records kept of one side of the cells; ids of the hyperlinks' relationships are collected.
std::string cleared(const std::string& records, const std::string& part, std::set<std::string>& linkIds,
                    const std::set<std::string>& droppedDrawings) {
    std::string out;
    RecordReader reader(records, part);
    Record r;
    std::uint32_t skipUntil = 0, nestedBegin = 0;
    int depth = 0;
    while (reader.next(r)) {
        if (depth > 0) {
            depth += r.type == nestedBegin ? 1 : r.type == skipUntil ? -1 : 0;
            continue;
        }
        bool dropped = false;
        for (const Block& b : kDropped)
            if (r.type == b.begin) {
                nestedBegin = b.begin;
                skipUntil = b.end;
                depth = 1;
                dropped = true;
            }
        if (dropped)
            continue;
        if (r.type == rt::HLink) {
            if (r.body.size() >= kLinkRange + 4)
                if (std::string id = relationshipIdOf(r, part); !id.empty())
                    linkIds.insert(id);
            continue;
        }
        if (r.type == rt::LegacyDrawing && droppedDrawings.count(relationshipIdOf(r, part)))
            continue;
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
    pugi::xml_document rels;
    const bool hasRels = wb.readRelationships(sheet.part, rels);
    const std::string folder = partFolder(sheet.part);
    auto targetOf = [&](const pugi::xml_node& rel) {
        return std::string_view(rel.attribute("TargetMode").value()) == "External"
                   ? std::string()
                   : resolveTarget(folder, rel.attribute("Target").value());
    };
    // The comments' drawing goes with them unless it holds form controls too.
    std::set<std::string> droppedDrawings;
    for (const std::string* records : {&sheet.head, &sheet.tail}) {
        RecordReader reader(*records, sheet.part);
        Record r;
        while (hasRels && reader.next(r)) {
            if (r.type != rt::LegacyDrawing)
                continue;
            const std::string id = relationshipIdOf(r, sheet.part);
            for (pugi::xml_node rel = rootElement(rels).first_child(); rel; rel = rel.next_sibling())
                if (id == rel.attribute("Id").value()) {
                    const std::string vml = targetOf(rel);
                    if (!vml.empty() && wb.hasPart(vml) && onlyNotes(wb.readPart(vml)))
                        droppedDrawings.insert(id);
                }
        }
    }
    std::set<std::string> linkIds;
    std::string head = cleared(sheet.head, sheet.part, linkIds, droppedDrawings);
    std::string tail = cleared(sheet.tail, sheet.part, linkIds, droppedDrawings);

    // Comments are related by type alone; hyperlinks and the drawing by the ids above.
    std::vector<std::string> droppedParts;
    bool relsChanged = false;
    for (pugi::xml_node rel = hasRels ? rootElement(rels).first_child() : pugi::xml_node(); rel;) {
        const pugi::xml_node next = rel.next_sibling();
        const std::string id = rel.attribute("Id").value();
        const std::string_view type = rel.attribute("Type").value();
        if (rel.type() == pugi::node_element &&
            (linkIds.count(id) || droppedDrawings.count(id) || endsWith(type, "/comments") ||
             endsWith(type, "/threadedComment"))) {
            if (std::string target = targetOf(rel); !target.empty())
                droppedParts.push_back(target);
            rootElement(rels).remove_child(rel);
            relsChanged = true;
        }
        rel = next;
    }
    sheet.head = std::move(head);
    sheet.tail = std::move(tail);
    if (relsChanged)
        wb.setPart(relationshipsPartOf(sheet.part), serializePart(rels));
    for (const std::string& part : droppedParts)
        if (wb.hasPart(part))
            wb.dropPart(part);
}

} // namespace workbookfile
