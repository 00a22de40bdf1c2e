#include "BinaryFields.h"

#include "Workbook.h"

#include <cmath>
#include <cstring>
#include <utility>

namespace workbookfile {

void malformedRecords(std::string_view source, const std::string& what) {
    throw Error(ErrorKind::Damaged,
                "The records of \"" + std::string(source) + "\" are malformed: " + what + ".");
}

void BodyReader::need(std::size_t bytes) const {
    if (bytes > _body.size() - _at)
        malformedRecords(_source, "a record is shorter than its fields");
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

std::string_view BodyReader::bytes(std::size_t count) {
    need(count);
    const std::string_view out = _body.substr(_at, count);
    _at += count;
    return out;
}

void BodyReader::skip(std::size_t bytes) {
    need(bytes);
    _at += bytes;
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
