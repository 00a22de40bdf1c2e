#include "XlsRecords.h"

#include "Utf.h"
#include "Workbook.h"

namespace workbookfile {

namespace {

[[noreturn]] void malformed(const std::string& what) {
    throw Error(ErrorKind::Damaged,
                "The workbook stream of the 97-2003 workbook is malformed: " + what + ".");
}

bool fitsEightBits(std::u16string_view text) {
    for (char16_t c : text)
        if (c > 0xFF)
            return false;
    return true;
}

void putUnits(std::string& out, std::u16string_view text) {
    const bool narrow = fitsEightBits(text);
    putU8(out, narrow ? 0 : 1);
    for (char16_t c : text) {
        if (narrow)
            putU8(out, std::uint8_t(c));
        else
            putU16(out, std::uint16_t(c));
    }
}

std::string readUnits(BodyReader& body, std::size_t count) {
    const std::uint8_t flags = body.u8();
    const bool wide = flags & 1;
    if (count * (wide ? 2 : 1) > body.remaining())
        malformed("a text is longer than its record");
    std::u16string text(count, u'\0');
    for (std::size_t i = 0; i < count; ++i)
        text[i] = wide ? char16_t(body.u16()) : char16_t(body.u8());
    try {
        return toUtf8(text);
    } catch (const Error&) {
        malformed("a text is not valid UTF-16");
    }
}

} // namespace

bool BiffReader::next(BiffRecord& record) {
    if (_at >= _data.size())
        return false;
    if (_data.size() - _at < 4)
        malformed("a record header is cut off at byte " + std::to_string(_at));
    auto u16At = [&](std::size_t at) {
        return std::uint16_t(static_cast<unsigned char>(_data[at]) |
                             (static_cast<unsigned char>(_data[at + 1]) << 8));
    };
    const std::uint16_t type = u16At(_at), size = u16At(_at + 2);
    if (size > _data.size() - _at - 4)
        malformed("the record at byte " + std::to_string(_at) + " claims " + std::to_string(size) +
                  " bytes but only " + std::to_string(_data.size() - _at - 4) + " follow");
    record.type = type;
    record.begin = _at;
    record.body = _data.substr(_at + 4, size);
    _at += 4 + std::size_t(size);
    record.end = _at;
    return true;
}

void appendBiff(std::string& out, std::uint16_t type, std::string_view body) {
    if (body.size() > biff::MaxBody)
        throw Error(ErrorKind::LimitExceeded, "A record of " + std::to_string(body.size()) +
                                                  " bytes does not fit a 97-2003 workbook's record.");
    putU16(out, type);
    putU16(out, std::uint16_t(body.size()));
    out.append(body);
}

void putShortXlString(std::string& out, std::u16string_view text) {
    if (text.size() > 255)
        throw Error(ErrorKind::LimitExceeded,
                    "A name of more than 255 characters does not fit a 97-2003 workbook.");
    putU8(out, std::uint8_t(text.size()));
    putUnits(out, text);
}

void putXlString(std::string& out, std::u16string_view text) {
    putU16(out, std::uint16_t(text.size()));
    putUnits(out, text);
}

std::string readShortXlString(BodyReader& body) {
    return readUnits(body, body.u8());
}

std::string readXlString(BodyReader& body) {
    return readUnits(body, body.u16());
}

std::string readXlStringWithin(BodyReader& body) {
    const std::size_t count = body.u16();
    if (body.remaining() == 0)
        return {};
    BodyReader peek = body;
    const bool wide = peek.u8() & 1;
    return readUnits(body, std::min(count, peek.remaining() / (wide ? 2 : 1)));
}

} // namespace workbookfile
