#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "core/texts.h"

using namespace vantor;

TEST(SizeText, UnitsArePowersOf1024) {
    struct Case { std::int64_t size; const char* text; };
    const Case cases[] = {
        {0, "0 Bytes"},          {1023, "1023 Bytes"},     {1024, "1.00 KB"},
        {1048575, "1024.00 KB"}, {1048576, "1.00 MB"},     {1073741824, "1.00 GB"},
        {5368709120LL * 1024, "5120.00 GB"}, {-5, "-5 Bytes"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.size);
        EXPECT_EQ(formatSizeText(c.size), c.text);
    }
}

TEST(TimeText, MonthFirstWithTwelveHourClock) {
    struct Case { int hour, minute; const char* text; };
    const Case cases[] = {
        {0, 30, "01/05/2024  00:30 AM"},
        {12, 30, "01/05/2024  12:30 AM"},  // noon reads AM, as the list always showed it
        {13, 5, "01/05/2024  01:05 PM"},
        {23, 59, "01/05/2024  11:59 PM"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        std::tm tm{};
        tm.tm_year = 124;
        tm.tm_mon = 0;
        tm.tm_mday = 5;
        tm.tm_hour = c.hour;
        tm.tm_min = c.minute;
        EXPECT_EQ(formatTimeText(tm), c.text);
    }
    std::tm date{};
    date.tm_year = 99;
    date.tm_mon = 11;
    date.tm_mday = 31;
    EXPECT_EQ(formatDateText(date), "12/31/1999 ");
}

TEST(Clocks, EachFileSystemEpoch) {
    // 2024-01-05 12:00:00 UTC
    constexpr std::int64_t unixSeconds = 1704456000;
    EXPECT_EQ(fromFileTime((unixSeconds + 11644473600LL) * 10000000ULL + 1234567), (Timestamp{unixSeconds, 123456700}));
    EXPECT_EQ(fromHfsDate(static_cast<std::uint32_t>(unixSeconds + 2082844800LL)), (Timestamp{unixSeconds, 0}));
    EXPECT_EQ(isoUtc({unixSeconds, 0}), "2024-01-05T12:00:00Z");
    EXPECT_EQ(formatTimeText(Timestamp{unixSeconds, 0}), "01/05/2024  12:00 AM");  // the tests run with TZ=UTC
}

TEST(Clocks, DosDatesAreLocalAndValidated) {
    // 2024-01-05 13:04:06: date = (44 << 9) | (1 << 5) | 5, time = (13 << 11) | (4 << 5) | 3
    const std::uint16_t date = (44 << 9) | (1 << 5) | 5;
    const std::uint16_t time = (13 << 11) | (4 << 5) | 3;
    const auto t = fromDosDateTime(date, time, 150);
    ASSERT_TRUE(t);
    EXPECT_EQ(isoUtc(*t), "2024-01-05T13:04:07Z");  // 1.5 s of the 10 ms field added
    EXPECT_EQ(t->nanoseconds, 500000000u);
    EXPECT_FALSE(fromDosDateTime(0, 0));                    // month 0, day 0: no date written
    EXPECT_FALSE(fromDosDateTime((44 << 9) | (13 << 5) | 1, 0));  // month 13
    EXPECT_FALSE(fromDosDateTime(date, (24 << 11)));        // hour 24
}

TEST(Clocks, IsoTextAgreesWithTheCLibraryAcrossEras) {
    // Leap days, the epoch, times before it, the far ends of four-digit years.
    const std::int64_t cases[] = {0, -1, 951782400, 951868799, 4107542399LL, -2208988800LL, -62167219200LL,
                                  253402300799LL, 1704456000, 2147483648LL};
    for (std::int64_t s : cases) {
        SCOPED_TRACE(s);
        std::tm tm{};
        const std::time_t secs = static_cast<std::time_t>(s);
        ASSERT_TRUE(gmtime_r(&secs, &tm));
        char expected[64];
        std::snprintf(expected, sizeof expected, "%04d-%02d-%02dT%02d:%02d:%02dZ", tm.tm_year + 1900, tm.tm_mon + 1,
                      tm.tm_mday, tm.tm_hour, tm.tm_min, tm.tm_sec);
        EXPECT_EQ(isoUtc({s, 0}), expected);
    }
    EXPECT_EQ(isoUtc({253402300800LL, 0}), "");  // year 10000
    EXPECT_EQ(isoUtc({-62167219201LL, 0}), "");  // year -1
}
