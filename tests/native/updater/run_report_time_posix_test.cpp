// The report's local time with its offset, in time zones the test sets itself (POSIX rules in
// TZ, so this file runs natively only): a machine in UTC would pass a wrong offset unseen.
#include "updater/app/run_report.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>
#include <string>

namespace {

// Sets the process's time zone for the life of the object and puts the previous one back.
class CTimeZone {
public:
    explicit CTimeZone(const char* zone) {
        const char* previous = std::getenv("TZ");
        m_hadZone = previous != nullptr;
        if (previous) m_previous = previous;
        ::setenv("TZ", zone, 1);
        ::tzset();
    }
    ~CTimeZone() {
        if (m_hadZone)
            ::setenv("TZ", m_previous.c_str(), 1);
        else
            ::unsetenv("TZ");
        ::tzset();
    }
    CTimeZone(const CTimeZone&) = delete;
    CTimeZone& operator=(const CTimeZone&) = delete;

private:
    bool m_hadZone = false;
    std::string m_previous;
};

// Zones given by rule, so that no zone database is needed: east and west of UTC, a part-hour
// offset, and summer time on and off.
TEST(RunReport, Iso8601CarriesTheLocalOffset) {
    struct Case {
        const char* zone;
        std::time_t when;
        const char* expected;
    } cases[] = {
        {"UTC0", 0, "1970-01-01T00:00:00+00:00"},
        {"XST-5:30", 0, "1970-01-01T05:30:00+05:30"},
        {"YST8", 0, "1969-12-31T16:00:00-08:00"},
        {"YST8", 1700000000, "2023-11-14T14:13:20-08:00"},
        {"CET-1CEST,M3.5.0,M10.5.0/3", 1593561600, "2020-07-01T02:00:00+02:00"},  // summer
        {"CET-1CEST,M3.5.0,M10.5.0/3", 1579046400, "2020-01-15T01:00:00+01:00"},  // winter
        {"NST3:30NDT,M3.2.0,M11.1.0", 1593561600, "2020-06-30T21:30:00-02:30"},
    };
    for (const Case& c : cases) {
        CTimeZone zone(c.zone);
        EXPECT_EQ(c.expected, FormatIso8601Local(c.when)) << c.zone;
    }
}

}  // namespace
