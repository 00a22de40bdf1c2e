#include "SheetLayout.h"

#include "Utf.h"

#include <algorithm>
#include <cctype>
#include <cmath>
#include <cstring>

namespace workbookfile {

namespace {

// Widths of Calibri's glyphs against its digits, in a few classes.
double glyphWidth(std::uint32_t c) {
    if (c >= '0' && c <= '9')
        return 1.0;
    if (c == ' ')
        return 0.45;
    if (c < 0x80) {
        switch (c) {
        case 'i':
        case 'j':
        case 'l':
        case 'I':
        case '.':
        case ',':
        case ':':
        case ';':
        case '\'':
        case '!':
        case '|':
        case '(':
        case ')':
        case '[':
        case ']':
        case '{':
        case '}':
            return 0.5;
        case 'f':
        case 'r':
        case 't':
        case '/':
        case '-':
            return 0.65;
        case 'm':
        case 'w':
            return 1.45;
        case 'M':
        case 'W':
        case '@':
        case '%':
            return 1.6;
        default:
            if (std::isupper(int(c)))
                return 1.15;
            return std::islower(int(c)) ? 0.95 : 1.0;
        }
    }
    // East Asian wide characters take two digits' room.
    if ((c >= 0x1100 && c <= 0x115F) || (c >= 0x2E80 && c <= 0xA4CF) || (c >= 0xAC00 && c <= 0xD7A3) ||
        (c >= 0xF900 && c <= 0xFAFF) || (c >= 0xFF00 && c <= 0xFF60) || (c >= 0x20000 && c <= 0x3FFFD))
        return 2.0;
    return 1.2;
}

} // namespace

std::vector<WidthRun> widthRuns(const SheetLayout& layout) {
    std::vector<WidthRun> runs;
    for (const auto& [column, width] : layout.widths) {
        if (!runs.empty() && runs.back().last + 1 == column && runs.back().width == width)
            runs.back().last = column;
        else
            runs.push_back({column, column, width});
    }
    return runs;
}

double columnWidthFor(double characters) {
    // A tenth more for a substitute font (readers without Calibri show DejaVu Sans, whose digits
    // are wider), and a character of room; then the spreadsheet's own rounding to 1/256.
    const double chars = std::ceil(characters * 1.1 + 1.0);
    return std::floor((chars * kDigitPixels + 5) / kDigitPixels * 256) / 256;
}

double textCharacters(std::string_view utf8, bool bold) {
    // A text with line breaks is as wide as its widest line.
    double widest = 0, line = 0;
    std::size_t at = 0;
    std::uint32_t c = 0;
    while (at < utf8.size() && decodeUtf8(utf8, at, c)) {
        if (c == '\n' || c == '\r') {
            widest = std::max(widest, line);
            line = 0;
            continue;
        }
        line += glyphWidth(c);
    }
    widest = std::max(widest, line);
    return bold ? widest * 1.07 : widest;
}

double dateFormatCharacters(std::string_view code) {
    if (code.size() == 7 && std::equal(code.begin(), code.end(), "general",
                                       [](char a, char b) { return std::tolower(std::uint8_t(a)) == b; }))
        return -1;
    // Only the first section shows positive numbers and dates.
    double chars = 0;
    bool date = false;
    for (std::size_t i = 0; i < code.size();) {
        const char c = code[i];
        if (c == ';')
            break;
        if (c == '"') {
            const std::size_t end = code.find('"', i + 1);
            const std::string_view literal =
                code.substr(i + 1, (end == std::string_view::npos ? code.size() : end) - i - 1);
            chars += textCharacters(literal, false);
            i = end == std::string_view::npos ? code.size() : end + 1;
            continue;
        }
        if (c == '\\' && i + 1 < code.size()) {
            chars += glyphWidth(std::uint8_t(code[i + 1]));
            i += 2;
            continue;
        }
        if (c == '[') {
            // Colours and conditions show nothing; elapsed hours, minutes or seconds grow.
            const std::size_t end = code.find(']', i);
            const std::string_view inside =
                code.substr(i + 1, end == std::string_view::npos ? 0 : end - i - 1);
            if (!inside.empty() && std::strchr("hHmMsS", inside[0])) {
                chars += 6;
                date = true;
            }
            i = end == std::string_view::npos ? code.size() : end + 1;
            continue;
        }
        const char lower = char(std::tolower(std::uint8_t(c)));
        if (code.substr(i, 5) == "AM/PM" || code.substr(i, 5) == "am/pm") {
            chars += 2.3;
            i += 5;
            continue;
        }
        if (std::strchr("ymdhse", lower)) {
            std::size_t n = 1;
            while (i + n < code.size() && std::tolower(std::uint8_t(code[i + n])) == lower)
                ++n;
            date = true;
            if ((lower == 'm' || lower == 'd') && n >= 4)
                chars += 10; // the longest month or day name
            else if ((lower == 'm' || lower == 'd') && n == 3)
                chars += 3.5;
            else if (lower == 'y' || lower == 'e')
                chars += n <= 2 ? 2 : 4;
            else
                chars += 2;
            i += n;
            continue;
        }
        chars += glyphWidth(std::uint8_t(c));
        ++i;
    }
    return date ? chars : -1;
}

} // namespace workbookfile
