// A small native library for the external-call tests: functions of real and string arguments
// and results, loaded through external_define as "zbtestext.dll" (libzbtestext.so).
#include <cstring>

extern "C" {

double zbt_const() { return 42.5; }

double zbt_add(double a, double b) { return a + b; }

// Weighted so that any mix-up of the argument order shows.
double zbt_sum16(double a1, double a2, double a3, double a4, double a5, double a6, double a7, double a8, double a9,
                 double a10, double a11, double a12, double a13, double a14, double a15, double a16)
{
    return a1 + 2 * a2 + 3 * a3 + 4 * a4 + 5 * a5 + 6 * a6 + 7 * a7 + 8 * a8 + 9 * a9 + 10 * a10 + 11 * a11 +
           12 * a12 + 13 * a13 + 14 * a14 + 15 * a15 + 16 * a16;
}

double zbt_sum8(double a1, double a2, double a3, double a4, double a5, double a6, double a7, double a8)
{
    return a1 + 2 * a2 + 3 * a3 + 4 * a4 + 5 * a5 + 6 * a6 + 7 * a7 + 8 * a8;
}

double zbt_len4(const char* a, const char* b, const char* c, const char* d)
{
    return double(std::strlen(a) + 10 * std::strlen(b) + 100 * std::strlen(c) + 1000 * std::strlen(d));
}

double zbt_mixed(double a, const char* s, double b, const char* t)
{
    return a * 1000 + double(std::strlen(s)) * 100 + b * 10 + double(std::strlen(t));
}

const char* zbt_concat(const char* a, const char* b)
{
    static char buffer[4096];
    std::strncpy(buffer, a, sizeof buffer - 1);
    buffer[sizeof buffer - 1] = 0;
    std::strncat(buffer, b, sizeof buffer - 1 - std::strlen(buffer));
    return buffer;
}

const char* zbt_null() { return nullptr; }

// Writes into its argument: the caller's own text must not change.
double zbt_scribble(char* s)
{
    double n = double(std::strlen(s));
    for (char* p = s; *p; p++) *p = '#';
    return n;
}

} // extern "C"
