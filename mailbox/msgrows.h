#pragma once
// The message rows of the mailbox window: one fixed store of MaxMsgRows + 1
// rows, allocated once and read by index while the list scrolls. A row is
// small: its texts live in an append-only arena and the row holds their
// references, so an empty store costs next to nothing resident and a filled
// row little beyond its own text bytes. Sorting moves rows, never texts.
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
    int32_t Size;
    int32_t MessageNo;
    bool DeleteMark;
    bool WhiteHit;
    bool Enciphered;
    bool NotFetched;  // its TOP failed: shown as such, never matched or deleted by a marking run
    double DateKey;   // OrgDate as the date reader reads it
};

// Append-only text storage. References stay valid until Clear.
class TTextArena {
public:
    TTextArena();
    ~TTextArena();
    TTextArena(const TTextArena&) = delete;
    TTextArena& operator=(const TTextArena&) = delete;
    uint32_t Add(std::string_view s);
    std::string_view Get(uint32_t ref) const;
    void Clear();
    size_t BytesUsed() const { return used_; }

private:
    char* at(uint32_t ref) const;

    std::vector<char*> chunks_;
    size_t fill_ = 0;  // bytes used in the last chunk
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
    // Rows from the old count up to the new one start empty.
    void SetRowCount(int n);
    // Back to no rows and no texts.
    void Clear();

    TMsgRow& Row(int i) { return rows_[i]; }
    const TMsgRow& Row(int i) const { return rows_[i]; }
    std::string_view Text(int i, TRowText f) const { return arena_.Get(rows_[i].Text[f]); }
    // A date is read as it is stored, so that sorting by date reads none.
    void SetText(int i, TRowText f, std::string_view v);
    size_t TextBytes() const { return arena_.BytesUsed(); }

    // Compares two rows under SortKey (column 1..10, negative: descending).
    int CompareRows(int a, int b, int SortKey) const;
    // Sorts the rows in use under SortKey.
    void Sort(int SortKey);

private:
    struct KeyRow {
        uint64_t key;
        uint32_t row;
    };
    void sortText(TRowText f, std::vector<KeyRow>& keys) const;
    void permute(const std::vector<KeyRow>& order, bool reversed);

    TDateReader readDate_;
    TMsgRow* rows_;
    int capacity_;
    int rowCount_ = 0;
    TTextArena arena_;
};

// Case-insensitive order of texts (ASCII letters folded; other bytes as
// they are, so UTF-8 texts order by code point).
int CompareTextCI(std::string_view a, std::string_view b);

}  // namespace mailbox
