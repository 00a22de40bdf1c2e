#include "Utf.h"
#include "Utf8.h"
#include "Workbook.h"

namespace workbookfile {

void appendUtf8(std::string& out, std::uint32_t c) {
    ::appendUtf8(out, char32_t(c));
}

std::string lowerAscii(std::string_view s) {
    std::string out(s);
    for (char& c : out)
        if (c >= 'A' && c <= 'Z')
            c = char(c + 32);
    return out;
}

std::string toUtf8(std::u16string_view in) {
    std::string out;
    out.reserve(in.size());
    for (std::size_t i = 0; i < in.size(); ++i) {
        std::uint32_t c = in[i];
        if (c >= 0xD800 && c <= 0xDBFF) {
            if (i + 1 >= in.size() || in[i + 1] < 0xDC00 || in[i + 1] > 0xDFFF)
                throw Error(ErrorKind::InvalidArgument, "The text contains an unpaired UTF-16 surrogate.");
            c = 0x10000 + ((c - 0xD800) << 10) + (in[i + 1] - 0xDC00);
            ++i;
        } else if (c >= 0xDC00 && c <= 0xDFFF) {
            throw Error(ErrorKind::InvalidArgument, "The text contains an unpaired UTF-16 surrogate.");
        }
        appendUtf8(out, c);
    }
    return out;
}

bool decodeUtf8(std::string_view text, std::size_t& at, std::uint32_t& c) {
    char32_t code = 0;
    const std::size_t length = utf8Sequence(text.substr(at), code);
    if (length == 0)
        return false;
    at += length;
    c = code;
    return true;
}

long utf16Length(std::string_view utf8) {
    long units = 0;
    std::size_t i = 0;
    std::uint32_t c;
    while (i < utf8.size()) {
        if (!decodeUtf8(utf8, i, c))
            return -1;
        units += c >= 0x10000 ? 2 : 1;
    }
    return units;
}

std::u16string toUtf16(std::string_view in) {
    std::u16string out;
    out.reserve(in.size());
    std::size_t i = 0;
    while (i < in.size()) {
        std::uint32_t c;
        if (!decodeUtf8(in, i, c))
            throw Error(ErrorKind::InvalidArgument, "The text is not valid UTF-8.");
        appendUtf16(out, c);
    }
    return out;
}

} // namespace workbookfile
