#pragma once
// The size and date-time texts every reader shows in the file list, and the
// conversions from each file system's clock to one point in time.
#include <cstdint>
#include <ctime>
#include <optional>
#include <string>

namespace vantor {

// A point in time, UTC, as seconds since 1970 plus a fraction.
struct Timestamp {
    std::int64_t seconds = 0;
    std::uint32_t nanoseconds = 0;
    friend bool operator==(const Timestamp&, const Timestamp&) = default;
};

// "%.2f GB" / "%.2f MB" / "%.2f KB" in powers of 1024, else "%lld Bytes".
std::string formatSizeText(std::int64_t size);

// "MM/DD/YYYY  hh:mm AM|PM" of a local calendar time: hours 0 to 12 read AM,
// 13 to 23 read PM with 12 taken off.
std::string formatTimeText(const std::tm& local);
// The same for a point in time, shown in the local zone.
std::string formatTimeText(Timestamp t);
// "MM/DD/YYYY " (one trailing blank), for dates without a time of day.
std::string formatDateText(const std::tm& local);

std::tm toLocalTm(Timestamp t);

// Clocks of the file systems.
Timestamp fromUnix(std::int64_t seconds, std::uint32_t nanoseconds = 0);
// Windows file time: 100 ns units since 1601-01-01 UTC.
Timestamp fromFileTime(std::uint64_t fileTime);
// HFS+ date: seconds since 1904-01-01 UTC.
Timestamp fromHfsDate(std::uint32_t seconds);
// DOS date and time words, which hold local time. Returns nullopt for a date
// that names no real day (month 0, day 0 and the like).
std::optional<Timestamp> fromDosDateTime(std::uint16_t date, std::uint16_t time,
                                         std::uint8_t tenths = 0);
// The calendar fields of a DOS date and time, as written (no zone applied).
std::optional<std::tm> dosToTm(std::uint16_t date, std::uint16_t time);

// ISO 8601 UTC with a 'Z', seconds only: "2024-05-01T12:00:00Z"; empty for a
// year outside 0000..9999.
std::string isoUtc(Timestamp t);
// The same 20 characters into `out` (no NUL); false for a year outside 0000..9999.
bool isoUtcInto(Timestamp t, char (&out)[21]);

}  // namespace vantor
