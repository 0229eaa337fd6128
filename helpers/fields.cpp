// Delimited fields: getdelimel and its relatives, the sequential readers and
// number ranges.
#include <array>
#include <climits>
#include <cstdlib>

#include "helpers/internal.h"
#include "helpers/kwutil.h"
#include "platform/rtl/sysutils.h"

namespace helpers {

const std::string endfield = "\n";

namespace {

using DelimSet = std::array<bool, 256>;

DelimSet delimset(std::string_view delimiters) {
    DelimSet set{};
    for (const char c : delimiters) set[static_cast<unsigned char>(c)] = true;
    return set;
}

// Where a scan stands: the next character to look at and the number of the
// field it belongs to.
struct Cursor {
    size_t pos = 0;
    int32_t field = 1;
};

// Reads field N from the cursor on. With Quotes, double quotes switch an
// inside-quotes state (starting off) and are dropped; Quoted, when given, is
// set by a quote met inside field N. The cursor stops on the delimiter that
// ends field N.
std::string scanfield(std::string_view text, const DelimSet& delims, int32_t n, Cursor& at, bool quotes,
                      bool* quoted) {
    std::string out;
    bool inside = false;
    while (at.pos < text.size()) {
        const char c = text[at.pos];
        if (quotes && c == '"') {
            inside = !inside;
            if (quoted && at.field == n) *quoted = true;
        } else if (!inside && delims[static_cast<unsigned char>(c)]) {
            if (at.field == n) return out;
            ++at.field;
        } else if (at.field == n) {
            out += c;
        }
        ++at.pos;
    }
    return at.field < n ? endfield : out;
}

TFieldScanner& reader(int which) {
    static TFieldScanner readers[] = {
        {"sqgetdelimel", false},  {"sqgetdelimel2", false}, {"sqgetdelimel3", false},
        {"sqgetdelimel4", false}, {"sqcsvdelimel", true},   {"sqcsvdelimel3", true},
    };
    return readers[which];
}

}  // namespace

std::string getdelimel(std::string_view text, std::string_view delimiters, int32_t n) {
    Cursor at;
    return scanfield(text, delimset(delimiters), n, at, false, nullptr);
}

std::string csvdelimel(std::string_view text, std::string_view delimiters, int32_t n) {
    fieldquoted = false;
    Cursor at;
    return scanfield(text, delimset(delimiters), n, at, true, &fieldquoted);
}

std::string TFieldScanner::field(const std::string& text, std::string_view delimiters, int32_t n) {
    if (n == 1) {
        text_ = text;
        addr_ = text.data();
        size_ = text.size();
        pos_ = 0;
        fieldno_ = 1;
    } else if (text.data() != addr_ || text.size() != size_) {
        errreport("Pointer mismatch in " + name_);
    }
    Cursor at{pos_, fieldno_};
    std::string r = scanfield(text_, delimset(delimiters), n, at, quotes_, nullptr);
    pos_ = at.pos;
    fieldno_ = at.field;
    return r;
}

std::string sqgetdelimel(const std::string& t, std::string_view d, int32_t n) { return reader(0).field(t, d, n); }
std::string sqgetdelimel2(const std::string& t, std::string_view d, int32_t n) { return reader(1).field(t, d, n); }
std::string sqgetdelimel3(const std::string& t, std::string_view d, int32_t n) { return reader(2).field(t, d, n); }
std::string sqgetdelimel4(const std::string& t, std::string_view d, int32_t n) { return reader(3).field(t, d, n); }
std::string sqcsvdelimel(const std::string& t, std::string_view d, int32_t n) { return reader(4).field(t, d, n); }
std::string sqcsvdelimel3(const std::string& t, std::string_view d, int32_t n) { return reader(5).field(t, d, n); }

namespace detail {

std::vector<std::string> splitfields(std::string_view text, std::string_view delimiters, bool quotes) {
    const DelimSet delims = delimset(delimiters);
    std::vector<std::string> fields;
    Cursor at;
    for (int32_t n = 1;; ++n) {
        const bool last = at.pos >= text.size();
        // The cursor rests on the delimiter that ended the previous field.
        fields.push_back(scanfield(text, delims, n, at, quotes, nullptr));
        if (last || at.pos >= text.size()) break;
    }
    return fields;
}

int64_t atoi64(std::string_view text) {
    const std::string s(text);
    return std::strtoll(s.c_str(), nullptr, 10);
}

}  // namespace detail

int32_t inranges(std::string_view list, int64_t value) {
    const auto elements = detail::splitfields(list, ",", false);
    for (size_t k = 0; k < elements.size(); ++k) {
        const std::string e = rtl::Trim(elements[k]);
        if (e.empty()) continue;
        const int dash = rtl::PosEx("-", e, 2);
        bool hit;
        if (dash == 0) {
            hit = value == detail::atoi64(e);
        } else {
            const int64_t a = detail::atoi64(rtl::Copy(e, 1, dash - 1));
            const std::string upper = rtl::Copy(e, dash + 1, 30);
            hit = upper.empty() ? value >= a : (a <= value && value <= detail::atoi64(upper));
        }
        if (hit) return static_cast<int32_t>(k + 1);
    }
    return 0;
}

}  // namespace helpers
