#include "mailbox/msgrows.h"

#include <algorithm>
#include <array>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <iterator>
#include <numeric>
#include <bit>
#include <cmath>
#include <limits>
#include <utility>
#include <vector>

#include <sys/mman.h>

namespace mailbox {

namespace {

// Blocks for whole columns of 1.5 million rows and for text chunks, straight
// from the kernel: zeroed, resident only where written, and in huge pages
// where the system allows them, which spares most page faults and TLB
// misses of filling, sorting and searching.
void* bigAlloc(size_t bytes) {
    void* p = mmap(nullptr, bytes, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) throw std::bad_alloc();
#ifdef MADV_HUGEPAGE
    madvise(p, bytes, MADV_HUGEPAGE);
#endif
    return p;
}

void bigFree(void* p, size_t bytes) {
    if (p) munmap(p, bytes);
}

// Texts go into chunks of this size; a longer text gets a chunk of its own.
// A reference counts 4-byte units: chunk number << 20 | unit within it, so
// 32 bits reach 4096 chunks of 4 MB. Chunks are small enough that one whose
// texts have all been given back is taken again for new texts: its pages
// are in place, and fresh pages cost a fault each.
constexpr size_t kChunk = 4u << 20;
constexpr unsigned kUnitBits = 20;
constexpr size_t kUnit = 4;
constexpr size_t kMaxChunks = 4096;
// The longest text: one chunk of its own, its units still countable.
constexpr size_t kMaxText = 64u << 20;

}  // namespace

// ---------------------------------------------------------------- folding

namespace {

// Letters of U+00C0..U+017F as their base letters, upper case; "" keeps
// the character as it is (the multiplication and division signs).
struct TLatinRange {
    char32_t from, to;
    const char* base;
};
constexpr TLatinRange kLatin[] = {
    {0xC0, 0xC5, "A"},   {0xC6, 0xC6, "AE"},  {0xC7, 0xC7, "C"},   {0xC8, 0xCB, "E"},   {0xCC, 0xCF, "I"},
    {0xD0, 0xD0, "D"},   {0xD1, 0xD1, "N"},   {0xD2, 0xD6, "O"},   {0xD7, 0xD7, ""},    {0xD8, 0xD8, "O"},
    {0xD9, 0xDC, "U"},   {0xDD, 0xDD, "Y"},   {0xDE, 0xDE, "TH"},  {0xDF, 0xDF, "SS"},  {0xE0, 0xE5, "A"},
    {0xE6, 0xE6, "AE"},  {0xE7, 0xE7, "C"},   {0xE8, 0xEB, "E"},   {0xEC, 0xEF, "I"},   {0xF0, 0xF0, "D"},
    {0xF1, 0xF1, "N"},   {0xF2, 0xF6, "O"},   {0xF7, 0xF7, ""},    {0xF8, 0xF8, "O"},   {0xF9, 0xFC, "U"},
    {0xFD, 0xFD, "Y"},   {0xFE, 0xFE, "TH"},  {0xFF, 0xFF, "Y"},   {0x100, 0x105, "A"}, {0x106, 0x10D, "C"},
    {0x10E, 0x111, "D"}, {0x112, 0x11B, "E"}, {0x11C, 0x123, "G"}, {0x124, 0x127, "H"}, {0x128, 0x131, "I"},
    {0x132, 0x133, "IJ"}, {0x134, 0x135, "J"}, {0x136, 0x138, "K"}, {0x139, 0x142, "L"}, {0x143, 0x14B, "N"},
    {0x14C, 0x151, "O"}, {0x152, 0x153, "OE"}, {0x154, 0x159, "R"}, {0x15A, 0x161, "S"}, {0x162, 0x167, "T"},
    {0x168, 0x173, "U"}, {0x174, 0x175, "W"}, {0x176, 0x178, "Y"}, {0x179, 0x17E, "Z"}, {0x17F, 0x17F, "S"},
};
constexpr char32_t kLatinFirst = 0xC0, kLatinLast = 0x17F;

struct TLatinTable {
    char text[kLatinLast - kLatinFirst + 1][2] = {};
    constexpr TLatinTable() {
        for (const TLatinRange& r : kLatin)
            for (char32_t c = r.from; c <= r.to; ++c)
                for (size_t k = 0; k < 2 && r.base[k]; ++k) text[c - kLatinFirst][k] = r.base[k];
    }
};
constexpr TLatinTable kLatinTable;

// Greek and Cyrillic letters to their capitals; Greek vowels lose their
// tonos and dialytika.
char32_t foldGreekCyrillic(char32_t c) {
    switch (c) {
        case 0x386: case 0x3AC: return 0x391;
        case 0x388: case 0x3AD: return 0x395;
        case 0x389: case 0x3AE: return 0x397;
        case 0x38A: case 0x3AF: case 0x390: case 0x3AA: case 0x3CA: return 0x399;
        case 0x38C: case 0x3CC: return 0x39F;
        case 0x38E: case 0x3CD: case 0x3B0: case 0x3AB: case 0x3CB: return 0x3A5;
        case 0x38F: case 0x3CE: return 0x3A9;
        case 0x3C2: return 0x3A3;  // final sigma
        case 0x4CF: return 0x4C0;
        default: break;
    }
    if (c >= 0x3B1 && c <= 0x3C9) return c - 0x20;
    if (c >= 0x430 && c <= 0x44F) return c - 0x20;
    if (c >= 0x450 && c <= 0x45F) return c - 0x50;
    // Cyrillic pairs: capital first, small after it.
    if ((c >= 0x460 && c <= 0x481) || (c >= 0x48A && c <= 0x4BF) || (c >= 0x4D0 && c <= 0x4FF)) return c & ~char32_t{1};
    if (c >= 0x4C1 && c <= 0x4CE && c % 2 == 0) return c - 1;
    return c;
}

constexpr auto kUpperAscii = [] {
    std::array<unsigned char, 128> t{};
    for (unsigned c = 0; c < 128; ++c) t[c] = static_cast<unsigned char>(c >= 'a' && c <= 'z' ? c - 32 : c);
    return t;
}();

// The folded bytes of one character.
struct TFolded {
    unsigned char b[4];
    unsigned n;
};

// Folds the character at P (N > 0 bytes left) and returns how many bytes it
// took. Bytes that make no UTF-8 character stay as they are, one by one.
size_t foldChar(const unsigned char* p, size_t n, TFolded& out) {
    const unsigned char c = p[0];
    if (c < 0x80) {
        out.b[0] = kUpperAscii[c];
        out.n = 1;
        return 1;
    }
    const size_t len = c >= 0xF0 && c <= 0xF4 ? 4 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xC2 && c <= 0xDF ? 2 : 1;
    bool valid = len > 1 && len <= n;
    for (size_t k = 1; valid && k < len; ++k) valid = (p[k] & 0xC0) == 0x80;
    if (!valid) {
        out.b[0] = c;
        out.n = 1;
        return 1;
    }
    if (len == 2) {
        const char32_t cp = (char32_t{c & 0x1Fu} << 6) | (p[1] & 0x3Fu);
        if (cp >= kLatinFirst && cp <= kLatinLast && kLatinTable.text[cp - kLatinFirst][0]) {
            const char* t = kLatinTable.text[cp - kLatinFirst];
            out.b[0] = static_cast<unsigned char>(t[0]);
            out.n = 1;
            if (t[1]) out.b[out.n++] = static_cast<unsigned char>(t[1]);
            return 2;
        }
        const char32_t f = cp >= 0x370 && cp <= 0x4FF ? foldGreekCyrillic(cp) : cp;
        out.b[0] = static_cast<unsigned char>(0xC0 | (f >> 6));
        out.b[1] = static_cast<unsigned char>(0x80 | (f & 0x3F));
        out.n = 2;
        return 2;
    }
    std::memcpy(out.b, p, len);
    out.n = static_cast<unsigned>(len);
    return len;
}

// A text's folded bytes one at a time; -1 past its end.
class TFoldReader {
public:
    explicit TFoldReader(std::string_view s) : p_(reinterpret_cast<const unsigned char*>(s.data())), n_(s.size()) {}
    int Next() {
        if (at_ == cur_.n) {
            if (i_ >= n_) return -1;
            i_ += foldChar(p_ + i_, n_ - i_, cur_);
            at_ = 0;
        }
        return cur_.b[at_++];
    }

private:
    const unsigned char* p_;
    size_t n_, i_ = 0;
    TFolded cur_{{}, 0};
    unsigned at_ = 0;
};

}  // namespace

int CompareTextCI(std::string_view a, std::string_view b) {
    TFoldReader x(a), y(b);
    for (;;) {
        const int cx = x.Next(), cy = y.Next();
        if (cx != cy) return cx < cy ? -1 : 1;
        if (cx < 0) return 0;
    }
}

std::string SortFold(std::string_view s) {
    std::string out;
    TFoldReader r(s);
    for (int c; (c = r.Next()) >= 0;) out += static_cast<char>(c);
    return out;
}

// ---------------------------------------------------------------- arena

TTextArena::TTextArena() = default;

TTextArena::~TTextArena() { Clear(); }

void TTextArena::Clear() {
    for (const TChunk& c : chunks_) bigFree(c.p, c.size);
    chunks_.clear();
    spare_.clear();
    // No chunk until the first text: reference 0 is the empty text and
    // needs no memory.
    cur_ = SIZE_MAX;
    fill_ = 0;
    used_ = 0;
}

size_t TTextArena::units(size_t bytes) { return (sizeof(uint32_t) + bytes + kUnit - 1) / kUnit * kUnit; }

size_t TTextArena::newChunk(size_t bytes) {
    // A chunk given back keeps its slot and its pages.
    if (bytes == kChunk && !spare_.empty()) {
        const size_t k = spare_.back();
        spare_.pop_back();
        return k;
    }
    // Slot 0 holds no chunk of one text: its unit 0 is reference 0.
    if (chunks_.empty() && bytes != kChunk) chunks_.push_back(TChunk{});
    for (size_t k = bytes == kChunk ? 0 : 1; k < chunks_.size(); ++k)
        if (!chunks_[k].p) {
            chunks_[k] = {static_cast<char*>(bigAlloc(bytes)), bytes, 0};
            return k;
        }
    if (chunks_.size() >= kMaxChunks) throw std::length_error("The message texts fill the store");
    chunks_.push_back({static_cast<char*>(bigAlloc(bytes)), bytes, 0});
    return chunks_.size() - 1;
}

uint32_t TTextArena::Add(std::string_view s) {
    if (s.empty()) return 0;
    const size_t need = units(s.size());
    if (s.size() > kMaxText) throw std::length_error("A text of " + std::to_string(s.size()) + " bytes is too long for a row");
    size_t k, at;
    if (need > kChunk) {
        // A chunk of its own, apart from the one being filled.
        k = newChunk(need);
        at = 0;
    } else {
        if (cur_ == SIZE_MAX || fill_ + need > kChunk) {
            const size_t full = cur_;
            cur_ = newChunk(kChunk);
            // Reference 0 (chunk 0, unit 0) stands for the empty text.
            fill_ = cur_ == 0 ? kUnit : 0;
            if (full != SIZE_MAX && chunks_[full].live == 0) spare_.push_back(full);
        }
        k = cur_;
        at = fill_;
        fill_ += need;
    }
    TChunk& c = chunks_[k];
    const auto len = static_cast<uint32_t>(s.size());
    std::memcpy(c.p + at, &len, sizeof len);
    std::memcpy(c.p + at + sizeof len, s.data(), s.size());
    c.live += need;
    used_ += s.size();
    return static_cast<uint32_t>((k << kUnitBits) | (at / kUnit));
}

void TTextArena::Release(uint32_t ref) {
    if (ref == 0) return;
    const size_t k = ref >> kUnitBits;
    TChunk& c = chunks_[k];
    const size_t bytes = Get(ref).size();
    c.live -= units(bytes);
    used_ -= bytes;
    if (c.live > 0 || k == cur_) return;
    if (c.size == kChunk) {
        spare_.push_back(k);
    } else {
        bigFree(c.p, c.size);
        c = TChunk{};
    }
}

char* TTextArena::at(uint32_t ref) const {
    return chunks_[ref >> kUnitBits].p + (ref & ((1u << kUnitBits) - 1)) * kUnit;
}

std::string_view TTextArena::Get(uint32_t ref) const {
    // The empty text still points somewhere: readers hand it to memchr and the like.
    if (ref == 0) return {"", 0};
    const char* p = at(ref);
    uint32_t len;
    std::memcpy(&len, p, sizeof len);
    return {p + sizeof len, len};
}

// ---------------------------------------------------------------- dates

namespace {

bool isLetter(char c) { return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z'); }

// The words a mail date may hold before its time: day and month names, and
// zone names where a date has no time.
bool dateWord(std::string_view w) {
    static constexpr std::string_view known[] = {
        "mon", "tue", "wed", "thu", "fri", "sat", "sun", "monday", "tuesday", "wednesday", "thursday", "friday",
        "saturday", "sunday", "jan", "feb", "mar", "apr", "may", "jun", "jul", "aug", "sep", "sept", "oct", "nov",
        "dec", "january", "february", "march", "april", "june", "july", "august", "september", "october",
        "november", "december", "ut", "utc", "gmt", "est", "edt", "cst", "cdt", "mst", "mdt", "pst", "pdt"};
    std::string lower(w);
    for (char& c : lower) c = static_cast<char>(c | 0x20);
    return std::find(std::begin(known), std::end(known), lower) != std::end(known);
}

}  // namespace

bool MayBeMailDate(std::string_view text) {
    // A plain number would be read as a count of days.
    const size_t b = text.find_first_not_of(" \t\r\n");
    if (b == std::string_view::npos) return false;
    const std::string_view t = text.substr(b, text.find_last_not_of(" \t\r\n") - b + 1);
    const size_t sign = t[0] == '+' || t[0] == '-' ? 1 : 0;
    if (t.find_first_not_of("0123456789.,", sign) == std::string_view::npos) return false;
    // The date is read from its first digit up to its time; a word there
    // stands for the month and must name one (the reader would guess a
    // month from its first letters). A zone after the time may be any name.
    const size_t first = t.find_first_of("0123456789");
    if (first == std::string_view::npos) return true;
    const std::string_view date = t.substr(first, t.find(':', first) - first);
    int depth = 0;
    for (size_t i = 0; i < date.size();) {
        const char c = date[i];
        if (c == '(') ++depth;
        if (c == ')' && depth > 0) --depth;
        if (depth > 0 || !(isLetter(c) || static_cast<unsigned char>(c) >= 0x80)) {
            ++i;
            continue;
        }
        size_t j = i;
        while (j < date.size() && (isLetter(date[j]) || static_cast<unsigned char>(date[j]) >= 0x80)) ++j;
        if (!dateWord(date.substr(i, j - i))) return false;
        i = j;
    }
    return true;
}

// ---------------------------------------------------------------- store

namespace {

template <typename T>
class TBigArray {
public:
    explicit TBigArray(size_t n) : n_(std::max<size_t>(n, 1)), p_(static_cast<T*>(bigAlloc(n_ * sizeof(T)))) {}
    ~TBigArray() { bigFree(p_, n_ * sizeof(T)); }
    TBigArray(const TBigArray&) = delete;
    TBigArray& operator=(const TBigArray&) = delete;
    T* get() const { return p_; }

private:
    size_t n_;
    T* p_;
};

}  // namespace

TRowStore::TRowStore(TDateReader readDate, int capacity) : readDate_(std::move(readDate)), capacity_(capacity) {
    rows_ = static_cast<TMsgRow*>(bigAlloc(static_cast<size_t>(capacity) * sizeof(TMsgRow)));
    try {
        order_ = static_cast<uint32_t*>(bigAlloc(static_cast<size_t>(capacity) * sizeof(uint32_t)));
    } catch (...) {
        bigFree(rows_, static_cast<size_t>(capacity) * sizeof(TMsgRow));
        throw;
    }
}

TRowStore::~TRowStore() {
    bigFree(rows_, static_cast<size_t>(capacity_) * sizeof(TMsgRow));
    bigFree(order_, static_cast<size_t>(capacity_) * sizeof(uint32_t));
}

void TRowStore::SetText(int i, TRowText f, std::string_view v) {
    TMsgRow& row = Row(i);
    std::string withoutNul;
    if (v.find('\0') != std::string_view::npos) {
        withoutNul.assign(v);
        std::erase(withoutNul, '\0');
        v = withoutNul;
    }
    const uint32_t old = row.Text[f];
    row.Text[f] = arena_.Add(v);
    arena_.Release(old);
    if (f == rtOrgDate) row.DateKey = MayBeMailDate(v) ? readDate_(v) : 0;
}

void TRowStore::DropTexts(int From, int To) {
    for (int i = std::max(From, 0); i < std::min(To, rowCount_); ++i)
        for (uint32_t& ref : Row(i).Text) {
            arena_.Release(ref);
            ref = 0;
        }
}

void TRowStore::SetRowCount(int n) {
    n = std::clamp(n, 0, capacity_);
    if (n < rowCount_) {
        // The rows kept must be stored in slots 0..n-1, so that the next
        // rows can take the slots after them: move the kept rows stored
        // beyond into the slots the dropped rows leave.
        DropTexts(n, rowCount_);
        std::vector<uint32_t> freed;
        for (int j = n; j < rowCount_; ++j)
            if (order_[j] < static_cast<uint32_t>(n)) freed.push_back(order_[j]);
        for (int i = 0; i < n && !freed.empty(); ++i) {
            if (order_[i] < static_cast<uint32_t>(n)) continue;
            const uint32_t slot = freed.back();
            freed.pop_back();
            rows_[slot] = rows_[order_[i]];
            order_[i] = slot;
        }
    } else {
        for (int i = rowCount_; i < n; ++i) {
            order_[i] = static_cast<uint32_t>(i);
            rows_[i] = TMsgRow{};
        }
    }
    rowCount_ = n;
}

void TRowStore::Clear() {
    std::memset(static_cast<void*>(rows_), 0, sizeof(TMsgRow) * static_cast<size_t>(rowCount_));
    rowCount_ = 0;
    arena_.Clear();
}

int TRowStore::CompareRows(int a, int b, int SortKey) const {
    const int k = std::abs(SortKey);
    const TMsgRow& x = Row(a);
    const TMsgRow& y = Row(b);
    auto sign = [](auto d) { return d < 0 ? -1 : (d > 0 ? 1 : 0); };
    int r;
    switch (k) {
        case 1: r = sign(int64_t{x.MessageNo} - y.MessageNo); break;
        case 5: r = sign(x.DateKey - y.DateKey); break;
        case 6: r = sign(int64_t{x.Size} - y.Size); break;
        case 2: case 3: case 4: case 7: case 8: case 9: case 10: {
            static const TRowText field[] = {rtFrom, rtFrom, rtTo, rtSubject, rtOrgDate, rtOrgDate,
                                             rtFirstlines, rtMatched, rtAttachment, rtCharset};
            r = CompareTextCI(Text(a, field[k - 1]), Text(b, field[k - 1]));
            break;
        }
        default: return 0;
    }
    if (r == 0 && k > 1) r = sign(int64_t{x.MessageNo} - y.MessageNo);
    return SortKey < 1 ? -r : r;
}

namespace {

// Stable least-significant-digit radix sort on the keys, 11 bits a pass:
// all digit counts come from one reading, and a digit that is the same in
// every key costs no pass. The result is in V or in Tmp; the one returned.
template <typename T>
T* radixSort(T* v, T* tmp, size_t n) {
    constexpr unsigned kDigit = 11;
    constexpr size_t kBuckets = size_t{1} << kDigit;
    uint64_t all = 0;
    for (size_t i = 0; i < n; ++i) all |= v[i].key;
    const unsigned passes = (static_cast<unsigned>(std::bit_width(all)) + kDigit - 1) / kDigit;
    std::vector<size_t> count(passes * kBuckets);
    for (size_t i = 0; i < n; ++i)
        for (unsigned p = 0; p < passes; ++p) ++count[p * kBuckets + ((v[i].key >> (p * kDigit)) & (kBuckets - 1))];
    for (unsigned p = 0; p < passes; ++p) {
        size_t* c = &count[p * kBuckets];
        if (std::find(c, c + kBuckets, n) != c + kBuckets) continue;
        size_t sum = 0;
        for (size_t b = 0; b < kBuckets; ++b) sum += std::exchange(c[b], sum);
        const unsigned shift = p * kDigit;
        for (size_t i = 0; i < n; ++i) tmp[c[(v[i].key >> shift) & (kBuckets - 1)]++] = v[i];
        std::swap(v, tmp);
    }
    return v;
}

// Sorts on the key; radix for many rows, comparison for few.
template <typename T>
void sortByKey(T* v, size_t n, T* scratch) {
    if (n < 256) {
        std::sort(v, v + n, [](const T& a, const T& b) { return a.key < b.key; });
        return;
    }
    if (radixSort(v, scratch, n) != v) std::memcpy(static_cast<void*>(v), scratch, n * sizeof(T));
}

// Numbers shifted to start at 0, so that their keys need few bits.
template <typename T>
struct TSpan {
    T lo = std::numeric_limits<T>::max(), hi = std::numeric_limits<T>::lowest();
    void add(T v) {
        lo = std::min(lo, v);
        hi = std::max(hi, v);
    }
    uint64_t at(T v) const { return static_cast<uint64_t>(v) - static_cast<uint64_t>(lo); }
    unsigned bits() const { return lo > hi ? 0 : static_cast<unsigned>(std::bit_width(at(hi))); }
};

// A date in whole seconds: mail dates carry no finer time.
int64_t dateSeconds(double days) {
    const double s = days * 86400.0;
    if (!(s > -4e15)) return -4000000000000000;  // NaN too
    if (s > 4e15) return 4000000000000000;
    return std::llround(s);
}

// The next eight folded bytes of a text from Cursor on, big-endian and
// padded with zeros, so that integer order is text order. Cursor is the
// byte where folding goes on << 3 | the folded bytes of that character
// already taken (a folded character may straddle two keys).
uint64_t chunkKey(const char* text, size_t len, uint32_t& cursor) {
    const auto* p = reinterpret_cast<const unsigned char*>(text);
    size_t i = cursor >> 3;
    unsigned skip = cursor & 7;
    uint64_t k = 0;
    unsigned filled = 0;
    while (filled < 8 && i < len) {
        if (p[i] < 0x80 && skip == 0) {
            k = (k << 8) | kUpperAscii[p[i++]];
            ++filled;
            continue;
        }
        TFolded f;
        const size_t used = foldChar(p + i, len - i, f);
        for (; skip < f.n && filled < 8; ++skip, ++filled) k = (k << 8) | f.b[skip];
        if (skip < f.n) break;
        skip = 0;
        i += used;
    }
    cursor = static_cast<uint32_t>(i << 3 | skip);
    return filled == 0 ? 0 : filled == 8 ? k : k << (8 * (8 - filled));
}

constexpr size_t kAhead = 16;     // rows prefetched ahead of the one being read
constexpr int kNearRows = 20000;  // rows a search reads in the list's order

}  // namespace

// Texts are sorted eight folded bytes at a time (SortFold): by their first
// eight, then each run of equal keys by its next eight, and so on; a text
// that ends within the bytes compared goes before the longer ones, and
// equal texts go by message number. Folding happens here, while the keys
// are built, so that the comparisons are integer ones.
void TRowStore::sortText(TRowText f, KeyRow* keys, KeyRow* scratch) const {
    const size_t n = static_cast<size_t>(rowCount_);
    for (size_t s = 0; s < n; ++s) {
        const uint32_t ref = rows_[s].Text[f];
        const std::string_view t = arena_.Get(ref);
        uint32_t cursor = 0;
        const uint64_t key = chunkKey(t.data(), t.size(), cursor);
        keys[s] = {key, static_cast<uint32_t>(s), ref, cursor};
    }
    sortByKey(keys, n, scratch);
    settleTies(keys, n, scratch);
}

void TRowStore::settleTies(KeyRow* v, size_t n, KeyRow* scratch) const {
    for (size_t i = 0; i < n;) {
        size_t j = i + 1;
        while (j < n && v[j].key == v[i].key) ++j;
        if (j - i > 1) settleRun(v + i, j - i, scratch);
        i = j;
    }
}

void TRowStore::settleRun(KeyRow* v, size_t n, KeyRow* scratch) const {
    // Every text of the run agrees on its folded bytes so far. Texts hold no
    // NUL, so those that have ended are the same text: they go first, by
    // number.
    for (size_t i = 0; i < n; ++i) {
        if (i + kAhead < n) arena_.Prefetch(v[i + kAhead].ref);
        const std::string_view t = arena_.Get(v[i].ref);
        v[i].key = (v[i].cursor >> 3) >= t.size() && (v[i].cursor & 7) == 0
                       ? static_cast<uint32_t>(rows_[v[i].slot].MessageNo) ^ 0x80000000u
                       : uint64_t{1} << 63;
    }
    KeyRow* const mid = std::partition(v, v + n, [](const KeyRow& r) { return (r.key >> 63) == 0; });
    const size_t ended = static_cast<size_t>(mid - v);
    sortByKey(v, ended, scratch);
    const size_t rest = n - ended;
    if (rest < 2) return;
    for (size_t i = 0; i < rest; ++i) {
        if (i + kAhead < rest) arena_.Prefetch(mid[i + kAhead].ref, sizeof(uint32_t) + (mid[i + kAhead].cursor >> 3));
        const std::string_view t = arena_.Get(mid[i].ref);
        mid[i].key = chunkKey(t.data(), t.size(), mid[i].cursor);
    }
    sortByKey(mid, rest, scratch);
    settleTies(mid, rest, scratch);
}

void TRowStore::Sort(int SortKey) {
    const int k = std::abs(SortKey);
    const size_t n = static_cast<size_t>(rowCount_);
    if (k < 1 || k > 10 || n < 2) return;
    TBigArray<KeyRow> keyBlock(n), scratchBlock(n);
    KeyRow* keys = keyBlock.get();
    KeyRow* scratch = scratchBlock.get();
    switch (k) {
        case 1:
        case 5:
        case 6: {
            // The column and the message number make one key, so no ties are
            // left; dates go by the second.
            TSpan<int64_t> primary;
            TSpan<int32_t> number;
            auto value = [&](const TMsgRow& r) -> int64_t {
                return k == 1 ? r.MessageNo : k == 6 ? r.Size : dateSeconds(r.DateKey);
            };
            for (size_t s = 0; s < n; ++s) {
                primary.add(value(rows_[s]));
                number.add(rows_[s].MessageNo);
            }
            const unsigned low = k == 1 ? 0 : number.bits();
            const bool packed = primary.bits() + low <= 64;
            for (size_t s = 0; s < n; ++s) {
                const TMsgRow& r = rows_[s];
                const uint64_t hi = primary.at(value(r));
                keys[s] = {packed ? (low ? (hi << low) | number.at(r.MessageNo) : hi) : hi, static_cast<uint32_t>(s), 0, 0};
            }
            sortByKey(keys, n, scratch);
            if (!packed) {
                // Ties on the column alone: by number.
                for (size_t i = 0; i < n;) {
                    size_t j = i + 1;
                    while (j < n && keys[j].key == keys[i].key) ++j;
                    std::sort(keys + i, keys + j, [this](const KeyRow& a, const KeyRow& b) {
                        return rows_[a.slot].MessageNo < rows_[b.slot].MessageNo;
                    });
                    i = j;
                }
            }
            break;
        }
        default: {
            static const TRowText field[] = {rtFrom, rtFrom, rtTo, rtSubject, rtOrgDate, rtOrgDate,
                                             rtFirstlines, rtMatched, rtAttachment, rtCharset};
            sortText(field[k - 1], keys, scratch);
        }
    }
    // Every key is unique once the number breaks ties, so descending is the
    // ascending order read backwards.
    for (size_t j = 0; j < n; ++j) order_[j] = keys[SortKey < 0 ? n - 1 - j : j].slot;
}

std::vector<uint64_t> TRowStore::matchBits(TRowText f, const TMatch& Match) const {
    // In the order the rows are stored, where texts lie in the order they
    // came: straight reads, none of the scattered ones of the list's order.
    std::vector<uint64_t> bits((static_cast<size_t>(rowCount_) + 63) / 64);
    for (int s = 0; s < rowCount_; ++s) {
        if (s + static_cast<int>(kAhead) < rowCount_) arena_.Prefetch(rows_[s + kAhead].Text[f]);
        if (Match(arena_.Get(rows_[s].Text[f]))) bits[static_cast<size_t>(s) >> 6] |= uint64_t{1} << (s & 63);
    }
    return bits;
}

int TRowStore::FindRow(int From, TRowText f, const TMatch& Match) const {
    From = std::max(From, 0);
    // The rows near the start in the list's order, fetching rows and texts
    // ahead of the reading; most searches end here.
    const int nearEnd = static_cast<int>(std::min<int64_t>(rowCount_, int64_t{From} + kNearRows));
    for (int i = From; i < nearEnd; ++i) {
        if (i + 2 * static_cast<int>(kAhead) < rowCount_) __builtin_prefetch(&rows_[order_[i + 2 * kAhead]].Text[f]);
        if (i + static_cast<int>(kAhead) < rowCount_) arena_.Prefetch(Row(i + kAhead).Text[f]);
        if (Match(Text(i, f))) return i;
    }
    if (nearEnd >= rowCount_) return -1;
    // The rest is cheaper matched all at once in storage order.
    const std::vector<uint64_t> bits = matchBits(f, Match);
    for (int i = nearEnd; i < rowCount_; ++i)
        if ((bits[order_[i] >> 6] >> (order_[i] & 63)) & 1) return i;
    return -1;
}

std::vector<int> TRowStore::FindRows(TRowText f, const TMatch& Match) const {
    const std::vector<uint64_t> bits = matchBits(f, Match);
    std::vector<int> found;
    for (int i = 0; i < rowCount_; ++i)
        if ((bits[order_[i] >> 6] >> (order_[i] & 63)) & 1) found.push_back(i);
    return found;
}

}  // namespace mailbox
