// Wildcards, "KWRE:" expressions and mask lists.
#include "helpers/internal.h"
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

// A pattern of a megabyte is not shown whole in a box: the message keeps
// the text around the error, marked, and says how much it left out.
TEST_F(PatternsTest, AnErrorInAHugePatternShowsOnlyTheTextAroundIt) {
    const std::string head(1000000, 'a'), tail(500000, 'b');
    prompter->QueueResult(ui::mrOk);
    EXPECT_FALSE(rematch("KWRE:" + head + "(" + tail, "x"));
    ASSERT_EQ(prompter->prompts.size(), 1u);
    const size_t compiled = 8 + head.size() + 1 + tail.size();  // "(?U)(?m)" first
    EXPECT_EQ(prompter->prompts[0].text, "Regular Expression Error :-\r\nmissing )\r\n ... [" +
                                             std::to_string(compiled - 200) + " bytes more] ... " +
                                             std::string(200, 'b') + " HERE-->");
    // An error in the middle: both sides cut, a UTF-8 character never split.
    prompter->QueueResult(ui::mrOk);
    const std::string wide = "\xC3\xA9";  // two bytes
    std::string left;
    while (left.size() < 3000) left += wide;
    EXPECT_FALSE(rematch("KWRE:" + left + "x{3,1}" + left, "x"));
    ASSERT_EQ(prompter->prompts.size(), 2u);
    const std::string& mid = prompter->prompts[1].text;
    EXPECT_LT(mid.size(), 1000u);
    EXPECT_TRUE(isutf8(mid)) << "a character was cut in two";
    const size_t here = mid.find("{3,1 HERE-->}");
    ASSERT_NE(here, std::string::npos) << mid;
    EXPECT_NE(mid.rfind(" bytes more] ... ", here), std::string::npos) << mid;
    EXPECT_NE(mid.find(" ... [", here), std::string::npos) << mid;
}

TEST_F(PatternsTest, LongTextsMatchWithoutRunningOutOfStack) {
    // 100 KB: far past what PCRE's default 32 KB machine stack holds.
    std::string body;
    while (body.size() < 100000) body += "a line of the message body\n";
    const std::string subject = "Subject: hello\n" + body;
    EXPECT_TRUE(rematch("KWRE:Subject:(.|\\n)*word", subject + "the word"));
    EXPECT_EQ(matchend, static_cast<int32_t>(subject.size() + 8));
    EXPECT_FALSE(rematch("KWRE:Subject:(.|\\n)*word", subject));
    EXPECT_FALSE(reerrflag);
    // The address link of received text, over a long dotted address.
    std::string host;
    while (host.size() < 100000) host += "ab.";
    const std::string address = "joe@" + host + "example";
    // (Compared as a truth value: a failure must not print 300 KB.)
    EXPECT_TRUE(htmlescape("to " + address) == "to <A HREF=\"mailto:" + address + "\">" + address + "</A>");
    EXPECT_TRUE(prompter->prompts.empty());
    EXPECT_FALSE(kwtest::exists(homedir + "devudariri_msgs.log"));
}

TEST_F(PatternsTest, APatternThatGivesUpIsNoMatchLoggedOnceNotABox) {
    const std::string text = std::string(40, 'a') + "b";
    for (int row = 0; row < 3; ++row) {
        EXPECT_FALSE(rematch("KWRE:^(a+)+$", text));
        EXPECT_TRUE(reerrflag);  // an error, not a plain miss
    }
    EXPECT_TRUE(rematch("KWRE:^(a+)+b", text));
    EXPECT_FALSE(reerrflag);
    const std::string log = kwtest::readfile(homedir + "devudariri_msgs.log");
    const std::string entry = "Regular expression gave up on a text of 41 bytes";
    const size_t first = log.find(entry);
    ASSERT_NE(first, std::string::npos) << log;
    EXPECT_EQ(log.find(entry, first + 1), std::string::npos) << log;
    EXPECT_NE(log.find("(?U)(?m)^(a+)+$"), std::string::npos) << log;
}

TEST_F(PatternsTest, Utf8TextIsMatchedByCharacter) {
    struct Case {
        std::string pattern, text;
        bool matchcase, hit;
        std::string match;
    } const cases[] = {
        {"caf?", "un caf\xC3\xA9 noir", true, true, "caf\xC3\xA9"},  // "?" is one character, not half of one
        {"?\xC3\xA9", "\xC3\xA9t\xC3\xA9", true, true, "t\xC3\xA9"},
        {"\xC3\x89MILE", "pour \xC3\xA9mile", false, true, "\xC3\xA9mile"},
        {"\xC3\x89MILE", "pour \xC3\xA9mile", true, false, ""},
        {"KWRE:\\w+", "\xC3\xA9t\xC3\xA9 !", true, true, "\xC3\xA9"},
        {"KWRE:(?-U)\\w+", "\xC3\xA9t\xC3\xA9 !", true, true, "\xC3\xA9t\xC3\xA9"},
        {"\xD0\x9F\xD0\xA0\xD0\x98", "\xD0\xBF\xD1\x80\xD0\xB8\xD0\xB2\xD0\xB5\xD1\x82", false, true,
         "\xD0\xBF\xD1\x80\xD0\xB8"},
        // Not UTF-8: matched byte by byte, without errors.
        {"caf?", "caf\xE9 \xFF", true, true, "caf\xE9"},
        {"caf\xC3\xA9", "caf\xC3\xA9\xFF", true, true, "caf\xC3\xA9"},
        {"KWRE:\\xFF+", "a\xFF\xFF", true, true, "\xFF"},
        {"\xE9?", "\xE9t\xE9", true, true, "\xE9t"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(rematchc(c.pattern, c.text, c.matchcase), c.hit) << c.pattern << " / " << c.text;
        EXPECT_EQ(lastmatch, c.match) << c.pattern << " / " << c.text;
        EXPECT_FALSE(reerrflag) << c.pattern;
    }
    EXPECT_TRUE(maskmatch("\xC3\xA9t\xC3\xA9*.txt", "\xC3\x89T\xC3\x89 2024.TXT", true));
}

TEST_F(PatternsTest, WholeWordsOfAnyScript) {
    const std::string word = wholewordpattern("caf\xC3\xA9");
    EXPECT_TRUE(rematchc(word, "un caf\xC3\xA9 noir", false));
    EXPECT_EQ(matchpos, 4);
    EXPECT_EQ(matchend, 8);  // byte positions
    EXPECT_TRUE(rematchc(word, "CAF\xC3\x89", false));
    EXPECT_FALSE(rematchc(word, "des caf\xC3\xA9s", false));
    EXPECT_FALSE(rematchc(wholewordpattern("caf"), "un caf\xC3\xA9 noir", false));
    EXPECT_TRUE(rematchc(wholewordpattern("f?te"), "la f\xC3\xAAte", true));
}

TEST_F(PatternsTest, EachPatternIsCompiledOncePerKindOfText) {
    const uint64_t before = detail::compilations();
    int hits = 0;
    for (int row = 0; row < 1000; ++row)
        for (int p = 0; p < 20; ++p) hits += rematch("*x" + std::to_string(p) + "y*", "ax" + std::to_string(row % 40) + "yb");
    EXPECT_EQ(hits, 20 * 25);
    EXPECT_EQ(detail::compilations() - before, 20u);
    // The same expression through rematchc and a compiled pattern for rexec.
    const PRegex re = patternregex("x5y", true);
    ASSERT_TRUE(re);
    EXPECT_EQ(patternregex("x5y", true), re);
    EXPECT_TRUE(rexec(*re, "ax5yb"));
    EXPECT_EQ(detail::compilations() - before, 21u);
    // UTF-8 text beyond ASCII needs the UTF-8 form, once; text that is not
    // UTF-8 goes on with the byte form that ASCII text used.
    for (int row = 0; row < 10; ++row) {
        EXPECT_TRUE(rexec(*re, "\xC3\xA9x5y"));
        EXPECT_TRUE(rexec(*re, "\xFFx5y"));
    }
    EXPECT_EQ(detail::compilations() - before, 22u);
}

TEST_F(PatternsTest, ManyPatternsOverManyRowsGiveTheSameAnswersAsSingleCalls) {
    // More distinct expressions than the cache holds, visited twice.
    int hits = 0;
    for (int round = 0; round < 2; ++round)
        for (int i = 0; i < 1500; ++i) hits += rematch("*x" + std::to_string(i) + "y*", "ax" + std::to_string(i % 700) + "yb");
    EXPECT_EQ(hits, 2 * 700);
}

}  // namespace
