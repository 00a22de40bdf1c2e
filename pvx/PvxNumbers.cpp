#include "PvxNumbers.h"

#include <QString>

#include <cstddef>
#include <cstdint>

namespace {
bool isDigit(char c) {
    return c >= '0' && c <= '9';
}

// Plain decimals whose digits form an integer below 2^53 with at most 22 of them in the
// fraction, which are almost all PVX values: the integer and the power of ten are both
// exact doubles, so one division gives the correctly rounded result.
bool fastDecimal(const char* p, const char* end, double& result) {
    static const double powersOfTen[] = {1e0,  1e1,  1e2,  1e3,  1e4,  1e5,  1e6,  1e7,
                                         1e8,  1e9,  1e10, 1e11, 1e12, 1e13, 1e14, 1e15,
                                         1e16, 1e17, 1e18, 1e19, 1e20, 1e21, 1e22};
    constexpr std::uint64_t exactLimit = std::uint64_t(1) << 53;
    constexpr std::ptrdiff_t mostDigits = 19; // no overflow of the 64-bit integer

    const bool negative = p < end && *p == '-';
    if (negative)
        ++p;
    std::uint64_t mantissa = 0;
    const char* const integerStart = p;
    while (p < end && isDigit(*p))
        mantissa = mantissa * 10 + static_cast<std::uint64_t>(*p++ - '0');
    std::ptrdiff_t digits = p - integerStart;
    std::ptrdiff_t fractionDigits = 0;
    if (p < end && *p == '.') {
        const char* const fractionStart = ++p;
        while (p < end && isDigit(*p))
            mantissa = mantissa * 10 + static_cast<std::uint64_t>(*p++ - '0');
        fractionDigits = p - fractionStart;
        digits += fractionDigits;
    }
    if (p != end || digits == 0 || digits > mostDigits || fractionDigits > 22 || mantissa > exactLimit)
        return false;
    const double value = static_cast<double>(mantissa) / powersOfTen[fractionDigits];
    result = negative ? -value : value;
    return true;
}
} // namespace

double pvxTextToDouble(const char* text, std::size_t size, bool* ok) {
    double value = 0.0;
    if (fastDecimal(text, text + size, value)) {
        if (ok)
            *ok = true;
        return value;
    }
    // Exponents, signs other than a leading minus, NaN, infinities and anything unusual
    // take Qt's own path.
    return QString::fromUtf8(text, static_cast<qsizetype>(size)).toDouble(ok);
}
