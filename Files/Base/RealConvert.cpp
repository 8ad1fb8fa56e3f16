// x86 real-to-integer conversions and locale-free decimal text of reals. Needs only the
// standard library (std::from_chars / std::to_chars, which ignore the locale).
#include "Files/Base/RealConvert.h"

#include <charconv>
#include <cmath>
#include <cstring>
#include <limits>

int32_t Real_FloorToInt32(double x) { return Real_TruncToInt32(std::floor(x)); }
int32_t Real_CeilToInt32(double x) { return Real_TruncToInt32(std::ceil(x)); }

namespace {

bool IsDigit(char c) { return c >= '0' && c <= '9'; }
bool IsSpace(char c) { return c == ' ' || (c >= '\t' && c <= '\r'); }

} // namespace

double Real_ParseDecimal(const char* text, const char** end)
{
    if (end) *end = text;
    if (!text) return 0.0;
    const char* p = text;
    while (IsSpace(*p)) p++;
    bool negative = false;
    if (*p == '+' || *p == '-') {
        negative = *p == '-';
        p++;
    }
    const char* mantissa = p;
    // Decimal magnitude of the first nonzero digit (for the out-of-range direction).
    int64_t magnitude = 0;
    bool seenNonZero = false;
    int32_t digits = 0;
    while (IsDigit(*p)) {
        if (*p != '0') seenNonZero = true;
        if (seenNonZero) magnitude++;
        p++;
        digits++;
    }
    if (*p == '.') {
        p++;
        while (IsDigit(*p)) {
            if (!seenNonZero) {
                if (*p != '0') seenNonZero = true;
                else magnitude--;
            }
            p++;
            digits++;
        }
    }
    if (digits == 0) return 0.0;
    const char* numberEnd = p;
    int64_t exponent = 0;
    if (*p == 'e' || *p == 'E') {
        const char* q = p + 1;
        bool expNegative = false;
        if (*q == '+' || *q == '-') {
            expNegative = *q == '-';
            q++;
        }
        if (IsDigit(*q)) {
            while (IsDigit(*q)) {
                if (exponent < 1000000000) exponent = exponent * 10 + (*q - '0');
                q++;
            }
            if (expNegative) exponent = -exponent;
            numberEnd = q;
        }
    }
    if (end) *end = numberEnd;
    double value = 0.0;
    auto result = std::from_chars(mantissa, numberEnd, value, std::chars_format::general);
    if (result.ec == std::errc::result_out_of_range) {
        value = (magnitude + exponent > 0) ? std::numeric_limits<double>::infinity() : 0.0;
    } else if (result.ec != std::errc()) {
        value = 0.0;
    }
    return negative ? -value : value;
}

namespace {

// Room for the largest double in fixed notation (309 digits), a sign, the point and the
// decimals.
constexpr size_t kFixedBuffer = 320 + kRealMaxDecimals;

int32_t FormatInto(char (&buffer)[kFixedBuffer], double x, int32_t decimals)
{
    if (decimals < 0) decimals = 0;
    if (decimals > kRealMaxDecimals) decimals = kRealMaxDecimals;
    if (std::isnan(x)) {
        const char* s = std::signbit(x) ? "-nan" : "nan";
        std::strcpy(buffer, s);
        return int32_t(std::strlen(s));
    }
    auto result = std::to_chars(buffer, buffer + kFixedBuffer - 1, x, std::chars_format::fixed, decimals);
    if (result.ec != std::errc()) {
        buffer[0] = 0;
        return 0;
    }
    *result.ptr = 0;
    return int32_t(result.ptr - buffer);
}

} // namespace

int32_t Real_FormatFixed(char* out, size_t capacity, double x, int32_t decimals)
{
    char buffer[kFixedBuffer];
    int32_t n = FormatInto(buffer, x, decimals);
    if (out && size_t(n) < capacity) std::memcpy(out, buffer, size_t(n) + 1);
    return n;
}

int32_t Real_FixedLength(double x, int32_t decimals)
{
    char buffer[kFixedBuffer];
    return FormatInto(buffer, x, decimals);
}
