#include "mailbox/msgrows.h"

#include <algorithm>
#include <cstdlib>
#include <cstring>
#include <new>
#include <stdexcept>
#include <string>
#include <iterator>
#include <numeric>

namespace mailbox {

namespace {

// Texts go into chunks of this size; a longer text gets a chunk of its own.
// A reference counts 4-byte units: chunk number << 24 | unit within it, so
// 32 bits reach 256 chunks of 64 MB.
constexpr size_t kChunk = 64u << 20;
constexpr unsigned kUnitBits = 24;
constexpr size_t kUnit = 4;
constexpr size_t kMaxChunks = 256;

inline unsigned char fold(unsigned char c) { return (c >= 'a' && c <= 'z') ? static_cast<unsigned char>(c - 32) : c; }

// The first eight folded bytes, big-endian, so that integer order is text order.
uint64_t prefixKey(std::string_view s) {
    uint64_t k = 0;
    for (size_t i = 0; i < 8; ++i) k = (k << 8) | (i < s.size() ? fold(static_cast<unsigned char>(s[i])) : 0);
    return k;
}

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
    for (char* c : chunks_) std::free(c);
}

void TTextArena::Clear() {
    for (char* c : chunks_) std::free(c);
    chunks_.clear();
    // Reference 0 is the empty text: the first chunk starts with a zero length.
    chunks_.push_back(static_cast<char*>(std::malloc(kChunk)));
    if (!chunks_.back()) throw std::bad_alloc();
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
        char* c = static_cast<char*>(std::malloc(kChunk));
        if (!c) throw std::bad_alloc();
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

TRowStore::TRowStore(TDateReader readDate, int capacity) : readDate_(std::move(readDate)), capacity_(capacity) {
    // calloc hands out zeroed pages that become resident only when written.
    rows_ = static_cast<TMsgRow*>(std::calloc(static_cast<size_t>(capacity), sizeof(TMsgRow)));
    if (!rows_) throw std::bad_alloc();
}

TRowStore::~TRowStore() { std::free(rows_); }

void TRowStore::SetText(int i, TRowText f, std::string_view v) {
    rows_[i].Text[f] = arena_.Add(v);
    if (f == rtOrgDate) rows_[i].DateKey = readDate_(v);
}

void TRowStore::SetRowCount(int n) {
    n = std::clamp(n, 0, capacity_);
    if (n > rowCount_) std::memset(rows_ + rowCount_, 0, sizeof(TMsgRow) * static_cast<size_t>(n - rowCount_));
    rowCount_ = n;
}

void TRowStore::Clear() {
    std::memset(rows_, 0, sizeof(TMsgRow) * static_cast<size_t>(rowCount_));
    rowCount_ = 0;
    arena_.Clear();
}

int TRowStore::CompareRows(int a, int b, int SortKey) const {
    const int k = std::abs(SortKey);
    const TMsgRow& x = rows_[a];
    const TMsgRow& y = rows_[b];
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

// Least-significant-byte radix sort on the 64-bit keys; byte positions that
// are the same in every key cost one counting pass and no moves.
template <typename T>
void radixSort(std::vector<T>& v) {
    std::vector<T> tmp(v.size());
    for (unsigned shift = 0; shift < 64; shift += 8) {
        size_t count[257] = {};
        for (const T& e : v) ++count[((e.key >> shift) & 0xFF) + 1];
        if (std::find(std::begin(count) + 1, std::end(count), v.size()) != std::end(count)) continue;
        for (int b = 0; b < 256; ++b) count[b + 1] += count[b];
        for (const T& e : v) tmp[count[(e.key >> shift) & 0xFF]++] = e;
        v.swap(tmp);
    }
}

// Runs of equal keys, put in order by Less.
template <typename T, typename Less>
void sortTies(std::vector<T>& v, Less less) {
    for (size_t i = 0; i < v.size();) {
        size_t j = i + 1;
        while (j < v.size() && v[j].key == v[i].key) ++j;
        if (j - i > 1) std::sort(v.begin() + static_cast<ptrdiff_t>(i), v.begin() + static_cast<ptrdiff_t>(j), less);
        i = j;
    }
}

uint64_t orderBits(int32_t v) { return static_cast<uint32_t>(v) ^ 0x80000000u; }

// A double as an unsigned number in the same order.
uint64_t orderBits(double d) {
    uint64_t b;
    std::memcpy(&b, &d, sizeof b);
    return (b >> 63) ? ~b : b | (uint64_t{1} << 63);
}

}  // namespace

void TRowStore::sortText(TRowText f, std::vector<KeyRow>& keys) const {
    // Folded copies side by side, so that ties are settled in one compact
    // buffer rather than in texts scattered over the arena.
    struct Rest {
        uint32_t off, len;
        int32_t msg;
    };
    const int n = rowCount_;
    size_t total = 0;
    for (int i = 0; i < n; ++i) total += Text(i, f).size();
    std::string folded(total, '\0');
    std::vector<Rest> rest(static_cast<size_t>(n));
    size_t off = 0;
    for (int i = 0; i < n; ++i) {
        const std::string_view t = Text(i, f);
        char* dest = folded.data() + off;
        for (size_t c = 0; c < t.size(); ++c) dest[c] = static_cast<char>(fold(static_cast<unsigned char>(t[c])));
        keys[static_cast<size_t>(i)] = {prefixKey(t), static_cast<uint32_t>(i)};
        rest[static_cast<size_t>(i)] = {static_cast<uint32_t>(off), static_cast<uint32_t>(t.size()), rows_[i].MessageNo};
        off += t.size();
    }
    radixSort(keys);
    const char* base = folded.data();
    sortTies(keys, [&](const KeyRow& a, const KeyRow& b) {
        const Rest& x = rest[a.row];
        const Rest& y = rest[b.row];
        const uint32_t common = std::min(x.len, y.len);
        if (common > 8) {
            const int c = std::memcmp(base + x.off + 8, base + y.off + 8, common - 8);
            if (c != 0) return c < 0;
        }
        return x.len != y.len ? x.len < y.len : x.msg < y.msg;
    });
}

void TRowStore::permute(const std::vector<KeyRow>& order, bool reversed) {
    // Gather into a fresh block in the new order, then copy back: reads jump,
    // writes run straight.
    const size_t n = order.size();
    std::unique_ptr<TMsgRow[]> sorted(new TMsgRow[n]);
    for (size_t j = 0; j < n; ++j) sorted[j] = rows_[order[reversed ? n - 1 - j : j].row];
    std::memcpy(rows_, sorted.get(), n * sizeof(TMsgRow));
}

void TRowStore::Sort(int SortKey) {
    const int k = std::abs(SortKey);
    const int n = rowCount_;
    if (k < 1 || k > 10 || n < 2) return;
    std::vector<KeyRow> keys(static_cast<size_t>(n));
    auto byMessageNo = [this](const KeyRow& a, const KeyRow& b) { return rows_[a.row].MessageNo < rows_[b.row].MessageNo; };
    switch (k) {
        case 1:
        case 6:
            // Size and number together make one key: no ties are left.
            for (int i = 0; i < n; ++i) {
                const TMsgRow& r = rows_[i];
                const uint64_t hi = k == 1 ? orderBits(r.MessageNo) : orderBits(r.Size);
                keys[static_cast<size_t>(i)] = {(hi << 32) | orderBits(r.MessageNo), static_cast<uint32_t>(i)};
            }
            radixSort(keys);
            break;
        case 5:
            for (int i = 0; i < n; ++i)
                keys[static_cast<size_t>(i)] = {orderBits(rows_[i].DateKey), static_cast<uint32_t>(i)};
            radixSort(keys);
            sortTies(keys, byMessageNo);
            break;
        default: {
            static const TRowText field[] = {rtFrom, rtFrom, rtTo, rtSubject, rtOrgDate, rtOrgDate,
                                             rtFirstlines, rtMatched, rtAttachment, rtCharset};
            sortText(field[k - 1], keys);
        }
    }
    // Every key is unique once the number breaks ties, so descending is the
    // ascending order read backwards.
    permute(keys, SortKey < 1);
}

}  // namespace mailbox
