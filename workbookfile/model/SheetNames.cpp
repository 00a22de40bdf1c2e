#include "SheetNames.h"

#include "Utf.h"
#include "Workbook.h"

#include <locale.h>
#include <wctype.h>

namespace workbookfile {

namespace {

char32_t lowerCase(char32_t c) {
    if (c < 0x80)
        return (c >= 'A' && c <= 'Z') ? c + 32 : c;
    if ((c >= 0xC0 && c <= 0xDE && c != 0xD7))
        return c + 32; // Latin-1 capitals
    if (c >= 0x100 && c <= 0x17F && c != 0x130 && c != 0x131 && c != 0x138 && c != 0x149 && c != 0x17F) {
        // Latin Extended-A alternates capital/small, with a shifted run between 0x139 and 0x148
        // and between 0x179 and 0x17E.
        bool shifted = (c >= 0x139 && c <= 0x148) || (c >= 0x179 && c <= 0x17E);
        bool capital = shifted ? (c % 2 == 1) : (c % 2 == 0);
        return capital ? c + 1 : c;
    }
    if (c >= 0x391 && c <= 0x3AB && c != 0x3A2)
        return c + 32; // Greek
    if (c >= 0x410 && c <= 0x42F)
        return c + 32; // Cyrillic basic
    if (c >= 0x400 && c <= 0x40F)
        return c + 80; // Cyrillic with diacritics
    if (c >= 0xFF21 && c <= 0xFF3A)
        return c + 32; // full-width Latin
    return c;
}

// Full simple case mapping from the C library's UTF-8 locale (independent of the process locale),
// with the table above when that locale is missing.
char32_t foldCase(char32_t c) {
    static const locale_t utf8 = newlocale(LC_CTYPE_MASK, "C.UTF-8", locale_t(nullptr));
    if (utf8)
        return char32_t(towlower_l(wint_t(c), utf8));
    return lowerCase(c);
}

} // namespace

void checkSheetName(std::string_view name) {
    std::string quoted = "\"" + std::string(name) + "\"";
    std::u16string units = toUtf16(name); // throws on invalid UTF-8
    if (units.empty())
        throw Error(ErrorKind::LimitExceeded, "A sheet name cannot be empty.");
    if (units.size() > std::size_t(kMaxSheetNameLength))
        throw Error(ErrorKind::LimitExceeded, "The sheet name " + quoted + " is longer than 31 characters.");
    for (char16_t c : units)
        if (c == u':' || c == u'\\' || c == u'/' || c == u'?' || c == u'*' || c == u'[' || c == u']')
            throw Error(ErrorKind::LimitExceeded,
                        "The sheet name " + quoted + " contains one of the characters : \\ / ? * [ ].");
    for (char16_t c : units)
        if (c < 0x20)
            throw Error(ErrorKind::LimitExceeded,
                        "The sheet name " + quoted + " contains a control character.");
    // XML may not hold them, so a workbook part naming the sheet would open in no reader.
    for (char16_t c : units)
        if (c == 0xFFFE || c == 0xFFFF)
            throw Error(ErrorKind::LimitExceeded,
                        "The sheet name " + quoted +
                            " contains U+FFFE or U+FFFF, which a workbook cannot hold.");
    if (units.front() == u'\'' || units.back() == u'\'')
        throw Error(ErrorKind::LimitExceeded,
                    "The sheet name " + quoted + " begins or ends with an apostrophe.");
    if (foldSheetName(name) == "history")
        throw Error(ErrorKind::LimitExceeded, "The name \"History\" is reserved by the spreadsheet.");
}

std::string foldSheetName(std::string_view name) {
    std::u16string units;
    try {
        units = toUtf16(name);
    } catch (const Error&) {
        return std::string(name);
    }
    std::string out;
    out.reserve(name.size());
    for (std::size_t i = 0; i < units.size(); ++i) {
        char32_t c = units[i];
        if (c >= 0xD800 && c <= 0xDBFF && i + 1 < units.size()) {
            c = 0x10000 + ((c - 0xD800) << 10) + (units[i + 1] - 0xDC00);
            ++i;
        }
        appendUtf8(out, foldCase(c));
    }
    return out;
}

} // namespace workbookfile
