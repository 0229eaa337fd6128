#pragma once
// The message rows of the mailbox window: one fixed store of MaxMsgRows + 1
// rows, allocated once and read by index while the list scrolls. A row is
// small: its texts live in an append-only arena and the row holds their
// references, so an empty store costs next to nothing resident and a filled
// row little beyond its own text bytes. Sorting reorders an index of the
// rows and moves neither rows nor texts.
#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

namespace mailbox {

constexpr int MaxMsgRows = 1500000;

// The texts of a row, in the row's order.
// rtUidl is the server's unique id of the message, kept to tell whether a
// later session still numbers the messages the same way.
enum TRowText { rtFrom, rtTo, rtSubject, rtOrgDate, rtReplyTo, rtCc, rtPagePath, rtMatched, rtFirstlines,
                rtAttachment, rtCharset, rtUidl, rtTextCount };

struct TMsgRow {
    uint32_t Text[rtTextCount];  // arena references; 0 is the empty text
    int64_t Size;  // a message may be over 2 GB
    int32_t MessageNo;
    bool DeleteMark;
    bool WhiteHit;
    bool Enciphered;
    bool NotFetched;  // its TOP failed: shown as such, never matched or deleted by a marking run
    double DateKey;   // OrgDate as the date reader reads it
};

// Text storage: texts are appended; a text given back makes room only
// when every text of its chunk has been given back, and the chunk is then
// taken again. References stay valid until their text is given back or
// Clear.
class TTextArena {
public:
    TTextArena();
    ~TTextArena();
    TTextArena(const TTextArena&) = delete;
    TTextArena& operator=(const TTextArena&) = delete;
    uint32_t Add(std::string_view s);
    std::string_view Get(uint32_t ref) const;
    // Gives a text back; its reference must not be used again.
    void Release(uint32_t ref);
    // Asks the processor to fetch a text's first bytes from Offset on, for
    // a reading that comes soon.
    void Prefetch(uint32_t ref, size_t offset = 0) const {
        if (ref == 0) return;
        const char* p = at(ref) + offset;
        __builtin_prefetch(p);
        __builtin_prefetch(p + 64);
    }
    void Clear();
    size_t BytesUsed() const { return used_; }

private:
    struct TChunk {
        char* p = nullptr;
        size_t size = 0;
        size_t live = 0;  // bytes of texts not given back
    };
    char* at(uint32_t ref) const;
    static size_t units(size_t bytes);
    size_t newChunk(size_t bytes);

    std::vector<TChunk> chunks_;
    std::vector<size_t> spare_;  // chunks whose texts were all given back
    size_t cur_ = SIZE_MAX;      // the chunk being filled
    size_t fill_ = 0;            // bytes used in it
    size_t used_ = 0;
};

class TRowStore {
public:
    // Reads a mail date into a comparable number (days); the window passes
    // the helper library's date reader.
    using TDateReader = std::function<double(std::string_view)>;

    explicit TRowStore(TDateReader readDate, int capacity = MaxMsgRows + 1);
    ~TRowStore();
    TRowStore(const TRowStore&) = delete;
    TRowStore& operator=(const TRowStore&) = delete;

    int Capacity() const { return capacity_; }
    int RowCount() const { return rowCount_; }
    // Rows from the old count up to the new one start empty; rows beyond a
    // smaller count are dropped, the others keep their order.
    void SetRowCount(int n);
    // Back to no rows and no texts.
    void Clear();

    // Row I in the list's order.
    TMsgRow& Row(int i) { return rows_[order_[i]]; }
    const TMsgRow& Row(int i) const { return rows_[order_[i]]; }
    std::string_view Text(int i, TRowText f) const { return arena_.Get(Row(i).Text[f]); }
    // A date is read as it is stored, so that sorting by date reads none.
    // NUL bytes are dropped: no list, file or search should meet them.
    void SetText(int i, TRowText f, std::string_view v);
    // Empties every text of rows From..To-1 and gives their memory back
    // for later texts: for rows that have been written out and will not be
    // read again.
    void DropTexts(int From, int To);
    size_t TextBytes() const { return arena_.BytesUsed(); }

    // Compares two rows under SortKey (column 1..10, negative: descending).
    int CompareRows(int a, int b, int SortKey) const;
    // Sorts the rows in use under SortKey.
    void Sort(int SortKey);
    // The first row from From on whose text F satisfies Match; -1 if none.
    // Match may be asked of any rows, in any order.
    using TMatch = std::function<bool(std::string_view)>;
    int FindRow(int From, TRowText f, const TMatch& Match) const;
    // Every row whose text F satisfies Match, in the list's order.
    std::vector<int> FindRows(TRowText f, const TMatch& Match) const;

private:
    struct KeyRow {
        uint64_t key;
        uint32_t slot;  // where the row is stored
        uint32_t ref;   // the text being sorted on
        uint32_t cursor;  // where its next key's folding starts
    };
    void sortText(TRowText f, KeyRow* keys, KeyRow* scratch) const;
    void settleTies(KeyRow* v, size_t n, KeyRow* scratch) const;
    void settleRun(KeyRow* v, size_t n, KeyRow* scratch) const;
    // One bit a stored row: whether its text F satisfies Match.
    std::vector<uint64_t> matchBits(TRowText f, const TMatch& Match) const;

    TDateReader readDate_;
    // Rows stay where they were stored; order_ maps the list's positions to
    // them, so sorting rewrites four bytes a row and moves no row.
    TMsgRow* rows_;
    uint32_t* order_;
    int capacity_;
    int rowCount_ = 0;
    TTextArena arena_;
};

// False for a Date header the date reader must not turn into a date: a
// plain number (it would count days), or one whose date, before its time,
// holds a word that is no English month or day name ("10 Foo 2024" names no
// month). Comments in parentheses are not looked at.
bool MayBeMailDate(std::string_view text);

// The folding that text columns sort by, on UTF-8 text: ASCII letters to
// capitals; the letters of Latin-1 and Latin Extended-A to their base
// capitals ("\u00c9" and "e" fold to "E", "\u00df" to "SS", "\u00c6" to
// "AE"); Greek and Cyrillic letters to their capitals, Greek vowels without
// their accents. Anything else, bytes that make no UTF-8 character
// included, stays as it is, so the rest orders by code point.
std::string SortFold(std::string_view s);
// The order of the texts' SortFold forms, compared byte by byte.
int CompareTextCI(std::string_view a, std::string_view b);

}  // namespace mailbox
