#include "mailbox/msgrows.h"

#include <algorithm>
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
// A reference counts 4-byte units: chunk number << 24 | unit within it, so
// 32 bits reach 256 chunks of 64 MB.
constexpr size_t kChunk = 64u << 20;
constexpr unsigned kUnitBits = 24;
constexpr size_t kUnit = 4;
constexpr size_t kMaxChunks = 256;

inline unsigned char fold(unsigned char c) { return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 32) : c; }

}  // namespace

int CompareTextCI(std::string_view a, std::string_view b) {
    const size_t n = std::min(a.size(), b.size());
    for (size_t i = 0; i < n; ++i) {
        const unsigned char x = fold(static_cast<unsigned char>(a[i]));
        const unsigned char y = fold(static_cast<unsigned char>(b[i]));
        if (x != y) return x < y ? -1 : 1;
    }
    return a.size() == b.size() ? 0 : (a.size() < b.size() ? -1 : 1);
}

// ---------------------------------------------------------------- arena

TTextArena::TTextArena() { Clear(); }

TTextArena::~TTextArena() {
    for (char* c : chunks_) bigFree(c, kChunk);
}

void TTextArena::Clear() {
    for (char* c : chunks_) bigFree(c, kChunk);
    chunks_.clear();
    // Reference 0 is the empty text: the first chunk starts with a zero length.
    chunks_.push_back(static_cast<char*>(bigAlloc(kChunk)));
    std::memset(chunks_.back(), 0, sizeof(uint32_t));
    fill_ = sizeof(uint32_t);
    used_ = 0;
}

uint32_t TTextArena::Add(std::string_view s) {
    if (s.empty()) return 0;
    const size_t need = (sizeof(uint32_t) + s.size() + kUnit - 1) / kUnit * kUnit;
    if (need > kChunk) throw std::length_error("A text of " + std::to_string(s.size()) + " bytes is too long for a row");
    if (fill_ + need > kChunk) {
        if (chunks_.size() >= kMaxChunks) throw std::length_error("The message texts fill the store");
        char* c = static_cast<char*>(bigAlloc(kChunk));
        chunks_.push_back(c);
        fill_ = 0;
    }
    char* dest = chunks_.back() + fill_;
    const auto len = static_cast<uint32_t>(s.size());
    std::memcpy(dest, &len, sizeof len);
    std::memcpy(dest + sizeof len, s.data(), s.size());
    const auto ref = static_cast<uint32_t>(((chunks_.size() - 1) << kUnitBits) | (fill_ / kUnit));
    fill_ += need;
    used_ += s.size();
    return ref;
}

char* TTextArena::at(uint32_t ref) const {
    return chunks_[ref >> kUnitBits] + (ref & ((1u << kUnitBits) - 1)) * kUnit;
}

std::string_view TTextArena::Get(uint32_t ref) const {
    const char* p = at(ref);
    uint32_t len;
    std::memcpy(&len, p, sizeof len);
    return {p + sizeof len, len};
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
    row.Text[f] = arena_.Add(v);
    if (f == rtOrgDate) row.DateKey = readDate_(v);
}

void TRowStore::SetRowCount(int n) {
    n = std::clamp(n, 0, capacity_);
    if (n < rowCount_) {
        // The rows kept must be stored in slots 0..n-1, so that the next
        // rows can take the slots after them: move the kept rows stored
        // beyond into the slots the dropped rows leave.
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

// The folded bytes [Pos, Pos+8) of a text, big-endian and padded with
// zeros, so that integer order is text order.
uint64_t chunkKey(const char* p, size_t len, size_t pos) {
    uint64_t k = 0;
    for (size_t i = pos; i < pos + 8; ++i) k = (k << 8) | (i < len ? fold(static_cast<unsigned char>(p[i])) : 0);
    return k;
}

constexpr size_t kAhead = 16;     // rows prefetched ahead of the one being read
constexpr int kNearRows = 20000;  // rows a search reads in the list's order

}  // namespace

// Texts are sorted eight bytes at a time: by their first eight folded bytes,
// then each run of equal keys by its next eight bytes, and so on; a text
// that ends within the bytes compared goes before the longer ones, and
// equal texts go by message number.
void TRowStore::sortText(TRowText f, KeyRow* keys, KeyRow* scratch) const {
    const size_t n = static_cast<size_t>(rowCount_);
    for (size_t s = 0; s < n; ++s) {
        const uint32_t ref = rows_[s].Text[f];
        const std::string_view t = arena_.Get(ref);
        keys[s] = {chunkKey(t.data(), t.size(), 0), static_cast<uint32_t>(s), ref};
    }
    sortByKey(keys, n, scratch);
    settleTies(keys, n, scratch, 1);
}

void TRowStore::settleTies(KeyRow* v, size_t n, KeyRow* scratch, size_t depth) const {
    for (size_t i = 0; i < n;) {
        size_t j = i + 1;
        while (j < n && v[j].key == v[i].key) ++j;
        if (j - i > 1) settleRun(v + i, j - i, scratch, depth);
        i = j;
    }
}

void TRowStore::settleRun(KeyRow* v, size_t n, KeyRow* scratch, size_t depth) const {
    // Every text of the run agrees on its first Pos folded bytes (zeros
    // standing for what is missing).
    const size_t pos = depth * 8;
    for (size_t i = 0; i < n; ++i) {
        if (i + kAhead < n) arena_.Prefetch(v[i + kAhead].ref);
        const std::string_view t = arena_.Get(v[i].ref);
        // A text that has ended is a prefix of the longer ones: it goes first,
        // by its length, then by number.
        v[i].key = t.size() <= pos
                       ? (uint64_t{t.size()} << 32) | (static_cast<uint32_t>(rows_[v[i].slot].MessageNo) ^ 0x80000000u)
                       : uint64_t{1} << 63;
    }
    KeyRow* const mid = std::partition(v, v + n, [](const KeyRow& r) { return (r.key >> 63) == 0; });
    const size_t ended = static_cast<size_t>(mid - v);
    sortByKey(v, ended, scratch);
    const size_t rest = n - ended;
    if (rest < 2) return;
    for (size_t i = 0; i < rest; ++i) {
        if (i + kAhead < rest) arena_.Prefetch(mid[i + kAhead].ref, sizeof(uint32_t) + pos);
        const std::string_view t = arena_.Get(mid[i].ref);
        mid[i].key = chunkKey(t.data(), t.size(), pos);
    }
    sortByKey(mid, rest, scratch);
    settleTies(mid, rest, scratch, depth + 1);
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
                keys[s] = {packed ? (low ? (hi << low) | number.at(r.MessageNo) : hi) : hi, static_cast<uint32_t>(s), 0};
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
