#include "core/texts.h"

#include <algorithm>
#include <cstdio>

namespace vantor {

std::string formatSizeText(std::int64_t size) {
    const long double s = static_cast<long double>(size);
    char buf[64];
    if (s / (1024.0L * 1024 * 1024) >= 1)
        std::snprintf(buf, sizeof buf, "%.2Lf GB", s / (1024.0L * 1024 * 1024));
    else if (s / (1024.0L * 1024) >= 1)
        std::snprintf(buf, sizeof buf, "%.2Lf MB", s / (1024.0L * 1024));
    else if (s / 1024.0L >= 1)
        std::snprintf(buf, sizeof buf, "%.2Lf KB", s / 1024.0L);
    else
        std::snprintf(buf, sizeof buf, "%lld Bytes", static_cast<long long>(size));
    return buf;
}

namespace {

// Appends value as at least `width` decimal digits (the year may need more).
void appendDigits(std::string& out, int value, int width) {
    char digits[12];
    int n = 0;
    unsigned v = value < 0 ? 0u : static_cast<unsigned>(value);
    do {
        digits[n++] = static_cast<char>('0' + v % 10);
        v /= 10;
    } while (v != 0 && n < 11);
    for (int k = n; k < width; ++k) out += '0';
    while (n > 0) out += digits[--n];
}

}  // namespace

// Listings format three of these per entry; built by hand, not by printf.
std::string formatTimeText(const std::tm& t) {
    const bool pm = t.tm_hour > 12;
    std::string out;
    out.reserve(21);
    appendDigits(out, t.tm_mon + 1, 2);
    out += '/';
    appendDigits(out, t.tm_mday, 2);
    out += '/';
    appendDigits(out, t.tm_year + 1900, 1);
    out += "  ";
    appendDigits(out, pm ? t.tm_hour - 12 : t.tm_hour, 2);
    out += ':';
    appendDigits(out, t.tm_min, 2);
    out += pm ? " PM" : " AM";
    return out;
}

std::string formatDateText(const std::tm& t) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%02d/%02d/%d ", t.tm_mon + 1, t.tm_mday, t.tm_year + 1900);
    return buf;
}

std::tm toLocalTm(Timestamp t) {
    std::tm tm{};
    const std::time_t secs = static_cast<std::time_t>(t.seconds);
    if (!localtime_r(&secs, &tm)) tm = std::tm{};
    return tm;
}

// Listings ask for three times per entry, often the same one: the last is
// remembered, per thread, with its text.
std::string formatTimeText(Timestamp t) {
    thread_local std::int64_t lastSeconds = 0;
    thread_local std::string lastText;
    if (lastText.empty() || lastSeconds != t.seconds) {
        lastText = formatTimeText(toLocalTm(t));
        lastSeconds = t.seconds;
    }
    return lastText;
}

Timestamp fromUnix(std::int64_t seconds, std::uint32_t nanoseconds) {
    return {seconds, nanoseconds % 1000000000u};
}

Timestamp fromFileTime(std::uint64_t fileTime) {
    constexpr std::int64_t kEpochDelta = 11644473600LL;  // 1601 to 1970, in seconds
    const auto secs = static_cast<std::int64_t>(fileTime / 10000000ULL) - kEpochDelta;
    return {secs, static_cast<std::uint32_t>(fileTime % 10000000ULL) * 100u};
}

Timestamp fromHfsDate(std::uint32_t seconds) {
    constexpr std::int64_t kEpochDelta = 2082844800LL;  // 1904 to 1970, in seconds
    return {static_cast<std::int64_t>(seconds) - kEpochDelta, 0};
}

std::optional<std::tm> dosToTm(std::uint16_t date, std::uint16_t time) {
    std::tm tm{};
    tm.tm_year = 80 + (date >> 9);
    tm.tm_mon = ((date >> 5) & 0x0F) - 1;
    tm.tm_mday = date & 0x1F;
    tm.tm_hour = time >> 11;
    tm.tm_min = (time >> 5) & 0x3F;
    tm.tm_sec = (time & 0x1F) * 2;
    if (tm.tm_mon < 0 || tm.tm_mon > 11 || tm.tm_mday == 0 || tm.tm_hour > 23 || tm.tm_min > 59 ||
        tm.tm_sec > 59)
        return std::nullopt;
    return tm;
}

std::optional<Timestamp> fromDosDateTime(std::uint16_t date, std::uint16_t time, std::uint8_t tenths) {
    auto tm = dosToTm(date, time);
    if (!tm) return std::nullopt;
    tm->tm_isdst = -1;
    const std::time_t secs = std::mktime(&*tm);
    if (secs == static_cast<std::time_t>(-1)) return std::nullopt;
    // The 10 ms field counts 0..199: up to one extra second and its hundredths.
    const unsigned extra = tenths < 200 ? tenths : 0;
    return Timestamp{static_cast<std::int64_t>(secs) + extra / 100, (extra % 100) * 10000000u};
}

std::string isoUtc(Timestamp t) {
    char buf[21];
    if (!isoUtcInto(t, buf)) return {};
    return std::string(buf, 20);
}

bool isoUtcInto(Timestamp t, char (&buf)[21]) {
    // Civil date from days since 1970 (proleptic Gregorian), without the C
    // library's locale and zone machinery: listings print three per entry.
    const std::int64_t days = t.seconds >= 0 ? t.seconds / 86400 : (t.seconds - 86399) / 86400;
    const std::int64_t secondOfDay = t.seconds - days * 86400;
    const std::int64_t z = days + 719468;
    const std::int64_t era = (z >= 0 ? z : z - 146096) / 146097;
    const std::int64_t dayOfEra = z - era * 146097;
    const std::int64_t yearOfEra = (dayOfEra - dayOfEra / 1460 + dayOfEra / 36524 - dayOfEra / 146096) / 365;
    const std::int64_t dayOfYear = dayOfEra - (365 * yearOfEra + yearOfEra / 4 - yearOfEra / 100);
    const std::int64_t mp = (5 * dayOfYear + 2) / 153;
    const std::int64_t day = dayOfYear - (153 * mp + 2) / 5 + 1;
    const std::int64_t month = mp < 10 ? mp + 3 : mp - 9;
    const std::int64_t year = yearOfEra + era * 400 + (month <= 2 ? 1 : 0);
    if (year < 0 || year > 9999) return false;
    static constexpr char kShape[] = "0000-00-00T00:00:00Z";
    std::copy(kShape, kShape + 21, buf);
    const auto put = [&buf](int at, std::int64_t value, int width) {
        for (int k = width - 1; k >= 0; --k, value /= 10) buf[at + k] = static_cast<char>('0' + value % 10);
    };
    put(0, year, 4);
    put(5, month, 2);
    put(8, day, 2);
    put(11, secondOfDay / 3600, 2);
    put(14, secondOfDay / 60 % 60, 2);
    put(17, secondOfDay % 60, 2);
    return true;
}

}  // namespace vantor
