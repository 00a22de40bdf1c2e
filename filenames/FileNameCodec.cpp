#include "FileNameCodec.h"

#include "Utf8.h"

#include <cstdint>

namespace {

const char16_t firstKeptByte = 0xDC80;
const char16_t lastKeptByte = 0xDCFF;

} // namespace

std::u16string fileNameText(std::string_view bytes) {
    std::u16string text;
    text.reserve(bytes.size());
    while (!bytes.empty()) {
        char32_t code = 0;
        const std::size_t length = utf8Sequence(bytes, code);
        if (length == 0) {
            // One byte is kept; the next may start a sequence of its own.
            text += char16_t(0xDC00 | static_cast<unsigned char>(bytes[0]));
            bytes.remove_prefix(1);
            continue;
        }
        appendUtf16(text, code);
        bytes.remove_prefix(length);
    }
    return text;
}

std::string fileNameBytes(std::u16string_view text) {
    std::string bytes;
    bytes.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF) {
            appendUtf8(bytes, 0x10000 + ((char32_t(unit) - 0xD800) << 10) + (text[i + 1] - 0xDC00));
            ++i;
        } else if (unit >= firstKeptByte && unit <= lastKeptByte) {
            bytes += char(unit & 0xFF);
        } else if (unit >= 0xD800 && unit <= 0xDFFF) {
            appendUtf8(bytes, 0xFFFD);
        } else {
            appendUtf8(bytes, unit);
        }
    }
    return bytes;
}

bool holdsKeptBytes(std::u16string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        const char16_t unit = text[i];
        if (unit >= 0xD800 && unit <= 0xDBFF && i + 1 < text.size() && text[i + 1] >= 0xDC00 &&
            text[i + 1] <= 0xDFFF)
            ++i;
        else if (unit >= firstKeptByte && unit <= lastKeptByte)
            return true;
    }
    return false;
}
