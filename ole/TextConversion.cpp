#include "OleAutomation.h"
#include "Utf8.h"

#include <cstring>
#include <string>

namespace {
bool isUtf8CodePage(UINT codePage) {
    return codePage == CP_ACP || codePage == CP_THREAD_ACP || codePage == CP_UTF8;
}

// Decodes UTF-8; every byte that does not start a valid sequence becomes U+FFFD.
std::u16string decodeUtf8(const unsigned char* s, size_t n) {
    std::u16string out;
    out.reserve(n);
    size_t i = 0;
    while (i < n) {
        const unsigned char b = s[i];
        char32_t cp = 0;
        size_t length = 0;
        char32_t minimum = 0;
        if (b < 0x80) {
            cp = b;
            length = 1;
        } else if (b >= 0xC2 && b <= 0xDF) {
            cp = b & 0x1F;
            length = 2;
            minimum = 0x80;
        } else if (b >= 0xE0 && b <= 0xEF) {
            cp = b & 0x0F;
            length = 3;
            minimum = 0x800;
        } else if (b >= 0xF0 && b <= 0xF4) {
            cp = b & 0x07;
            length = 4;
            minimum = 0x10000;
        }
        bool valid = length > 0 && i + length <= n;
        for (size_t k = 1; valid && k < length; ++k) {
            if ((s[i + k] & 0xC0) != 0x80)
                valid = false;
            else
                cp = (cp << 6) | (s[i + k] & 0x3F);
        }
        if (valid && (cp < minimum || cp > 0x10FFFF || (cp >= 0xD800 && cp <= 0xDFFF)))
            valid = false;
        if (!valid) {
            out.push_back(u'\xFFFD');
            ++i;
            continue;
        }
        if (cp >= 0x10000) {
            cp -= 0x10000;
            out.push_back(char16_t(0xD800 + (cp >> 10)));
            out.push_back(char16_t(0xDC00 + (cp & 0x3FF)));
        } else {
            out.push_back(char16_t(cp));
        }
        i += length;
    }
    return out;
}

// Encodes UTF-16; an unpaired surrogate becomes U+FFFD.
std::string encodeUtf8(const char16_t* s, size_t n) {
    std::string out;
    out.reserve(n);
    for (size_t i = 0; i < n; ++i) {
        char32_t cp = s[i];
        if (cp >= 0xD800 && cp <= 0xDBFF && i + 1 < n && s[i + 1] >= 0xDC00 && s[i + 1] <= 0xDFFF) {
            cp = 0x10000 + ((cp - 0xD800) << 10) + (s[i + 1] - 0xDC00);
            ++i;
        } else if (cp >= 0xD800 && cp <= 0xDFFF) {
            cp = 0xFFFD;
        }
        appendUtf8(out, cp);
    }
    return out;
}
} // namespace

int MultiByteToWideChar(UINT CodePage, DWORD, LPCSTR lpMultiByteStr, int cbMultiByte, LPWSTR lpWideCharStr,
                        int cchWideChar) {
    if (!isUtf8CodePage(CodePage) || !lpMultiByteStr || cbMultiByte == 0 || cbMultiByte < -1 ||
        cchWideChar < 0)
        return 0;
    // A length of -1 means the input ends at its zero, which is converted too.
    const size_t length = cbMultiByte == -1 ? std::strlen(lpMultiByteStr) + 1 : size_t(cbMultiByte);
    const std::u16string wide = decodeUtf8(reinterpret_cast<const unsigned char*>(lpMultiByteStr), length);
    if (cchWideChar == 0)
        return int(wide.size());
    if (!lpWideCharStr || wide.size() > size_t(cchWideChar))
        return 0;
    std::memcpy(lpWideCharStr, wide.data(), wide.size() * sizeof(WCHAR));
    return int(wide.size());
}

int WideCharToMultiByte(UINT CodePage, DWORD, LPCWSTR lpWideCharStr, int cchWideChar, LPSTR lpMultiByteStr,
                        int cbMultiByte, LPCSTR, BOOL* lpUsedDefaultChar) {
    if (!isUtf8CodePage(CodePage) || !lpWideCharStr || cchWideChar == 0 || cchWideChar < -1 ||
        cbMultiByte < 0)
        return 0;
    size_t length = 0;
    if (cchWideChar == -1) {
        while (lpWideCharStr[length])
            ++length;
        ++length;
    } else {
        length = size_t(cchWideChar);
    }
    const std::string narrow = encodeUtf8(lpWideCharStr, length);
    // Every character has a UTF-8 form, so the default character is never needed.
    if (lpUsedDefaultChar)
        *lpUsedDefaultChar = 0;
    if (cbMultiByte == 0)
        return int(narrow.size());
    if (!lpMultiByteStr || narrow.size() > size_t(cbMultiByte))
        return 0;
    std::memcpy(lpMultiByteStr, narrow.data(), narrow.size());
    return int(narrow.size());
}
