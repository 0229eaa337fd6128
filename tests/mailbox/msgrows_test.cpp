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
    const char* froms[] = {"alice@example.org", "ALICE@example.org", "Bob", "bob", "alice@example.net", "", "Zed",
                           "\xc3\xa9lodie"};
    const char* dates[] = {"Thu, 10 Dec 2026 12:00:00 +0000", "Wed, 9 Dec 2026 23:59:59 +0000",
                           "10 Dec 2026 11:00:00 -0100", "garbage", ""};
    s.Clear();
    s.SetRowCount(n);
    for (int i = 0; i < n; ++i) {
        TMsgRow& r = s.Row(i);
        r.MessageNo = i + 1;
        r.Size = static_cast<int32_t>(rnd() % 5) * 1000;
        s.SetText(i, rtFrom, froms[rnd() % 8]);
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
    s.SetText(2, rtSubject, std::string("a\0b", 3));
    EXPECT_EQ(s.Text(0, rtSubject), "");
    EXPECT_EQ(s.Text(1, rtSubject), "hello");
    EXPECT_EQ(s.Text(2, rtSubject), std::string_view("a\0b", 3));
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
TEST(RowStore, SortAgreesWithTheRowComparison) {
    TRowStore s(readDate, 600);
    for (int key = 1; key <= 10; ++key)
        for (int sign : {1, -1}) {
            fill(s, 500);
            const int sortKey = key * sign;
            std::vector<int> idx(500);
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
