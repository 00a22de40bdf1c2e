#include "XlsbRecords.h"

#include "Utf.h"
#include "Workbook.h"

namespace workbookfile {

bool RecordReader::next(Record& record) {
    if (_at >= _data.size())
        return false;
    const std::size_t begin = _at;
    auto byteAt = [&](const char* what) {
        if (_at >= _data.size())
            malformedRecords(_part, std::string("a record header is cut off in its ") + what + " at byte " +
                                        std::to_string(begin));
        return static_cast<unsigned char>(_data[_at++]);
    };
    // The type takes one or two bytes, the size one to four, seven bits each.
    std::uint32_t type = 0;
    for (int i = 0; i < 2; ++i) {
        const unsigned char b = byteAt("type");
        type |= std::uint32_t(b & 0x7F) << (7 * i);
        if (!(b & 0x80))
            break;
        if (i == 1)
            malformedRecords(_part, "a record type runs past two bytes at byte " + std::to_string(begin));
    }
    std::uint32_t size = 0;
    for (int i = 0; i < 4; ++i) {
        const unsigned char b = byteAt("size");
        size |= std::uint32_t(b & 0x7F) << (7 * i);
        if (!(b & 0x80))
            break;
        if (i == 3)
            malformedRecords(_part, "a record size runs past four bytes at byte " + std::to_string(begin));
    }
    if (size > _data.size() - _at)
        malformedRecords(_part, "the record at byte " + std::to_string(begin) + " claims " +
                                    std::to_string(size) + " bytes but only " +
                                    std::to_string(_data.size() - _at) + " follow");
    record.type = type;
    record.body = _data.substr(_at, size);
    record.begin = begin;
    _at += size;
    record.end = _at;
    return true;
}

std::string readWideString(BodyReader& body) {
    const std::uint32_t units = body.u32();
    if (units > body.remaining() / 2)
        malformedRecords(body.source(), "a text is longer than its record");
    std::u16string text(units, u'\0');
    for (std::uint32_t i = 0; i < units; ++i)
        text[i] = char16_t(body.u16());
    try {
        return toUtf8(text);
    } catch (const Error&) {
        malformedRecords(body.source(), "a text is not valid UTF-16");
    }
}

std::string readNullableWideString(BodyReader& body) {
    BodyReader peek = body;
    if (peek.u32() != 0xFFFFFFFF)
        return readWideString(body);
    body.skip(4);
    return {};
}

void appendRecord(std::string& out, std::uint32_t type, std::string_view body) {
    if (type >= 0x80) {
        putU8(out, std::uint8_t((type & 0x7F) | 0x80));
        putU8(out, std::uint8_t((type >> 7) & 0x7F));
    } else {
        putU8(out, std::uint8_t(type));
    }
    std::size_t size = body.size();
    do {
        std::uint8_t b = std::uint8_t(size & 0x7F);
        size >>= 7;
        if (size)
            b |= 0x80;
        putU8(out, b);
    } while (size);
    out.append(body);
}

void putWideString(std::string& out, std::string_view utf8) {
    const std::u16string text = toUtf16(utf8);
    putU32(out, std::uint32_t(text.size()));
    for (char16_t c : text)
        putU16(out, std::uint16_t(c));
}

} // namespace workbookfile
