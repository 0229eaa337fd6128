#include "platform/rtl/sysutils.h"

#include <algorithm>
#include <cerrno>
#include <cstdarg>
#include <cstdio>
#include <cstring>
#include <typeinfo>
#include <vector>

namespace rtl {

const char* ExceptionClassName(const std::exception& e) {
    if (auto* ours = dynamic_cast<const Exception*>(&e)) return ours->ClassName();
    return typeid(e).name();
}

std::string Copy(std::string_view s, int64_t index, int64_t count) {
    const auto len = static_cast<int64_t>(s.size());
    if (index < 1 || index > len || count <= 0) return {};
    return std::string(s.substr(static_cast<size_t>(index - 1),
                                static_cast<size_t>(std::min(count, len - index + 1))));
}

std::string CopyFrom(std::string_view s, int64_t index) {
    return Copy(s, index, static_cast<int64_t>(s.size()));
}

int Pos(std::string_view sub, std::string_view s) { return PosEx(sub, s, 1); }

int PosEx(std::string_view sub, std::string_view s, int64_t offset) {
    if (sub.empty() || offset < 1 || offset > static_cast<int64_t>(s.size())) return 0;
    const auto p = s.find(sub, static_cast<size_t>(offset - 1));
    return p == std::string_view::npos ? 0 : static_cast<int>(p + 1);
}

void Delete(std::string& s, int64_t index, int64_t count) {
    const auto len = static_cast<int64_t>(s.size());
    if (index < 1 || index > len || count <= 0) return;
    s.erase(static_cast<size_t>(index - 1), static_cast<size_t>(std::min(count, len - index + 1)));
}

void Insert(std::string_view sub, std::string& s, int64_t index) {
    if (index < 1) index = 1;
    const auto at = std::min<int64_t>(index - 1, static_cast<int64_t>(s.size()));
    s.insert(static_cast<size_t>(at), sub);
}

static bool isTrimmed(char c) { return static_cast<unsigned char>(c) <= ' '; }

std::string TrimLeft(std::string_view s) {
    size_t b = 0;
    while (b < s.size() && isTrimmed(s[b])) ++b;
    return std::string(s.substr(b));
}

std::string TrimRight(std::string_view s) {
    size_t e = s.size();
    while (e > 0 && isTrimmed(s[e - 1])) --e;
    return std::string(s.substr(0, e));
}

std::string Trim(std::string_view s) { return TrimLeft(TrimRight(s)); }

static char upperAscii(char c) { return (c >= 'a' && c <= 'z') ? char(c - 32) : c; }
static char lowerAscii(char c) { return (c >= 'A' && c <= 'Z') ? char(c + 32) : c; }

std::string UpperCase(std::string_view s) {
    std::string r(s);
    std::transform(r.begin(), r.end(), r.begin(), upperAscii);
    return r;
}

std::string LowerCase(std::string_view s) {
    std::string r(s);
    std::transform(r.begin(), r.end(), r.begin(), lowerAscii);
    return r;
}

int CompareText(std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const auto ca = static_cast<unsigned char>(upperAscii(a[i]));
        const auto cb = static_cast<unsigned char>(upperAscii(b[i]));
        if (ca != cb) return ca < cb ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

bool SameText(std::string_view a, std::string_view b) {
    return a.size() == b.size() && CompareText(a, b) == 0;
}

int CompareStr(std::string_view a, std::string_view b) {
    const int c = a.compare(b);
    return c < 0 ? -1 : (c > 0 ? 1 : 0);
}

bool StartsText(std::string_view prefix, std::string_view s) {
    return s.size() >= prefix.size() && SameText(s.substr(0, prefix.size()), prefix);
}

std::string IntToStr(int64_t v) { return std::to_string(v); }

std::string IntToHex(uint64_t v, int digits) {
    char buf[32];
    std::snprintf(buf, sizeof buf, "%0*llX", std::clamp(digits, 0, 16),
                  static_cast<unsigned long long>(v));
    return buf;
}

bool TryStrToInt64(std::string_view s, int64_t& out) {
    size_t i = 0;
    while (i < s.size() && s[i] == ' ') ++i;
    bool neg = false;
    if (i < s.size() && (s[i] == '+' || s[i] == '-')) neg = s[i++] == '-';
    int base = 10;
    if (i < s.size() && s[i] == '$') {
        base = 16;
        ++i;
    } else if (i + 1 < s.size() && s[i] == '0' && (s[i + 1] == 'x' || s[i + 1] == 'X')) {
        base = 16;
        i += 2;
    }
    if (i >= s.size()) return false;
    unsigned __int128 acc = 0;
    for (; i < s.size(); ++i) {
        const char c = s[i];
        int d;
        if (c >= '0' && c <= '9') d = c - '0';
        else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
        else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
        else return false;
        acc = acc * base + d;
        if (acc > (unsigned __int128)INT64_MAX + 1) return false;
    }
    if (!neg && acc > (unsigned __int128)INT64_MAX) return false;
    out = neg ? static_cast<int64_t>(-static_cast<__int128>(acc)) : static_cast<int64_t>(acc);
    return true;
}

bool TryStrToInt(std::string_view s, int& out) {
    int64_t v;
    if (!TryStrToInt64(s, v) || v < INT32_MIN || v > INT32_MAX) return false;
    out = static_cast<int>(v);
    return true;
}

static EConvertError notAnInteger(std::string_view s) {
    return EConvertError("'" + std::string(s) + "' is not a valid integer value");
}

int StrToInt(std::string_view s) {
    int v;
    if (!TryStrToInt(s, v)) throw notAnInteger(s);
    return v;
}

int64_t StrToInt64(std::string_view s) {
    int64_t v;
    if (!TryStrToInt64(s, v)) throw notAnInteger(s);
    return v;
}

int StrToIntDef(std::string_view s, int def) {
    int v;
    return TryStrToInt(s, v) ? v : def;
}

int64_t StrToInt64Def(std::string_view s, int64_t def) {
    int64_t v;
    return TryStrToInt64(s, v) ? v : def;
}

std::string Format(const char* fmt, ...) {
    va_list ap;
    va_start(ap, fmt);
    va_list ap2;
    va_copy(ap2, ap);
    const int n = std::vsnprintf(nullptr, 0, fmt, ap);
    va_end(ap);
    std::string r;
    if (n > 0) {
        r.resize(static_cast<size_t>(n) + 1);
        std::vsnprintf(r.data(), r.size(), fmt, ap2);
        r.resize(static_cast<size_t>(n));
    }
    va_end(ap2);
    return r;
}

std::string StringReplace(std::string_view s, std::string_view from, std::string_view to,
                          unsigned flags) {
    if (from.empty()) return std::string(s);
    const std::string hay = (flags & rfIgnoreCase) ? UpperCase(s) : std::string(s);
    const std::string needle = (flags & rfIgnoreCase) ? UpperCase(from) : std::string(from);
    std::string r;
    size_t at = 0;
    while (true) {
        const size_t p = hay.find(needle, at);
        if (p == std::string::npos) break;
        r.append(s.substr(at, p - at)).append(to);
        at = p + from.size();
        if (!(flags & rfReplaceAll)) break;
    }
    r.append(s.substr(at));
    return r;
}

std::string StringOfChar(char c, int64_t count) {
    return count > 0 ? std::string(static_cast<size_t>(count), c) : std::string();
}

std::string ExtractFilePath(std::string_view path) {
    const auto p = path.rfind('/');
    return p == std::string_view::npos ? std::string() : std::string(path.substr(0, p + 1));
}

std::string ExtractFileName(std::string_view path) {
    const auto p = path.rfind('/');
    return std::string(p == std::string_view::npos ? path : path.substr(p + 1));
}

std::string ExtractFileExt(std::string_view path) {
    const std::string name = ExtractFileName(path);
    const auto p = name.rfind('.');
    return p == std::string::npos ? std::string() : name.substr(p);
}

std::string ChangeFileExt(std::string_view path, std::string_view ext) {
    const std::string name = ExtractFileName(path);
    const auto p = name.rfind('.');
    const size_t keep = path.size() - (p == std::string::npos ? 0 : name.size() - p);
    return std::string(path.substr(0, keep)) + std::string(ext);
}

std::string IncludeTrailingPathDelimiter(std::string_view path) {
    std::string r(path);
    if (r.empty() || r.back() != '/') r += '/';
    return r;
}

std::string ExcludeTrailingPathDelimiter(std::string_view path) {
    std::string r(path);
    while (r.size() > 1 && r.back() == '/') r.pop_back();
    return r;
}

std::string SysErrorMessage(int code) {
    char buf[256];
    // GNU strerror_r may return a static text instead of filling buf.
    const char* text = strerror_r(code, buf, sizeof buf);
    return text ? std::string(text) : std::string();
}

void AppendUtf8(std::string& out, uint32_t cp) {
    if (cp < 0x80) {
        out += static_cast<char>(cp);
    } else if (cp < 0x800) {
        out += static_cast<char>(0xC0 | (cp >> 6));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else if (cp < 0x10000) {
        out += static_cast<char>(0xE0 | (cp >> 12));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    } else {
        out += static_cast<char>(0xF0 | (cp >> 18));
        out += static_cast<char>(0x80 | ((cp >> 12) & 0x3F));
        out += static_cast<char>(0x80 | ((cp >> 6) & 0x3F));
        out += static_cast<char>(0x80 | (cp & 0x3F));
    }
}

}  // namespace rtl
