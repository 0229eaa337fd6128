#include <gtest/gtest.h>

#include <algorithm>
#include <numeric>
#include <random>

#include "helpers/kwutil.h"
#include "mailbox/msgrows.h"

using namespace mailbox;

namespace {

double readDate(std::string_view s) { return helpers::parsedate(s); }

// A small store with texts that collide in their first bytes, in case and
// in whole, so that every tie rule is exercised.
void fill(TRowStore& s, int n) {
    std::mt19937 rnd(7);
    // Texts past eight bytes that agree on 8, 16 or all their bytes, one a
    // prefix of another, ones equal once folded whose bytes differ in
    // number, and folded letters that straddle two eight-byte keys.
    const std::string froms[] = {"alice@example.org", "ALICE@example.org", "Bob", "bob", "alice@example.net", "",
                                 "Zed", "\xc3\xa9lodie", "\xc3\x89LODIE", "elodie", "alice@example.org.uk",
                                 "alice@eXample.org-and-a-longer-tail", "Gro\xc3\x9fvater", "grossvater",
                                 "abcdefg\xc3\x9f", "abcdefgss", "abcdefg\xd0\xb4x", "\xc3\xa6sir", "AEsir",
                                 "bad \xff byte", "\xe6\x97\xa5\xe6\x9c\xac"};
    const char* dates[] = {"Thu, 10 Dec 2026 12:00:00 +0000", "Wed, 9 Dec 2026 23:59:59 +0000",
                           "10 Dec 2026 11:00:00 -0100", "garbage", ""};
    s.Clear();
    s.SetRowCount(n);
    for (int i = 0; i < n; ++i) {
        TMsgRow& r = s.Row(i);
        r.MessageNo = i + 1;
        r.Size = static_cast<int64_t>(rnd() % 5) * 1000;
        s.SetText(i, rtFrom, froms[rnd() % std::size(froms)]);
        s.SetText(i, rtSubject, std::string("Subject number ") + std::to_string(rnd() % 4));
        s.SetText(i, rtOrgDate, dates[rnd() % 5]);
        s.SetText(i, rtCharset, rnd() % 2 ? "utf-8" : "iso-8859-1");
    }
    // Shuffle the rows' positions so that MessageNo order is not the stored one.
    std::vector<int> perm(static_cast<size_t>(n));
    std::iota(perm.begin(), perm.end(), 0);
    std::shuffle(perm.begin(), perm.end(), rnd);
    for (int i = 0; i < n; ++i) std::swap(s.Row(i), s.Row(perm[static_cast<size_t>(i)]));
}

std::vector<int> messageOrder(const TRowStore& s) {
    std::vector<int> r;
    for (int i = 0; i < s.RowCount(); ++i) r.push_back(s.Row(i).MessageNo);
    return r;
}

}  // namespace

TEST(RowStore, TextsRoundTripAndAnEmptyTextCostsNothing) {
    TRowStore s(readDate, 10);
    s.SetRowCount(3);
    s.SetText(1, rtSubject, "hello");
    EXPECT_EQ(s.Text(0, rtSubject), "");
    EXPECT_EQ(s.Text(1, rtSubject), "hello");
    s.SetText(1, rtSubject, "");
    EXPECT_EQ(s.Row(1).Text[rtSubject], 0u);
    const std::string big(1u << 20, 'x');
    s.SetText(0, rtFirstlines, big);
    EXPECT_EQ(s.Text(0, rtFirstlines).size(), big.size());
    EXPECT_THROW(s.SetText(0, rtFirstlines, std::string(65u << 20, 'y')), std::length_error);
    s.SetRowCount(20);
    EXPECT_EQ(s.RowCount(), 10) << "never beyond the capacity";
    s.Clear();
    EXPECT_EQ(s.RowCount(), 0);
    s.SetRowCount(2);
    EXPECT_EQ(s.Text(0, rtFirstlines), "") << "rows come back empty";
}

// Every column, both directions: the fast sort gives the order the row
// comparison defines, ties broken by message number.
TEST(RowStore, DroppedTextsMakeRoomWithoutTouchingTheRowsStillHeld) {
    // As a pull does: rows are filled in order and the rows written out
    // give their texts back, some way behind the filling. Texts large
    // enough to fill many chunks, one longer than a chunk, and rows whose
    // texts are replaced: every row still held reads its own texts.
    TRowStore s(readDate, 4000);
    auto text = [](int row, int f, size_t n) {
        std::string t = std::to_string(row) + "/" + std::to_string(f) + ":";
        while (t.size() < n) t += static_cast<char>('a' + (row * 7 + f + t.size()) % 26);
        return t;
    };
    auto size = [](int row) { return row == 1700 ? (5u << 20) : 2000u + (row % 5) * 900; };
    constexpr int kBehind = 150;
    int dropped = 0;
    for (int r = 0; r < 4000; ++r) {
        s.SetRowCount(r + 1);
        s.SetText(r, rtFirstlines, text(r, rtFirstlines, size(r)));
        s.SetText(r, rtFrom, text(r, rtFrom, 30));
        if (r % 11 == 0) s.SetText(r, rtSubject, text(r, rtSubject, 500));
        if (r % 11 == 0) s.SetText(r, rtSubject, text(r, rtSubject + 100, 40));  // replaced
        if (r - dropped >= kBehind) {
            for (int k = dropped; k < dropped + 50; ++k)
                ASSERT_EQ(s.Text(k, rtFirstlines), text(k, rtFirstlines, size(k))) << "row " << k << " before its drop";
            s.DropTexts(dropped, dropped + 50);
            dropped += 50;
        }
    }
    for (int k = 0; k < 4000; ++k) {
        if (k < dropped) {
            EXPECT_EQ(s.Text(k, rtFirstlines), "") << "row " << k;
            continue;
        }
        EXPECT_EQ(s.Text(k, rtFirstlines), text(k, rtFirstlines, size(k))) << "row " << k;
        EXPECT_EQ(s.Text(k, rtFrom), text(k, rtFrom, 30)) << "row " << k;
        if (k % 11 == 0) EXPECT_EQ(s.Text(k, rtSubject), text(k, rtSubject + 100, 40)) << "row " << k;
    }
    // Every text given back, the chunk being filled included, and then
    // more texts than a chunk holds.
    s.DropTexts(0, 4000);
    EXPECT_EQ(s.TextBytes(), 0u);
    for (int r = 0; r < 3000; ++r) s.SetText(r, rtTo, text(r, rtTo, 3000));
    for (int r = 0; r < 3000; ++r) ASSERT_EQ(s.Text(r, rtTo), text(r, rtTo, 3000)) << "row " << r << " refilled";
}

TEST(RowStore, SortAgreesWithTheRowComparison) {
    // Enough rows that runs of equal texts are sorted by radix too.
    constexpr int n = 3000;
    TRowStore s(readDate, n);
    for (int key = 1; key <= 10; ++key)
        for (int sign : {1, -1}) {
            fill(s, n);
            const int sortKey = key * sign;
            std::vector<int> idx(n);
            std::iota(idx.begin(), idx.end(), 0);
            std::stable_sort(idx.begin(), idx.end(),
                             [&](int a, int b) { return s.CompareRows(a, b, sortKey) < 0; });
            std::vector<int> want;
            for (int i : idx) want.push_back(s.Row(i).MessageNo);
            s.Sort(sortKey);
            EXPECT_EQ(messageOrder(s), want) << "SortKey " << sortKey;
        }
}

TEST(RowStore, CompareRowsRules) {
    TRowStore s(readDate, 4);
    s.SetRowCount(2);
    s.Row(0).MessageNo = 7;
    s.Row(1).MessageNo = 3;
    s.SetText(0, rtFrom, "same");
    s.SetText(1, rtFrom, "SAME");
    EXPECT_GT(s.CompareRows(0, 1, 2), 0) << "case is ignored; the tie goes by number";
    EXPECT_LT(s.CompareRows(0, 1, -2), 0) << "and turns round when descending";
    s.SetText(0, rtOrgDate, "Thu, 10 Dec 2026 12:00:00 +0000");
    s.SetText(1, rtOrgDate, "Thu, 10 Dec 2026 13:00:00 +0000");
    EXPECT_LT(s.CompareRows(0, 1, 5), 0);
    EXPECT_EQ(s.CompareRows(0, 1, 11), 0);
    EXPECT_EQ(CompareTextCI("abc", "ABD"), -1);
    EXPECT_EQ(CompareTextCI("ab", "AB"), 0);
    EXPECT_EQ(CompareTextCI("ab", "abc"), -1);
}

TEST(RowStore, SortKeepsFlagsAndTextsWithTheirRows) {
    TRowStore s(readDate, 10);
    s.SetRowCount(3);
    for (int i = 0; i < 3; ++i) {
        s.Row(i).MessageNo = 3 - i;
        s.Row(i).DeleteMark = i == 0;
        s.SetText(i, rtSubject, "subject of " + std::to_string(3 - i));
    }
    s.Sort(1);
    EXPECT_EQ(messageOrder(s), (std::vector<int>{1, 2, 3}));
    EXPECT_TRUE(s.Row(2).DeleteMark);
    EXPECT_EQ(s.Text(2, rtSubject), "subject of 3");
}

// Dropping rows keeps the others in their order; rows added afterwards come
// empty and never share storage with the kept ones.
TEST(RowStore, ShrinkingAfterASortKeepsTheFirstRows) {
    TRowStore s(readDate, 50);
    fill(s, 40);
    s.Sort(-1);
    s.SetRowCount(15);
    std::vector<int> want;
    for (int n = 40; n > 25; --n) want.push_back(n);
    EXPECT_EQ(messageOrder(s), want);
    s.SetRowCount(30);
    for (int i = 15; i < 30; ++i) {
        EXPECT_EQ(s.Row(i).MessageNo, 0);
        EXPECT_EQ(s.Text(i, rtFrom), "");
        s.Row(i).MessageNo = 100 + i;
    }
    for (int i = 0; i < 15; ++i) EXPECT_EQ(s.Row(i).MessageNo, want[static_cast<size_t>(i)]) << "row " << i;
    EXPECT_EQ(s.Text(0, rtSubject).substr(0, 15), "Subject number ");
}

// Searches go by the list's order however far the next hit lies, also past
// the rows read in that order before the rest is matched in storage order.
TEST(RowStore, FindRowSearchesInTheListOrder) {
    constexpr int n = 45000;
    TRowStore s(readDate, n);
    s.SetRowCount(n);
    for (int i = 0; i < n; ++i) {
        s.Row(i).MessageNo = i + 1;
        s.SetText(i, rtFrom, "r" + std::to_string(i + 1));
    }
    s.Sort(-1);  // position p holds message n - p
    auto is = [](std::string want) { return [want](std::string_view t) { return t == want; }; };
    struct Case {
        int from;
        std::string text;
        int want;
    };
    const Case cases[] = {{0, "r44990", 10}, {11, "r44990", -1}, {0, "r100", n - 100}, {30000, "r100", n - 100},
                          {n - 99, "r100", -1}, {0, "nobody", -1}, {n, "r1", -1}};
    for (const Case& c : cases) EXPECT_EQ(s.FindRow(c.from, rtFrom, is(c.text)), c.want) << c.text << " from " << c.from;
    auto startsR444 = [](std::string_view t) { return t.rfind("r444", 0) == 0; };
    std::vector<int> want;
    for (int i = 0; i < n; ++i)
        if (startsR444(s.Text(i, rtFrom))) want.push_back(i);
    EXPECT_EQ(s.FindRows(rtFrom, startsR444), want);
}

// The list sorts as a reader expects across letter cases and accents: each
// text column orders by the folded text, ties by number.
TEST(RowStore, TextColumnsFoldCaseAndAccents) {
    struct Case {
        const char* a;
        const char* b;
        int want;  // sign of CompareTextCI(a, b)
    };
    const Case cases[] = {
        {"\xc3\x89mile", "emile", 0},                         // Émile / emile
        {"\xc3\x89mile", "zed", -1},                          // Émile before zed
        {"\xc3\xb6rjan", "Orjan", 0},                         // örjan
        {"\xc3\x98yvind", "oyvind", 0},                       // Øyvind
        {"Stra\xc3\x9f" "e", "STRASSE", 0},                    // Straße
        {"\xc5\x81ukasz", "lukasz", 0},                       // Łukasz (Latin Extended-A)
        {"\xc5\x93uvre", "OEUVRE", 0},                        // œuvre
        {"\xce\xac\xce\xbb\xcf\x86\xce\xb1", "\xce\x91\xce\x9b\xce\xa6\xce\x91", 0},  // άλφα / ΑΛΦΑ
        {"\xcf\x83\xce\xbf\xcf\x82", "\xce\xa3\xce\x9f\xce\xa3", 0},          // σος / ΣΟΣ
        {"\xd0\xb4\xd0\xbc\xd0\xb8\xd1\x82\xd1\x80\xd0\xb8\xd0\xb9",
         "\xd0\x94\xd0\x9c\xd0\x98\xd0\xa2\xd0\xa0\xd0\x98\xd0\x99", 0},     // дмитрий / ДМИТРИЙ
        {"\xd1\x91\xd0\xb6", "\xd0\x81\xd0\x96", 0},                          // ёж / ЁЖ
        {"\xd0\xb0", "\xd0\xb1", -1},                                           // а before б
        {"zed", "\xd0\xb0", -1},                                                // Latin before Cyrillic
        {"a\xc3\x97" "b", "a\xc3\x97" "B", 0},                                  // × stays, b folds
        {"a\xc3\x97", "ax", 1},                                                  // × is no letter x
        {"emil", "\xc3\x89mile", -1},                                            // a prefix goes first
    };
    for (const Case& c : cases) {
        const int got = CompareTextCI(c.a, c.b);
        EXPECT_EQ((got > 0) - (got < 0), c.want) << c.a << " / " << c.b;
        EXPECT_EQ(CompareTextCI(c.b, c.a), -c.want) << c.b << " / " << c.a;
    }
    EXPECT_EQ(SortFold("\xc3\x89mile Stra\xc3\x9f" "e"), "EMILE STRASSE");

    TRowStore s(readDate, 10);
    const char* froms[] = {"zed", "\xc3\x89mile", "Bob", "emile", "\xc3\xa9MILE", "\xd0\x90\xd0\xbd\xd0\xbd\xd0\xb0", "alice"};
    s.SetRowCount(7);
    for (int i = 0; i < 7; ++i) {
        s.Row(i).MessageNo = 10 - i;  // zed is 10, ... alice is 4
        s.SetText(i, rtFrom, froms[i]);
    }
    s.Sort(2);
    EXPECT_EQ(messageOrder(s), (std::vector<int>{4, 8, 6, 7, 9, 10, 5}))
        << "alice, Bob, the three emiles by number, zed, then the Cyrillic name";
    s.Sort(-2);
    EXPECT_EQ(messageOrder(s), (std::vector<int>{5, 10, 9, 7, 6, 8, 4}));
}

// Texts of a row never carry a NUL byte to the list or the CSV file.
TEST(RowStore, TextsDropNulBytes) {
    TRowStore s(readDate, 2);
    s.SetRowCount(1);
    s.SetText(0, rtSubject, std::string("a\0b\0", 4));
    EXPECT_EQ(s.Text(0, rtSubject), "ab");
    s.SetText(0, rtFrom, std::string("\0", 1));
    EXPECT_EQ(s.Row(0).Text[rtFrom], 0u) << "nothing left: the empty text";
}

// A date is read only when its words are real day, month and zone names and
// it is no plain number; anything else has no date (sorting first, an empty
// DateTime in the CSV file) rather than a made-up one.
TEST(RowStore, OnlyRealDatesAreRead) {
    struct Case {
        const char* text;
        bool dated;
    };
    const Case cases[] = {
        {"Thu, 10 Dec 2026 12:00:00 +0000", true},
        {"Thu, 10 Dec 2026 12:00:00 +0000 (UTC)", true},
        {"10 December 2026 12:00:00 GMT", true},
        {"Mon, 3 Jun 2024 10:00:00 -0700 (Pacific Daylight Time)", true},
        {"2024-06-03 10:00:00", true},
        {"Di, 3 Jun 2008 11:05:30 CEST", true},  // any day name before the date, any zone after the time
        {"3 Jun 2008", true},
        {"32 Foo 2024 25:61:00", false},
        {"10 Foo 2024 10:00:00", false},  // the first letter would guess February
        {"Thu, 10 Xyz 2026 12:00:00 +0000", false},
        {"3 M\xC3\xA4r 2008 11:05:30", false},  // the reader would make it May
        {"31 Feb 2024 10:00:00", false},
        {"10 Dec 2026 24:00:01", false},
        {"2024", false},  // would be day 2024 after 1899-12-30
        {"45000.5", false},
        {"", false},
    };
    TRowStore s(readDate, 2);
    s.SetRowCount(1);
    for (const Case& c : cases) {
        s.SetText(0, rtOrgDate, c.text);
        EXPECT_EQ(s.Row(0).DateKey != 0, c.dated) << c.text;
        EXPECT_EQ(s.Text(0, rtOrgDate), c.text) << "the header is kept as received";
    }
}
