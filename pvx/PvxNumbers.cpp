#include "PvxNumbers.h"

#include <QString>

#include <charconv>
#include <cmath>

namespace {
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Plain decimal: optional minus, digits with an optional fraction, optional exponent.
bool isPlainDecimal(const char* p, const char* end, bool& hasNonZeroDigit) {
    hasNonZeroDigit = false;
    if (p < end && *p == '-')
        ++p;
    bool mantissaDigits = false;
    while (p < end && isDigit(*p)) {
        hasNonZeroDigit |= *p != '0';
        mantissaDigits = true;
        ++p;
    }
    if (p < end && *p == '.') {
        ++p;
        while (p < end && isDigit(*p)) {
            hasNonZeroDigit |= *p != '0';
            mantissaDigits = true;
            ++p;
        }
    }
    if (!mantissaDigits)
        return false;
    if (p < end && (*p == 'e' || *p == 'E')) {
        ++p;
        if (p < end && (*p == '-' || *p == '+'))
            ++p;
        if (p == end || !isDigit(*p))
            return false;
        while (p < end && isDigit(*p))
            ++p;
    }
    return p == end;
}
} // namespace

double pvxTextToDouble(const char* text, std::size_t size) {
    // Long texts, signs other than a leading minus, and anything unusual take Qt's own path.
    constexpr std::size_t longestFastText = 32;
    bool hasNonZeroDigit = false;
    if (size > 0 && size <= longestFastText && isPlainDecimal(text, text + size, hasNonZeroDigit)) {
        double value = 0.0;
        const auto [end, error] = std::from_chars(text, text + size, value);
        const bool normalResult = std::isnormal(value) || (value == 0.0 && !hasNonZeroDigit);
        if (error == std::errc() && end == text + size && normalResult)
            return value;
    }
    return QString::fromUtf8(text, static_cast<qsizetype>(size)).toDouble();
}
