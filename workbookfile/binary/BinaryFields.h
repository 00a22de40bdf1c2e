#pragma once

// The fields of records, as both record codecs (.xlsb parts and the .xls workbook stream) lay
// them out: little-endian integers and doubles, RK numbers, cell error codes. Reading never trusts
// a field beyond the bytes of its record.

#include <cstdint>
#include <string>
#include <string_view>

namespace workbookfile {

// One record: its type, its body, and where the whole record lies in what holds it.
struct Record {
    std::uint32_t type = 0;
    std::string_view body;
    std::size_t begin = 0, end = 0; // offsets of the header's first byte and past the body
};

// Throws Error (Damaged): the records of source (a part or stream name) are malformed, as what says.
[[noreturn]] void malformedRecords(std::string_view source, const std::string& what);

// Reads the fields of one record's body; throws Error naming its source when a field runs past it.
class BodyReader {
public:
    BodyReader(std::string_view body, std::string_view source) : _body(body), _source(source) {}
    std::uint8_t u8();
    std::uint16_t u16();
    std::uint32_t u32();
    double f64();
    // The next bytes of the body, as they are.
    std::string_view bytes(std::size_t count);
    void skip(std::size_t bytes);
    std::size_t remaining() const { return _body.size() - _at; }
    std::size_t offset() const { return _at; }
    std::string_view source() const { return _source; }

private:
    void need(std::size_t bytes) const;
    std::string_view _body;
    std::string_view _source;
    std::size_t _at = 0;
};

// Appending fields.
void putU8(std::string& out, std::uint8_t v);
void putU16(std::string& out, std::uint16_t v);
void putU32(std::string& out, std::uint32_t v);
void putF64(std::string& out, double v);

// Overwrites a little-endian field inside a body already built.
void patchU16(std::string& body, std::size_t at, std::uint16_t v);
void patchU32(std::string& body, std::size_t at, std::uint32_t v);
std::uint16_t readU16(std::string_view body, std::size_t at);
std::uint32_t readU32(std::string_view body, std::size_t at);

// The text of a cell error code, as both binary formats number them ("#N/A" for 0x2A); "" when unknown.
const char* errorText(std::uint8_t code);

// The 4-byte RkNumber of a double when it holds it exactly; false otherwise.
bool rkNumber(double value, std::uint32_t& rk);
double rkValue(std::uint32_t rk);

} // namespace workbookfile
