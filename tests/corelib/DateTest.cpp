// The date built-ins: values and their way back to seconds, creation from local fields, the
// local parts, counts within the year, text forms and month steps checked against Python's
// datetime and zoneinfo (tests/data/corelib/dateoracle.py) in several time zones (with daylight
// saving, half-hour and 45-minute offsets); validity, spans, comparisons and values that name
// no time.
#include <time.h>

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <random>
#include <sstream>

#include "Files/Function/Function_Date.h"
#include "corelib/CorelibTestSupport.h"
#include "support/ScratchFolder.h"

namespace {

// Runs the test in a time zone (TZ) and restores the process's afterwards.
class InZone {
public:
    explicit InZone(const char* zone)
    {
        const char* old = std::getenv("TZ");
        m_had = old != nullptr;
        if (old) m_saved = old;
        setenv("TZ", zone, 1);
        tzset();
    }
    ~InZone()
    {
        if (m_had)
            setenv("TZ", m_saved.c_str(), 1);
        else
            unsetenv("TZ");
        tzset();
    }

private:
    std::string m_saved;
    bool m_had = false;
};

class DateBuiltins : public CorelibTest {
protected:
    double Create(int y, int mo, int d, int h, int mi, int s)
    {
        return Num("date_create_datetime", {y, mo, d, h, mi, s});
    }
};

const char* const kZones[] = {"UTC", "Europe/Berlin", "America/New_York", "Australia/Lord_Howe", "Asia/Kathmandu"};

std::vector<std::string> Lines(const std::string& text)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string l; std::getline(in, l);) out.push_back(l);
    return out;
}

// [SECTION] Values

TEST_F(DateBuiltins, ValuesAndSecondsRoundTrip)
{
    EXPECT_EQ(Date_FromSeconds(0), 25569.0 + 0.5 / 86400.0);
    EXPECT_EQ(Date_FromSeconds(-1), 25569.0 - 0.5 / 86400.0);
    std::mt19937_64 rng(7);
    for (int i = 0; i < 100000; i++) {
        int64_t s = int64_t(rng() % 20000000000ull) - 10000000000ll; // years 1653 .. 2286
        int64_t back = 0;
        ASSERT_TRUE(Date_ToSeconds(Date_FromSeconds(s), &back));
        ASSERT_EQ(back, s);
    }
    int64_t s;
    EXPECT_FALSE(Date_ToSeconds(std::nan(""), &s));
    EXPECT_FALSE(Date_ToSeconds(HUGE_VAL, &s));
    EXPECT_FALSE(Date_ToSeconds(-1e300, &s));
}

TEST_F(DateBuiltins, EpochInUtc)
{
    InZone zone("UTC");
    double v = Create(1970, 1, 1, 0, 0, 0);
    EXPECT_EQ(v, 25569.0 + 0.5 / 86400.0);
    EXPECT_NEAR(v, 25569.0000057870, 1e-10);
    // The value names 1970 (nothing special happens near 25569).
    EXPECT_EQ(Num("date_get_year", {v}), 1970);
    EXPECT_EQ(Num("date_get_second", {v}), 0);
    EXPECT_EQ(Num("date_get_year", {25569.00005}), 1970);
    EXPECT_EQ(Num("date_create_date", {1970, 1, 1}), v);
}

// [SECTION] Against the oracle

TEST_F(DateBuiltins, CreationFromLocalFieldsMatchesTheOracle)
{
    std::mt19937 rng(11);
    for (const char* tz : kZones) {
        InZone zone(tz);
        struct Fields {
            int y, mo, d, h, mi, s;
        };
        std::vector<Fields> cases;
        for (int i = 0; i < 300; i++)
            cases.push_back({1901 + int(rng() % 298), 1 + int(rng() % 12), 1 + int(rng() % 28), int(rng() % 24),
                             int(rng() % 60), int(rng() % 60)});
        // Around the daylight-saving changes of a few years: every half hour of the nights.
        for (int y : {1975, 2007, 2024, 2100})
            for (int mo : {3, 4, 9, 10, 11})
                for (int d : {1, 5, 8, 15, 27, 31})
                    for (int hh = 0; hh < 6; hh++) cases.push_back({y, mo, d, hh / 2 + 1, (hh % 2) * 30, 15});
        std::string input;
        for (const Fields& f : cases)
            input += "create " + std::string(tz) + " " + std::to_string(f.y) + " " + std::to_string(f.mo) + " " +
                     std::to_string(f.d) + " " + std::to_string(f.h) + " " + std::to_string(f.mi) + " " +
                     std::to_string(f.s) + "\n";
        std::vector<std::string> answers = Lines(RunPython("corelib/dateoracle.py", input));
        ASSERT_EQ(answers.size(), cases.size());
        int compared = 0;
        for (size_t i = 0; i < cases.size(); i++) {
            if (answers[i] == "skip") continue;
            const Fields& f = cases[i];
            double expected = Date_FromSeconds(std::stoll(answers[i]));
            ASSERT_EQ(Create(f.y, f.mo, f.d, f.h, f.mi, f.s), expected)
                << tz << " " << f.y << "-" << f.mo << "-" << f.d << " " << f.h << ":" << f.mi << ":" << f.s;
            // And the parts give the fields back.
            double v = expected;
            ASSERT_EQ(Num("date_get_year", {v}), f.y);
            ASSERT_EQ(Num("date_get_month", {v}), f.mo);
            ASSERT_EQ(Num("date_get_day", {v}), f.d);
            ASSERT_EQ(Num("date_get_hour", {v}), f.h);
            ASSERT_EQ(Num("date_get_minute", {v}), f.mi);
            ASSERT_EQ(Num("date_get_second", {v}), f.s);
            if (f.h == 0 && f.mi == 0 && f.s == 0) {
                ASSERT_EQ(Num("date_create_date", {f.y, f.mo, f.d}), v);
            }
            compared++;
        }
        EXPECT_GT(compared, 300) << tz;
    }
}

TEST_F(DateBuiltins, LocalPartsCountsAndTextMatchTheOracle)
{
    std::mt19937_64 rng(5);
    for (const char* tz : kZones) {
        InZone zone(tz);
        std::vector<int64_t> seconds;
        for (int i = 0; i < 400; i++) seconds.push_back(int64_t(rng() % 9000000000ull) - 2000000000ll);
        for (int64_t s : {int64_t(0), int64_t(-1), int64_t(951782400) /* 29 Feb 2000 */, int64_t(1711846800),
                          int64_t(1711846799), int64_t(1730001600)})
            seconds.push_back(s);
        std::string input;
        for (int64_t s : seconds) {
            input += "parts " + std::string(tz) + " " + std::to_string(s) + "\n";
            input += "format " + std::string(tz) + " " + std::to_string(s) + "\n";
        }
        std::vector<std::string> answers = Lines(RunPython("corelib/dateoracle.py", input));
        ASSERT_EQ(answers.size(), seconds.size() * 2);
        for (size_t i = 0; i < seconds.size(); i++) {
            std::istringstream in(answers[2 * i]);
            int y, mo, d, h, mi, s, wd, yd;
            in >> y >> mo >> d >> h >> mi >> s >> wd >> yd;
            double v = Date_FromSeconds(seconds[i]);
            SCOPED_TRACE(std::string(tz) + " " + std::to_string(seconds[i]));
            ASSERT_EQ(Num("date_get_year", {v}), y);
            ASSERT_EQ(Num("date_get_month", {v}), mo);
            ASSERT_EQ(Num("date_get_day", {v}), d);
            ASSERT_EQ(Num("date_get_hour", {v}), h);
            ASSERT_EQ(Num("date_get_minute", {v}), mi);
            ASSERT_EQ(Num("date_get_second", {v}), s);
            ASSERT_EQ(Num("date_get_weekday", {v}), wd);
            ASSERT_EQ(Num("date_get_week", {v}), yd / 7);
            ASSERT_EQ(Num("date_get_day_of_year", {v}), yd + 1);
            int64_t intoYear = int64_t(yd) * 86400 + h * 3600 + mi * 60 + s;
            ASSERT_EQ(Num("date_get_second_of_year", {v}), double(intoYear));
            ASSERT_EQ(Num("date_get_minute_of_year", {v}), double(intoYear / 60));
            ASSERT_EQ(Num("date_get_hour_of_year", {v}), double(intoYear / 3600));
            bool leap = (y % 4 == 0 && y % 100 != 0) || y % 400 == 0;
            static const int kDays[12] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
            ASSERT_EQ(Num("date_days_in_month", {v}), kDays[mo - 1] + (mo == 2 && leap ? 1 : 0));
            ASSERT_EQ(Num("date_days_in_year", {v}), leap ? 366 : 365);
            ASSERT_EQ(Num("date_leap_year", {v}), leap ? 1 : 0);
            const std::string& text = answers[2 * i + 1];
            ASSERT_EQ(Str("date_datetime_string", {v}), text);
            ASSERT_EQ(Str("date_date_string", {v}), text.substr(0, 10));
            ASSERT_EQ(Str("date_time_string", {v}), text.substr(11));
        }
    }
}

TEST_F(DateBuiltins, MonthAndYearStepsMatchTheOracle)
{
    InZone zone("America/New_York"); // the steps are in UTC whatever the zone
    std::mt19937_64 rng(3);
    struct Step {
        int64_t seconds;
        int months;
    };
    std::vector<Step> steps;
    for (int i = 0; i < 400; i++)
        steps.push_back({int64_t(rng() % 4000000000ull), int(rng() % 2401) - 1200});
    steps.push_back({1706659200, 1}); // 31 January 2024 + 1 month = 2 March
    steps.push_back({951782400, 12}); // 29 February 2000 + 1 year = 1 March 2001
    std::string input;
    for (const Step& s : steps) input += "incmonth " + std::to_string(s.seconds) + " " + std::to_string(s.months) + "\n";
    std::vector<std::string> answers = Lines(RunPython("corelib/dateoracle.py", input));
    ASSERT_EQ(answers.size(), steps.size());
    for (size_t i = 0; i < steps.size(); i++) {
        if (answers[i] == "skip") continue;
        double v = Date_FromSeconds(steps[i].seconds);
        double expected = Date_FromSeconds(std::stoll(answers[i]));
        ASSERT_EQ(Num("date_inc_month", {v, steps[i].months}), expected) << steps[i].seconds << " " << steps[i].months;
        if (steps[i].months % 12 == 0) {
            ASSERT_EQ(Num("date_inc_year", {v, steps[i].months / 12}), expected);
        }
    }
    EXPECT_EQ(Num("date_inc_month", {Date_FromSeconds(1706659200), 1}), Date_FromSeconds(1709337600));
}

// [SECTION] Steps of days and smaller units

TEST_F(DateBuiltins, SmallerStepsAddWholeUnits)
{
    double v = Date_FromSeconds(1000000000);
    EXPECT_EQ(Num("date_inc_day", {v, 1.9}), Date_FromSeconds(1000000000 + 86400));  // truncated
    EXPECT_EQ(Num("date_inc_day", {v, -1.9}), Date_FromSeconds(1000000000 - 86400)); // truncated
    EXPECT_EQ(Num("date_inc_week", {v, 1.5}), Date_FromSeconds(1000000000 + 2 * 604800)); // rounded half to even
    EXPECT_EQ(Num("date_inc_week", {v, 0.5}), v);
    EXPECT_EQ(Num("date_inc_hour", {v, -3}), Date_FromSeconds(1000000000 - 3 * 3600));
    EXPECT_EQ(Num("date_inc_minute", {v, 2.5}), Date_FromSeconds(1000000000 + 120));
    EXPECT_EQ(Num("date_inc_second", {v, 59}), Date_FromSeconds(1000000059));
    // Extreme amounts give a value, never a fault.
    for (const char* f : {"date_inc_year", "date_inc_month", "date_inc_week", "date_inc_day", "date_inc_hour",
                          "date_inc_minute", "date_inc_second"}) {
        for (double amount : {2147483647.0, -2147483648.0, 1e300, std::nan("")}) {
            double r = Num(f, {v, amount});
            EXPECT_FALSE(std::isnan(r)) << f << " " << amount;
        }
        EXPECT_EQ(Num(f, {std::nan(""), 1}), Date_FromSeconds(-1)) << f;
    }
}

// [SECTION] Creation details

TEST_F(DateBuiltins, CreateTimeGivesTheTimeBackInEveryZone)
{
    for (const char* tz : kZones) {
        InZone zone(tz);
        double v = Num("date_create_time", {13, 45, 30});
        EXPECT_EQ(Num("date_get_hour", {v}), 13) << tz;
        EXPECT_EQ(Num("date_get_minute", {v}), 45) << tz;
        EXPECT_EQ(Num("date_get_second", {v}), 30) << tz;
        EXPECT_EQ(Str("date_time_string", {v}), "13:45:30") << tz;
        EXPECT_NE(v, Num("date_create_time", {13, 45, 31})) << tz;
    }
    InZone utc("UTC");
    EXPECT_NEAR(Num("date_create_time", {6, 0, 0}), (6 * 3600 + 0.5) / 86400.0, 1e-9);
}

TEST_F(DateBuiltins, CreationRoundsClampsAndCarries)
{
    InZone zone("Europe/Berlin");
    EXPECT_EQ(Create(1066, 10, 14, 9, 0, 0), Create(1900, 10, 14, 9, 0, 0)); // years below 1900 count as 1900
    EXPECT_EQ(Num("date_create_datetime", {2020.4, 1.5, 2.5, 3.5, 4.5, 5.5}), Create(2020, 2, 2, 4, 4, 6));
    EXPECT_EQ(Create(2020, 13, 1, 0, 0, 0), Create(2021, 1, 1, 0, 0, 0));
    EXPECT_EQ(Create(2020, 3, 0, 0, 0, 0), Create(2020, 2, 29, 0, 0, 0));
    EXPECT_EQ(Create(2020, 1, 1, 24, 0, 0), Create(2020, 1, 2, 0, 0, 0));
    // Before 1970 the fields come back too.
    double old = Create(1950, 6, 15, 12, 30, 45);
    EXPECT_LT(old, 25569);
    EXPECT_EQ(Num("date_get_second", {old}), 45);
    EXPECT_EQ(Str("date_datetime_string", {old}), "15/06/1950 12:30:45");
    // Fields no calendar can hold give the value of second -1; no fault.
    EXPECT_EQ(Num("date_create_date", {-2147483648.0, 1, 1}), Date_FromSeconds(-1));
    // A year not a number counts as below 1900; the largest years still have a calendar.
    EXPECT_EQ(Num("date_create_datetime", {std::nan(""), 1, 1, 0, 0, 0}), Create(1900, 1, 1, 0, 0, 0));
    double far = Num("date_create_datetime", {2147483647.0, 1, 1, 0, 0, 0});
    EXPECT_TRUE(far == Date_FromSeconds(-1) || Num("date_get_year", {far}) == 2147483647.0);
    double odd = Num("date_create_datetime", {2000, -2147483648.0, 2147483647.0, 2147483647.0, -2147483648.0, 2147483647.0});
    EXPECT_TRUE(std::isfinite(odd));
}

TEST_F(DateBuiltins, CurrentTimeAndToday)
{
    double now = Date_FromSeconds(int64_t(std::time(nullptr)));
    EXPECT_NEAR(Num("date_current_datetime"), now, 2.0 / 86400);
    EXPECT_NEAR(Num("date_current_date"), now, 2.0 / 86400);
    EXPECT_NEAR(Num("date_current_time"), now, 2.0 / 86400);
    EXPECT_EQ(Num("date_is_today", {Num("date_current_datetime")}), 1);
    EXPECT_EQ(Num("date_is_today", {now + 400}), 0);
    EXPECT_EQ(Num("date_is_today", {now - 365}), 0);
    EXPECT_EQ(Num("date_is_today", {std::nan("")}), 0);
}

// [SECTION] Checks, spans and comparisons

TEST_F(DateBuiltins, ValidityChecks)
{
    EXPECT_EQ(Num("date_valid_date", {2000, 2, 29}), 1);
    EXPECT_EQ(Num("date_valid_date", {1900, 2, 29}), 0);
    EXPECT_EQ(Num("date_valid_date", {2024, 2, 29}), 1);
    EXPECT_EQ(Num("date_valid_date", {2023, 2, 29}), 0);
    EXPECT_EQ(Num("date_valid_date", {0, 1, 1}), 1);
    EXPECT_EQ(Num("date_valid_date", {-1, 1, 1}), 0);
    EXPECT_EQ(Num("date_valid_date", {2023, 13, 1}), 0);
    EXPECT_EQ(Num("date_valid_date", {2023, 4, 31}), 0);
    EXPECT_EQ(Num("date_valid_date", {2023, 4, 0}), 0);
    EXPECT_EQ(Num("date_valid_date", {2023, 4.5, 1}), 0);
    EXPECT_EQ(Num("date_valid_date", {2023, "4", 1}), 0);
    EXPECT_EQ(Num("date_valid_date", {2023, 4}), 0);
    EXPECT_EQ(Num("date_valid_date", {HUGE_VAL, 1, 1}), 0);
    EXPECT_EQ(Num("date_valid_date", {std::nan(""), 1, 1}), 0);
    EXPECT_EQ(Num("date_valid_date", {1e300, 1, 1}), 1);

    EXPECT_EQ(Num("date_valid_time", {23, 59, 59}), 1);
    EXPECT_EQ(Num("date_valid_time", {24, 0, 0}), 0);
    EXPECT_EQ(Num("date_valid_time", {-1, 0, 0}), 0);
    EXPECT_EQ(Num("date_valid_time", {0, 60, 0}), 0);
    EXPECT_EQ(Num("date_valid_time", {0, 0, 0.5}), 0);

    EXPECT_EQ(Num("date_valid_datetime", {2000, 2, 29, 23, 59, 59}), 1);
    EXPECT_EQ(Num("date_valid_datetime", {2000, 2, 30, 23, 59, 59}), 0);
    EXPECT_EQ(Num("date_valid_datetime", {2000, 2, 29, 23, 59, 60}), 0);
    EXPECT_EQ(Num("date_valid_datetime", {2000, 2, 29, 23, 59}), 0);
}

TEST_F(DateBuiltins, SpansComparisonsAndParts)
{
    EXPECT_EQ(Num("date_year_span", {1000, 1000 + 365.25}), 1);
    EXPECT_EQ(Num("date_year_span", {1000 + 365.25, 1000}), 1);
    EXPECT_EQ(Num("date_month_span", {0, 365.25}), 365.25 * 0.03285420944558522);
    EXPECT_EQ(Num("date_week_span", {7, 21}), 2);
    EXPECT_EQ(Num("date_day_span", {3.5, 1}), 2.5);
    EXPECT_EQ(Num("date_hour_span", {0, 0.5}), 12);
    EXPECT_EQ(Num("date_minute_span", {0, 0.5}), 720);
    EXPECT_EQ(Num("date_second_span", {0, 0.5}), 43200);

    EXPECT_EQ(Num("date_compare_datetime", {1, 2}), -1);
    EXPECT_EQ(Num("date_compare_datetime", {2, 1}), 1);
    EXPECT_EQ(Num("date_compare_datetime", {2, 2}), 0);
    EXPECT_EQ(Num("date_compare_datetime", {std::nan(""), 2}), 0);
    EXPECT_EQ(Num("date_compare_date", {45000.1, 45000.9}), 0);
    EXPECT_EQ(Num("date_compare_date", {45000.9, 45001.1}), -1);
    EXPECT_EQ(Num("date_compare_time", {45000.25, 40000.75}), -1);
    EXPECT_EQ(Num("date_compare_time", {45000.25, 40000.25}), 0);
    EXPECT_EQ(Num("date_compare_time", {HUGE_VAL, 0.5}), 0);
    EXPECT_EQ(Num("date_date_of", {45000.75}), 45000);
    EXPECT_EQ(Num("date_time_of", {45000.75}), 0.75);

    InZone zone("UTC");
    double jan1 = Create(2024, 1, 1, 0, 0, 0);
    EXPECT_EQ(Num("date_get_day_of_year", {jan1}), 1);
    EXPECT_EQ(Num("date_get_second_of_year", {jan1}), 0);
    EXPECT_EQ(Num("date_get_hour_of_year", {jan1}), 0);
    EXPECT_EQ(Num("date_get_week", {Create(2024, 1, 7, 0, 0, 0)}), 0);
    EXPECT_EQ(Num("date_get_week", {Create(2024, 1, 8, 0, 0, 0)}), 1);
    EXPECT_EQ(Num("date_get_day_of_year", {Create(2024, 12, 31, 23, 0, 0)}), 366);
    EXPECT_EQ(Num("date_compare_date", {Create(2024, 5, 1, 1, 0, 0), Create(2024, 5, 1, 23, 0, 0)}), 0);
    EXPECT_EQ(Num("date_days_in_month", {Create(1900, 2, 10, 0, 0, 0)}), 28);
    EXPECT_EQ(Num("date_days_in_month", {Create(2000, 2, 10, 0, 0, 0)}), 29);
}

TEST_F(DateBuiltins, ValuesThatNameNoTime)
{
    for (double v : {std::nan(""), HUGE_VAL, -HUGE_VAL, 1e300, -1e300}) {
        for (const char* f : {"date_get_year", "date_get_month", "date_get_week", "date_get_day", "date_get_hour",
                              "date_get_minute", "date_get_second", "date_get_weekday", "date_get_day_of_year",
                              "date_get_hour_of_year", "date_get_minute_of_year", "date_get_second_of_year",
                              "date_days_in_month", "date_days_in_year", "date_leap_year", "date_is_today"})
            EXPECT_EQ(Num(f, {v}), 0) << f << " " << v;
        for (const char* f : {"date_datetime_string", "date_date_string", "date_time_string"})
            EXPECT_EQ(Str(f, {v}), "") << f << " " << v;
    }
    // Strings are read as their real field (0): 30 December 1899.
    InZone zone("UTC");
    EXPECT_EQ(Str("date_date_string", {"text"}), "30/12/1899");
}

} // namespace
