// Wildcard and "KWRE:" regular-expression matching over PCRE, and mask lists.
#include <pcre.h>

#include <algorithm>
#include <unordered_map>

#include "helpers/internal.h"
#include "helpers/kwutil.h"
#include "platform/rtl/sysutils.h"

namespace helpers {

class TRegex {
public:
    // Studied (and compiled to machine code where PCRE can) once, since a
    // pattern is usually run over many rows.
    explicit TRegex(pcre* re) : re_(re) {
        const char* error = nullptr;
        extra_ = pcre_study(re_, PCRE_STUDY_JIT_COMPILE, &error);
    }
    ~TRegex() {
        if (extra_) pcre_free_study(extra_);
        pcre_free(re_);
    }
    TRegex(const TRegex&) = delete;
    TRegex& operator=(const TRegex&) = delete;
    const pcre* get() const { return re_; }
    const pcre_extra* extra() const { return extra_; }

private:
    pcre* re_;
    pcre_extra* extra_ = nullptr;
};

namespace {

constexpr int kOffsets = 999;
// Ungreedy, and "^" and "$" at every line.
const std::string kPrefix = "(?U)(?m)";
// The spam filter runs a few dozen patterns over up to 1.5 million rows:
// compiling once per pattern instead of once per row is what keeps it fast.
constexpr size_t kCacheLimit = 1024;

struct EscapeCache {
    std::string in, out;
    bool set = false;
};

EscapeCache& escapecache() {
    static EscapeCache c;
    return c;
}

struct TextHash {
    using is_transparent = void;
    size_t operator()(std::string_view s) const { return std::hash<std::string_view>{}(s); }
};
using RegexCache = std::unordered_map<std::string, PRegex, TextHash, std::equal_to<>>;

// Compiled expressions by their text, and by the filter pattern they came from.
RegexCache& compiled() {
    static RegexCache cache;
    return cache;
}
RegexCache& bypattern() {
    static RegexCache cache;
    return cache;
}

PRegex lookup(RegexCache& cache, std::string_view key) {
    const auto it = cache.find(key);
    return it == cache.end() ? nullptr : it->second;
}

void remember(RegexCache& cache, std::string_view key, const PRegex& re) {
    if (cache.size() >= kCacheLimit) cache.clear();
    cache.emplace(std::string(key), re);
}

PRegex cachedregex(const std::string& expression) {
    if (PRegex re = lookup(compiled(), expression)) return re;
    PRegex re = reerror(expression);
    // Failures are not kept: they are compiled, and reported, again each time.
    if (re) remember(compiled(), expression, re);
    return re;
}

void clearmatch() {
    matchpos = 0;
    matchend = 0;
    lastmatch.clear();
}

std::string stripstars(std::string_view pattern) {
    const size_t b = pattern.find_first_not_of('*');
    return b == std::string_view::npos ? std::string() : std::string(pattern.substr(b));
}

// "(?i)" right after the marker: any case.
std::string anycase(const std::string& pattern) { return pattern.substr(0, 5) + "(?i)" + pattern.substr(5); }

// A filter pattern as a regular expression, "(?i)" in front unless case matters.
std::string caseexpression(std::string_view pattern, bool matchcase) {
    std::string p = stripstars(pattern);
    if (!detail::haskwre(p)) p = "KWRE:" + reescape(p);
    return matchcase ? p : anycase(p);
}

std::string maskexpression(std::string element, bool filenames) {
    if (filenames && element.find('.') == std::string::npos) element += '.';
    if (detail::haskwre(element)) return anycase(element);
    return "KWRE:(?i)^" + reescape(element) + "$";
}

}  // namespace

bool detail::haskwre(std::string_view pattern) { return rtl::UpperCase(pattern.substr(0, 5)) == "KWRE:"; }

void detail::resetpatterns() {
    compiled().clear();
    bypattern().clear();
    escapecache() = EscapeCache{};
}

std::string reescape(std::string_view text) {
    EscapeCache& c = escapecache();
    if (c.set && c.in == text) return c.out;
    std::string out;
    out.reserve(text.size() * 2);
    for (const char ch : text) {
        if (ch == '*') out += ".*";
        else if (ch == '?') out += ".{1}";
        else {
            if (std::string_view("\\^$.|+(){}[]").find(ch) != std::string_view::npos) out += '\\';
            out += ch;
        }
    }
    c.in = std::string(text);
    c.out = out;
    c.set = true;
    return out;
}

PRegex reerror(const std::string& expression) {
    const char* error = nullptr;
    int offset = 0;
    pcre* re = pcre_compile(expression.c_str(), 0, &error, &offset, nullptr);
    if (re) return std::make_shared<const TRegex>(re);
    reerrflag = true;
    const auto at = static_cast<size_t>(std::clamp(offset, 0, static_cast<int>(expression.size())));
    errreport("Regular Expression Error :-\r\n" + std::string(error ? error : "") + "\r\n" + expression.substr(0, at) +
              " HERE-->" + expression.substr(at));
    return nullptr;
}

bool detail::rexecfrom(const TRegex& compiled, std::string_view text, size_t offset, size_t& start, size_t& end) {
    int ov[kOffsets];
    const int rc = pcre_exec(compiled.get(), compiled.extra(), text.data(), static_cast<int>(text.size()),
                             static_cast<int>(offset), 0, ov, kOffsets);
    if (rc >= 0) {
        start = static_cast<size_t>(ov[0]);
        end = static_cast<size_t>(ov[1]);
        return true;
    }
    if (rc != PCRE_ERROR_NOMATCH) {
        reerrflag = true;
        errreport("Internal PCRE Matching Error");
    }
    return false;
}

bool rexec(const TRegex& compiled, std::string_view text) {
    clearmatch();
    size_t start, end;
    if (!detail::rexecfrom(compiled, text, 0, start, end)) return false;
    matchpos = static_cast<int32_t>(start) + 1;
    matchend = static_cast<int32_t>(end);
    lastmatch = std::string(text.substr(start, end - start));
    return true;
}

bool rerun(const std::string& expression, std::string_view text) {
    reerrflag = false;
    if (text.empty()) return false;
    const PRegex re = cachedregex(kPrefix + expression);
    return re && rexec(*re, text);
}

bool rematch(std::string_view pattern, std::string_view text) {
    clearmatch();
    if (text.empty()) return false;
    // A pattern seen before skips its translation as well as its compilation.
    if (const PRegex re = lookup(bypattern(), pattern)) {
        reerrflag = false;
        return rexec(*re, text);
    }
    const std::string expression = detail::haskwre(pattern) ? std::string(pattern.substr(5))
                                                            : reescape(stripstars(pattern));
    const bool hit = rerun(expression, text);
    if (const PRegex re = lookup(compiled(), kPrefix + expression)) remember(bypattern(), pattern, re);
    return hit;
}

bool rematchc(std::string_view pattern, std::string_view text, bool matchcase) {
    return rematch(caseexpression(pattern, matchcase), text);
}

PRegex detail::filterregex(std::string_view pattern, bool matchcase) {
    return cachedregex(kPrefix + caseexpression(pattern, matchcase).substr(5));
}

PRegex patternregex(std::string_view pattern, bool matchcase) { return detail::filterregex(pattern, matchcase); }

bool maskmatch(std::string_view masks, std::string_view name, bool filenames) {
    std::string subject(name);
    if (filenames && subject.find('.') == std::string::npos) subject += '.';
    const auto elements = detail::splitfields(masks, ";", true);
    // Exclusions first: one of them vetoes whatever an inclusion says.
    for (const bool exclusions : {true, false}) {
        for (const auto& e : elements) {
            if (e.empty() || (e[0] == '-') != exclusions) continue;
            if (rematch(maskexpression(exclusions ? e.substr(1) : e, filenames), subject)) return !exclusions;
        }
    }
    return false;
}

bool masklist(std::string_view masks, std::string_view name) { return maskmatch(masks, name, true); }

}  // namespace helpers
