// Numbers, dates and text conversions.
#include <charconv>
#include <cmath>
#include <cstdlib>

#include "helpers/internal.h"
#include "helpers/kwutil.h"
#include "platform/rtl/sysutils.h"

namespace helpers {

namespace {

bool isdigitc(char c) { return c >= '0' && c <= '9'; }

// A number as the class library's text-to-float conversion accepts it:
// blanks around, a sign, digits with the locale's decimal separator, an
// optional exponent. Gives the plain C form, or empty when refused.
std::string plainfloat(std::string_view text) {
    size_t b = 0, e = text.size();
    while (b < e && text[b] == ' ') ++b;
    while (e > b && text[e - 1] == ' ') --e;
    const std::string_view s = text.substr(b, e - b);
    const std::string& sep = formatsettings.DecimalSeparator;
    std::string r;
    size_t i = 0;
    auto digits = [&] {
        const size_t first = i;
        while (i < s.size() && isdigitc(s[i])) r += s[i++];
        return i - first;
    };
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) {
        if (s[i] == '-') r += '-';
        ++i;
    }
    size_t mantissa = digits();
    if (!sep.empty() && s.substr(i, sep.size()) == sep) {
        i += sep.size();
        r += '.';
        mantissa += digits();
    }
    if (mantissa == 0) return {};
    if (i < s.size() && (s[i] == 'e' || s[i] == 'E')) {
        r += 'e';
        ++i;
        if (i < s.size() && (s[i] == '+' || s[i] == '-')) r += s[i++];
        if (digits() == 0) return {};
    }
    return i == s.size() ? r : std::string();
}

// The class library's formatted reading: blanks skipped, then a sign and
// digits, at most Width characters of them (0: no limit).
bool scanint(std::string_view s, size_t& i, size_t width, int64_t& out) {
    while (i < s.size() && (s[i] == ' ' || (s[i] >= '\t' && s[i] <= '\r'))) ++i;
    const size_t limit = width ? std::min(s.size(), i + width) : s.size();
    size_t j = i;
    bool neg = false;
    if (j < limit && (s[j] == '+' || s[j] == '-')) neg = s[j++] == '-';
    const size_t first = j;
    int64_t v = 0;
    while (j < limit && isdigitc(s[j])) {
        if (v < 100000000000LL) v = v * 10 + (s[j] - '0');
        ++j;
    }
    if (j == first) return false;
    out = neg ? -v : v;
    i = j;
    return true;
}

// At least one character up to (not including) Stop.
bool scanword(std::string_view s, size_t& i, char stop, std::string& out) {
    const size_t j = std::min(s.find(stop, i), s.size());
    if (j == i) return false;
    out = std::string(s.substr(i, j - i));
    i = j;
    return true;
}

bool scanchar(std::string_view s, size_t& i, char c) {
    if (i >= s.size() || s[i] != c) return false;
    ++i;
    return true;
}

bool scanany(std::string_view s, size_t& i) {
    if (i >= s.size()) return false;
    ++i;
    return true;
}

// Nothing may follow a layout; a 0xB7 byte ends the text as well.
bool scanend(std::string_view s, size_t i) { return i >= s.size() || static_cast<unsigned char>(s[i]) == 0xB7; }

struct DateFields {
    int64_t year = 0, day = 0;
    std::string month;
};

bool yearfirst(std::string_view s, bool separated, DateFields& f) {
    size_t i = 0;
    int64_t m;
    const bool ok = scanint(s, i, 4, f.year) && (!separated || scanany(s, i)) && scanint(s, i, 2, m) &&
                    (!separated || scanany(s, i)) && scanint(s, i, 2, f.day) && scanend(s, i);
    if (ok) f.month = rtl::IntToStr(m);
    return ok;
}

bool dayfirst(std::string_view s, char sep, DateFields& f) {
    size_t i = 0;
    return scanint(s, i, 0, f.day) && scanchar(s, i, sep) && scanword(s, i, sep, f.month) &&
           scanchar(s, i, sep) && scanint(s, i, 0, f.year) && scanend(s, i);
}

}  // namespace

long double rounddp(long double x, int32_t d) {
    const long double s = std::strtold(("1e" + rtl::IntToStr(d)).c_str(), nullptr);
    return x >= 0 ? std::floor(x * s + 0.5L) / s : std::ceil(x * s - 0.5L) / s;
}

long double txtfloat(std::string_view text) {
    const std::string plain = plainfloat(text);
    if (plain.empty()) return 0;
    long double v = 0;
    const auto r = std::from_chars(plain.data(), plain.data() + plain.size(), v);
    return r.ec == std::errc() ? v : 0;
}

int64_t max64(int64_t a, int64_t b) { return a > b ? a : b; }

long double fracpart(long double x) { return x - std::floor(x); }

int detail::hexval(char c) {
    if (isdigitc(c)) return c - '0';
    if (c >= 'a' && c <= 'f') return c - 'a' + 10;
    if (c >= 'A' && c <= 'F') return c - 'A' + 10;
    return -1;
}

std::string urldecode(std::string_view text, bool plus) {
    std::string out;
    out.reserve(text.size());
    size_t i = 0;
    while (i < text.size()) {
        const char c = text[i];
        if (c == '+' && plus) {
            out += ' ';
            ++i;
        } else if (c == '%' && i + 1 < text.size() && text[i + 1] == '%') {
            out += '%';
            i += 2;
        } else if (c == '%' && i + 2 < text.size() && detail::hexval(text[i + 1]) >= 0 && detail::hexval(text[i + 2]) >= 0 &&
                   !(text[i + 1] == '0' && text[i + 2] == '0')) {
            out += static_cast<char>(detail::hexval(text[i + 1]) * 16 + detail::hexval(text[i + 2]));
            i += 3;
        } else {
            out += c;
            ++i;
        }
    }
    return out;
}

std::string numsep(int64_t v) {
    const uint64_t mag = v < 0 ? 0 - static_cast<uint64_t>(v) : static_cast<uint64_t>(v);
    const std::string digits = std::to_string(mag);
    std::string r = v < 0 ? "-" : "";
    for (size_t i = 0; i < digits.size(); ++i) {
        if (i > 0 && (digits.size() - i) % 3 == 0) r += formatsettings.ThousandSeparator;
        r += digits[i];
    }
    return r;
}

std::string fltstr(long double x) {
    if (std::isnan(x)) return "NAN";
    if (std::isinf(x)) return x < 0 ? "-INF" : "INF";
    char buf[64];
    const auto r = std::to_chars(buf, buf + sizeof buf, x, std::chars_format::general, 15);
    std::string s(buf, r.ptr);
    if (s == "-0") s = "0";
    // 1.5e-06 is written 1.5E-6, 1e+20 as 1E20.
    const size_t e = s.find('e');
    if (e != std::string::npos) {
        std::string mant = s.substr(0, e);
        std::string exp = s.substr(e + 1);
        const bool neg = !exp.empty() && exp[0] == '-';
        if (!exp.empty() && (exp[0] == '+' || exp[0] == '-')) exp.erase(0, 1);
        exp.erase(0, std::min(exp.find_first_not_of('0'), exp.size() - 1));
        s = mant + "E" + (neg ? "-" : "") + exp;
    }
    const size_t dot = s.find('.');
    if (dot != std::string::npos) s.replace(dot, 1, formatsettings.DecimalSeparator);
    return s;
}

std::string boolstr(bool b) { return b ? "True" : "False"; }

std::string padstr(std::string_view text, int32_t width, char pad, bool left) {
    if (width <= 0) return {};
    const auto len = static_cast<int64_t>(text.size());
    if (len >= width) return std::string(text.substr(0, static_cast<size_t>(width)));
    const std::string fill(static_cast<size_t>(width - len), pad);
    return left ? fill + std::string(text) : std::string(text) + fill;
}

std::string padright(std::string_view text, int32_t width) { return padstr(text, width, ' ', false); }

std::string zeropad(int64_t v, int32_t width) {
    if (v >= 0) return padstr(std::to_string(v), width, '0', true);
    return "-" + padstr(std::to_string(0 - static_cast<uint64_t>(v)), width - 1, '0', true);
}

int32_t monthnum(std::string_view text) {
    const int64_t n = detail::atoi64(text);
    if (n >= 1 && n <= 12) return static_cast<int32_t>(n);
    const std::string u = rtl::UpperCase(text.substr(0, 3));
    auto at = [&](size_t i) { return i < u.size() ? u[i] : '\0'; };
    switch (at(0)) {
        case 'A': return at(1) == 'P' ? 4 : 8;
        case 'D': return 12;
        case 'F': return 2;
        case 'J': return at(1) == 'A' ? 1 : (at(2) == 'N' ? 6 : 7);
        case 'M': return at(2) == 'R' ? 3 : 5;
        case 'N': return 11;
        case 'O': return 10;
        case 'S': return 9;
        default: return 0;
    }
}

int32_t monthdays(int32_t month, int32_t year) {
    if (month == 2) return (year % 4 == 0 && (year % 100 != 0 || year % 400 == 0)) ? 29 : 28;
    return (month == 4 || month == 6 || month == 9 || month == 11) ? 30 : 31;
}

bool readdate(std::string_view text, int& year, int& month, int& day) {
    if (text.size() >= 20) return false;
    DateFields f;
    const bool fits = yearfirst(text, true, f) || yearfirst(text, false, f) || dayfirst(text, '/', f) ||
                      dayfirst(text, '-', f) || dayfirst(text, ' ', f) || dayfirst(text, '.', f);
    if (!fits) return false;
    const int32_t m = monthnum(f.month);
    int64_t y = f.year;
    if (y >= 0 && y <= 49) y += 2000;
    else if (y >= 50 && y <= 99) y += 1900;
    if (m < 1 || m > 12 || y < 100 || y > 2999) return false;
    if (f.day < 1 || f.day > monthdays(m, static_cast<int32_t>(y))) return false;
    year = static_cast<int>(y);
    month = m;
    day = static_cast<int>(f.day);
    return true;
}

std::string normdate(std::string_view text) {
    int y, m, d;
    if (!readdate(text, y, m, d)) return {};
    return rtl::FormatDateTime(formatsettings.ShortDateFormat, rtl::EncodeDate(y, m, d));
}

int32_t lastpos(std::string_view text, std::string_view search) {
    if (search.empty()) return 0;
    const size_t p = text.rfind(search);
    return p == std::string_view::npos ? 0 : static_cast<int32_t>(p + 1);
}

std::string datetimestr(TDateTime dt) {
    std::string r = rtl::FormatDateTime(formatsettings.ShortDateFormat, dt);
    if (fracpart(dt) != 0) r += " " + rtl::FormatDateTime(formatsettings.LongTimeFormat, dt);
    return r;
}

}  // namespace helpers
