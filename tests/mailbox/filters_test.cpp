// Pattern lists compiled once per marking run: a bad line is set aside with
// its error, for one report, and never raises a box while rows are marked.
#include <gtest/gtest.h>

#include "helpers/kwutil.h"
#include "mailbox/filters.h"
#include "platform/ui/prompter.h"

using namespace mailbox;

namespace {

double readDate(std::string_view s) { return helpers::parsedate(s); }

rtl::TStringList lines(const char* text) {
    rtl::TStringList l;
    l.SetText(text);
    return l;
}

struct Row {
    const char* from;
    const char* to;
    const char* subject;
};

void fillRows(TRowStore& store, const std::vector<Row>& rows) {
    store.SetRowCount(static_cast<int>(rows.size()));
    for (int i = 0; i < store.RowCount(); ++i) {
        store.Row(i) = TMsgRow{};
        store.Row(i).MessageNo = i + 1;
        store.SetText(i, rtFrom, rows[static_cast<size_t>(i)].from);
        store.SetText(i, rtTo, rows[static_cast<size_t>(i)].to);
        store.SetText(i, rtSubject, rows[static_cast<size_t>(i)].subject);
    }
}

// The message numbers of the rows marked and of the white hits.
std::pair<std::vector<int>, std::vector<int>> marks(const TRowStore& store) {
    std::pair<std::vector<int>, std::vector<int>> m;
    for (int i = 0; i < store.RowCount(); ++i) {
        if (store.Row(i).DeleteMark) m.first.push_back(store.Row(i).MessageNo);
        if (store.Row(i).WhiteHit) m.second.push_back(store.Row(i).MessageNo);
    }
    return m;
}

const std::vector<Row> kRows = {
    {"boss@mycompany.example", "me@y", "cheap viagra"},  // white by From
    {"x@z", "me@y", "cheap viagra"},                     // spam, line 1
    {"x@z", "me@y", "money now!"},                       // spam, line 4 after two bad ones
    {"x@z", "me@y", "lunch"},                            // nothing
    {"x@z", "team@list.example", "money now"},           // white by To
};
constexpr const char* kSpam = "*viagra*\nkwre:win(\nkwre:[z-a]\nkwre:money\\s+now\n";
constexpr const char* kWhite = "#kwre:(unclosed\nboss@*\n#*@list.example\n";

}  // namespace

TEST(FilterSets, BadLinesAreSetAsideOnceAndRaiseNoBox) {
    ui::TScriptedPrompter prompter;  // any box would be recorded as unexpected
    const TFilterSet spam(lines(kSpam), TListKind::Spam);
    const TFilterSet white(lines(kWhite), TListKind::White);
    ASSERT_EQ(spam.BadLines().size(), 2u);
    EXPECT_EQ(spam.BadLines()[0].line, 2);
    EXPECT_EQ(spam.BadLines()[0].pattern, "kwre:win(");
    EXPECT_EQ(spam.BadLines()[1].line, 3);
    EXPECT_FALSE(spam.BadLines()[0].error.empty());
    ASSERT_EQ(white.BadLines().size(), 1u);
    EXPECT_EQ(white.BadLines()[0].pattern, "#kwre:(unclosed");

    TRowStore store(readDate, 10);
    fillRows(store, kRows);
    TMarkCounts counts;
    for (int pass = 0; pass < 2; ++pass)
        for (int i = 0; i < store.RowCount(); ++i) MarkRow(store, i, white, spam, counts);
    EXPECT_EQ(marks(store), (std::pair<std::vector<int>, std::vector<int>>{{2, 3}, {1, 5}}));
    EXPECT_EQ(store.Text(2, rtMatched), "kwre:money\\s+now");
    EXPECT_EQ(store.Text(4, rtMatched), "*@list.example");
    EXPECT_TRUE(prompter.prompts.empty()) << prompter.prompts.front().text;
    EXPECT_EQ(prompter.unexpected, 0);

    const std::string report = spam.BadLinesReport("kwpop3spam.txt");
    EXPECT_EQ(report.rfind("kwpop3spam.txt: 2 pattern lines are skipped:", 0), 0u) << report;
    EXPECT_NE(report.find("Line 2: kwre:win(\r\n"), std::string::npos) << report;
    EXPECT_NE(report.find("Line 3: kwre:[z-a]\r\n"), std::string::npos) << report;
    EXPECT_EQ(TFilterSet(lines("a*\nb*\n"), TListKind::Spam).BadLinesReport("x"), "");
    EXPECT_TRUE(TFilterSet().Empty());
    EXPECT_FALSE(spam.Empty());
}

// The line-list forms the window still calls give the same marks, and no box.
TEST(FilterSets, LineListFormsMarkTheSameWithoutABox) {
    ui::TScriptedPrompter prompter;
    TRowStore store(readDate, 10);
    fillRows(store, kRows);
    TMarkCounts counts;
    const rtl::TStringList spam = lines(kSpam), white = lines(kWhite);
    for (int i = 0; i < store.RowCount(); ++i) MarkRow(store, i, white, spam, counts);
    EXPECT_EQ(marks(store), (std::pair<std::vector<int>, std::vector<int>>{{2, 3}, {1, 5}}));
    EXPECT_EQ(counts.spam, 2);
    EXPECT_EQ(counts.white, 2);
    EXPECT_TRUE(prompter.prompts.empty());
}
