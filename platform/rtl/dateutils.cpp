#include "platform/rtl/dateutils.h"

#include <charconv>
#include <cmath>
#include <ctime>
#include <sys/time.h>

#include "platform/rtl/exceptions.h"
#include "platform/rtl/sysutils.h"

namespace rtl {

namespace {
const char* const kShortMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                    "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
const char* const kLongMonths[] = {"January", "February", "March",     "April",   "May",      "June",
                                   "July",    "August",   "September", "October", "November", "December"};
const char* const kShortDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
const char* const kLongDays[] = {"Sunday", "Monday", "Tuesday", "Wednesday", "Thursday", "Friday", "Saturday"};

// Days from 0001-01-01 (day 1) to the given date, proleptic Gregorian.
int64_t dayNumber(int y, int m, int d) {
    static const int cum[] = {0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334};
    int64_t yy = y - 1;
    int64_t n = yy * 365 + yy / 4 - yy / 100 + yy / 400 + cum[m - 1] + d;
    if (m > 2 && IsLeapYear(y)) ++n;
    return n;
}
const int64_t kDelta1899 = dayNumber(1899, 12, 30);  // date-time 0

// Splits a date-time into its whole-day number and milliseconds of the day,
// rounding to the nearest millisecond the way the time parts are shown.
void split(TDateTime dt, int64_t& days, int64_t& ms) {
    const double total = std::round(dt * MSecsPerDay);
    days = static_cast<int64_t>(std::floor(total / MSecsPerDay));
    ms = static_cast<int64_t>(total - static_cast<double>(days) * MSecsPerDay);
    // Negative date-times keep the time as a positive fraction of the day before zero.
    if (dt < 0 && ms != 0) {
        const double frac = std::fabs(dt - std::trunc(dt));
        days = static_cast<int64_t>(std::trunc(dt));
        ms = static_cast<int64_t>(std::round(frac * MSecsPerDay));
    }
}

std::tm toTm(time_t t, bool utc) {
    std::tm tm{};
    if (utc) gmtime_r(&t, &tm);
    else localtime_r(&t, &tm);
    return tm;
}
}  // namespace

bool IsLeapYear(int y) { return (y % 4 == 0) && (y % 100 != 0 || y % 400 == 0); }

int DaysInMonth(int y, int m) {
    static const int days[] = {31, 28, 31, 30, 31, 30, 31, 31, 30, 31, 30, 31};
    if (m < 1 || m > 12) return 0;
    return days[m - 1] + ((m == 2 && IsLeapYear(y)) ? 1 : 0);
}

bool TryEncodeDate(int y, int m, int d, TDateTime& out) {
    if (y < 1 || y > 9999 || m < 1 || m > 12 || d < 1 || d > DaysInMonth(y, m)) return false;
    out = static_cast<double>(dayNumber(y, m, d) - kDelta1899);
    return true;
}

bool TryEncodeTime(int h, int n, int s, int ms, TDateTime& out) {
    if (h < 0 || h > 23 || n < 0 || n > 59 || s < 0 || s > 59 || ms < 0 || ms > 999) return false;
    out = (((h * 60.0 + n) * 60.0 + s) * 1000.0 + ms) / MSecsPerDay;
    return true;
}

TDateTime EncodeDate(int y, int m, int d) {
    TDateTime r;
    if (!TryEncodeDate(y, m, d, r)) throw EConvertError("Invalid argument to date encode");
    return r;
}

TDateTime EncodeTime(int h, int n, int s, int ms) {
    TDateTime r;
    if (!TryEncodeTime(h, n, s, ms, r)) throw EConvertError("Invalid argument to time encode");
    return r;
}

void DecodeDate(TDateTime dt, int& year, int& month, int& day) {
    int64_t days, ms;
    split(dt, days, ms);
    int64_t n = days + kDelta1899;  // day number from 0001-01-01 = 1
    if (n <= 0) {
        year = month = day = 0;
        return;
    }
    // Count whole years from a 400-year cycle down.
    int64_t t = n - 1;
    int64_t y = 1;
    y += 400 * (t / 146097);
    t %= 146097;
    int64_t c = t / 36524;
    if (c == 4) c = 3;
    y += 100 * c;
    t -= c * 36524;
    y += 4 * (t / 1461);
    t %= 1461;
    int64_t k = t / 365;
    if (k == 4) k = 3;
    y += k;
    t -= k * 365;
    int m = 1;
    while (t >= DaysInMonth(static_cast<int>(y), m)) t -= DaysInMonth(static_cast<int>(y), m++);
    year = static_cast<int>(y);
    month = m;
    day = static_cast<int>(t + 1);
}

void DecodeTime(TDateTime dt, int& hour, int& min, int& sec, int& msec) {
    int64_t days, ms;
    split(dt, days, ms);
    hour = static_cast<int>(ms / 3600000);
    min = static_cast<int>(ms / 60000 % 60);
    sec = static_cast<int>(ms / 1000 % 60);
    msec = static_cast<int>(ms % 1000);
}

int DayOfWeek(TDateTime dt) {
    int64_t days, ms;
    split(dt, days, ms);
    // 1899-12-30 was a Saturday.
    return static_cast<int>(((days % 7) + 7 + 6) % 7) + 1;
}

static TDateTime fromTm(const std::tm& tm, int msec) {
    return EncodeDate(tm.tm_year + 1900, tm.tm_mon + 1, tm.tm_mday) +
           EncodeTime(tm.tm_hour, tm.tm_min, tm.tm_sec, msec);
}

static TDateTime nowAs(bool utc) {
    timeval tv{};
    gettimeofday(&tv, nullptr);
    return fromTm(toTm(tv.tv_sec, utc), static_cast<int>(tv.tv_usec / 1000));
}

TDateTime Now() { return nowAs(false); }
TDateTime NowUTC() { return nowAs(true); }
TDateTime Date() { return std::floor(Now()); }
TDateTime Time() { return Now() - std::floor(Now()); }

TDateTime UnixToDateTime(int64_t seconds) {
    return static_cast<double>(seconds) / 86400.0 + static_cast<double>(UnixDateDelta);
}

int64_t DateTimeToUnix(TDateTime dt) {
    return static_cast<int64_t>(std::llround((dt - static_cast<double>(UnixDateDelta)) * 86400.0));
}

TDateTime UTCToLocal(TDateTime utc) {
    const time_t t = static_cast<time_t>(DateTimeToUnix(utc));
    const std::tm tm = toTm(t, false);
    return UnixToDateTime(DateTimeToUnix(utc) + tm.tm_gmtoff);
}

int LocalBiasMinutes(TDateTime local) {
    int y, m, d, h, n, s, z;
    DecodeDate(local, y, m, d);
    DecodeTime(local, h, n, s, z);
    std::tm tm{};
    tm.tm_year = y - 1900;
    tm.tm_mon = m - 1;
    tm.tm_mday = d;
    tm.tm_hour = h;
    tm.tm_min = n;
    tm.tm_sec = s;
    tm.tm_isdst = -1;
    const time_t t = mktime(&tm);
    return static_cast<int>(-toTm(t, false).tm_gmtoff / 60);
}

TDateTime LocalToUTC(TDateTime local) { return local + LocalBiasMinutes(local) / 1440.0; }

std::string FormatDateTime(std::string_view f, TDateTime dt) {
    int y, m, d, h, n, s, z;
    DecodeDate(dt, y, m, d);
    DecodeTime(dt, h, n, s, z);
    const int dow = DayOfWeek(dt) - 1;
    // With am/pm in the format, hours are shown on a 12-hour clock.
    bool twelve = false;
    for (size_t a = f.find_first_of("aA"); a != std::string_view::npos && !twelve; a = f.find_first_of("aA", a + 1))
        twelve = StartsText("am/pm", f.substr(a)) || StartsText("a/p", f.substr(a));
    std::string r;
    // A number with leading zeros to Width digits.
    auto number = [&r](int v, size_t width) {
        char buf[16];
        const auto res = std::to_chars(buf, buf + sizeof buf, v < 0 ? -static_cast<int64_t>(v) : v);
        const size_t len = static_cast<size_t>(res.ptr - buf);
        if (v < 0) r += '-';
        if (len < width) r.append(width - len, '0');
        r.append(buf, len);
    };
    bool lastWasHour = false;
    size_t i = 0;
    auto run = [&](char c) {
        size_t k = 0;
        while (i + k < f.size() && (f[i + k] | 0x20) == c) ++k;
        return k;
    };
    while (i < f.size()) {
        const char c = f[i];
        const char lc = static_cast<char>(c | 0x20);
        if (c == '"' || c == '\'') {
            const size_t e = f.find(c, i + 1);
            const size_t stop = e == std::string_view::npos ? f.size() : e;
            r.append(f.substr(i + 1, stop - i - 1));
            i = stop + 1;
            continue;
        }
        if (lc == 'a' && (StartsText("am/pm", f.substr(i)) || StartsText("a/p", f.substr(i)))) {
            const bool full = StartsText("am/pm", f.substr(i));
            const bool upper = f[i] == 'A';
            std::string t = h < 12 ? (full ? "am" : "a") : (full ? "pm" : "p");
            r += upper ? UpperCase(t) : t;
            i += full ? 5 : 3;
            continue;
        }
        size_t k;
        switch (lc) {
            case 'y':
                k = run('y');
                k <= 2 ? number(y % 100, 2) : number(y, 4);
                break;
            case 'm':
                k = run('m');
                if (lastWasHour && k <= 2) number(n, k);
                else if (k <= 2) number(m, k);
                else if (k == 3) r += kShortMonths[m - 1];
                else r += kLongMonths[m - 1];
                break;
            case 'd':
                k = run('d');
                if (k <= 2) number(d, k);
                else if (k == 3) r += kShortDays[dow];
                else r += kLongDays[dow];
                break;
            case 'h': {
                k = run('h');
                int hh = twelve ? (h % 12 == 0 ? 12 : h % 12) : h;
                number(hh, k == 1 ? 1 : 2);
                break;
            }
            case 'n':
                k = run('n');
                number(n, k == 1 ? 1 : 2);
                break;
            case 's':
                k = run('s');
                number(s, k == 1 ? 1 : 2);
                break;
            case 'z':
                k = run('z');
                number(z, k == 1 ? 1 : 3);
                break;
            default:
                k = 1;
                r += c;
        }
        if (lc != ' ' && lc != ':') lastWasHour = lc == 'h';
        i += k;
    }
    return r;
}

}  // namespace rtl
