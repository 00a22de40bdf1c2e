#include "XlsbRecords.h"

#include "Utf.h"
#include "Workbook.h"

#include <cmath>
#include <cstring>
#include <utility>

namespace workbookfile {

namespace {

[[noreturn]] void malformed(std::string_view part, const std::string& what) {
    throw Error(ErrorKind::Damaged,
                "The binary workbook part \"" + std::string(part) + "\" is malformed: " + what + ".");
}

} // namespace

bool RecordReader::next(Record& record) {
    if (_at >= _data.size())
        return false;
    const std::size_t begin = _at;
    auto byteAt = [&](const char* what) {
        if (_at >= _data.size())
            malformed(_part, std::string("a record header is cut off in its ") + what + " at byte " +
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
            malformed(_part, "a record type runs past two bytes at byte " + std::to_string(begin));
    }
    std::uint32_t size = 0;
    for (int i = 0; i < 4; ++i) {
        const unsigned char b = byteAt("size");
        size |= std::uint32_t(b & 0x7F) << (7 * i);
        if (!(b & 0x80))
            break;
        if (i == 3)
            malformed(_part, "a record size runs past four bytes at byte " + std::to_string(begin));
    }
    if (size > _data.size() - _at)
        malformed(_part, "the record at byte " + std::to_string(begin) + " claims " + std::to_string(size) +
                             " bytes but only " + std::to_string(_data.size() - _at) + " follow");
    record.type = type;
    record.body = _data.substr(_at, size);
    record.begin = begin;
    _at += size;
    record.end = _at;
    return true;
}

void BodyReader::need(std::size_t bytes) const {
    if (bytes > _body.size() - _at)
        malformed(_part, "a record is shorter than its fields");
}

std::uint8_t BodyReader::u8() {
    need(1);
    return static_cast<std::uint8_t>(_body[_at++]);
}

std::uint16_t BodyReader::u16() {
    need(2);
    std::uint16_t v = std::uint16_t(static_cast<unsigned char>(_body[_at]) |
                                    (static_cast<unsigned char>(_body[_at + 1]) << 8));
    _at += 2;
    return v;
}

std::uint32_t BodyReader::u32() {
    need(4);
    std::uint32_t v = readU32(_body, _at);
    _at += 4;
    return v;
}

double BodyReader::f64() {
    need(8);
    std::uint64_t bits = 0;
    for (int i = 7; i >= 0; --i)
        bits = (bits << 8) | static_cast<unsigned char>(_body[_at + std::size_t(i)]);
    _at += 8;
    double v;
    std::memcpy(&v, &bits, sizeof v);
    return v;
}

std::string BodyReader::wideString() {
    const std::uint32_t units = u32();
    if (units > remaining() / 2)
        malformed(_part, "a text is longer than its record");
    std::u16string text(units, u'\0');
    for (std::uint32_t i = 0; i < units; ++i)
        text[i] = char16_t(u16());
    try {
        return toUtf8(text);
    } catch (const Error&) {
        malformed(_part, "a text is not valid UTF-16");
    }
}

void BodyReader::skip(std::size_t bytes) {
    need(bytes);
    _at += bytes;
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

void putU8(std::string& out, std::uint8_t v) {
    out += static_cast<char>(v);
}

void putU16(std::string& out, std::uint16_t v) {
    out += static_cast<char>(v & 0xFF);
    out += static_cast<char>(v >> 8);
}

void putU32(std::string& out, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

void putF64(std::string& out, double v) {
    std::uint64_t bits;
    std::memcpy(&bits, &v, sizeof bits);
    for (int i = 0; i < 8; ++i)
        out += static_cast<char>((bits >> (8 * i)) & 0xFF);
}

void putWideString(std::string& out, std::string_view utf8) {
    const std::u16string text = toUtf16(utf8);
    putU32(out, std::uint32_t(text.size()));
    for (char16_t c : text)
        putU16(out, std::uint16_t(c));
}

void patchU16(std::string& body, std::size_t at, std::uint16_t v) {
    body[at] = static_cast<char>(v & 0xFF);
    body[at + 1] = static_cast<char>(v >> 8);
}

void patchU32(std::string& body, std::size_t at, std::uint32_t v) {
    for (int i = 0; i < 4; ++i)
        body[at + std::size_t(i)] = static_cast<char>((v >> (8 * i)) & 0xFF);
}

std::uint16_t readU16(std::string_view body, std::size_t at) {
    return std::uint16_t(static_cast<unsigned char>(body[at]) |
                         (static_cast<unsigned char>(body[at + 1]) << 8));
}

std::uint32_t readU32(std::string_view body, std::size_t at) {
    std::uint32_t v = 0;
    for (int i = 3; i >= 0; --i)
        v = (v << 8) | static_cast<unsigned char>(body[at + std::size_t(i)]);
    return v;
}

const char* errorText(std::uint8_t code) {
    static const std::pair<std::uint8_t, const char*> errors[] = {
        {0x00, "#NULL!"}, {0x07, "#DIV/0!"}, {0x0F, "#VALUE!"}, {0x17, "#REF!"},
        {0x1D, "#NAME?"}, {0x24, "#NUM!"},   {0x2A, "#N/A"},    {0x2B, "#GETTING_DATA"}};
    for (const auto& [value, text] : errors)
        if (value == code)
            return text;
    return "";
}

double rkValue(std::uint32_t rk) {
    double value;
    if (rk & 2) {
        value = double(std::int32_t(rk) >> 2);
    } else {
        const std::uint64_t bits = std::uint64_t(rk & 0xFFFFFFFCu) << 32;
        std::memcpy(&value, &bits, sizeof value);
    }
    return (rk & 1) ? value / 100 : value;
}

// Only forms that read back to the very same double are used; everything else is stored whole.
bool rkNumber(double value, std::uint32_t& rk) {
    if (!std::isfinite(value))
        return false;
    auto same = [&](std::uint32_t candidate) {
        const double back = rkValue(candidate);
        return std::memcmp(&back, &value, sizeof value) == 0;
    };
    for (int x100 = 0; x100 < 2; ++x100) {
        const double scaled = x100 ? value * 100 : value;
        if (std::isfinite(scaled) && scaled == std::floor(scaled) && scaled >= -536870912.0 &&
            scaled <= 536870911.0) {
            const std::uint32_t candidate =
                (std::uint32_t(std::int32_t(scaled)) << 2) | 2u | std::uint32_t(x100);
            if (same(candidate)) {
                rk = candidate;
                return true;
            }
        }
        std::uint64_t bits;
        std::memcpy(&bits, &scaled, sizeof bits);
        if ((bits & 0x3FFFFFFFFull) == 0) {
            const std::uint32_t candidate = std::uint32_t(bits >> 32) | std::uint32_t(x100);
            if (same(candidate)) {
                rk = candidate;
                return true;
            }
        }
    }
    return false;
}

} // namespace workbookfile
