#include "Utf.h"
#include "Workbook.h"

namespace workbookfile {

void appendUtf8(std::string& out, std::uint32_t c) {
    if (c < 0x80) {
        out += char(c);
    } else if (c < 0x800) {
        out += char(0xC0 | (c >> 6));
        out += char(0x80 | (c & 0x3F));
    } else if (c < 0x10000) {
        out += char(0xE0 | (c >> 12));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    } else {
        out += char(0xF0 | (c >> 18));
        out += char(0x80 | ((c >> 12) & 0x3F));
        out += char(0x80 | ((c >> 6) & 0x3F));
        out += char(0x80 | (c & 0x3F));
    }
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
    const unsigned char b = static_cast<unsigned char>(text[at]);
    int extra;
    std::uint32_t code;
    if (b < 0x80) {
        code = b;
        extra = 0;
    } else if ((b & 0xE0) == 0xC0) {
        code = b & 0x1F;
        extra = 1;
    } else if ((b & 0xF0) == 0xE0) {
        code = b & 0x0F;
        extra = 2;
    } else if ((b & 0xF8) == 0xF0) {
        code = b & 0x07;
        extra = 3;
    } else {
        return false;
    }
    if (extra > 0 && at + extra >= text.size())
        return false;
    for (int k = 1; k <= extra; ++k) {
        const unsigned char n = static_cast<unsigned char>(text[at + k]);
        if ((n & 0xC0) != 0x80)
            return false;
        code = (code << 6) | (n & 0x3F);
    }
    static const std::uint32_t minimum[] = {0, 0x80, 0x800, 0x10000};
    if (code < minimum[extra] || code > 0x10FFFF || (code >= 0xD800 && code <= 0xDFFF))
        return false;
    at += std::size_t(extra) + 1;
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
        if (c >= 0x10000) {
            c -= 0x10000;
            out += char16_t(0xD800 + (c >> 10));
            out += char16_t(0xDC00 + (c & 0x3FF));
        } else {
            out += char16_t(c);
        }
    }
    return out;
}

} // namespace workbookfile
