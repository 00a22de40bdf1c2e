#include "NumberText.h"

#include <charconv>
#include <cstdint>
#include <iterator>

namespace workbookfile {

namespace {

const double powersOfTen[] = {1e0, 1e1, 1e2, 1e3, 1e4, 1e5, 1e6, 1e7, 1e8, 1e9};

// Below 2^45 a double scaled by 10^k lies within 1/128 of the integer any decimal of k fraction
// digits that reads back as it would scale to, so the nearest integer is the only candidate, and
// the first k whose candidate reads back gives the fewest digits: the text std::to_chars writes.
constexpr double kScaledLimit = 35184372088832.0; // 2^45

// Most numbers of a study are decimals of a few fraction digits, for which this is about twice as
// fast as the general shortest-text search. Writes the fixed form into out and returns its end, or
// nullptr where the value needs more digits, is too large or small, or std::to_chars would write
// the scientific form because it is shorter.
char* shortDecimal(double value, char* out) {
    const double magnitude = value < 0 ? -value : value;
    if (!(magnitude > 0) || magnitude >= kScaledLimit)
        return nullptr;
    for (int k = 0; k < int(std::size(powersOfTen)); ++k) {
        const double scaled = magnitude * powersOfTen[k];
        if (scaled >= kScaledLimit)
            return nullptr;
        const std::uint64_t m = std::uint64_t(scaled + 0.5);
        if (double(m) / powersOfTen[k] != magnitude)
            continue;
        char digits[24]; // m, least significant digit first
        int count = 0;
        for (std::uint64_t rest = m; rest; rest /= 10)
            digits[count++] = char('0' + rest % 10);
        const int integerDigits = count > k ? count - k : 0;
        const int fixedLength = (value < 0) + (integerDigits ? integerDigits : 1) + (k ? 1 + k : 0);
        int trailingZeros = 0;
        while (digits[trailingZeros] == '0')
            ++trailingZeros;
        const int significant = count - trailingZeros;
        const int exponent = count - 1 - k;
        const int scientificLength = (value < 0) + 1 + (significant > 1 ? significant : 0) + 2 +
                                     (exponent >= 100 || exponent <= -100 ? 3 : 2);
        if (scientificLength < fixedLength)
            return nullptr;
        if (value < 0)
            *out++ = '-';
        if (!integerDigits)
            *out++ = '0';
        for (int i = count - 1; i >= k; --i)
            *out++ = digits[i];
        if (k) {
            *out++ = '.';
            for (int i = k - 1; i >= 0; --i)
                *out++ = i < count ? digits[i] : '0';
        }
        return out;
    }
    return nullptr;
}

} // namespace

char* writeNumber(char* out, double value) {
    if (value == 0)
        value = 0; // -0 reads as 0, as the spreadsheet writes it
    char* end = shortDecimal(value, out);
    return end ? end : std::to_chars(out, out + kNumberTextRoom, value).ptr;
}

void appendNumber(std::string& out, double value) {
    char buf[kNumberTextRoom];
    out.append(buf, writeNumber(buf, value));
}

} // namespace workbookfile
