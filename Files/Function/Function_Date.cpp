// The date built-ins (see Function_Date.h for the value and its time zones): creation from
// local fields, validity checks, increments of the UTC fields, local parts and counts within
// the year, spans, comparisons and text forms. The calendar arithmetic is here; the C
// library's time functions are reached through the DateHost_ functions
// (Linux/Function_DateM.cpp).
//
// Arguments are read as reals whatever their kind (only the date_valid_ functions check
// them); a value that names no time gives 0 from the part functions and the empty text from
// the text forms. A conversion the C library refuses gives the value of second -1.
//
// Needs: the real conversions, the function table. Index: [SECTION] Values, Calendar,
// Built-ins, Registration
#include "Files/Function/Function_Date.h"

#include <cmath>
#include <cstring>

#include "Files/Base/RealConvert.h"
#include "Files/Base/Value.h"
#include "Files/Code/Code_Builtin.h"

namespace {

using namespace zbargs;

constexpr double kEpochDays = 25569.0; // 30 December 1899 to 1 January 1970
constexpr double kSecondsPerDay = 86400.0;

// [SECTION] Calendar

bool IsLeap(int64_t year) { return year % 4 == 0 && (year % 400 == 0 || year % 100 != 0); }

int32_t DaysInMonth(int64_t year, int32_t month)
{
    static const int32_t kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (month < 1 || month > 12) return 0;
    return month == 2 && IsLeap(year) ? 29 : kDays[month - 1];
}

// ((days in the months before + day) * 24 - 24 + hour) * 60 + minute) * 60 + second.
int64_t SecondsIntoYear(const DateFields& f, int32_t extraDays)
{
    int64_t days = 0;
    for (int32_t m = 1; m < f.month && m <= 12; m++) days += DaysInMonth(f.year, m);
    return (((days + f.day + extraDays) * 24 - 24 + f.hour) * 60 + f.minute) * 60 + f.second;
}

// The local fields of a date value; false when it names no time.
bool LocalOf(double value, DateFields* f)
{
    int64_t seconds;
    return Date_ToSeconds(value, &seconds) && DateHost_Local(seconds, f);
}

double FromLocalOrFail(int64_t year, int64_t month, int32_t day, int32_t hour, int32_t minute, int32_t second)
{
    int64_t seconds = -1;
    if (!DateHost_FromLocal(year, month, day, hour, minute, second, &seconds)) seconds = -1;
    return Date_FromSeconds(seconds);
}

int32_t Compare(double a, double b)
{
    if (std::isnan(a) || std::isnan(b)) return 0;
    return a < b ? -1 : (a > b ? 1 : 0);
}

double Fraction(double x) { return x - std::trunc(x); }

// True when the reals are whole numbers (finite, no fraction) and exactly count of them were
// given, none a string.
bool WholeArguments(int32_t argc, const ScriptValue* args, int32_t count)
{
    if (argc != count) return false;
    for (int32_t i = 0; i < count; i++) {
        if (Value_IsString(&args[i])) return false;
        double x = args[i].real;
        if (!std::isfinite(x) || x != std::floor(x)) return false;
    }
    return true;
}

bool ValidDate(double year, double month, double day)
{
    if (year < 0 || month < 1 || month > 12 || day < 1) return false;
    bool leapYear = std::fmod(year, 4.0) == 0 && (std::fmod(year, 400.0) == 0 || std::fmod(year, 100.0) != 0);
    static const int32_t kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    int32_t length = kDays[int32_t(month) - 1] + (int32_t(month) == 2 && leapYear ? 1 : 0);
    return day <= length;
}

bool ValidTime(double hour, double minute, double second)
{
    return hour >= 0 && hour <= 23 && minute >= 0 && minute <= 59 && second >= 0 && second <= 59;
}

// [SECTION] Built-ins

ZB_BUILTIN(F_DateCurrent) { Value_SetReal(result, Date_FromSeconds(DateHost_Now())); }

ZB_BUILTIN(F_DateCreateDatetime)
{
    int32_t year = ArgRound(argc, args, 0);
    if (year < 1900) year = 1900;
    Value_SetReal(result, FromLocalOrFail(year, ArgRound(argc, args, 1), ArgRound(argc, args, 2),
                                          ArgRound(argc, args, 3), ArgRound(argc, args, 4), ArgRound(argc, args, 5)));
}

ZB_BUILTIN(F_DateCreateDate)
{
    Value_SetReal(result,
                  FromLocalOrFail(ArgRound(argc, args, 0), ArgRound(argc, args, 1), ArgRound(argc, args, 2), 0, 0, 0));
}

// A time of day alone: that local time on the first day of the count, 30 December 1899, so
// the parts and the text forms give the time back (in UTC it is just the fraction).
ZB_BUILTIN(F_DateCreateTime)
{
    Value_SetReal(result, FromLocalOrFail(1899, 12, 30, ArgRound(argc, args, 0), ArgRound(argc, args, 1),
                                          ArgRound(argc, args, 2)));
}

ZB_BUILTIN(F_DateValidDatetime)
{
    bool ok = WholeArguments(argc, args, 6) && ValidDate(args[0].real, args[1].real, args[2].real) &&
              ValidTime(args[3].real, args[4].real, args[5].real);
    Value_SetReal(result, ok ? 1.0 : 0.0);
}

ZB_BUILTIN(F_DateValidDate)
{
    bool ok = WholeArguments(argc, args, 3) && ValidDate(args[0].real, args[1].real, args[2].real);
    Value_SetReal(result, ok ? 1.0 : 0.0);
}

ZB_BUILTIN(F_DateValidTime)
{
    bool ok = WholeArguments(argc, args, 3) && ValidTime(args[0].real, args[1].real, args[2].real);
    Value_SetReal(result, ok ? 1.0 : 0.0);
}

// Increments. Days, weeks, hours, minutes and seconds of UTC fields are exact multiples of a
// second count (UTC has no daylight saving), so they are added to the seconds directly.
void IncrementSeconds(ScriptValue* result, double date, int64_t amount, int64_t unit)
{
    int64_t seconds;
    if (!Date_ToSeconds(date, &seconds))
        seconds = -1;
    else
        seconds += amount * unit; // |seconds| <= 9e18 and |amount * unit| < 2^51: no overflow
    Value_SetReal(result, Date_FromSeconds(seconds));
}

void IncrementMonths(ScriptValue* result, double date, int64_t months)
{
    int64_t seconds;
    DateFields f;
    if (!Date_ToSeconds(date, &seconds) || !DateHost_Utc(seconds, &f) ||
        !DateHost_FromUtc(f.year, int64_t(f.month) + months, f.day, f.hour, f.minute, f.second, &seconds))
        seconds = -1;
    Value_SetReal(result, Date_FromSeconds(seconds));
}

ZB_BUILTIN(F_DateIncYear) { IncrementMonths(result, ArgReal(argc, args, 0), int64_t(ArgRound(argc, args, 1)) * 12); }
ZB_BUILTIN(F_DateIncMonth) { IncrementMonths(result, ArgReal(argc, args, 0), ArgRound(argc, args, 1)); }
ZB_BUILTIN(F_DateIncWeek) { IncrementSeconds(result, ArgReal(argc, args, 0), ArgRound(argc, args, 1), 7 * 86400); }
ZB_BUILTIN(F_DateIncDay) { IncrementSeconds(result, ArgReal(argc, args, 0), ArgTrunc(argc, args, 1), 86400); }
ZB_BUILTIN(F_DateIncHour) { IncrementSeconds(result, ArgReal(argc, args, 0), ArgRound(argc, args, 1), 3600); }
ZB_BUILTIN(F_DateIncMinute) { IncrementSeconds(result, ArgReal(argc, args, 0), ArgRound(argc, args, 1), 60); }
ZB_BUILTIN(F_DateIncSecond) { IncrementSeconds(result, ArgReal(argc, args, 0), ArgRound(argc, args, 1), 1); }

// A part of the local fields (0 when the value names no time).
template <typename Part>
void LocalPart(ScriptValue* result, int32_t argc, const ScriptValue* args, Part part)
{
    DateFields f;
    Value_SetReal(result, LocalOf(ArgReal(argc, args, 0), &f) ? double(part(f)) : 0.0);
}

ZB_BUILTIN(F_DateGetYear)
{
    LocalPart(result, argc, args, [](const DateFields& f) { return f.year; });
}
ZB_BUILTIN(F_DateGetMonth)
{
    LocalPart(result, argc, args, [](const DateFields& f) { return f.month; });
}
ZB_BUILTIN(F_DateGetDay)
{
    LocalPart(result, argc, args, [](const DateFields& f) { return f.day; });
}
ZB_BUILTIN(F_DateGetHour)
{
    LocalPart(result, argc, args, [](const DateFields& f) { return f.hour; });
}
ZB_BUILTIN(F_DateGetMinute)
{
    LocalPart(result, argc, args, [](const DateFields& f) { return f.minute; });
}
ZB_BUILTIN(F_DateGetSecond)
{
    LocalPart(result, argc, args, [](const DateFields& f) { return f.second; });
}
ZB_BUILTIN(F_DateGetWeek)
{
    LocalPart(result, argc, args, [](const DateFields& f) { return f.yearDay / 7; });
}
ZB_BUILTIN(F_DateGetWeekday)
{
    LocalPart(result, argc, args, [](const DateFields& f) { return f.weekday; });
}
ZB_BUILTIN(F_DateGetDayOfYear)
{
    LocalPart(result, argc, args, [](const DateFields& f) { return SecondsIntoYear(f, 1) / 86400; });
}
ZB_BUILTIN(F_DateGetHourOfYear)
{
    LocalPart(result, argc, args, [](const DateFields& f) { return SecondsIntoYear(f, 0) / 3600; });
}
ZB_BUILTIN(F_DateGetMinuteOfYear)
{
    LocalPart(result, argc, args, [](const DateFields& f) { return SecondsIntoYear(f, 0) / 60; });
}
ZB_BUILTIN(F_DateGetSecondOfYear)
{
    LocalPart(result, argc, args, [](const DateFields& f) { return SecondsIntoYear(f, 0); });
}
ZB_BUILTIN(F_DateDaysInMonth)
{
    LocalPart(result, argc, args, [](const DateFields& f) { return DaysInMonth(f.year, f.month); });
}
ZB_BUILTIN(F_DateDaysInYear)
{
    LocalPart(result, argc, args, [](const DateFields& f) { return IsLeap(f.year) ? 366 : 365; });
}
ZB_BUILTIN(F_DateLeapYear)
{
    LocalPart(result, argc, args, [](const DateFields& f) { return IsLeap(f.year) ? 1 : 0; });
}

ZB_BUILTIN(F_DateIsToday)
{
    DateFields f, today;
    bool same = LocalOf(ArgReal(argc, args, 0), &f) && DateHost_Local(DateHost_Now(), &today) && f.year == today.year &&
                f.month == today.month && f.yearDay == today.yearDay;
    Value_SetReal(result, same ? 1.0 : 0.0);
}

double Span(int32_t argc, const ScriptValue* args)
{
    return std::fabs(ArgReal(argc, args, 0) - ArgReal(argc, args, 1));
}

ZB_BUILTIN(F_DateYearSpan) { Value_SetReal(result, Span(argc, args) / 365.25); }
ZB_BUILTIN(F_DateMonthSpan) { Value_SetReal(result, Span(argc, args) * 0.03285420944558522); }
ZB_BUILTIN(F_DateWeekSpan) { Value_SetReal(result, Span(argc, args) / 7.0); }
ZB_BUILTIN(F_DateDaySpan) { Value_SetReal(result, Span(argc, args)); }
ZB_BUILTIN(F_DateHourSpan) { Value_SetReal(result, Span(argc, args) * 24.0); }
ZB_BUILTIN(F_DateMinuteSpan) { Value_SetReal(result, Span(argc, args) * 1440.0); }
ZB_BUILTIN(F_DateSecondSpan) { Value_SetReal(result, Span(argc, args) * 86400.0); }

ZB_BUILTIN(F_DateCompareDatetime) { Value_SetReal(result, Compare(ArgReal(argc, args, 0), ArgReal(argc, args, 1))); }
ZB_BUILTIN(F_DateCompareDate)
{
    Value_SetReal(result, Compare(std::trunc(ArgReal(argc, args, 0)), std::trunc(ArgReal(argc, args, 1))));
}
ZB_BUILTIN(F_DateCompareTime)
{
    Value_SetReal(result, Compare(Fraction(ArgReal(argc, args, 0)), Fraction(ArgReal(argc, args, 1))));
}
ZB_BUILTIN(F_DateDateOf) { Value_SetReal(result, std::trunc(ArgReal(argc, args, 0))); }
ZB_BUILTIN(F_DateTimeOf) { Value_SetReal(result, Fraction(ArgReal(argc, args, 0))); }

void TextForm(ScriptValue* result, int32_t argc, const ScriptValue* args, const char* format)
{
    Value_SetString(result, "");
    DateFields f;
    if (!LocalOf(ArgReal(argc, args, 0), &f)) return;
    char text[1024];
    if (DateHost_Format(f, format, text, sizeof text) > 0) Value_SetString(result, text);
}

ZB_BUILTIN(F_DateDatetimeString) { TextForm(result, argc, args, "%d/%m/%Y %H:%M:%S"); }
ZB_BUILTIN(F_DateDateString) { TextForm(result, argc, args, "%d/%m/%Y"); }
ZB_BUILTIN(F_DateTimeString) { TextForm(result, argc, args, "%H:%M:%S"); }

} // namespace

// [SECTION] Values

double Date_FromSeconds(int64_t seconds) { return (double(seconds) + 0.5) / kSecondsPerDay + kEpochDays; }

bool Date_ToSeconds(double value, int64_t* seconds)
{
    double s = std::floor((value - kEpochDays) * kSecondsPerDay);
    if (!(s >= -9.0e18 && s <= 9.0e18)) return false; // also not a number
    *seconds = int64_t(s);
    return true;
}

// [SECTION] Registration

void Function_Date_Register()
{
    Function_Add("date_current_datetime", F_DateCurrent, 0);
    Function_Add("date_current_date", F_DateCurrent, 0);
    Function_Add("date_current_time", F_DateCurrent, 0);
    Function_Add("date_create_datetime", F_DateCreateDatetime, 6);
    Function_Add("date_create_date", F_DateCreateDate, 3);
    Function_Add("date_create_time", F_DateCreateTime, 3);
    Function_Add("date_valid_datetime", F_DateValidDatetime, 6);
    Function_Add("date_valid_date", F_DateValidDate, 3);
    Function_Add("date_valid_time", F_DateValidTime, 3);
    Function_Add("date_inc_year", F_DateIncYear, 2);
    Function_Add("date_inc_month", F_DateIncMonth, 2);
    Function_Add("date_inc_week", F_DateIncWeek, 2);
    Function_Add("date_inc_day", F_DateIncDay, 2);
    Function_Add("date_inc_hour", F_DateIncHour, 2);
    Function_Add("date_inc_minute", F_DateIncMinute, 2);
    Function_Add("date_inc_second", F_DateIncSecond, 2);
    Function_Add("date_get_year", F_DateGetYear, 1);
    Function_Add("date_get_month", F_DateGetMonth, 1);
    Function_Add("date_get_week", F_DateGetWeek, 1);
    Function_Add("date_get_day", F_DateGetDay, 1);
    Function_Add("date_get_hour", F_DateGetHour, 1);
    Function_Add("date_get_minute", F_DateGetMinute, 1);
    Function_Add("date_get_second", F_DateGetSecond, 1);
    Function_Add("date_get_weekday", F_DateGetWeekday, 1);
    Function_Add("date_get_day_of_year", F_DateGetDayOfYear, 1);
    Function_Add("date_get_hour_of_year", F_DateGetHourOfYear, 1);
    Function_Add("date_get_minute_of_year", F_DateGetMinuteOfYear, 1);
    Function_Add("date_get_second_of_year", F_DateGetSecondOfYear, 1);
    Function_Add("date_year_span", F_DateYearSpan, 2);
    Function_Add("date_month_span", F_DateMonthSpan, 2);
    Function_Add("date_week_span", F_DateWeekSpan, 2);
    Function_Add("date_day_span", F_DateDaySpan, 2);
    Function_Add("date_hour_span", F_DateHourSpan, 2);
    Function_Add("date_minute_span", F_DateMinuteSpan, 2);
    Function_Add("date_second_span", F_DateSecondSpan, 2);
    Function_Add("date_compare_datetime", F_DateCompareDatetime, 2);
    Function_Add("date_compare_date", F_DateCompareDate, 2);
    Function_Add("date_compare_time", F_DateCompareTime, 2);
    Function_Add("date_date_of", F_DateDateOf, 1);
    Function_Add("date_time_of", F_DateTimeOf, 1);
    Function_Add("date_datetime_string", F_DateDatetimeString, 1);
    Function_Add("date_date_string", F_DateDateString, 1);
    Function_Add("date_time_string", F_DateTimeString, 1);
    Function_Add("date_days_in_month", F_DateDaysInMonth, 1);
    Function_Add("date_days_in_year", F_DateDaysInYear, 1);
    Function_Add("date_leap_year", F_DateLeapYear, 1);
    Function_Add("date_is_today", F_DateIsToday, 1);
}
