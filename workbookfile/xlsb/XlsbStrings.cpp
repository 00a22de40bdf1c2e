// The shared string table of a binary workbook: described to the engine as the XML table would be,
// and written back as the records read followed by the strings added since.

#include "Xlsb.h"
#include "XlsbRecords.h"
#include "XmlText.h"

namespace workbookfile {

namespace {

// The counts of a table's first record: references from cells (-1 when unknown) and strings.
std::string beginSst(long long references, std::size_t strings) {
    std::string body;
    putU32(body, std::uint32_t(references < 0 ? 0 : std::min<long long>(references, 0x7FFFFFFF)));
    putU32(body, std::uint32_t(std::min<std::size_t>(strings, 0x7FFFFFFF)));
    return body;
}

void appendStringItem(std::string& out, const std::string& text) {
    std::string body;
    putU8(body, 0); // a plain string: no runs, no phonetic text
    putWideString(body, text);
    appendRecord(out, rt::SSTItem, body);
}

} // namespace

std::string xmlStringsFromXlsb(std::string_view records, const std::string& part, XlsbBook& book) {
    std::string xml = std::string(kXmlDeclaration) + "<sst xmlns=\"" + kMainNamespace + "\"";
    std::string items;
    RecordReader reader(records, part);
    Record r;
    bool begun = false;
    std::size_t count = 0;
    while (reader.next(r)) {
        if (r.type == rt::BeginSst) {
            BodyReader body(r.body, part);
            const std::uint32_t total = body.u32();
            if (total <= 0x7FFFFFFF)
                xml += " count=\"" + std::to_string(total) + "\"";
            begun = true;
        } else if (r.type == rt::SSTItem) {
            if (!begun)
                throw Error(ErrorKind::Damaged,
                            "The shared string table \"" + part + "\" has strings before its beginning.");
            BodyReader body(r.body, part);
            const std::uint8_t flags = body.u8();
            const std::string text = readWideString(body);
            appendDescribedString(items, text, (flags & 3) == 0);
            ++count;
        }
    }
    if (!begun)
        throw Error(ErrorKind::Damaged, "The part \"" + part + "\" is not a shared string table.");
    book.stringRecords = std::string(records);
    book.stringCount = count;
    return xml + ">" + items + "</sst>";
}

std::string xlsbStringsFromTable(const SharedStrings& strings, std::size_t from, std::string_view original,
                                 const std::string& part, long long references,
                                 const std::vector<bool>& unused) {
    auto isUnused = [&](std::size_t i) { return i < unused.size() && unused[i]; };
    auto appendItem = [&](std::string& out, std::size_t i) {
        appendStringItem(out, isUnused(i) ? std::string() : strings.text(std::uint32_t(i)));
    };
    std::string out;
    if (original.empty()) {
        appendRecord(out, rt::BeginSst, beginSst(references, strings.size()));
        for (std::size_t i = 0; i < strings.size(); ++i)
            appendItem(out, i);
        appendRecord(out, rt::EndSst, {});
        return out;
    }
    // The records read stay as they are; the counts are brought up to date and the new strings
    // go before the table's end.
    RecordReader reader(original, part);
    Record r;
    std::size_t copied = 0, item = 0;
    while (reader.next(r)) {
        if (r.type == rt::SSTItem && item < from && isUnused(item++)) {
            out.append(original.substr(copied, r.begin - copied));
            appendItem(out, item - 1);
            copied = r.end;
        } else if (r.type == rt::BeginSst) {
            out.append(original.substr(copied, r.begin - copied));
            appendRecord(out, rt::BeginSst, beginSst(references, strings.size()));
            copied = r.end;
        } else if (r.type == rt::EndSst) {
            out.append(original.substr(copied, r.begin - copied));
            for (std::size_t i = from; i < strings.size(); ++i)
                appendItem(out, i);
            copied = r.begin;
            from = strings.size();
        }
    }
    out.append(original.substr(copied));
    if (from < strings.size()) { // a table without its end record
        for (std::size_t i = from; i < strings.size(); ++i)
            appendItem(out, i);
        appendRecord(out, rt::EndSst, {});
    }
    return out;
}

} // namespace workbookfile
