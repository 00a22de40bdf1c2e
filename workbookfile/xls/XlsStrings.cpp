// The shared string table of a 97-2003 workbook: the SST record and the CONTINUE records it runs
// on in, read into strings with their formatting, described to the engine as the XML table would
// be, and written anew (the strings read first, in their order, so that cells keep their
// indices) with the EXTSST record that indexes it.

#include "Xls.h"
#include "XlsRecords.h"

#include "PackageNames.h"
#include "Utf.h"
#include "XmlText.h"

#include <algorithm>

namespace workbookfile {

namespace {

constexpr std::uint8_t kHighByte = 0x01, kPhonetic = 0x04, kRich = 0x08;

[[noreturn]] void malformed(const std::string& what) {
    throw Error(ErrorKind::Damaged,
                "The shared string table of the 97-2003 workbook is malformed: " + what + ".");
}

// Reads the joined bodies of the SST record and its CONTINUE records.
class StringTableReader {
public:
    StringTableReader(std::string_view data, const std::vector<std::size_t>& starts)
        : _data(data), _starts(starts) {}

    bool atEnd() const { return _at >= _data.size(); }

    XlsString next() {
        const std::uint16_t count = u16();
        std::uint8_t flags = u8();
        const std::uint16_t runs = (flags & kRich) ? u16() : 0;
        const std::uint32_t phonetic = (flags & kPhonetic) ? u32() : 0;
        XlsString s;
        s.text.reserve(count);
        while (s.text.size() < count) {
            // Characters that go on in the next record: it says again how wide they are.
            const std::size_t end = recordEnd();
            if (std::binary_search(_starts.begin(), _starts.end(), _at))
                flags = u8();
            if (_at > end || _at >= _data.size())
                malformed("a string runs past the end of the table");
            const std::size_t width = (flags & kHighByte) ? 2 : 1;
            const std::size_t fit = std::min<std::size_t>(count - s.text.size(), (end - _at) / width);
            if (fit == 0) {
                // A record that holds no whole character more (only the flags, or a byte left
                // over, as some programs write): the characters go on in the next record, as the
                // readers take them.
                _at = end;
                continue;
            }
            for (std::size_t i = 0; i < fit; ++i)
                s.text += width == 2 ? char16_t(u16()) : char16_t(u8());
        }
        s.runs = bytes(std::size_t(runs) * 4);
        s.phonetic = bytes(phonetic);
        return s;
    }

private:
    std::size_t recordEnd() const {
        auto next = std::upper_bound(_starts.begin(), _starts.end(), _at);
        return next == _starts.end() ? _data.size() : *next;
    }
    void need(std::size_t n) const {
        if (n > _data.size() - _at)
            malformed("a string runs past the end of the table");
    }
    std::uint8_t u8() {
        need(1);
        return static_cast<std::uint8_t>(_data[_at++]);
    }
    std::uint16_t u16() {
        const std::uint8_t low = u8();
        return std::uint16_t(low | (u8() << 8));
    }
    std::uint32_t u32() {
        const std::uint16_t low = u16();
        return std::uint32_t(low) | (std::uint32_t(u16()) << 16);
    }
    std::string bytes(std::size_t n) {
        need(n);
        std::string out(_data.substr(_at, n));
        _at += n;
        return out;
    }

    std::string_view _data;
    const std::vector<std::size_t>& _starts;
    std::size_t _at = 8; // past the counts
};

// Writes the SST record, going on in CONTINUE records where a record is full.
class ContinuedWriter {
public:
    explicit ContinuedWriter(std::size_t at) : _at(at) {}

    std::size_t room() const { return biff::MaxBody - _body.size(); }
    void flush() {
        appendBiff(_out, _type, _body);
        _body.clear();
        _type = biff::Continue;
    }
    std::string& body() { return _body; }
    // Where the next byte goes: its stream position and its offset in its record.
    std::size_t streamPosition() const { return _at + _out.size() + 4 + _body.size(); }
    std::size_t recordOffset() const { return 4 + _body.size(); }

    void put(const XlsString& s) {
        const bool narrow = std::all_of(s.text.begin(), s.text.end(), [](char16_t c) { return c <= 0xFF; });
        const std::size_t width = narrow ? 1 : 2;
        const std::size_t header = 3 + (s.runs.empty() ? 0 : 2) + (s.phonetic.empty() ? 0 : 4);
        if (room() < header + (s.text.empty() ? 0 : width))
            flush();
        const std::uint8_t flags = std::uint8_t((narrow ? 0 : kHighByte) | (s.runs.empty() ? 0 : kRich) |
                                                (s.phonetic.empty() ? 0 : kPhonetic));
        putU16(_body, std::uint16_t(s.text.size()));
        putU8(_body, flags);
        if (!s.runs.empty())
            putU16(_body, std::uint16_t(s.runs.size() / 4));
        if (!s.phonetic.empty())
            putU32(_body, std::uint32_t(s.phonetic.size()));
        std::size_t done = 0;
        while (done < s.text.size()) {
            if (room() < width) {
                flush();
                putU8(_body, narrow ? 0 : kHighByte);
            }
            const std::size_t fit = std::min(s.text.size() - done, room() / width);
            for (std::size_t i = done; i < done + fit; ++i) {
                if (narrow)
                    putU8(_body, std::uint8_t(s.text[i]));
                else
                    putU16(_body, std::uint16_t(s.text[i]));
            }
            done += fit;
        }
        for (std::size_t i = 0; i < s.runs.size(); i += 4) { // a run is never split
            if (room() < 4)
                flush();
            _body.append(s.runs, i, 4);
        }
        for (std::size_t i = 0; i < s.phonetic.size();) {
            if (room() == 0)
                flush();
            const std::size_t fit = std::min(room(), s.phonetic.size() - i);
            _body.append(s.phonetic, i, fit);
            i += fit;
        }
    }

    std::string finish() {
        flush();
        return std::move(_out);
    }

private:
    std::size_t _at;
    std::uint16_t _type = biff::Sst;
    std::string _out, _body;
};

} // namespace

std::vector<XlsString> readXlsStrings(std::string_view body, const std::vector<std::size_t>& recordStarts) {
    if (body.size() < 8)
        malformed("its counts are cut off");
    const std::uint32_t unique = readU32(body, 4);
    StringTableReader reader(body, recordStarts);
    std::vector<XlsString> strings;
    // The count is only a hint: a table holds at most one string per three bytes.
    strings.reserve(std::min<std::size_t>(unique, body.size() / 3));
    while (strings.size() < unique && !reader.atEnd()) {
        strings.push_back(reader.next());
        try {
            (void)toUtf8(strings.back().text);
        } catch (const Error&) {
            malformed("a string is not valid UTF-16");
        }
    }
    return strings;
}

std::string xmlStringsFromXls(const std::vector<XlsString>& strings, long long references) {
    std::string xml = std::string(kXmlDeclaration) + "<sst xmlns=\"" + kMainNamespace + "\"";
    if (references >= 0)
        xml += " count=\"" + std::to_string(references) + "\"";
    xml += ">";
    for (const XlsString& s : strings)
        appendDescribedString(xml, toUtf8(s.text), s.runs.empty() && s.phonetic.empty());
    return xml + "</sst>";
}

std::string xlsStringRecords(const std::vector<XlsString>& kept, const SharedStrings& strings,
                             long long references, std::size_t at, const std::vector<bool>& unused) {
    ContinuedWriter writer(at);
    putU32(writer.body(), std::uint32_t(std::clamp<long long>(references, 0, 0x7FFFFFFF)));
    putU32(writer.body(), std::uint32_t(strings.size()));
    const std::size_t count = std::max(kept.size(), strings.size());
    const std::size_t perBucket = std::max<std::size_t>(8, (count + 127) / 128);
    std::string index;
    putU16(index, std::uint16_t(perBucket));
    XlsString added;
    const XlsString empty;
    for (std::size_t i = 0; i < count; ++i) {
        const XlsString* s = &added;
        if (i < unused.size() && unused[i]) {
            s = &empty;
        } else if (i < kept.size()) {
            s = &kept[i];
        } else {
            added.text = toUtf16(strings.text(std::uint32_t(i)));
        }
        if (i % perBucket == 0) {
            // The bucket's first string, as it will begin (a header never starts in a full record).
            const std::size_t header = 3 + (s->runs.empty() ? 0 : 2) + (s->phonetic.empty() ? 0 : 4) + 2;
            if (writer.room() < header)
                writer.flush();
            putU32(index, std::uint32_t(writer.streamPosition()));
            putU16(index, std::uint16_t(writer.recordOffset()));
            putU16(index, 0);
        }
        writer.put(*s);
    }
    std::string out = writer.finish();
    appendBiff(out, biff::ExtSst, index);
    return out;
}

} // namespace workbookfile
