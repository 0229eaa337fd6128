// Wildcard and "KWRE:" regular-expression matching over PCRE, and mask lists.
#include <pcre.h>

#include <algorithm>
#include <unordered_map>

#include "helpers/internal.h"
#include "helpers/kwutil.h"
#include "platform/rtl/sysutils.h"

namespace helpers {

namespace {

// PCRE's own machine stack for compiled patterns is 32 KB, which a pattern
// like "Subject:(.|\n)*word" outgrows on a text of 2 KB. One larger stack
// serves every pattern (the program matches on one thread); it is reserved,
// not filled, so its size costs nothing until a match needs it.
constexpr int kJitStackSize = 8 * 1024 * 1024;
// Steps a match may take before it gives up: patterns that backtrack without
// end are cut off long before they stall a filter run.
constexpr unsigned long kMatchLimit = 10000000;
// Where a pattern runs without compiled code, PCRE recurses on the machine
// stack: its depth is held to what a quarter of an 8 MB stack holds.
constexpr unsigned long kRecursionBudget = 2 * 1024 * 1024;

struct JitStack {
    pcre_jit_stack* stack = pcre_jit_stack_alloc(32 * 1024, kJitStackSize);
    ~JitStack() {
        if (stack) pcre_jit_stack_free(stack);
    }
};

pcre_jit_stack* jitstack() {
    static JitStack s;
    return s.stack;
}

unsigned long recursionlimit() {
    // PCRE tells the size of one of its frames when asked this way.
    static const unsigned long limit = [] {
        const int frame = -pcre_exec(nullptr, nullptr, nullptr, -999, -999, 0, nullptr, 0);
        return kRecursionBudget / static_cast<unsigned long>(frame > 0 ? frame : 1000);
    }();
    return limit;
}

uint64_t compilecount = 0;

}  // namespace

// One compiled form of an expression: for UTF-8 text or for bytes.
class TRegexForm {
public:
    explicit TRegexForm(pcre* re) : re_(re) {
        const char* error = nullptr;
        // Studied, and compiled to machine code where PCRE can, once: a
        // pattern usually runs over many rows.
        extra_ = pcre_study(re_, PCRE_STUDY_JIT_COMPILE | PCRE_STUDY_EXTRA_NEEDED, &error);
        if (!extra_) return;
        pcre_assign_jit_stack(extra_, nullptr, jitstack());
        extra_->flags |= PCRE_EXTRA_MATCH_LIMIT | PCRE_EXTRA_MATCH_LIMIT_RECURSION;
        extra_->match_limit = kMatchLimit;
        extra_->match_limit_recursion = recursionlimit();
    }
    ~TRegexForm() {
        if (extra_) pcre_free_study(extra_);
        pcre_free(re_);
    }
    TRegexForm(const TRegexForm&) = delete;
    TRegexForm& operator=(const TRegexForm&) = delete;
    const pcre* get() const { return re_; }
    const pcre_extra* extra() const { return extra_; }

private:
    pcre* re_;
    pcre_extra* extra_ = nullptr;
};

namespace {

// How much of an expression a message shows on each side of a point: a
// pattern may be megabytes long, a message box or log entry may not.
constexpr size_t kShownBytes = 200;

// Moves a cut back to the start of a UTF-8 character.
size_t charstart(std::string_view text, size_t at) {
    while (at > 0 && at < text.size() && (static_cast<unsigned char>(text[at]) & 0xC0) == 0x80) --at;
    return at;
}

// The bytes of Text from Start to End, at most kShownBytes of them, cut at
// the end (Tail) or at the start, the cut told by the bytes it left out.
std::string shownpart(std::string_view text, size_t start, size_t end, bool tail) {
    const size_t size = end - start;
    if (size <= kShownBytes) return std::string(text.substr(start, size));
    const std::string left = " ... [" + std::to_string(size - kShownBytes) + " bytes more] ... ";
    if (tail) return std::string(text.substr(start, charstart(text, start + kShownBytes) - start)) + left;
    const size_t from = charstart(text, end - kShownBytes);
    return left + std::string(text.substr(from, end - from));
}

// The expression as a message shows it, with " HERE-->" at the error offset.
std::string shownexpression(std::string_view expression, size_t at) {
    return shownpart(expression, 0, at, false) + " HERE-->" + shownpart(expression, at, expression.size(), true);
}

std::string shownexpression(std::string_view expression) {
    return shownpart(expression, 0, expression.size(), true);
}

pcre* compileform(const std::string& expression, bool utf8, const char*& error, int& offset) {
    ++compilecount;
    return pcre_compile(expression.c_str(), utf8 ? PCRE_UTF8 | PCRE_UCP : 0, &error, &offset, nullptr);
}

}  // namespace

// An expression matches UTF-8 text character by character (Unicode case
// folding, "." one character, letters of every script in "\w" and "\b"),
// and any other text byte by byte. Where both pattern and text are ASCII
// the two ways agree, and the faster byte form serves. Each form is
// compiled when first needed.
class TRegex {
public:
    using TTextKind = detail::TTextKind;
    TRegex(std::string expression, pcre* first, TTextKind kind) : expression_(std::move(expression)), kind_(kind) {
        (utf8for(TTextKind::ascii) ? utf8_ : bytes_) = std::make_unique<TRegexForm>(first);
    }
    // Whether a text of that kind is matched in UTF-8 mode.
    bool utf8for(TTextKind text) const {
        if (kind_ == TTextKind::bytes || text == TTextKind::bytes) return false;
        return text == TTextKind::utf8 || kind_ == TTextKind::utf8;
    }
    // The form for a text of that kind; none when it does not compile in
    // that mode (logged).
    const TRegexForm* form(TTextKind text) const {
        const bool utf8 = utf8for(text);
        std::unique_ptr<TRegexForm>& f = utf8 ? utf8_ : bytes_;
        if (!f && !failed_[utf8]) {
            const char* error = nullptr;
            int offset = 0;
            if (pcre* re = compileform(expression_, utf8, error, offset)) {
                f = std::make_unique<TRegexForm>(re);
            } else {
                failed_[utf8] = true;
                errlog("Regular expression not usable on " + std::string(utf8 ? "UTF-8" : "other") + " text: " +
                       (error ? error : "") + "\r\n" + shownexpression(expression_));
            }
        }
        return f.get();
    }
    // Logs, once, that a match gave up on a text.
    void logstop(size_t size) const {
        if (stoplogged_) return;
        stoplogged_ = true;
        errlog("Regular expression gave up on a text of " + std::to_string(size) +
               " bytes (it needed more steps or stack than a match may take); counted as no match:\r\n" +
               shownexpression(expression_));
    }

private:
    std::string expression_;
    TTextKind kind_;  // of the expression
    mutable std::unique_ptr<TRegexForm> bytes_, utf8_;
    mutable bool failed_[2] = {false, false};
    mutable bool stoplogged_ = false;
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

PRegex compileexpression(const std::string& expression, std::string& error);

// With Error, a failure is described there instead of reported.
PRegex cachedregex(const std::string& expression, std::string* error = nullptr) {
    if (PRegex re = lookup(compiled(), expression)) return re;
    PRegex re = error ? compileexpression(expression, *error) : reerror(expression);
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

namespace {
// The compiled expression, or null with the error described in Error.
PRegex compileexpression(const std::string& expression, std::string& error) {
    const char* why = nullptr;
    int offset = 0;
    // Compiled first in the form an ASCII text needs: with the texts
    // converted to UTF-8 on arrival, most are ASCII or UTF-8.
    const detail::TTextKind kind = detail::textkind(expression);
    if (pcre* re = compileform(expression, kind == detail::TTextKind::utf8, why, offset))
        return std::make_shared<const TRegex>(expression, re, kind);
    reerrflag = true;
    const auto at = static_cast<size_t>(std::clamp(offset, 0, static_cast<int>(expression.size())));
    error = std::string(why ? why : "") + "\r\n" + shownexpression(expression, at);
    return nullptr;
}
}  // namespace

PRegex reerror(const std::string& expression) {
    std::string error;
    PRegex re = compileexpression(expression, error);
    if (!re) errreport("Regular Expression Error :-\r\n" + error);
    return re;
}

uint64_t detail::compilations() { return compilecount; }

bool detail::rexecfrom(const TRegex& compiled, std::string_view text, TTextKind kind, size_t offset, size_t& start,
                       size_t& end) {
    // UTF-8 matching starts only where a character does.
    if (kind == TTextKind::utf8 && offset < text.size() && (static_cast<unsigned char>(text[offset]) & 0xC0) == 0x80)
        kind = TTextKind::bytes;
    const bool utf8 = compiled.utf8for(kind);
    const TRegexForm* form = compiled.form(kind);
    if (!form) {
        reerrflag = true;
        return false;
    }
    int ov[kOffsets];
    const int rc = pcre_exec(form->get(), form->extra(), text.data(), static_cast<int>(text.size()),
                             static_cast<int>(offset), utf8 ? PCRE_NO_UTF8_CHECK : 0, ov, kOffsets);
    if (rc >= 0) {
        start = static_cast<size_t>(ov[0]);
        end = static_cast<size_t>(ov[1]);
        return true;
    }
    if (rc == PCRE_ERROR_NOMATCH) return false;
    reerrflag = true;
    // A pattern that runs out of steps or stack on some text is no match
    // there; a box per message would stop a filter run for nothing.
    if (rc == PCRE_ERROR_MATCHLIMIT || rc == PCRE_ERROR_RECURSIONLIMIT || rc == PCRE_ERROR_JIT_STACKLIMIT)
        compiled.logstop(text.size());
    else
        errreport("Internal PCRE Matching Error");
    return false;
}

bool rexec(const TRegex& compiled, std::string_view text) {
    clearmatch();
    size_t start, end;
    if (!detail::rexecfrom(compiled, text, detail::textkind(text), 0, start, end)) return false;
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

PRegex patternregex(std::string_view pattern, bool matchcase, std::string& error) {
    return cachedregex(kPrefix + caseexpression(pattern, matchcase).substr(5), &error);
}

std::string wholewordpattern(std::string_view text) { return "KWRE:\\b" + reescape(text) + "\\b"; }

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
