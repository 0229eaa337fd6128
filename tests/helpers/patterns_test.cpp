// Wildcards, "KWRE:" expressions and mask lists.
#include "helpers/kwutil.h"
#include "tests/helpers/support.h"

using namespace helpers;

namespace {

class PatternsTest : public kwtest::KwTest {};

struct MatchCase {
    std::string pattern, text;
    bool hit;
    std::string match;
    int pos, end;
};

TEST_F(PatternsTest, RematchTable) {
    const MatchCase cases[] = {
        {"b?d", "abcd", true, "bcd", 2, 4},
        {"*b", "abc", true, "b", 2, 2},
        {"a*c", "xabcbc", true, "abc", 2, 4},  // the shortest match
        {"KWRE:^B", "a\nBc", true, "B", 3, 3},  // lines are anchors too
        {"kwre:x+", "axxx", true, "x", 2, 2},   // ungreedy unless asked
        {"kwre:(?-U)x+", "axxx", true, "xxx", 2, 4},
        {"a.b", "axb", false, "", 0, 0},
        {"a.b", "xa.b", true, "a.b", 2, 4},
        {"(x)", "a(x)", true, "(x)", 2, 4},
        {"abc", "ABC", false, "", 0, 0},
        {"abc", "", false, "", 0, 0},
        {"KWRE:b", std::string("a\0b", 3), true, "b", 3, 3},  // zero bytes are text
    };
    for (const auto& c : cases) {
        lastmatch = "stale";
        matchpos = 99;
        EXPECT_EQ(rematch(c.pattern, c.text), c.hit) << c.pattern;
        EXPECT_EQ(lastmatch, c.match) << c.pattern;
        EXPECT_EQ(matchpos, c.pos) << c.pattern;
        EXPECT_EQ(matchend, c.end) << c.pattern;
        EXPECT_FALSE(reerrflag);
    }
}

TEST_F(PatternsTest, RematchcChoosesCase) {
    EXPECT_TRUE(rematchc("ABC", "xabcx", false));
    EXPECT_EQ(matchpos, 2);
    EXPECT_FALSE(rematchc("ABC", "xabcx", true));
    EXPECT_TRUE(rematchc("KWRE:a.c", "xAZC", false));
    EXPECT_FALSE(rematchc("KWRE:a.c", "xAZC", true));
    EXPECT_TRUE(rematchc("**b?", "ABC", false));
    EXPECT_EQ(lastmatch, "BC");
}

TEST_F(PatternsTest, ReescapeEscapesEverySpecialCharacter) {
    EXPECT_EQ(reescape("a\\^$.|+(){}[]b"), "a\\\\\\^\\$\\.\\|\\+\\(\\)\\{\\}\\[\\]b");
    EXPECT_EQ(reescape("*.t?t"), ".*\\.t.{1}t");
    EXPECT_EQ(reescape("*.t?t"), ".*\\.t.{1}t");
}

TEST_F(PatternsTest, MaskmatchTable) {
    struct Case {
        std::string masks, name;
        bool filenames, want;
    } const cases[] = {
        {"*.txt;-secret.*", "Secret.TXT", true, false},
        {"*.txt;-secret.*", "notes.TXT", true, true},
        {"README", "readme", true, true},
        {"*", "a.txt", true, false},
        {"*", "README", true, true},
        {"*.*", "README", true, true},
        {"*.*;-secret*", "secret.txt", true, true},
        {"*.*;-secret*", "secrets", true, false},
        {"\"a;b*\"", "a;bc", true, true},
        {";;*.htm;", "page.htm", true, true},
        {"kwre:^p.*m$", "Page.htm", true, true},
        {"kw64_{*}.*", "kw64_{0a-1}.png", true, true},
        {"*.txt", "a.txt.bak", true, false},
        {"abc", "xabcx", false, false},
        {"", "a.txt", true, false},
    };
    for (const auto& c : cases) EXPECT_EQ(maskmatch(c.masks, c.name, c.filenames), c.want) << c.masks << " / " << c.name;
    EXPECT_TRUE(masklist("*.htm", "x.HTM"));
}

TEST_F(PatternsTest, CompileErrorsAreReportedOnEveryAttempt) {
    for (int attempt = 0; attempt < 2; ++attempt) {
        prompter->QueueResult(ui::mrOk);
        EXPECT_FALSE(rematch("KWRE:a(b", "a(b"));
        EXPECT_TRUE(reerrflag);
    }
    ASSERT_EQ(prompter->prompts.size(), 2u);
    EXPECT_EQ(prompter->prompts[1].text, "Regular Expression Error :-\r\nmissing )\r\n(?U)(?m)a(b HERE-->");
    EXPECT_TRUE(rematch("KWRE:a\\(b", "a(b"));
    EXPECT_FALSE(reerrflag);
}

TEST_F(PatternsTest, MatcherFailuresAreReportedNotTakenForAMiss) {
    prompter->QueueResult(ui::mrOk);
    EXPECT_FALSE(rematch("KWRE:^(a+)+$", std::string(40, 'a') + "b"));
    EXPECT_TRUE(reerrflag);
    ASSERT_EQ(prompter->prompts.size(), 1u);
    EXPECT_EQ(prompter->prompts[0].text, "Internal PCRE Matching Error");
}

TEST_F(PatternsTest, ManyPatternsOverManyRowsGiveTheSameAnswersAsSingleCalls) {
    // More distinct expressions than the cache holds, visited twice.
    int hits = 0;
    for (int round = 0; round < 2; ++round)
        for (int i = 0; i < 1500; ++i) hits += rematch("*x" + std::to_string(i) + "y*", "ax" + std::to_string(i % 700) + "yb");
    EXPECT_EQ(hits, 2 * 700);
}

}  // namespace
