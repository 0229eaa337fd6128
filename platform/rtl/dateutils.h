#pragma once
// Date-time as days since 1899-12-30 in a double: the whole part counts days,
// the fraction is the time of day. Times are local unless a name says UTC.
#include <cstdint>
#include <string>
#include <string_view>

namespace rtl {

using TDateTime = double;

constexpr TDateTime MinDateTime = -657434.0;       // 0100-01-01
constexpr TDateTime MaxDateTime = 2958465.99999;   // 9999-12-31 23:59:59.999
constexpr double MSecsPerDay = 86400000.0;
constexpr int64_t UnixDateDelta = 25569;           // days from 1899-12-30 to 1970-01-01

bool IsLeapYear(int year);
int DaysInMonth(int year, int month);

// Raises EConvertError for an impossible date or time.
TDateTime EncodeDate(int year, int month, int day);
TDateTime EncodeTime(int hour, int min, int sec, int msec);
bool TryEncodeDate(int year, int month, int day, TDateTime& out);
bool TryEncodeTime(int hour, int min, int sec, int msec, TDateTime& out);
void DecodeDate(TDateTime dt, int& year, int& month, int& day);
void DecodeTime(TDateTime dt, int& hour, int& min, int& sec, int& msec);
// 1 = Sunday ... 7 = Saturday.
int DayOfWeek(TDateTime dt);

TDateTime Now();
TDateTime Date();
TDateTime Time();
TDateTime NowUTC();
// Minutes to add to local time to get UTC at the given local moment.
int LocalBiasMinutes(TDateTime local);

TDateTime UnixToDateTime(int64_t seconds);       // UTC seconds to a UTC date-time
int64_t DateTimeToUnix(TDateTime dt);            // and back
TDateTime UTCToLocal(TDateTime utc);
TDateTime LocalToUTC(TDateTime local);

// Date and time formats: d dd ddd dddd m mm mmm mmmm yy yyyy h hh n nn s ss z zzz
// am/pm a/p, "..." or '...' literals; English month and day names.
std::string FormatDateTime(std::string_view format, TDateTime dt);

}  // namespace rtl
