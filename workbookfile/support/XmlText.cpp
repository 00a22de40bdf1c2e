#include "XmlText.h"

#include "Utf.h"
#include "Workbook.h"

#include <charconv>
#include <cstdint>

namespace workbookfile {

namespace {

const char kHex[] = "0123456789ABCDEF";

void appendHexEscape(std::string& out, unsigned code) {
    out += "_x";
    out += kHex[(code >> 12) & 0xF];
    out += kHex[(code >> 8) & 0xF];
    out += kHex[(code >> 4) & 0xF];
    out += kHex[code & 0xF];
    out += '_';
}

bool isHex(char c) {
    return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f') || (c >= 'A' && c <= 'F');
}

int hexValue(char c) {
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    return c - 'A' + 10;
}

// True when text at i starts an _xHHHH_ sequence.
bool startsHexEscape(std::string_view text, std::size_t i) {
    return i + 7 <= text.size() && text[i] == '_' && text[i + 1] == 'x' && isHex(text[i + 2]) &&
           isHex(text[i + 3]) && isHex(text[i + 4]) && isHex(text[i + 5]) && text[i + 6] == '_';
}

} // namespace

void appendXmlEscaped(std::string& out, std::string_view text) {
    for (char c : text) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
}

void appendCellText(std::string& out, std::string_view text) {
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x20) {
            if (c == '\t' || c == '\n')
                out += char(c);
            else if (c == '\r')
                out += "&#13;"; // a literal CR would be read back as LF
            else
                appendHexEscape(out, c);
        } else if (c == '&') {
            out += "&amp;";
        } else if (c == '<') {
            out += "&lt;";
        } else if (c == '>') {
            out += "&gt;";
        } else if (c == '_' && startsHexEscape(text, i)) {
            appendHexEscape(out, '_');
        } else if (c == 0xEF && i + 2 < text.size() && static_cast<unsigned char>(text[i + 1]) == 0xBF &&
                   (static_cast<unsigned char>(text[i + 2]) == 0xBE ||
                    static_cast<unsigned char>(text[i + 2]) == 0xBF)) {
            // U+FFFE and U+FFFF are not XML characters.
            appendHexEscape(out, static_cast<unsigned char>(text[i + 2]) == 0xBE ? 0xFFFE : 0xFFFF);
            i += 2;
        } else {
            out += char(c);
        }
    }
}

std::string encodeAttributeText(std::string_view text) {
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        unsigned char c = static_cast<unsigned char>(text[i]);
        if (c < 0x20 || (c == '_' && startsHexEscape(text, i)))
            appendHexEscape(out, c);
        else
            out += char(c);
    }
    return out;
}

namespace {

// What readers may trim from either end of a text without xml:space="preserve": LibreOffice takes
// the Unicode spaces (U+2000 to U+200B, the line and paragraph separators, ...) too.
bool isSpaceLike(std::uint32_t c) {
    return c <= 0x20 || c == 0x85 || c == 0xA0 || c == 0x1680 || (c >= 0x2000 && c <= 0x200B) ||
           c == 0x2028 || c == 0x2029 || c == 0x202F || c == 0x205F || c == 0x3000 || c == 0xFEFF;
}

} // namespace

bool needsSpacePreserve(std::string_view text) {
    if (text.empty())
        return false;
    std::size_t at = 0;
    std::uint32_t c = 0;
    if (decodeUtf8(text, at, c) && isSpaceLike(c))
        return true;
    at = text.size() - 1;
    while (at > 0 && (std::uint8_t(text[at]) & 0xC0) == 0x80)
        --at;
    return decodeUtf8(text, at, c) && isSpaceLike(c);
}

std::string decodeCellText(std::string_view text) {
    if (text.find("_x") == std::string_view::npos)
        return std::string(text);
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (startsHexEscape(text, i)) {
            unsigned code = unsigned(hexValue(text[i + 2]) << 12 | hexValue(text[i + 3]) << 8 |
                                     hexValue(text[i + 4]) << 4 | hexValue(text[i + 5]));
            if (code >= 0xD800 && code <= 0xDBFF && startsHexEscape(text, i + 7)) {
                unsigned low = unsigned(hexValue(text[i + 9]) << 12 | hexValue(text[i + 10]) << 8 |
                                        hexValue(text[i + 11]) << 4 | hexValue(text[i + 12]));
                if (low >= 0xDC00 && low <= 0xDFFF) {
                    appendUtf8(out, 0x10000 + ((code - 0xD800) << 10) + (low - 0xDC00));
                    i += 13;
                    continue;
                }
            }
            if (code >= 0xD800 && code <= 0xDFFF)
                code = 0xFFFD;
            appendUtf8(out, code);
            i += 6;
        } else {
            out += text[i];
        }
    }
    return out;
}

void refuseDoctype(std::string_view xml, std::string_view partName) {
    // Only the prolog can hold a document type declaration; scan it past the XML declaration,
    // processing instructions, comments and white space.
    std::size_t i = 0;
    if (xml.size() >= 3 && static_cast<unsigned char>(xml[0]) == 0xEF &&
        static_cast<unsigned char>(xml[1]) == 0xBB && static_cast<unsigned char>(xml[2]) == 0xBF)
        i = 3;
    while (i < xml.size()) {
        char c = xml[i];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            ++i;
        } else if (xml.compare(i, 2, "<?") == 0) {
            std::size_t end = xml.find("?>", i + 2);
            if (end == std::string_view::npos)
                return;
            i = end + 2;
        } else if (xml.compare(i, 4, "<!--") == 0) {
            std::size_t end = xml.find("-->", i + 4);
            if (end == std::string_view::npos)
                return;
            i = end + 3;
        } else if (xml.compare(i, 2, "<!") == 0) {
            throw Error(ErrorKind::Damaged,
                        "The part \"" + std::string(partName) +
                            "\" contains a document type declaration, which no workbook part may have.");
        } else {
            return;
        }
    }
}

bool findRootSpan(std::string_view xml, RootSpan& span) {
    std::size_t i = 0;
    for (;;) {
        i = xml.find('<', i);
        if (i == std::string_view::npos || i + 1 >= xml.size())
            return false;
        char next = xml[i + 1];
        if (next == '?') {
            i = xml.find("?>", i);
        } else if (xml.compare(i, 4, "<!--") == 0) {
            i = xml.find("-->", i);
        } else if (next == '!') {
            i = xml.find('>', i);
        } else {
            break;
        }
        if (i == std::string_view::npos)
            return false;
        ++i;
    }
    span.startTagBegin = i;
    char quote = 0;
    std::size_t j = i + 1;
    for (; j < xml.size(); ++j) {
        char c = xml[j];
        if (quote) {
            if (c == quote)
                quote = 0;
        } else if (c == '"' || c == '\'') {
            quote = c;
        } else if (c == '>') {
            break;
        }
    }
    if (j >= xml.size())
        return false;
    if (xml[j - 1] == '/') {
        span.selfClosing = true;
        span.contentBegin = span.contentEnd = j - 1;
        return true;
    }
    span.selfClosing = false;
    span.contentBegin = j + 1;
    std::size_t nameEnd = xml.find_first_of(" \t\r\n/>", i + 1);
    std::string close = "</" + std::string(xml.substr(i + 1, nameEnd - i - 1));
    std::size_t closeAt = xml.rfind(close);
    if (closeAt == std::string_view::npos || closeAt < span.contentBegin)
        return false;
    // Only white space, comments and processing instructions may follow the root element.
    std::size_t k = xml.find('>', closeAt);
    if (k == std::string_view::npos)
        return false;
    for (++k; k < xml.size();) {
        char c = xml[k];
        if (c == ' ' || c == '\t' || c == '\r' || c == '\n') {
            ++k;
        } else if (xml.compare(k, 4, "<!--") == 0 || xml.compare(k, 2, "<?") == 0) {
            k = xml.find('>', k);
            if (k == std::string_view::npos)
                return false;
            ++k;
        } else {
            return false;
        }
    }
    span.contentEnd = closeAt;
    return true;
}

} // namespace workbookfile
