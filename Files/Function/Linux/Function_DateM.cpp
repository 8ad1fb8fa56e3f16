// The C library's time functions behind the date built-ins (Function_Date.h): the current
// time, local and UTC breakdown (localtime_r, gmtime_r), local and UTC fields to seconds
// (mktime with daylight saving left to the system, timegm) and formatting (strftime). The time
// zone is the process's (TZ, else the system's).
#include "Files/Function/Function_Date.h"

#include <climits>
#include <ctime>

namespace {

void FieldsOf(const struct tm& t, DateFields* out)
{
    int64_t year = int64_t(t.tm_year) + 1900;
    out->year = year > INT32_MAX ? INT32_MAX : int32_t(year);
    out->month = t.tm_mon + 1;
    out->day = t.tm_mday;
    out->hour = t.tm_hour;
    out->minute = t.tm_min;
    out->second = t.tm_sec;
    out->weekday = t.tm_wday;
    out->yearDay = t.tm_yday;
}

// Fills a broken-down time from fields, the month carried into the year first. False when the
// year does not fit.
bool TmOf(int64_t year, int64_t month, int32_t day, int32_t hour, int32_t minute, int32_t second, struct tm* t)
{
    int64_t m0 = month - 1; // both within +-2^31, so no overflow
    int64_t carry = m0 >= 0 ? m0 / 12 : -((-m0 + 11) / 12);
    m0 -= carry * 12;
    if (year > INT64_MAX / 2 || year < INT64_MIN / 2) return false;
    int64_t y = year + carry - 1900;
    if (y < INT_MIN || y > INT_MAX) return false;
    *t = {};
    t->tm_year = int(y);
    t->tm_mon = int(m0);
    t->tm_mday = day;
    t->tm_hour = hour;
    t->tm_min = minute;
    t->tm_sec = second;
    t->tm_isdst = -1;
    t->tm_wday = -1; // set by a conversion that succeeded
    return true;
}

} // namespace

int64_t DateHost_Now() { return int64_t(std::time(nullptr)); }

bool DateHost_Local(int64_t seconds, DateFields* out)
{
    time_t s = time_t(seconds);
    struct tm t;
    if (!localtime_r(&s, &t)) return false;
    FieldsOf(t, out);
    return true;
}

bool DateHost_Utc(int64_t seconds, DateFields* out)
{
    time_t s = time_t(seconds);
    struct tm t;
    if (!gmtime_r(&s, &t)) return false;
    FieldsOf(t, out);
    return true;
}

bool DateHost_FromLocal(int64_t year, int64_t month, int32_t day, int32_t hour, int32_t minute, int32_t second,
                        int64_t* seconds)
{
    struct tm t;
    if (!TmOf(year, month, day, hour, minute, second, &t)) return false;
    time_t s = mktime(&t);
    if (s == time_t(-1) && t.tm_wday == -1) return false;
    *seconds = int64_t(s);
    return true;
}

bool DateHost_FromUtc(int64_t year, int64_t month, int32_t day, int32_t hour, int32_t minute, int32_t second,
                      int64_t* seconds)
{
    struct tm t;
    if (!TmOf(year, month, day, hour, minute, second, &t)) return false;
    t.tm_isdst = 0;
    time_t s = timegm(&t);
    if (s == time_t(-1) && t.tm_wday == -1) return false;
    *seconds = int64_t(s);
    return true;
}

size_t DateHost_Format(const DateFields& fields, const char* format, char* out, size_t capacity)
{
    if (!out || capacity == 0) return 0;
    struct tm t = {};
    t.tm_year = int(int64_t(fields.year) - 1900);
    t.tm_mon = fields.month - 1;
    t.tm_mday = fields.day;
    t.tm_hour = fields.hour;
    t.tm_min = fields.minute;
    t.tm_sec = fields.second;
    t.tm_wday = fields.weekday;
    t.tm_yday = fields.yearDay;
    t.tm_isdst = -1;
    size_t n = strftime(out, capacity, format, &t);
    if (n == 0) out[0] = 0;
    return n;
}
