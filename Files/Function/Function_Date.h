// The date built-ins of the "Misc.." group (date_*): calendar dates and times as plain reals,
// with arithmetic, parts, spans, comparisons and text forms (Function_Date.cpp), over the C
// library's time functions (Linux/Function_DateM.cpp).
//
// A date-time is one real: days since 30 December 1899 00:00 UTC, the fraction being the time
// of day. From seconds since 1 January 1970 UTC: (seconds + 0.5) / 86400 + 25569 (the half
// second keeps the way back from landing on the second before); back: floor((value - 25569)
// * 86400). The create functions read their fields as local time; the get functions, day
// counts, date_is_today and the text forms break values down in local time; the increment
// functions step the UTC fields.
#pragma once

#include <cstddef>
#include <cstdint>

// Registers the date built-ins (Function_Misc_Init calls it after the variable built-ins).
void Function_Date_Register();

// Seconds since 1970 UTC <-> date values.
double Date_FromSeconds(int64_t seconds);
// False for a value that names no second a 64-bit count can hold (not a number, infinite,
// beyond the range).
bool Date_ToSeconds(double value, int64_t* seconds);

// ---- Host (Linux/Function_DateM.cpp) ---------------------------------------------------------
// Calendar fields as the C library's broken-down time has them.
struct DateFields {
    int32_t year;    // full year (1970, not 70)
    int32_t month;   // 1..12
    int32_t day;     // 1..31
    int32_t hour, minute, second;
    int32_t weekday; // 0 Sunday .. 6 Saturday
    int32_t yearDay; // 0 for 1 January
};

// Seconds since 1970 UTC now.
int64_t DateHost_Now();
// Breaks seconds down in local time or UTC; false when the C library cannot.
bool DateHost_Local(int64_t seconds, DateFields* out);
bool DateHost_Utc(int64_t seconds, DateFields* out);
// Seconds of local (daylight saving decided by the system) or UTC fields; fields out of
// their range carry into the next (month 13 is January of the next year, day 0 the last day
// of the month before). False when the C library cannot convert them. Year and month are
// 64-bit so that a month count is carried into the year before anything can overflow.
bool DateHost_FromLocal(int64_t year, int64_t month, int32_t day, int32_t hour, int32_t minute, int32_t second,
                        int64_t* seconds);
bool DateHost_FromUtc(int64_t year, int64_t month, int32_t day, int32_t hour, int32_t minute, int32_t second,
                      int64_t* seconds);
// Formats fields with a C time-format text; the number of bytes written (0 when it does not
// fit).
size_t DateHost_Format(const DateFields& fields, const char* format, char* out, size_t capacity);
